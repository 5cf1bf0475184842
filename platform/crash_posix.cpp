// Crash capture on Linux: signal handlers on an alternate stack that write a
// crash record with open/write/close and then let the signal end the process.
//
// Everything the handler touches is prepared by Install: the folder's path in
// a fixed buffer, the modules and their build IDs as text, the alternate
// stack, backtrace() called once (its first call loads the unwinder, which
// allocates). The handler formats numbers itself and never calls malloc,
// stdio or a lock.
#include "platform/crash.h"
#include "platform/crash_writer.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <dlfcn.h>
#include <elf.h>
#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace tamberlin::platform::crash {
namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT, SIGTRAP};
constexpr int kSignalCount = sizeof kSignals / sizeof kSignals[0];
// The process ends this many seconds into recording whatever the handler
// is doing.
constexpr unsigned kWatchdogSeconds = 5;
constexpr std::size_t kAltStackSize = 64 * 1024;
constexpr int kMaxFrames = 64;

struct sigaction g_previous[kSignalCount];
bool g_installed = false;
char g_folder[4096];
char g_modules[32 * 1024];
std::size_t g_modules_size = 0;
std::atomic<const char*> g_operation{nullptr};
std::atomic<pid_t> g_recording{0};
std::atomic<std::int32_t> g_uncaught_number{0};
char g_uncaught_what[512];

void WriteAll(int fd, const char* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
}
using Writer = RecordWriter<int, WriteAll>;

// The exception code Windows gives the same fault.
std::uint32_t ExceptionCode(int signal, int code) {
    switch (signal) {
    case SIGSEGV:
        return 0xC0000005; // EXCEPTION_ACCESS_VIOLATION
    case SIGBUS:
        return code == BUS_ADRALN ? 0x80000002  // EXCEPTION_DATATYPE_MISALIGNMENT
                                  : 0xC0000006; // EXCEPTION_IN_PAGE_ERROR
    case SIGILL:
        return code == ILL_PRVOPC || code == ILL_PRVREG ? 0xC0000096  // PRIV_INSTRUCTION
                                                        : 0xC000001D; // ILLEGAL_INSTRUCTION
    case SIGFPE:
        switch (code) {
        case FPE_INTDIV:
            return 0xC0000094; // EXCEPTION_INT_DIVIDE_BY_ZERO
        case FPE_INTOVF:
            return 0xC0000095; // EXCEPTION_INT_OVERFLOW
        case FPE_FLTDIV:
            return 0xC000008E; // EXCEPTION_FLT_DIVIDE_BY_ZERO
        case FPE_FLTOVF:
            return 0xC0000091; // EXCEPTION_FLT_OVERFLOW
        case FPE_FLTUND:
            return 0xC0000093; // EXCEPTION_FLT_UNDERFLOW
        case FPE_FLTRES:
            return 0xC000008F; // EXCEPTION_FLT_INEXACT_RESULT
        default:
            return 0xC0000090; // EXCEPTION_FLT_INVALID_OPERATION
        }
    case SIGTRAP:
        return 0x80000003; // EXCEPTION_BREAKPOINT
    default:
        return 0x40000015; // STATUS_FATAL_APP_EXIT, what abort() ends with
    }
}

std::uintptr_t StackPointer(const void* context) {
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__i386__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_ESP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.sp);
#else
    (void)uc;
    return 0;
#endif
}

std::uintptr_t InstructionPointer(const void* context) {
    const auto* uc = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__i386__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
#elif defined(__aarch64__)
    return static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
#else
    (void)uc;
    return 0;
#endif
}

// Copies /proc/self/maps into the record, a block at a time.
void CopyMaps(Writer& out) {
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    char block[1024];
    for (;;) {
        const ssize_t n = read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        out.Put(block, static_cast<std::size_t>(n));
    }
    close(fd);
}

