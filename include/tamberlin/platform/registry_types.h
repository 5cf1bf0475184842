// The registry's vocabulary: key handles, the two roots, access rights,
// value types and the Win32 result codes, as the registry functions
// (platform/registry.h) and the registry utilities use them.
#pragma once

#include <cstdint>

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
inline constexpr long kDiskFull = 112;        // ERROR_DISK_FULL
inline constexpr long kBadPathname = 161;     // ERROR_BAD_PATHNAME
inline constexpr long kBusy = 170;            // ERROR_BUSY
inline constexpr long kFilenameTooLong = 206; // ERROR_FILENAME_EXCED_RANGE
inline constexpr long kMoreData = 234;        // ERROR_MORE_DATA
inline constexpr long kNoMoreItems = 259;     // ERROR_NO_MORE_ITEMS
inline constexpr long kBadDb = 1009;          // ERROR_BADDB
inline constexpr long kCantRead = 1012;       // ERROR_CANTREAD
inline constexpr long kIoFailed = 1016;       // ERROR_REGISTRY_IO_FAILED
inline constexpr long kKeyDeleted = 1018;     // ERROR_KEY_DELETED

} // namespace tamberlin::platform::registry
