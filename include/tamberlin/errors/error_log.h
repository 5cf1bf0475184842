// The error log: one line for every critical error, appended to a per-user
// text file that also goes with the error report.
//
// Lines are "mmm d yyyy hh:mm:ss, operation, number, description, source,
// last system error" in the ANSI code page, ended by CR LF, with the user
// locale's month names. Writing never disturbs the error handling that
// called it: a failure is shown once per run ("Logging Error") and
// swallowed, and the entry of that call is lost.
#pragma once

#include "tamberlin/runtime/current_error.h"

#include <string>
#include <string_view>

namespace modQFCriticalErrorHandler {

// The log's folder; empty: the data folder (ErrorFolders).
inline std::string strErrorLogFolder;
// A logging failure has been shown in this run.
inline bool blnLogErrorShown = false;

// The folders the error path writes to, all derived here from one: the
// log's (strErrorLogFolder, else the data folder, else, before InitAppData
// names one, the default data folder's), the crash records' ("Crashes" in
// it) and the Outbox, the queue of reports not yet sent ("Outbox" in it).
// All empty when no folder is known. Touches nothing on disk.
struct ErrorFolders {
    std::string log;     // with a separator at the end
    std::string crashes; // with a separator at the end
    std::string outbox;  // without one
};
ErrorFolders GetErrorFolders();

// The log's folder, the executable name and "Error.log". Touches nothing on
// disk.
std::string GetErrorLogPath();

// Appends one entry for the error being handled (call it inside a catch
// block), or for `error`.
void WriteErrorLog(std::string_view strOperation) noexcept;
void WriteErrorLog(std::string_view strOperation,
                   const tamberlin::runtime::CurrentError& error) noexcept;

// The entry's line, CR LF included, as UTF-8 (before the ANSI conversion).
std::string FormatErrorLogLine(std::string_view strOperation,
                               const tamberlin::runtime::CurrentError& error);

} // namespace modQFCriticalErrorHandler
