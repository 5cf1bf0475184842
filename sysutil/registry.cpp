// Registry access, written once over the registry service.
#include "tamberlin/sysutil/registry.h"

#include "platform/registry.h"
#include "platform/text.h"

#include <new>

namespace modQFSystemUtilities {

namespace reg = tamberlin::platform::registry;

namespace {

// Open, read, close; the empty text when the key cannot be opened.
void ReadString(reg::Key root, std::uint32_t sam, std::string_view key_path,
                std::string_view value_name, std::string& value) {
    reg::RegKey key;
    if (key.Open(root, key_path, sam) != reg::kSuccess) {
        value.clear();
        return;
    }
    QueryRegString(key.Handle(), value_name, value);
}

} // namespace

std::int32_t QueryRegString(reg::Key lngKey, std::string_view strValueName, std::string& strValue) {
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

std::int32_t SetRegString(reg::Key lngKey, std::string_view strValueName,
                          std::string_view strValue) {
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
    reg::RegKey key;
    if (key.Open(reg::kLocalMachine, strKeyPath, reg::kQueryValue) != reg::kSuccess)
        return false;
    return QueryRegString(key.Handle(), strValueName, strValue) == reg::kSuccess;
}

void GetMachineRegString64(std::string_view strKeyPath, std::string_view strValueName,
                           std::string& strValue) {
    ReadString(reg::kLocalMachine, reg::kWow64_64Key | reg::kQueryValue, strKeyPath, strValueName,
               strValue);
}

void SaveUserRegString(std::string_view strKeyPath, std::string_view strValueName,
                       std::string_view strValue, bool blnCreateKey) {
    reg::RegKey key;
    long rc = key.Open(reg::kCurrentUser, strKeyPath, reg::kSetValue);
    if (rc == reg::kFileNotFound && blnCreateKey)
        rc = key.Create(reg::kCurrentUser, strKeyPath, reg::kAllAccess);
    if (rc == reg::kSuccess)
        SetRegString(key.Handle(), strValueName, strValue);
}

void CreateUserRegKey(std::string_view strKeyPath) {
    // Created or opened, the key is closed again; a failure is not reported.
    reg::RegKey key;
    static_cast<void>(key.Create(reg::kCurrentUser, strKeyPath, reg::kAllAccess));
}

std::string TrimAtNull(std::string_view strText) {
    return std::string(strText.substr(0, strText.find('\0')));
}

} // namespace modQFSystemUtilities
