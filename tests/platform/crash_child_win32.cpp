// A Windows program that crashes on purpose, one way per argument, with the
// crash handler installed: crash_child FOLDER KIND. The crash tests run it
// under Wine and read the record and minidump it leaves in FOLDER\Crashes.
#include <windows.h>

#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/errors/trap.h"
#include "tamberlin/runtime/application.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

std::string g_folder;
int* volatile g_null = nullptr;
volatile int g_zero = 0;
volatile int g_hundred = 100;
volatile int g_depth_limit = -1;
char* volatile g_block = nullptr;

[[gnu::noinline]] void CrashWithNullWrite() {
    *g_null = 1;
}

[[gnu::noinline]] int Recurse(int depth) {
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (depth == g_depth_limit)
        return 0;
    return Recurse(depth + 1) + pad[0];
}

// A filter that was there first: it leaves a mark, and must still be called
// after the record is written.
LONG WINAPI Previous(EXCEPTION_POINTERS*) {
    const std::string mark = g_folder + "\\chained";
    CloseHandle(CreateFileA(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    return EXCEPTION_CONTINUE_SEARCH;
}

} // namespace

// Outside the anonymous namespace, so the compiler cannot know every class
// derived from Base and call Derived::Pure directly.
struct Base {
    Base() { Call(); } // a virtual call while only the base exists
    virtual ~Base() = default;
    virtual void Pure() = 0;
    [[gnu::noinline]] void Call() { Pure(); }
};
struct Derived : Base {
    void Pure() override {}
};

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    g_folder = argv[1];
    const std::string kind = argv[2];
    tamberlin::runtime::App().SetTitle("Crash child");
    modQFCriticalErrorHandler::strErrorLogFolder = g_folder + "\\";
    if (kind == "chained")
        SetUnhandledExceptionFilter(Previous);
    if (!tamberlin::errors::InstallCrashHandler())
        return 3;

    if (kind == "segv" || kind == "chained") {
        CrashWithNullWrite();
    } else if (kind == "fpe") {
        volatile int quotient = g_hundred / g_zero;
        (void)quotient;
    } else if (kind == "abort") {
        std::abort();
    } else if (kind == "stack") {
        return Recurse(0);
    } else if (kind == "runtime_error") {
        throw std::runtime_error("the project file is damaged");
    } else if (kind == "bad_alloc") {
        volatile std::size_t huge = static_cast<std::size_t>(-1) / 4;
        g_block = new char[huge];
        g_block[0] = 1;
    } else if (kind == "purecall") {
        Derived derived;
    } else if (kind == "trap") {
        tamberlin::errors::Trap("opening the project file", [] { CrashWithNullWrite(); });
    } else if (kind == "thread") {
        std::thread worker([] { CrashWithNullWrite(); });
        worker.join();
    }
    return 4; // did not crash
}
