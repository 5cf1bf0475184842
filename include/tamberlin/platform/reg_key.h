// A registry key that closes itself: the one way the program holds an open
// key.
//
// A RegKey owns at most one key handle and closes it when it is destroyed,
// on every path out of a scope. It can be moved, not copied. Open and Create
// replace the key held only when they succeed; a failed call leaves the
// object as it was. Every call returns ERROR_SUCCESS (0) or a Win32 error
// code, and an out argument is assigned only on ERROR_SUCCESS.
#pragma once

#include "tamberlin/platform/registry_types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamberlin::platform::registry {

class RegKey {
public:
    RegKey() = default;
    ~RegKey() { Close(); }
    RegKey(RegKey&& other) noexcept;
    RegKey& operator=(RegKey&& other) noexcept;
    RegKey(const RegKey&) = delete;
    RegKey& operator=(const RegKey&) = delete;

    // RegOpenKeyExA. `parent` may be the key this object holds: it is closed
    // only after the new key is open.
    [[nodiscard]] long Open(Key parent, std::string_view sub_key, std::uint32_t sam);
    // RegCreateKeyExA with REG_OPTION_NON_VOLATILE, no class and no security
    // attributes: creates the key with every missing level, or opens it.
    [[nodiscard]] long Create(Key parent, std::string_view sub_key, std::uint32_t sam);
    void Close();

    bool Valid() const { return key_ != 0; }
    // The handle, for the calls that take one; still owned by this object.
    Key Handle() const { return key_; }

    // A value's type and bytes as stored, whatever their size.
    [[nodiscard]] long ReadValue(std::string_view name, std::uint32_t& type,
                                 std::string& data) const;
    [[nodiscard]] long WriteValue(std::string_view name, std::uint32_t type,
                                  std::string_view data) const;
    // A REG_DWORD value. Reading a value of another type or size gives
    // ERROR_CANTREAD.
    [[nodiscard]] long ReadDword(std::string_view name, std::uint32_t& value) const;
    [[nodiscard]] long WriteDword(std::string_view name, std::uint32_t value) const;

private:
    Key key_ = 0;
};

// The bytes of a REG_DWORD (little-endian, whatever the processor), and the
// number in bytes that are one.
std::string DwordBytes(std::uint32_t value);
std::optional<std::uint32_t> DwordFromBytes(std::string_view bytes);

} // namespace tamberlin::platform::registry
