// crash_child on POSIX: a signal handler before the crash handler's, thread
// names, the kinds only POSIX has, and malloc taken over for "malloc".
#include "crash_child.h"

#include <csignal>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

namespace crash_child {
namespace {

void* volatile g_guarded = nullptr;

void Mark(const char* name) {
    const std::string mark = folder + "/" + name;
    const int fd = open(mark.c_str(), O_WRONLY | O_CREAT, 0600);
    if (fd >= 0)
        close(fd);
}

// A handler that was there first: it mends a fault on the "recover" kind's
// page, as a runtime would; any other it only marks, and the crash goes on.
void Previous(int, siginfo_t* info, void*) {
    if (g_guarded && info->si_addr == g_guarded) {
        mprotect(g_guarded, static_cast<std::size_t>(getpagesize()), PROT_READ | PROT_WRITE);
        return;
    }
    Mark("chained");
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
    if (kind == "recover") {
        g_guarded = mmap(nullptr, static_cast<std::size_t>(getpagesize()), PROT_NONE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        *static_cast<volatile int*>(g_guarded) = 1; // mended by Previous
        Mark("recovered");
        CrashWithNullWrite();
    } else if (kind == "fsize") {
        // A disk with 512 bytes to spare.
        const rlimit limit{512, 512};
        setrlimit(RLIMIT_FSIZE, &limit);
        CrashWithNullWrite();
    } else if (kind == "dlopen") {
        // Loaded after the handler was installed.
        if (dlopen("libdw.so.1", RTLD_NOW))
            CrashWithNullWrite();
    }
#if defined(__x86_64__)
    if (kind == "bad_stack") {
        // A stack pointer to nowhere: the unwinder faults in turn.
        asm volatile("movq %0, %%rsp\n\tmovl $1, 0" : : "r"(0x100000000ULL) : "memory");
    }
#endif
#if !defined(__SANITIZE_ADDRESS__)
    if (kind == "double_free") {
        char* volatile block = static_cast<char*>(std::malloc(32));
        std::free(block);
        std::free(block);
    }
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
