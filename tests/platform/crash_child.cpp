#include "crash_child.h"

#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/errors/trap.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/runtime/application.h"

#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace crash_child {

std::string folder;

namespace {

volatile int g_zero = 0;
volatile int g_hundred = 100;
int* volatile g_null = nullptr;
volatile int g_depth_limit = -1;
char* volatile g_block = nullptr;

// (The undefined-behaviour sanitizer would stop this before it faults.)
[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) int DivideByZero() {
    return g_hundred / g_zero;
}

[[gnu::noinline]] int Recurse(int depth) {
    volatile char pad[512];
    pad[0] = static_cast<char>(depth);
    if (depth == g_depth_limit)
        return 0;
    return Recurse(depth + 1) + pad[0];
}

} // namespace

[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) void CrashWithNullWrite() {
    *g_null = 1;
}

} // namespace crash_child

// Outside any namespace of this file, so the compiler cannot know every
// class derived from Base and call Derived::Pure directly.
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
    using namespace crash_child;
    if (argc != 3)
        return 2;
    folder = argv[1];
    const std::string kind = argv[2];
    tamberlin::runtime::App().SetTitle("Crash child");
    if (kind == "startup") {
        // Installed first, into the default data folder; then a crash while
        // the store and the fonts are set up (a faulting allocation where
        // the target can arrange one, else right after).
        if (!tamberlin::errors::InstallCrashHandler())
            return 3;
        CrashTheTargetsOwnWay(kind);
        modQFAllData::InitAppData();
        CrashWithNullWrite();
    }
    modQFCriticalErrorHandler::strErrorLogFolder =
        folder + tamberlin::platform::NativePathStyle().separator;
    if (kind == "chained" || kind == "recover")
        InstallPreviousHandler();
    if (!tamberlin::errors::InstallCrashHandler())
        return 3;

    if (kind == "segv" || kind == "chained") {
        CrashWithNullWrite();
    } else if (kind == "fpe") {
        return DivideByZero();
    } else if (kind == "abort") {
        std::abort();
    } else if (kind == "stack") {
        return Recurse(0);
    } else if (kind == "runtime_error") {
        throw std::runtime_error("the project file is damaged");
    } else if (kind == "bad_alloc") {
        volatile std::size_t huge = static_cast<std::size_t>(-1) / 4;
        g_block = new char[huge]; // kept, so the allocation cannot be left out
        g_block[0] = 1;
    } else if (kind == "purecall") {
        Derived derived;
    } else if (kind == "trap") {
        tamberlin::errors::Trap("opening the project file", [] { CrashWithNullWrite(); });
    } else if (kind == "thread") {
        std::thread worker([] {
            NameThisThread("crash-worker");
            CrashWithNullWrite();
        });
        worker.join();
    } else if (kind == "thread_stack") {
        // The worker's overflow is recorded under its own operation, not the
        // one main is in.
        tamberlin::errors::Trap("saving the user's file", [] {
            std::thread worker([] {
                NameThisThread("crash-worker");
                tamberlin::errors::Trap("drawing the preview", [] { Recurse(0); });
            });
            worker.join();
        });
    } else {
        CrashTheTargetsOwnWay(kind);
    }
    return 4; // did not crash
}
