// The critical error handler: the one place a trapped run-time error goes.
//
// A procedure that cannot deal with an error calls HandleCriticalError from
// its catch block with a phrase naming the operation ("opening the project
// file"). The handler classifies the error by its number, words a message,
// asks Retry or Cancel first for the conditions a user can put right, logs
// the error, shows the Application Error dialog and answers: 4 retry the
// statement, 5 continue after it, anything else leave the procedure (see
// trap.h). It never throws and never changes the error it reports, and while
// its dialog is open a second error returns 5 at once.
#pragma once

#include "tamberlin/runtime/current_error.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace modQFCriticalErrorHandler {

// The answers (the message-box answers of the same names).
enum ErrorResponse : std::int16_t { Abort = 3, Retry = 4, Ignore = 5 };

// Defaults for a caller that leaves the switches out: no e-mail part and no
// abort box.
inline bool blnDefaultAllowEmail = false;
inline bool blnDefaultAllowAbort = false;

// Handles the error being handled (call it inside a catch block).
std::int16_t HandleCriticalError(std::string_view strOperation,
                                 std::optional<bool> blnAllowEmail = std::nullopt,
                                 std::optional<bool> blnAllowAbort = std::nullopt) noexcept;
// The same for an error read already.
std::int16_t HandleCriticalError(const tamberlin::runtime::CurrentError& error,
                                 std::string_view strOperation,
                                 std::optional<bool> blnAllowEmail = std::nullopt,
                                 std::optional<bool> blnAllowAbort = std::nullopt) noexcept;

// The category text and the details block of the dialog's message.
std::string ComposeErrorMessage(const tamberlin::runtime::CurrentError& error,
                                std::string_view strOperation);

// Shows the Application Error dialog modally and returns its response;
// `error` and `strOperation` go into its error report.
std::int16_t ShowErrorDialog(std::string_view strMessage, bool blnAllowEmail, bool blnAllowAbort,
                             const tamberlin::runtime::CurrentError& error = {},
                             std::string_view strOperation = {});

// Runs on the Abort response; its text is discarded. By default it does
// nothing: an application that wants "Abort and close application" to close
// it installs its own.
inline std::function<std::string()> AbortHook = [] { return std::string(); };

} // namespace modQFCriticalErrorHandler
