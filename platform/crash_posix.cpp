// Crash capture on Linux: signal handlers on an alternate stack that write a
// crash record with open/write/close and then let the fault take its course.
//
// Everything the handler touches is prepared beforehand: the folder's path
// in a fixed buffer, the modules and their build IDs as text, each thread's
// alternate stack, backtrace() called once (its first call loads the
// unwinder, which allocates), the C library's abort message found. The
// handler formats numbers itself and never calls malloc, stdio or a lock.
//
// The record's beginning (what crashed, where, when, on which thread, doing
// what) is on disk before anything that could fault again runs; the unwinder
// runs last. A fault the kernel raised for an instruction (si_code > 0) is
// not raised again: the handler puts back the default action and returns,
// the instruction faults once more, and a core dump or the system's crash
// collector sees the original signal, code and address. Only signals that
// would not come back (abort, raise, kill) are raised again.
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
#include <limits>
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
// Room for this handler (about 16 KB of buffers) and a handler chained
// after it; a thread's own alternate stack at least this large is kept.
constexpr std::size_t kAltStackSize = 64 * 1024;
constexpr int kMaxFrames = 64;
constexpr int kMaxModules = 512;
// "stack: 0x" and 16 hex digits and a line break.
constexpr std::size_t kFrameLineSize = 26;

struct sigaction g_previous[kSignalCount];
bool g_installed = false;
char g_folder[4096];
// The modules loaded at install, as "module:" lines, and their load
// addresses, so those loaded later are found at the crash.
char g_modules[32 * 1024];
std::size_t g_modules_size = 0;
std::uintptr_t g_module_bases[kMaxModules];
int g_module_count = 0;
std::atomic<const char*> g_operation{nullptr};
std::atomic<const char* (*)(std::uint64_t) noexcept> g_operation_of{nullptr};
// The thread recording; it stays set, so a second crash never records
// again (and cannot loop).
std::atomic<pid_t> g_recording{0};
std::atomic<std::int32_t> g_uncaught_number{0};
char g_uncaught_what[512];
// glibc keeps the message it prints before abort() ("double free detected")
// behind this pointer; looked up at install, absent elsewhere.
struct AbortMessage {
    unsigned size; // of the whole block
    char text[1];
};
AbortMessage* const* g_abort_message = nullptr;
// The loader's list of modules for debuggers (found through the
// executable's DT_DEBUG entry: a copy of _r_debug in the executable is not
// kept up to date).
const r_debug* g_loader_list = nullptr;

bool WriteAll(int fd, const char* bytes, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // a full disk, or a file-size limit (SIGXFSZ is ignored)
        done += static_cast<std::size_t>(n);
    }
    return true;
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

// Hands /proc/self/maps to `use(block, size)` a block at a time, with
// system calls only (runs inside the handler); false when it cannot be read.
template <typename Use> bool ReadMaps(Use use) {
    const int fd = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char block[1024];
    for (;;) {
        const ssize_t n = read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        use(block, static_cast<std::size_t>(n));
    }
    close(fd);
    return true;
}

// Copies /proc/self/maps into the record.
void CopyMaps(Writer& out) {
    ReadMaps([&](const char* block, std::size_t n) { out.Put(block, n); });
}

// A hash of /proc/self/maps: it changes when a handler maps or protects
// memory to recover from a fault.
std::uint64_t MapsHash() {
    std::uint64_t hash = 14695981039346656037ULL;
    const bool read = ReadMaps([&](const char* block, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            hash = (hash ^ static_cast<unsigned char>(block[i])) * 1099511628211ULL;
    });
    return read ? hash : 0;
}

// Whether the page holding `address` is mapped (a read of it then cannot
// fault: modules' first pages are readable).
bool Mapped(std::uintptr_t address) {
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    unsigned char resident;
    return mincore(reinterpret_cast<void*>(address & ~(page - 1)), 1, &resident) == 0;
}

