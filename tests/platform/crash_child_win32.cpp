// crash_child on Windows: an exception filter before the crash handler's, and
// the kinds only Windows has.
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

// Holds the process heap's lock for ever, as a thread inside HeapAlloc
// would while another crashes.
DWORD WINAPI HoldTheHeap(LPVOID locked) {
    HeapLock(GetProcessHeap());
    SetEvent(locked);
    Sleep(INFINITE);
    return 0;
}

} // namespace

void InstallPreviousHandler() {
    SetUnhandledExceptionFilter(Previous);
}

void NameThisThread(const char*) {}

void CrashTheTargetsOwnWay(const std::string& kind) {
    if (kind == "heap_locked") {
        const HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        CloseHandle(CreateThread(nullptr, 0, HoldTheHeap, locked, 0, nullptr));
        WaitForSingleObject(locked, INFINITE);
        CrashWithNullWrite();
    }
}

} // namespace crash_child
