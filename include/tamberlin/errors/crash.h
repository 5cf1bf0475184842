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
// The handlers write with system calls only, into memory prepared
// beforehand, and then let the crash take its course, so the system's own
// crash collector and debuggers still see it: on Linux a fault comes back to
// them with its own signal, code and address. A signal handler installed
// before ours gets a fault first; if it recovers (as a language runtime
// does), nothing is recorded and the program goes on.
//
// Threads: a crash on any thread is recorded, under that thread's own
// innermost trapped operation. A stack overflow, though, leaves the thread
// no stack to record it on, so each thread needs a stack kept for crashes
// (Linux: an alternate signal stack; Windows: room kept by
// SetThreadStackGuarantee). The thread that installs the handlers, every
// thread when it enters a Trap, and the threads this library starts get one
// by themselves. A thread of your own that may overflow its stack outside
// any Trap should call PrepareThreadForCrashes once, first thing:
//
//     std::thread worker([] {
//         tamberlin::errors::PrepareThreadForCrashes();
//         ...
//     });
#pragma once

#include <string>

namespace tamberlin::errors {

// Installs the handlers; false when they could not be (the folder cannot be
// made, a file or a dangling link has its name, which the error log is told
// once, or the system refused). Installing again follows the data folder.
bool InstallCrashHandler() noexcept;

// Prepares the calling thread so that a stack overflow on it is recorded
// too: an alternate signal stack on Linux (one the thread already has that
// is large enough is kept; ours is given back when the thread ends), the
// stack guarantee on Windows. Cheap, may be called before
// InstallCrashHandler and more than once; false when the system refused.
bool PrepareThreadForCrashes() noexcept;

// Reports the records left by earlier runs, each once, in one dialog, oldest
// first; returns how many were reported. At most the 10 newest pending
// records are kept. A record that cannot be moved out of the way is logged
// once and not shown; a file that is not a record is set aside unread.
int ReportPendingCrashes() noexcept;

// The folder the records live in: "Crashes" beside the error log, with a
// separator at the end.
std::string CrashFolder();

} // namespace tamberlin::errors
