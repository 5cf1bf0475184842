// The registry on Windows: the ANSI functions of advapi32, called directly.
#include <windows.h>

#include "platform/registry.h"
#include "platform/text.h"

#include <vector>

namespace tamberlin::platform::registry {
namespace {

// Key handles are 32 bits wide for the callers; the predefined roots are
// sign-extended constants, hence the detour through LONG.
HKEY Handle(Key key) {
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG>(key)));
}

Key FromHandle(HKEY key) {
    return static_cast<Key>(reinterpret_cast<ULONG_PTR>(key));
}

} // namespace

long OpenKey(Key parent, std::string_view sub_key, std::uint32_t sam, Key& result) {
    const std::string name = AnsiFromUtf8(sub_key);
    HKEY opened = nullptr;
    const LONG rc = RegOpenKeyExA(Handle(parent), name.c_str(), 0, sam, &opened);
    if (rc == ERROR_SUCCESS)
        result = FromHandle(opened);
    return rc;
}

long CreateKey(Key parent, std::string_view sub_key, std::uint32_t options, std::uint32_t sam,
               Key& result) {
    const std::string name = AnsiFromUtf8(sub_key);
    HKEY created = nullptr;
    const LONG rc = RegCreateKeyExA(Handle(parent), name.c_str(), 0, nullptr, options, sam, nullptr,
                                    &created, nullptr);
    if (rc == ERROR_SUCCESS)
        result = FromHandle(created);
    return rc;
}

long QueryValue(Key key, std::string_view value_name, std::uint32_t* type, char* data,
                std::uint32_t* size) {
    const std::string name = AnsiFromUtf8(value_name);
    DWORD t = type ? *type : 0;
    DWORD n = size ? *size : 0;
    const LONG rc = RegQueryValueExA(Handle(key), name.c_str(), nullptr, type ? &t : nullptr,
                                     reinterpret_cast<BYTE*>(data), size ? &n : nullptr);
    if (type)
        *type = t;
    if (size)
        *size = n;
    return rc;
}

long SetValue(Key key, std::string_view value_name, std::uint32_t type, const char* data,
              std::uint32_t size) {
    const std::string name = AnsiFromUtf8(value_name);
    return RegSetValueExA(Handle(key), name.c_str(), 0, type, reinterpret_cast<const BYTE*>(data),
                          size);
}

long CloseKey(Key key) {
    return RegCloseKey(Handle(key));
}

long EnumKey(Key key, std::uint32_t index, std::string& name) {
    char buffer[256]; // a key name has at most 255 characters
    DWORD length = sizeof buffer;
    const LONG rc =
        RegEnumKeyExA(Handle(key), index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS)
        name = Utf8FromAnsi(std::string_view(buffer, length));
    return rc;
}

long EnumValue(Key key, std::uint32_t index, std::string& name, std::uint32_t& type,
               std::string& data) {
    DWORD max_name = 0, max_data = 0;
    LONG rc = RegQueryInfoKeyA(Handle(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                               nullptr, &max_name, &max_data, nullptr, nullptr);
    if (rc != ERROR_SUCCESS)
        return rc;
    std::vector<char> name_buffer(max_name + 1);
    std::vector<char> data_buffer(max_data + 1);
    DWORD name_length = static_cast<DWORD>(name_buffer.size());
    DWORD data_length = static_cast<DWORD>(data_buffer.size());
    DWORD t = 0;
    rc = RegEnumValueA(Handle(key), index, name_buffer.data(), &name_length, nullptr, &t,
                       reinterpret_cast<BYTE*>(data_buffer.data()), &data_length);
    if (rc == ERROR_SUCCESS) {
        name = Utf8FromAnsi(std::string_view(name_buffer.data(), name_length));
        type = t;
        data.assign(data_buffer.data(), data_length);
    }
    return rc;
}

long DeleteValue(Key key, std::string_view value_name) {
    const std::string name = AnsiFromUtf8(value_name);
    return RegDeleteValueA(Handle(key), name.c_str());
}

long DeleteTree(Key parent, std::string_view sub_key) {
    const std::string name = AnsiFromUtf8(sub_key);
    return RegDeleteTreeA(Handle(parent), name.c_str());
}

// The registry has no transaction the ANSI functions reach: each write stands
// alone.
long BeginChanges() {
    return ERROR_SUCCESS;
}

long EndChanges(bool /*keep*/) {
    return ERROR_SUCCESS;
}

bool HasSeparate64BitView() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

} // namespace tamberlin::platform::registry
