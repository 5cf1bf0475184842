// crash_child FOLDER KIND: a program that crashes on purpose, one way per
// KIND, with the crash handler installed. The crash tests run it and read
// what it leaves in FOLDER/Crashes. crash_child.cpp holds the ways both
// targets share; crash_child_posix.cpp and crash_child_win32.cpp what differs.
#pragma once

#include <string>

namespace crash_child {

extern std::string folder;

// Writes through a null pointer: the fault most kinds end in.
void CrashWithNullWrite();
// Installs a handler before the crash handler's that leaves FOLDER/chained
// when it is called, and lets the crash go on; POSIX: one that mends the
// fault of the "recover" kind.
void InstallPreviousHandler();
// Names the calling thread where the system keeps thread names.
void NameThisThread(const char* name);
// Crashes in a way only this target has; returns for a kind it does not know.
void CrashTheTargetsOwnWay(const std::string& kind);

} // namespace crash_child
