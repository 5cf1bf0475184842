// The platform's part of crash capture: the handlers that write a crash
// record, and what the next start needs to read one.
//
// A record is text, one "key: value" line each, written by the handler with
// system calls only:
//   tamberlin crash record
//   exception: 0xC0000005        the Windows exception code (signals mapped)
//   signal: 11 1                 Linux: the signal and its code
//   address: 0x...               the faulting address
//   ip: 0x...                    the instruction pointer
//   time: 1765000000 123456789   seconds and nanoseconds since 1970 (UTC)
//   thread: 4242 worker          the thread's id and name
//   operation: testing a crash   the crashing thread's innermost trapped operation
//   uncaught: 7 text             an exception that reached std::terminate
//   abort: text                  Linux: the C library's message before abort()
//   stack: 0x...                 one return address each, innermost first
//   module: 0x... BUILDID path   a module loaded when the crash happened
//   maps:                        Linux: the bytes of /proc/self/maps follow
// Everything up to the first "stack:" line (the failing instruction) is
// written before anything that could fault again; on Linux the unwinder's
// "stack:" lines are written last, into blank lines kept for them before
// "maps:", so a fault in the unwinder leaves the rest whole.
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <string>

namespace tamberlin::platform::crash {

// Record files are "crash-<seconds>-<nanoseconds>-<process id>" with this
// extension; on Windows a minidump of the same name ends in ".dmp".
inline constexpr const char* kRecordExtension = ".rec";
inline constexpr const char* kDumpExtension = ".dmp";

struct Settings {
    // Where records go: an existing folder, ending with the separator.
    std::string folder;
    // The innermost trapped operation, NUL-terminated, read when a crash
    // happens (never freed): used when operation_of_thread is not given.
    const char* operation = nullptr;
    // The innermost trapped operation of the thread with this id
    // (CurrentThreadId), or nullptr; called inside the crash handler.
    const char* (*operation_of_thread)(std::uint64_t thread) noexcept = nullptr;
};

// Installs the handlers (again: replaces the settings only).
bool Install(const Settings& settings) noexcept;

// Prepares the calling thread for a crash of its own: an alternate signal
// stack on Linux (an existing one that is large enough is kept), room left on
// the stack after an overflow on Windows. Installing prepares the installing
// thread; a Trap prepares its thread. False when the system refused.
bool PrepareThread() noexcept;

// The system's id of the calling thread (never 0).
std::uint64_t CurrentThreadId() noexcept;

// Called by the std::terminate handler before it aborts: the exception's
// number and text go into the record the abort leaves.
void NoteUncaughtException(std::int32_t number, const char* what) noexcept;

// The local date and time of a record's time.
clock::LocalTime LocalTimeOf(std::int64_t seconds_since_1970);

// A readable report of the record (its stack with names where the modules
// allow), or empty when the platform's record needs none (the minidump is
// Windows' report).
std::string Describe(const std::string& record);

} // namespace tamberlin::platform::crash
