// A program that crashes on purpose, one way per argument, with the crash
// handler installed: crash_child FOLDER KIND. The crash tests run it and
// read the record it leaves in FOLDER/Crashes.
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/errors/trap.h"
#include "tamberlin/runtime/application.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <pthread.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

std::string g_folder;
volatile int g_zero = 0;
volatile int g_hundred = 100;
int* volatile g_null = nullptr;
volatile int g_depth_limit = -1;
char* volatile g_block = nullptr;

// (The undefined-behaviour sanitizer would stop these before they fault.)
[[gnu::noinline]] __attribute__((no_sanitize("undefined"))) void CrashWithNullWrite() {
    *g_null = 1;
}

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

// A handler that was there first: it leaves a mark, and must still be
// called after the record is written.
void Previous(int, siginfo_t*, void*) {
    const std::string mark = g_folder + "/chained";
    const int fd = open(mark.c_str(), O_WRONLY | O_CREAT, 0600);
    if (fd >= 0)
        close(fd);
}

#if !defined(__SANITIZE_ADDRESS__)
// The allocator taken over: once armed, malloc takes its lock and faults
// while holding it, as a heap corruption found inside the allocator would.
// A crash handler that allocated would wait for that lock for ever.
pthread_mutex_t g_heap_lock = PTHREAD_MUTEX_INITIALIZER;
volatile bool g_armed = false;
#endif

} // namespace

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* malloc(std::size_t size) {
    pthread_mutex_lock(&g_heap_lock);
    if (g_armed)
        CrashWithNullWrite();
    void* block = __libc_malloc(size);
    pthread_mutex_unlock(&g_heap_lock);
    return block;
}
#endif

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    g_folder = argv[1];
    const std::string kind = argv[2];
    tamberlin::runtime::App().SetTitle("Crash child");
    modQFCriticalErrorHandler::strErrorLogFolder = g_folder + "/";
    if (kind == "chained") {
        struct sigaction action {};
        action.sa_sigaction = Previous;
        action.sa_flags = SA_SIGINFO;
        sigaction(SIGSEGV, &action, nullptr);
    }
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
    } else if (kind == "trap") {
        tamberlin::errors::Trap("opening the project file", [] { CrashWithNullWrite(); });
    } else if (kind == "thread") {
        std::thread worker([] {
            pthread_setname_np(pthread_self(), "crash-worker");
            CrashWithNullWrite();
        });
        worker.join();
#if !defined(__SANITIZE_ADDRESS__)
    } else if (kind == "malloc") {
        g_armed = true;
        std::string grown(1000, 'x'); // allocates
#endif
    }
    return 4; // did not crash
}