void WriteRecord(int signal, const siginfo_t* info, void* context, pid_t thread) {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);

    char name[80];
    const std::size_t k = RecordName(name, static_cast<std::uint64_t>(now.tv_sec),
                                     static_cast<std::uint64_t>(now.tv_nsec),
                                     static_cast<std::uint64_t>(getpid()), kRecordExtension);
    char path[sizeof g_folder + sizeof name];
    const std::size_t n = std::strlen(g_folder);
    std::memcpy(path, g_folder, n);
    std::memcpy(path + n, name, k + 1);
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    {
        Writer out(fd);
        const int code = info ? info->si_code : 0;
        // A fault near the stack pointer is the stack running out (the guard
        // page below it), which Windows reports as a stack overflow.
        const auto address = reinterpret_cast<std::uintptr_t>(info ? info->si_addr : nullptr);
        const std::uintptr_t sp = StackPointer(context);
        const bool overflow =
            signal == SIGSEGV && sp && address + 65536 > sp && address < sp + 65536;
        out.Put("tamberlin crash record\nexception: ");
        out.Hex(overflow ? 0xC00000FD : ExceptionCode(signal, code), 8); // EXCEPTION_STACK_OVERFLOW
        out.Put("\nsignal: ");
        out.Decimal(static_cast<std::uint64_t>(signal));
        out.Put(" ");
        if (code < 0) {
            out.Put("-");
            out.Decimal(static_cast<std::uint64_t>(-static_cast<std::int64_t>(code)));
        } else {
            out.Decimal(static_cast<std::uint64_t>(code));
        }
        out.Put("\naddress: ");
        out.Hex(address);
        const std::uintptr_t ip = InstructionPointer(context);
        out.Put("\nip: ");
        out.Hex(ip);
        out.Put("\ntime: ");
        out.Decimal(static_cast<std::uint64_t>(now.tv_sec));
        out.Put(" ");
        out.Decimal(static_cast<std::uint64_t>(now.tv_nsec), 9);
        out.Put("\nthread: ");
        out.Decimal(static_cast<std::uint64_t>(thread));
        char thread_name[17] = {};
        prctl(PR_GET_NAME, thread_name, 0, 0, 0);
        out.Put(" ");
        out.Line(thread_name, 16);
        const char* operation = g_operation.load();
        out.Put("\noperation: ");
        if (operation)
            out.Line(operation, 1024);
        if (const std::int32_t number = g_uncaught_number.load(); number != 0) {
            out.Put("\nuncaught: ");
            out.Decimal(static_cast<std::uint64_t>(number));
            out.Put(" ");
            out.Line(g_uncaught_what, sizeof g_uncaught_what);
        }
        out.Put("\n");
        // The instruction that failed, then the return addresses the unwinder
        // finds (its first frames are this handler's own).
        out.Put("stack: ");
        out.Hex(ip);
        out.Put("\n");
        void* frames[kMaxFrames];
        const int count = backtrace(frames, kMaxFrames);
        int first = 0;
        for (int i = 0; i < count; ++i)
            if (reinterpret_cast<std::uintptr_t>(frames[i]) == ip) {
                first = i + 1;
                break;
            }
        for (int i = first; i < count; ++i) {
            out.Put("stack: ");
            out.Hex(reinterpret_cast<std::uintptr_t>(frames[i]));
            out.Put("\n");
        }
        out.Put(g_modules, g_modules_size);
        out.Put("maps:\n");
        out.Flush();
        CopyMaps(out);
    }
    fsync(fd);
    close(fd);
}

// Ends the process with `signal`'s default action.
[[noreturn]] void Die(int signal) {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, signal);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    raise(signal);
    _exit(128 + signal);
}

int IndexOf(int signal) {
    for (int i = 0; i < kSignalCount; ++i)
        if (kSignals[i] == signal)
            return i;
    return -1;
}

void Handler(int signal, siginfo_t* info, void* context) {
    const int saved_errno = errno;
    const auto thread = static_cast<pid_t>(syscall(SYS_gettid));
    pid_t recording = 0;
    if (!g_recording.compare_exchange_strong(recording, thread)) {
        // A crash while this thread records ends the process at once; a crash
        // on another thread waits for the first record, whose end ends it.
        if (recording == thread)
            Die(signal);
        for (unsigned i = 0; i < 2 * kWatchdogSeconds; ++i)
            sleep(1);
        Die(signal);
    }
    // The watchdog: SIGALRM's default action ends the process should
    // recording stall.
    struct sigaction alarm_action {};
    alarm_action.sa_handler = SIG_DFL;
    sigemptyset(&alarm_action.sa_mask);
    sigaction(SIGALRM, &alarm_action, nullptr);
    alarm(kWatchdogSeconds);

    WriteRecord(signal, info, context, thread);

    // The handler that was there before ours, then the default action, so
    // a core dump, the system's crash collector or a debugger still see it.
    const int index = IndexOf(signal);
    if (index >= 0) {
        const struct sigaction& previous = g_previous[index];
        sigaction(signal, &previous, nullptr);
        if (previous.sa_flags & SA_SIGINFO) {
            if (previous.sa_sigaction)
                previous.sa_sigaction(signal, info, context);
        } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
        }
    }
    errno = saved_errno;
    Die(signal);
}

