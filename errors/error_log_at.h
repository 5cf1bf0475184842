// The error log's entry stamped with a time of the caller's: a crash is
// logged at the next start with the time it happened.
#pragma once

#include "platform/clock.h"
#include "tamberlin/errors/error_log.h"

namespace modQFCriticalErrorHandler {

std::string FormatErrorLogLine(std::string_view strOperation,
                               const tamberlin::runtime::CurrentError& error,
                               const tamberlin::platform::clock::LocalTime& when);
void WriteErrorLog(std::string_view strOperation, const tamberlin::runtime::CurrentError& error,
                   const tamberlin::platform::clock::LocalTime& when) noexcept;

} // namespace modQFCriticalErrorHandler
