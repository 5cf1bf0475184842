// crash_child on Windows: an exception filter before the crash handler's.
#include <windows.h>

#include "crash_child.h"

namespace crash_child {
namespace {

// A filter that was there first: it leaves a mark, and must still be called
// after the record is written.
LONG WINAPI Previous(EXCEPTION_POINTERS*) {
    const std::string mark = folder + "\\chained";
    CloseHandle(CreateFileA(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

void InstallPreviousHandler() {
    SetUnhandledExceptionFilter(Previous);
}

void NameThisThread(const char*) {}

void CrashTheTargetsOwnWay(const std::string&) {}

} // namespace crash_child