// The modules loaded now, one "module:" line each with its load address and
// GNU build ID, so the next start can tell whether a file changed since.
int AddModule(dl_phdr_info* info, std::size_t, void*) {
    char line[4096 + 128];
    std::size_t k = 0;
    auto put = [&](const char* s, std::size_t n) {
        for (std::size_t i = 0; i < n && k + 1 < sizeof line; ++i)
            line[k++] = s[i];
    };
    put("module: ", 8);
    char hex[19] = "0x";
    for (int i = 0; i < 16; ++i)
        hex[2 + i] = "0123456789abcdef"[(info->dlpi_addr >> (60 - 4 * i)) & 0xf];
    put(hex, 18);
    put(" ", 1);
    bool have_id = false;
    for (int i = 0; i < info->dlpi_phnum && !have_id; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type != PT_NOTE)
            continue;
        const char* note = reinterpret_cast<const char*>(info->dlpi_addr + ph.p_vaddr);
        const char* end = note + ph.p_memsz;
        while (note + sizeof(ElfW(Nhdr)) <= end) {
            const auto* header = reinterpret_cast<const ElfW(Nhdr)*>(note);
            const char* name = note + sizeof(ElfW(Nhdr));
            const char* desc = name + ((header->n_namesz + 3) & ~3u);
            if (header->n_type == NT_GNU_BUILD_ID && header->n_namesz == 4 &&
                std::memcmp(name, "GNU", 4) == 0) {
                for (unsigned b = 0; b < header->n_descsz; ++b) {
                    const auto byte = static_cast<unsigned char>(desc[b]);
                    const char two[2] = {"0123456789abcdef"[byte >> 4],
                                         "0123456789abcdef"[byte & 0xf]};
                    put(two, 2);
                }
                have_id = true;
                break;
            }
            note = desc + ((header->n_descsz + 3) & ~3u);
        }
    }
    if (!have_id)
        put("-", 1);
    put(" ", 1);
    const char* name = info->dlpi_name;
    char self[4096];
    if (!name || !*name) {
        // The executable itself.
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        self[n > 0 ? n : 0] = '\0';
        name = self;
    }
    put(name, std::strlen(name));
    put("\n", 1);
    if (g_modules_size + k <= sizeof g_modules) {
        std::memcpy(g_modules + g_modules_size, line, k);
        g_modules_size += k;
    }
    return 0;
}

} // namespace

bool Install(const Settings& settings) noexcept {
    if (settings.folder.size() + 1 > sizeof g_folder)
        return false;
    std::memcpy(g_folder, settings.folder.c_str(), settings.folder.size() + 1);
    g_operation.store(settings.operation);
    if (g_installed)
        return true;

    g_modules_size = 0;
    dl_iterate_phdr(AddModule, nullptr);
    // The first backtrace() loads the unwinder: never for the first time in
    // a handler.
    void* frames[4];
    backtrace(frames, 4);

    // A stack overflow leaves no stack to handle it on.
    void* stack =
        mmap(nullptr, kAltStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (stack != MAP_FAILED) {
        stack_t alt{};
        alt.ss_sp = stack;
        alt.ss_size = kAltStackSize;
        if (sigaltstack(&alt, nullptr) != 0)
            munmap(stack, kAltStackSize);
    }

    struct sigaction action {};
    action.sa_sigaction = Handler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // A second crash signal on the recording thread is blocked, so the
    // system ends the process with it at once.
    sigemptyset(&action.sa_mask);
    for (int signal : kSignals)
        sigaddset(&action.sa_mask, signal);
    for (int i = 0; i < kSignalCount; ++i)
        if (sigaction(kSignals[i], &action, &g_previous[i]) != 0)
            return false;
    g_installed = true;
    return true;
}

void NoteUncaughtException(std::int32_t number, const char* what) noexcept {
    CopyText(g_uncaught_what, what);
    g_uncaught_number.store(number);
}

clock::LocalTime LocalTimeOf(std::int64_t seconds_since_1970) {
    const auto when = static_cast<std::time_t>(seconds_since_1970);
    std::tm t{};
    localtime_r(&when, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

} // namespace tamberlin::platform::crash
