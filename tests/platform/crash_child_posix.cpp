// crash_child on POSIX: a signal handler before the crash handler's, thread
// names, and malloc taken over for the "malloc" kind.
#include "crash_child.h"

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

namespace crash_child {
namespace {

// A handler that was there first: it leaves a mark, and must still be
// called after the record is written.
void Previous(int, siginfo_t*, void*) {
    const std::string mark = folder + "/chained";
    const int fd = open(mark.c_str(), O_WRONLY | O_CREAT, 0600);
    if (fd >= 0)
        close(fd);
}

} // namespace

#if !defined(__SANITIZE_ADDRESS__)
// The allocator taken over: once armed, malloc takes its lock and faults
// while holding it, as a heap corruption found inside the allocator would.
// A crash handler that allocated would wait for that lock for ever.
pthread_mutex_t g_heap_lock = PTHREAD_MUTEX_INITIALIZER;
volatile bool g_armed = false;
// "startup": the allocation that faults, counted down from arming.
volatile int g_countdown = 0;
#endif

void InstallPreviousHandler() {
    struct sigaction action {};
    action.sa_sigaction = Previous;
    action.sa_flags = SA_SIGINFO;
    sigaction(SIGSEGV, &action, nullptr);
}

void NameThisThread(const char* name) {
    pthread_setname_np(pthread_self(), name);
}

void CrashTheTargetsOwnWay([[maybe_unused]] const std::string& kind) {
#if !defined(__SANITIZE_ADDRESS__)
    if (kind == "malloc") {
        g_armed = true;
        std::string grown(1000, 'x'); // allocates
    }
    if (kind == "startup")
        g_countdown = 300; // inside the settings store's set-up
#endif
}

} // namespace crash_child

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* malloc(std::size_t size) {
    pthread_mutex_lock(&crash_child::g_heap_lock);
    if (crash_child::g_countdown > 0) {
        crash_child::g_countdown = crash_child::g_countdown - 1;
        crash_child::g_armed = crash_child::g_countdown == 0;
    }
    if (crash_child::g_armed)
        crash_child::CrashWithNullWrite();
    void* block = __libc_malloc(size);
    pthread_mutex_unlock(&crash_child::g_heap_lock);
    return block;
}
#endif