// One "module:" line: load address, GNU build ID (or "-") and path.
std::size_t ModuleLine(char (&line)[4096 + 128], std::uintptr_t base, const ElfW(Phdr) * phdr,
                       int phnum, const char* name, bool check) {
    std::size_t k = 0;
    auto put = [&](const char* s, std::size_t n) {
        for (std::size_t i = 0; i < n && k + 1 < sizeof line; ++i)
            line[k++] = s[i];
    };
    put("module: ", 8);
    char hex[19] = "0x";
    for (int i = 0; i < 16; ++i)
        hex[2 + i] = "0123456789abcdef"[(static_cast<std::uint64_t>(base) >> (60 - 4 * i)) & 0xf];
    put(hex, 18);
    put(" ", 1);
    bool have_id = false;
    for (int i = 0; phdr && i < phnum && !have_id; ++i) {
        const ElfW(Phdr)& ph = phdr[i];
        if (ph.p_type != PT_NOTE)
            continue;
        const char* note = reinterpret_cast<const char*>(base + ph.p_vaddr);
        const char* end = note + ph.p_memsz;
        if (check && (!Mapped(reinterpret_cast<std::uintptr_t>(note)) ||
                      !Mapped(reinterpret_cast<std::uintptr_t>(end) - 1)))
            continue;
        while (note + sizeof(ElfW(Nhdr)) <= end) {
            const auto* header = reinterpret_cast<const ElfW(Nhdr)*>(note);
            const char* id_name = note + sizeof(ElfW(Nhdr));
            const char* desc = id_name + ((header->n_namesz + 3) & ~3u);
            if (desc + header->n_descsz > end)
                break;
            if (header->n_type == NT_GNU_BUILD_ID && header->n_namesz == 4 &&
                std::memcmp(id_name, "GNU", 4) == 0) {
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
    put(name, std::strlen(name));
    put("\n", 1);
    return k;
}

// The modules loaded at install (dl_iterate_phdr: not for a crash handler,
// it takes the loader's lock).
int AddModule(dl_phdr_info* info, std::size_t, void*) {
    char line[4096 + 128];
    const char* name = info->dlpi_name;
    char self[4096];
    if (!name || !*name) {
        // The executable itself, whose dynamic section leads to the loader's
        // list.
        for (int i = 0; i < info->dlpi_phnum; ++i)
            if (info->dlpi_phdr[i].p_type == PT_DYNAMIC && !g_loader_list)
                for (auto* dyn = reinterpret_cast<const ElfW(Dyn)*>(info->dlpi_addr +
                                                                    info->dlpi_phdr[i].p_vaddr);
                     dyn->d_tag != DT_NULL; ++dyn)
                    if (dyn->d_tag == DT_DEBUG)
                        g_loader_list = reinterpret_cast<const r_debug*>(dyn->d_un.d_ptr);
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        self[n > 0 ? n : 0] = '\0';
        name = self;
    }
    const std::size_t k =
        ModuleLine(line, info->dlpi_addr, info->dlpi_phdr, info->dlpi_phnum, name, false);
    if (g_modules_size + k <= sizeof g_modules && g_module_count < kMaxModules) {
        std::memcpy(g_modules + g_modules_size, line, k);
        g_modules_size += k;
        g_module_bases[g_module_count++] = info->dlpi_addr;
    }
    return 0;
}

// The modules loaded since install (dlopen), found at the crash in the list
// the loader keeps for debuggers, which is read without its lock: only when
// the loader says it is consistent (no dlopen half done), and each header
// read only once its page is known to be mapped.
void WriteLaterModules(Writer& out) {
    const r_debug* list = g_loader_list;
    if (!list || list->r_version == 0 || list->r_state != r_debug::RT_CONSISTENT)
        return;
    int count = 0;
    for (const link_map* map = list->r_map; map && count < 4 * kMaxModules;
         map = map->l_next, ++count) {
        const std::uintptr_t base = map->l_addr;
        if (!map->l_name || !*map->l_name || base == 0)
            continue; // the executable (at install) or a module not relocated
        bool known = false;
        for (int i = 0; i < g_module_count && !known; ++i)
            known = g_module_bases[i] == base;
        if (known)
            continue;
        const ElfW(Phdr)* phdr = nullptr;
        int phnum = 0;
        if (Mapped(base)) {
            const auto* elf = reinterpret_cast<const ElfW(Ehdr)*>(base);
            if (std::memcmp(elf->e_ident, ELFMAG, SELFMAG) == 0 && Mapped(base + elf->e_phoff) &&
                Mapped(base + elf->e_phoff + elf->e_phnum * sizeof(ElfW(Phdr)) - 1)) {
                phdr = reinterpret_cast<const ElfW(Phdr)*>(base + elf->e_phoff);
                phnum = elf->e_phnum;
            }
        }
        char line[4096 + 128];
        out.Put(line, ModuleLine(line, base, phdr, phnum, map->l_name, true));
    }
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
    const int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return;
    Writer out(fd);
    const int code = info ? info->si_code : 0;
    // Sent by a process or raised (abort): the address field holds the
    // sender's id then, not an address.
    const auto address =
        code > 0 ? reinterpret_cast<std::uintptr_t>(info ? info->si_addr : nullptr) : 0;
    // A fault near the stack pointer is the stack running out (the guard
    // page below it), which Windows reports as a stack overflow.
    const std::uintptr_t sp = StackPointer(context);
    const bool overflow =
        signal == SIGSEGV && code > 0 && sp && address + 65536 > sp && address < sp + 65536;
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
    const auto operation_of = g_operation_of.load();
    const char* operation =
        operation_of ? operation_of(static_cast<std::uint64_t>(thread)) : g_operation.load();
    out.Put("\noperation: ");
    if (operation)
        out.Line(operation, 1024);
    if (const std::int32_t number = g_uncaught_number.load(); number != 0) {
        out.Put("\nuncaught: ");
        out.Decimal(static_cast<std::uint64_t>(number));
        out.Put(" ");
        out.Line(g_uncaught_what, sizeof g_uncaught_what);
    }
    if (signal == SIGABRT && g_abort_message) {
        const AbortMessage* message = *g_abort_message;
        if (message && message->size > sizeof(unsigned)) {
            out.Put("\nabort: ");
            out.Line(message->text, message->size - sizeof(unsigned) < 1024
                                        ? message->size - sizeof(unsigned)
                                        : 1024);
        }
    }
    // The instruction that failed: the last line of the beginning that is
    // written before anything that could fault again.
    out.Put("\nstack: ");
    out.Hex(ip);
    out.Put("\n");
    out.Flush();

    out.Put(g_modules, g_modules_size);
    WriteLaterModules(out);
    // Blank lines the unwinder's frames are written into at the end.
    out.Flush();
    const std::uint64_t frames_at = out.Written();
    for (int i = 0; i < kMaxFrames; ++i)
        out.Put("                         \n", kFrameLineSize);
    const bool frames_room = out.Flush();
    out.Put("maps:\n");
    CopyMaps(out);
    out.Flush();

    // Last, the unwinder: it reads the crashed thread's stack, which may be
    // what is broken. Its first frames are this handler's own.
    if (frames_room) {
        void* frames[kMaxFrames];
        const int count = backtrace(frames, kMaxFrames);
        int first = 0;
        for (int i = 0; i < count; ++i)
            if (reinterpret_cast<std::uintptr_t>(frames[i]) == ip) {
                first = i + 1;
                break;
            }
        char lines[kMaxFrames * kFrameLineSize];
        std::size_t size = 0;
        for (int i = first; i < count; ++i) {
            std::memcpy(lines + size, "stack: 0x", 9);
            const auto frame = reinterpret_cast<std::uint64_t>(frames[i]);
            for (int d = 0; d < 16; ++d)
                lines[size + 9 + d] = "0123456789abcdef"[(frame >> (60 - 4 * d)) & 0xf];
            lines[size + 25] = '\n';
            size += kFrameLineSize;
        }
        for (std::size_t done = 0; done < size;) {
            const ssize_t w =
                pwrite(fd, lines + done, size - done, static_cast<off_t>(frames_at + done));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                break;
            done += static_cast<std::size_t>(w);
        }
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

bool IsHandler(const struct sigaction& action) {
    return (action.sa_flags & SA_SIGINFO)
               ? action.sa_sigaction != nullptr
               : action.sa_handler != SIG_DFL && action.sa_handler != SIG_IGN;
}

void Call(const struct sigaction& action, int signal, siginfo_t* info, void* context) {
    if (action.sa_flags & SA_SIGINFO)
        action.sa_sigaction(signal, info, context);
    else
        action.sa_handler(signal);
}

// A fault the kernel raised for the instruction that failed: it comes back
// when the handler returns. (A breakpoint returns after its instruction.)
bool FaultsAgain(int signal, const siginfo_t* info) {
    return info && info->si_code > 0 && signal != SIGTRAP && signal != SIGABRT;
}

// Gives a handler that was there before ours the fault first, as it had it
// before we came: a runtime that recovers (maps or unprotects the page, or
// moves the instruction pointer on) keeps running, and no crash is
// recorded. Answers whether it recovered, judged by what changed.
bool PreviousRecovers(const struct sigaction& previous, int signal, siginfo_t* info,
                      void* context) {
    auto* uc = static_cast<ucontext_t*>(context);
    mcontext_t before;
    std::memcpy(&before, &uc->uc_mcontext, sizeof before);
    const std::uint64_t maps = MapsHash();
    Call(previous, signal, info, context);
    return std::memcmp(&before, &uc->uc_mcontext, sizeof before) != 0 || MapsHash() != maps;
}

void Handler(int signal, siginfo_t* info, void* context) {
    const int saved_errno = errno;
    const int index = IndexOf(signal);
    const bool faults_again = FaultsAgain(signal, info);
    if (faults_again && index >= 0 && IsHandler(g_previous[index]) &&
        PreviousRecovers(g_previous[index], signal, info, context)) {
        errno = saved_errno;
        return;
    }

    const auto thread = static_cast<pid_t>(syscall(SYS_gettid));
    pid_t recording = 0;
    if (!g_recording.compare_exchange_strong(recording, thread)) {
        // Recorded already, or a crash while this thread records: the end at
        // once. A crash on another thread waits for the first record, whose
        // end ends the process.
        if (recording != thread)
            for (unsigned i = 0; i < 2 * kWatchdogSeconds; ++i)
                sleep(1);
        Die(signal);
    }
    // The watchdog: SIGALRM's default action ends the process should
    // recording stall. A file-size limit cuts the record short rather than
    // ending the process with SIGXFSZ instead of the crash's own signal.
    struct sigaction default_action {
    }, ignore{}, saved_alarm{}, saved_xfsz{};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGALRM, &default_action, &saved_alarm);
    sigaction(SIGXFSZ, &ignore, &saved_xfsz);
    const unsigned saved_alarm_seconds = alarm(kWatchdogSeconds);

    WriteRecord(signal, info, context, thread);

    if (faults_again) {
        // The default action, and back to the instruction: it faults again
        // and the process ends with the original signal, code and address.
        // (A handler before ours had its chance and did not recover.)
        sigaction(signal, &default_action, nullptr);
        alarm(saved_alarm_seconds);
        sigaction(SIGALRM, &saved_alarm, nullptr);
        sigaction(SIGXFSZ, &saved_xfsz, nullptr);
        errno = saved_errno;
        return;
    }
    // A signal that does not come back: the handler that was there before
    // ours, then the default action raised again.
    if (index >= 0 && IsHandler(g_previous[index])) {
        sigaction(signal, &g_previous[index], nullptr);
        Call(g_previous[index], signal, info, context);
    }
    errno = saved_errno;
    Die(signal);
}

// The calling thread's alternate stack, made by PrepareThread, given back
// when the thread ends.
struct AltStack {
    void* memory = nullptr;
    std::size_t size = 0;
    ~AltStack() {
        if (!memory)
            return;
        stack_t current{};
        if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
            current.ss_sp == static_cast<char*>(memory) + (size - kAltStackSize)) {
            stack_t off{};
            off.ss_flags = SS_DISABLE;
            sigaltstack(&off, nullptr);
        }
        munmap(memory, size);
    }
};
thread_local AltStack t_alt_stack;

} // namespace

bool PrepareThread() noexcept {
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && !(current.ss_flags & SS_DISABLE) &&
        current.ss_size >= kAltStackSize)
        return true; // the thread's own (ours, or a runtime's) is large enough
    // A guard page below it: a handler that runs out faults rather than
    // writing over whatever lies below.
    const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t size = kAltStackSize + page;
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return false;
    mprotect(memory, page, PROT_NONE);
    stack_t alt{};
    alt.ss_sp = static_cast<char*>(memory) + page;
    alt.ss_size = kAltStackSize;
    if (sigaltstack(&alt, nullptr) != 0) {
        munmap(memory, size);
        return false;
    }
    AltStack& mine = t_alt_stack;
    if (mine.memory)
        munmap(mine.memory, mine.size); // replaced by a smaller one since; not in use
    mine.memory = memory;
    mine.size = size;
    return true;
}

std::uint64_t CurrentThreadId() noexcept {
    return static_cast<std::uint64_t>(syscall(SYS_gettid));
}

bool Install(const Settings& settings) noexcept {
    if (settings.folder.size() + 1 > sizeof g_folder)
        return false;
    std::memcpy(g_folder, settings.folder.c_str(), settings.folder.size() + 1);
    g_operation.store(settings.operation);
    g_operation_of.store(settings.operation_of_thread);
    if (g_installed)
        return true;

    g_modules_size = 0;
    g_module_count = 0;
    dl_iterate_phdr(AddModule, nullptr);
    // The first backtrace() loads the unwinder: never for the first time in
    // a handler.
    void* frames[4];
    backtrace(frames, 4);
    g_abort_message = static_cast<AbortMessage* const*>(dlsym(RTLD_DEFAULT, "__abort_msg"));

    // A stack overflow leaves no stack to handle it on.
    PrepareThread();

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
    // A time no calendar year holds (a damaged record) has no local time.
    if (!localtime_r(&when, &t) || t.tm_year > std::numeric_limits<int>::max() - 1900)
        return {};
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

} // namespace tamberlin::platform::crash
