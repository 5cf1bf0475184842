// The registry: the Windows registry on Windows, a SQLite store with the same
// model elsewhere.
//
// The calls mirror the ANSI registry functions (RegOpenKeyExA and friends) so
// that the logic above reads like the Windows calls it stands for. Every call
// returns ERROR_SUCCESS (0) or a Win32 error code; an out argument is defined
// only when ERROR_SUCCESS is returned, except that QueryValue reports the
// needed size with ERROR_MORE_DATA. Key paths and value names are UTF-8 and
// converted at the boundary; value data are the bytes as the system stores
// them (ANSI code page text for REG_SZ).
//
// The model, on both targets: two roots (HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE), key paths with "\" between levels, key and value names
// compared without regard to case, the empty value name for a key's default
// value, typed values whose bytes are kept exactly as written, and a 64-bit
// view of the machine root (KEY_WOW64_64KEY). Only a 32-bit process on 64-bit
// Windows sees two different machine trees; elsewhere both views are one tree.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tamberlin::platform::registry {

// A key handle, 32 bits wide as the callers store it.
using Key = std::uint32_t;

inline constexpr Key kCurrentUser = 0x80000001;  // HKEY_CURRENT_USER
inline constexpr Key kLocalMachine = 0x80000002; // HKEY_LOCAL_MACHINE

// Access rights (samDesired).
inline constexpr std::uint32_t kQueryValue = 0x0001;       // KEY_QUERY_VALUE
inline constexpr std::uint32_t kSetValue = 0x0002;         // KEY_SET_VALUE
inline constexpr std::uint32_t kEnumerateSubKeys = 0x0008; // KEY_ENUMERATE_SUB_KEYS
inline constexpr std::uint32_t kWow64_64Key = 0x0100;      // KEY_WOW64_64KEY
inline constexpr std::uint32_t kWow64_32Key = 0x0200;      // KEY_WOW64_32KEY
inline constexpr std::uint32_t kRead = 0x20019;            // KEY_READ
inline constexpr std::uint32_t kAllAccess = 0xF003F;       // KEY_ALL_ACCESS
inline constexpr std::uint32_t kOptionNonVolatile = 0;     // REG_OPTION_NON_VOLATILE

// Value types.
inline constexpr std::uint32_t kNone = 0;     // REG_NONE
inline constexpr std::uint32_t kSz = 1;       // REG_SZ
inline constexpr std::uint32_t kExpandSz = 2; // REG_EXPAND_SZ
inline constexpr std::uint32_t kBinary = 3;   // REG_BINARY
inline constexpr std::uint32_t kDword = 4;    // REG_DWORD
inline constexpr std::uint32_t kMultiSz = 7;  // REG_MULTI_SZ
inline constexpr std::uint32_t kQword = 11;   // REG_QWORD

// Result codes (Win32 error codes) that callers and tests look at.
inline constexpr long kSuccess = 0;           // ERROR_SUCCESS
inline constexpr long kFileNotFound = 2;      // ERROR_FILE_NOT_FOUND
inline constexpr long kAccessDenied = 5;      // ERROR_ACCESS_DENIED
inline constexpr long kInvalidHandle = 6;     // ERROR_INVALID_HANDLE
inline constexpr long kNotEnoughMemory = 8;   // ERROR_NOT_ENOUGH_MEMORY
inline constexpr long kInvalidParameter = 87; // ERROR_INVALID_PARAMETER
inline constexpr long kBadPathname = 161;     // ERROR_BAD_PATHNAME
inline constexpr long kMoreData = 234;        // ERROR_MORE_DATA
inline constexpr long kNoMoreItems = 259;     // ERROR_NO_MORE_ITEMS
inline constexpr long kBadDb = 1009;          // ERROR_BADDB
inline constexpr long kIoFailed = 1016;       // ERROR_REGISTRY_IO_FAILED
inline constexpr long kKeyDeleted = 1018;     // ERROR_KEY_DELETED

// RegOpenKeyExA.
long OpenKey(Key parent, std::string_view sub_key, std::uint32_t sam, Key& result);
// RegCreateKeyExA with no class and no security attributes: creates the key
// with every missing level, or opens it when it exists.
long CreateKey(Key parent, std::string_view sub_key, std::uint32_t options, std::uint32_t sam,
               Key& result);
// RegQueryValueExA. `data` may be null to ask for the size; `size` is the
// capacity of `data` on entry and the stored size on return.
long QueryValue(Key key, std::string_view value_name, std::uint32_t* type, char* data,
                std::uint32_t* size);
// RegSetValueExA.
long SetValue(Key key, std::string_view value_name, std::uint32_t type, const char* data,
              std::uint32_t size);
// RegCloseKey. The two roots are predefined and closing them does nothing.
long CloseKey(Key key);

// Administration, used by the command-line tool: RegEnumKeyExA,
// RegEnumValueA (data as stored), RegDeleteValueA and RegDeleteTreeA followed
// by RegDeleteKeyExA (the key with everything below it).
long EnumKey(Key key, std::uint32_t index, std::string& name);
long EnumValue(Key key, std::uint32_t index, std::string& name, std::uint32_t& type,
               std::string& data);
long DeleteValue(Key key, std::string_view value_name);
long DeleteTree(Key parent, std::string_view sub_key);

// True when the 64-bit view of the machine root is a different tree from the
// one this process sees by default (a 32-bit process on 64-bit Windows).
bool HasSeparate64BitView();

} // namespace tamberlin::platform::registry
