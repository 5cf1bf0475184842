// The operation text of each thread's innermost running Trap, for crash
// records: a crash names what its own thread was doing.
#pragma once

#include <cstdint>

namespace tamberlin::errors {

// The calling thread's innermost trapped operation, NUL-terminated (empty
// outside any trap).
const char* InnermostOperation() noexcept;

// The innermost trapped operation of the thread with the system's id
// `thread` (platform::crash::CurrentThreadId), or nullptr when it runs none.
// Safe inside a crash handler: it reads a fixed table and takes no lock.
const char* OperationOfThread(std::uint64_t thread) noexcept;

} // namespace tamberlin::errors
