// The current error: the four values the error handling reads from the error
// a trap caught.
//
// Inside a catch block, CurrentError::FromCurrentException() reads the error
// being handled (std::current_exception()) once; the handler hands those same
// values to every step. C++ exceptions map onto run-time error numbers:
//
// | caught                                   | Number                     | LastDllError      |
// |------------------------------------------|----------------------------|-------------------|
// | tamberlin::runtime::RuntimeError         | its own                    | its own           |
// | std::system_error (errno or Win32 code,  | by the code's condition:   | the code's value  |
// |   std::filesystem::filesystem_error too) |   no such file 53          | (errno on POSIX,  |
// |                                          |   not a directory 76       |  GetLastError()   |
// |                                          |   permission denied,       |  on Windows)      |
// |                                          |     read-only, busy 70     |                   |
// |                                          |   no space, too large 61   |                   |
// |                                          |   file exists 58           |                   |
// |                                          |   too many open files 67   |                   |
// |                                          |   I/O error 57             |                   |
// |                                          |   no such device 68        |                   |
// |                                          |   name too long, bad       |                   |
// |                                          |     argument 52            |                   |
// |                                          |   is a directory 75        |                   |
// |                                          |   not enough memory 7      |                   |
// |                                          |   any other 51             |                   |
// | std::bad_alloc                           | 7 (Out of memory)          | 0                 |
// | std::out_of_range                        | 9 (Subscript out of range) | 0                 |
// | std::overflow_error, std::range_error    | 6 (Overflow)               | 0                 |
// | std::invalid_argument, std::domain_error | 5 (Invalid procedure call) | 0                 |
// | any other std::exception                 | 51 (Internal error)        | 0                 |
// | anything else                            | 51 (Internal error)        | 0                 |
// | no exception being handled               | 0, empty description       | 0                 |
//
// The description of a C++ exception is its what() (the number's standard
// text when that is empty); the source is the application's title.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace tamberlin::runtime {

struct CurrentError {
    std::int32_t Number = 0;
    std::string Description;
    std::string Source;
    std::int32_t LastDllError = 0;

    static CurrentError FromException(std::exception_ptr error);
    static CurrentError FromCurrentException() { return FromException(std::current_exception()); }
};

// The table's number for the exception being handled and its what() (null
// when it has none; it lives as long as the exception), read without
// allocating: the std::terminate handler of crash capture uses it. Number 0
// when no exception is being handled.
struct ExceptionNumber {
    std::int32_t Number = 0;
    const char* What = nullptr;
    std::int32_t LastDllError = 0;
};
ExceptionNumber NumberOfCurrentException() noexcept;

} // namespace tamberlin::runtime
