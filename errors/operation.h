// The operation text of the innermost running Trap, NUL-terminated, in a
// buffer that lives as long as the program (empty outside any trap). One for
// the process: the crash record names what the program was doing.
#pragma once

namespace tamberlin::errors {

const char* InnermostOperation() noexcept;

} // namespace tamberlin::errors
