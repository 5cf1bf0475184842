// Crash capture: the errors nobody trapped.
//
// An access violation, an integer division by zero, abort(), a stack
// overflow or an exception that reaches std::terminate ends the program
// without passing through a trap. InstallCrashHandler, the first call in
// main, makes such a crash leave a record in the "Crashes" folder beside the
// error log (before InitAppData: under the system's default data folder;
// InitAppData moves it when the settings name another);
// ReportPendingCrashes, called at the next start, moves each record to
// "Crashes/Reported", logs it and shows them all in one Application Error
// dialog, from where they can be e-mailed with their report.
//
// The handlers write with system calls only, into memory prepared when they
// were installed, and then let the crash take its course, so the system's
// own crash collector and debuggers still see it.
#pragma once

#include <string>

namespace tamberlin::errors {

// Installs the handlers; false when they could not be (the folder cannot be
// made, a file or a dangling link has its name, which the error log is told
// once, or the system refused). Installing again follows the data folder.
bool InstallCrashHandler() noexcept;

// Reports the records left by earlier runs, each once, in one dialog, oldest
// first; returns how many were reported. At most the 10 newest pending
// records are kept. A record that cannot be moved out of the way is logged
// once and not shown; a file that is not a record is set aside unread.
int ReportPendingCrashes() noexcept;

// The folder the records live in: "Crashes" beside the error log, with a
// separator at the end.
std::string CrashFolder();

} // namespace tamberlin::errors
