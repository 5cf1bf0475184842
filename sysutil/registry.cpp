// Registry access, written once over the registry service.
#include "tamberlin/sysutil/registry.h"

#include "platform/registry.h"
#include "platform/text.h"

#include <new>

namespace modQFSystemUtilities {

namespace reg = tamberlin::platform::registry;

namespace {

// Open, read, close; the empty text when the key cannot be opened.
void ReadString(RegKey root, std::uint32_t sam, std::string_view key_path,
                std::string_view value_name, std::string& value) {
    RegKey key = 0;
    if (reg::OpenKey(root, key_path, sam, key) != reg::kSuccess) {
        value.clear();
        return;
    }
    QueryRegString(key, value_name, value);
    reg::CloseKey(key);
}

} // namespace

std::int32_t QueryRegString(RegKey lngKey, std::string_view strValueName, std::string& strValue) {
    strValue.clear();
    std::uint32_t type = reg::kSz;
    std::uint32_t size = 0;
    long rc = reg::QueryValue(lngKey, strValueName, &type, nullptr, &size);
    if (rc != reg::kSuccess)
        return static_cast<std::int32_t>(rc);
    try {
        // One byte more than stored, filled with blanks: the blanks after the
        // data are trimmed, the value's own come before its NUL and stay.
        std::string buffer(static_cast<std::size_t>(size) + 1, ' ');
        type = reg::kSz;
        rc = reg::QueryValue(lngKey, strValueName, &type, buffer.data(), &size);
        if (rc == reg::kSuccess) {
            std::string text = tamberlin::platform::Utf8FromAnsi(buffer);
            text.erase(text.find_last_not_of(' ') + 1);
            strValue = TrimAtNull(text);
        }
    } catch (const std::bad_alloc&) {
        // A value too large to hold is a failed read, not an empty one.
        strValue.clear();
        return reg::kNotEnoughMemory;
    }
    return static_cast<std::int32_t>(rc);
}

std::int32_t SetRegString(RegKey lngKey, std::string_view strValueName, std::string_view strValue) {
    std::string data = tamberlin::platform::AnsiFromUtf8(strValue);
    data += '\0';
    return static_cast<std::int32_t>(reg::SetValue(lngKey, strValueName, reg::kSz, data.data(),
                                                   static_cast<std::uint32_t>(data.size())));
}

void GetUserRegString(std::string_view strKeyPath, std::string_view strValueName,
                      std::string& strValue) {
    ReadString(reg::kCurrentUser, reg::kQueryValue, strKeyPath, strValueName, strValue);
}

bool GetMachineRegString(std::string_view strKeyPath, std::string_view strValueName,
                         std::string& strValue) {
    RegKey key = 0;
    if (reg::OpenKey(reg::kLocalMachine, strKeyPath, reg::kQueryValue, key) != reg::kSuccess)
        return false;
    const bool read = QueryRegString(key, strValueName, strValue) == reg::kSuccess;
    reg::CloseKey(key);
    return read;
}

void GetMachineRegString64(std::string_view strKeyPath, std::string_view strValueName,
                           std::string& strValue) {
    ReadString(reg::kLocalMachine, reg::kWow64_64Key | reg::kQueryValue, strKeyPath, strValueName,
               strValue);
}

void SaveUserRegString(std::string_view strKeyPath, std::string_view strValueName,
                       std::string_view strValue, bool blnCreateKey) {
    RegKey key = 0;
    long rc = reg::OpenKey(reg::kCurrentUser, strKeyPath, reg::kSetValue, key);
    if (rc == reg::kFileNotFound && blnCreateKey)
        rc = reg::CreateKey(reg::kCurrentUser, strKeyPath, reg::kOptionNonVolatile, reg::kAllAccess,
                            key);
    if (rc != reg::kSuccess)
        return;
    SetRegString(key, strValueName, strValue);
    reg::CloseKey(key);
}

void CreateUserRegKey(std::string_view strKeyPath) {
    RegKey key = 0;
    if (reg::CreateKey(reg::kCurrentUser, strKeyPath, reg::kOptionNonVolatile, reg::kAllAccess,
                       key) == reg::kSuccess)
        reg::CloseKey(key);
}

std::string TrimAtNull(std::string_view strText) {
    return std::string(strText.substr(0, strText.find('\0')));
}

} // namespace modQFSystemUtilities
