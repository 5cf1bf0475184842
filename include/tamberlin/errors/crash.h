// Crash capture: the errors nobody trapped.
//
// An access violation, an integer division by zero, abort(), a stack
// overflow or an exception that reaches std::terminate ends the program
// without passing through a trap. InstallCrashHandler, called once after
// InitAppData, makes such a crash leave a record in the "Crashes" folder
// beside the error log; ReportPendingCrashes, called at the next start,
// logs each record, shows it in the Application Error dialog (from where it
// can be e-mailed with its report) and retires it.
//
// The handlers write with system calls only, into memory prepared when they
// were installed, and then let the crash take its course, so the system's
// own crash collector and debuggers still see it.
#pragma once

#include <string>

namespace tamberlin::errors {

// Installs the handlers; false when they could not be (the folder cannot be
// made, or the system refused). Installing twice does nothing more.
bool InstallCrashHandler() noexcept;

// Reports the records left by earlier runs, oldest first; returns how many
// were reported. At most the 10 newest pending records are kept.
int ReportPendingCrashes() noexcept;

// The folder the records live in: "Crashes" beside the error log, with a
// separator at the end.
std::string CrashFolder();

} // namespace tamberlin::errors
