// The key that closes itself, over the registry functions of either target.
#include "tamberlin/platform/reg_key.h"

#include "platform/registry.h"

#include <limits>
#include <new>
#include <stdexcept>
#include <utility>

namespace tamberlin::platform::registry {

RegKey::RegKey(RegKey&& other) noexcept : key_(std::exchange(other.key_, 0)) {}

RegKey& RegKey::operator=(RegKey&& other) noexcept {
    if (this != &other) {
        Close();
        key_ = std::exchange(other.key_, 0);
    }
    return *this;
}

long RegKey::Open(Key parent, std::string_view sub_key, std::uint32_t sam) {
    Key opened = 0;
    const long rc = OpenKey(parent, sub_key, sam, opened);
    if (rc == kSuccess) {
        Close();
        key_ = opened;
    }
    return rc;
}

long RegKey::Create(Key parent, std::string_view sub_key, std::uint32_t sam) {
    Key created = 0;
    const long rc = CreateKey(parent, sub_key, kOptionNonVolatile, sam, created);
    if (rc == kSuccess) {
        Close();
        key_ = created;
    }
    return rc;
}

void RegKey::Close() {
    if (key_ != 0)
        CloseKey(std::exchange(key_, 0));
}

long RegKey::ReadValue(std::string_view name, std::uint32_t& type, std::string& data) const {
    try {
        std::string buffer;
        for (;;) {
            std::uint32_t stored_type = 0;
            std::uint32_t size = 0;
            if (long rc = QueryValue(key_, name, &stored_type, nullptr, &size); rc != kSuccess)
                return rc;
            buffer.resize(size);
            const long rc = QueryValue(key_, name, &stored_type, buffer.data(), &size);
            if (rc == kMoreData)
                continue; // it grew between the two calls
            if (rc != kSuccess)
                return rc;
            buffer.resize(size);
            type = stored_type;
            data = std::move(buffer);
            return kSuccess;
        }
    } catch (const std::bad_alloc&) {
        return kNotEnoughMemory;
    } catch (const std::length_error&) {
        return kNotEnoughMemory;
    }
}

long RegKey::WriteValue(std::string_view name, std::uint32_t type, std::string_view data) const {
    if (data.size() > std::numeric_limits<std::uint32_t>::max())
        return kInvalidParameter;
    return SetValue(key_, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
}

long RegKey::ReadDword(std::string_view name, std::uint32_t& value) const {
    char bytes[4];
    std::uint32_t type = 0;
    std::uint32_t size = sizeof bytes;
    const long rc = QueryValue(key_, name, &type, bytes, &size);
    if (rc == kMoreData)
        return kCantRead;
    if (rc != kSuccess)
        return rc;
    const std::optional<std::uint32_t> number = DwordFromBytes(std::string_view(bytes, size));
    if (type != kDword || !number)
        return kCantRead;
    value = *number;
    return kSuccess;
}

long RegKey::WriteDword(std::string_view name, std::uint32_t value) const {
    return WriteValue(name, kDword, DwordBytes(value));
}

std::string DwordBytes(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

std::optional<std::uint32_t> DwordFromBytes(std::string_view bytes) {
    if (bytes.size() != 4)
        return std::nullopt;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[static_cast<size_t>(i)]);
    return value;
}

} // namespace tamberlin::platform::registry
