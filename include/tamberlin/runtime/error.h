// Run-time errors: the error the program's operations raise, with the four
// properties the error handling reads (number, description, source, last
// system error code).
//
// An operation that fails raises a RuntimeError (a C++ exception); a caller
// that can deal with it catches it, one that cannot lets it reach its own
// error trap.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tamberlin::runtime {

// The error numbers the program raises, tests for and maps C++ exceptions
// onto. (The standard descriptions and the handler's category lists are
// tables of numbers of their own.)
namespace errors {
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kInternalError = 51;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kDeviceIOError = 57;
inline constexpr std::int32_t kFileAlreadyExists = 58;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kTooManyFiles = 67;
inline constexpr std::int32_t kDeviceUnavailable = 68;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kDiskNotReady = 71;
inline constexpr std::int32_t kPathFileAccessError = 75;
inline constexpr std::int32_t kPathNotFound = 76;
inline constexpr std::int32_t kPrinterError = 482;
// A common dialog closed with Cancel: nothing to report.
inline constexpr std::int32_t kDialogCancelled = 32755;

// An inclusive range of error numbers.
struct Range {
    std::int32_t first, last;
    constexpr bool Contains(std::int32_t n) const { return n >= first && n <= last; }
};

// The database engine's errors.
inline constexpr Range kDatabaseErrors{3000, 3751};

// The MAPI controls raise 32000 + the simple MAPI code.
inline constexpr std::int32_t kMapiControlErrorBase = 32000;
inline constexpr std::int32_t kMapiUserAbort = 32001;
// Failure, logon failed, disk full, out of memory, access denied.
inline constexpr Range kMapiSettingsErrors{32002, 32007};
// Too many sessions, files or recipients.
inline constexpr Range kMapiTooManyErrors{32008, 32010};
// An attachment not found, or not opened or written.
inline constexpr Range kMapiAttachmentErrors{32011, 32013};
// Recipients, message and subject: unknown recipient to invalid recipients.
inline constexpr Range kMapiMessageErrors{32014, 32025};

// MAPI_E_USER_CANCEL: the user cancelled a compose window (CDO raises the
// HRESULT itself as the number).
inline constexpr std::int32_t kMapiUserCancel = static_cast<std::int32_t>(0x80040113);

constexpr bool IsDatabaseError(std::int32_t n) {
    return kDatabaseErrors.Contains(n);
}

// The printer's errors; 28661 is not one of them.
constexpr bool IsPrinterError(std::int32_t n) {
    return n == kPrinterError || n == 483 || n == 28660 || (n >= 28662 && n <= 28667);
}
} // namespace errors

class RuntimeError : public std::runtime_error {
public:
    // An empty description takes the standard text of the number; an empty
    // source takes the application's title.
    explicit RuntimeError(std::int32_t number, std::string_view description = {},
                          std::string_view source = {}, std::int32_t last_dll_error = 0);

    std::int32_t Number() const { return number_; }
    const std::string& Description() const { return description_; }
    const std::string& Source() const { return source_; }
    std::int32_t LastDllError() const { return last_dll_error_; }

private:
    std::int32_t number_;
    std::string description_;
    std::string source_;
    std::int32_t last_dll_error_;
};

// The standard description of an error number ("Overflow" for 6), or
// "Application-defined or object-defined error" for a number without one.
std::string_view StandardDescription(std::int32_t number);

[[noreturn]] void Raise(std::int32_t number, std::string_view description = {});

} // namespace tamberlin::runtime
