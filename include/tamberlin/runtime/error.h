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

// Error numbers the services raise themselves.
namespace errors {
inline constexpr std::int32_t kInvalidProcedureCall = 5;
inline constexpr std::int32_t kOverflow = 6;
inline constexpr std::int32_t kOutOfMemory = 7;
inline constexpr std::int32_t kSubscriptOutOfRange = 9;
inline constexpr std::int32_t kDivisionByZero = 11;
inline constexpr std::int32_t kBadFileName = 52;
inline constexpr std::int32_t kFileNotFound = 53;
inline constexpr std::int32_t kDiskFull = 61;
inline constexpr std::int32_t kPermissionDenied = 70;
inline constexpr std::int32_t kDiskNotReady = 71;
inline constexpr std::int32_t kPathFileAccessError = 75;
inline constexpr std::int32_t kPathNotFound = 76;
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
