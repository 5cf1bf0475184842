// The error trap callers put around a statement that may fail.
//
//     if (!Trap("opening the project file", [&] { project = Open(path); }))
//         return; // the user chose to give up
//
// Trap runs the statement; when it throws, the error goes to
// HandleCriticalError with the operation text, and the answer decides: 4
// runs the statement again, 5 continues after it (Trap returns true), any
// other answer tells the caller to leave (Trap returns false). `response`,
// when given, receives the handler's last answer (0 when nothing failed; 4
// when a retried statement then succeeded).
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

namespace tamberlin::errors {

bool Trap(std::string_view operation, const std::function<void()>& statement,
          std::int16_t* response = nullptr);

} // namespace tamberlin::errors
