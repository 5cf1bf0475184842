// Crash capture on Windows: an unhandled-exception filter that writes a
// small crash record and a minidump, then lets the exception go on to the
// system (EXCEPTION_CONTINUE_SEARCH), so Windows Error Reporting and
// debuggers still see it. The C run-time's pure-virtual-call and
// invalid-parameter handlers and SIGABRT raise exceptions of their own that
// reach the same filter.
//
// Everything is prepared by Install: the folder as an NT path in a fixed
// buffer (files are created with NtCreateFile, which needs no process heap
// to turn a path into an NT one, as CreateFileW does), the modules and their
// CodeView build IDs as text, dbghelp loaded and MiniDumpWriteDump looked
// up, and two threads waiting: the helper (watchdog, and the writer of a
// stack overflow's record, whose thread has no stack left; a vectored
// handler sees the overflow first, before the search for a filter uses up
// what stack is left) and the heap prober. The minidump needs the process heap; should another
// thread hold its lock (or the crash have happened inside the heap), the prober cannot take it in
// time: the record is written without a dump and the process ends at once, since the system's own
// handling would wait for that lock too. (A dump written by another thread while the crashing one
// waited stalled under Wine: the crashing thread writes it, except after a stack overflow.)
#include <windows.h>

#include "platform/crash.h"
#include "platform/crash_writer.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cwchar>
#include <dbghelp.h>
#include <winternl.h>

namespace tamberlin::platform::crash {
namespace {

// Our own code for a pure virtual call: it has none of Windows' own.
constexpr DWORD kPureVirtualCall = 0xE0000001;
constexpr DWORD kInvalidParameter = 0xC0000417; // STATUS_INVALID_CRUNTIME_PARAMETER
constexpr DWORD kFatalAppExit = 0x40000015;     // STATUS_FATAL_APP_EXIT, what abort() ends with
constexpr DWORD kStackOverflow = 0xC00000FD;
// Generous: Wine writes a minidump in 15 to 30 seconds on a busy machine.
constexpr DWORD kWatchdogMilliseconds = 60000;
// How long the process heap may stay locked before the dump is given up.
constexpr DWORD kHeapWaitMilliseconds = 1000;

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);
using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtSetInformationFileFn = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                FILE_INFORMATION_CLASS);
using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, LPDWORD);

bool g_installed = false;
wchar_t g_folder[MAX_PATH * 2]; // "\??\C:\...\"
MiniDumpWriteDumpFn g_write_dump = nullptr;
NtCreateFileFn g_create_file = nullptr;
NtSetInformationFileFn g_set_information = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;
const char* volatile g_operation = nullptr;
const char* (*volatile g_operation_of)(std::uint64_t) noexcept = nullptr;
volatile LONG g_recording = 0; // the recording thread's id
volatile LONG g_uncaught_number = 0;
char g_uncaught_what[512];
// The modules loaded at install, one "module: BASE BUILDID PATH" line each.
char g_modules[32 * 1024];
std::size_t g_modules_size = 0;

HANDLE g_request = nullptr;       // set by the filter: recording starts
HANDLE g_done = nullptr;          // set once the record is written
HANDLE g_probe_request = nullptr; // set by the recorder: may the heap be used?
HANDLE g_heap_free = nullptr;     // set by the prober once it held the heap's lock
volatile DWORD g_crash_code = 0;
EXCEPTION_POINTERS* volatile g_exception = nullptr;
volatile DWORD g_crashed_thread = 0;

bool WriteAll(HANDLE file, const char* bytes, std::size_t size) {
    DWORD written = 0;
    return WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
}
using Writer = RecordWriter<HANDLE, WriteAll>;

// The folder's NT path and the record's name (RecordName).
std::size_t RecordPath(wchar_t* path, std::size_t capacity, unsigned long long seconds,
                       unsigned long nanoseconds, const char* extension) {
    std::size_t k = 0;
    for (; g_folder[k] && k + 1 < capacity; ++k)
        path[k] = g_folder[k];
    char name[80];
    RecordName(name, seconds, nanoseconds, GetCurrentProcessId(), extension);
    for (const char* s = name; *s && k + 1 < capacity;)
        path[k++] = static_cast<wchar_t>(*s++);
    path[k] = L'\0';
    return k;
}

// A new file, from its NT path, without the process heap.
HANDLE CreateNew(wchar_t* path, std::size_t length) {
    if (!g_create_file)
        return INVALID_HANDLE_VALUE;
    UNICODE_STRING name;
    name.Buffer = path;
    name.Length = static_cast<USHORT>(length * sizeof(wchar_t));
    name.MaximumLength = static_cast<USHORT>(name.Length + sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE file = nullptr;
    const NTSTATUS status =
        g_create_file(&file, GENERIC_WRITE | FILE_READ_ATTRIBUTES | DELETE | SYNCHRONIZE,
                      &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, 0, FILE_CREATE,
                      FILE_SYNCHRONOUS_IO_NONALERT | FILE_NON_DIRECTORY_FILE, nullptr, 0);
    return status >= 0 ? file : INVALID_HANDLE_VALUE;
}

// Whether the file goes when its handle is closed (or the process ends).
void DeleteOnClose(HANDLE file, bool deleted) {
    struct {
        BOOLEAN delete_file;
    } disposition{static_cast<BOOLEAN>(deleted)};
    IO_STATUS_BLOCK io{};
    if (g_set_information)
        g_set_information(file, &io, &disposition, sizeof disposition,
                          static_cast<FILE_INFORMATION_CLASS>(13)); // FileDispositionInformation
}

// Whether the process heap's lock can be had: the prober takes it (and
// gives it back) within the time allowed.
bool HeapIsFree() {
    if (!g_probe_request || !g_heap_free)
        return false;
    SetEvent(g_probe_request);
    return WaitForSingleObject(g_heap_free, kHeapWaitMilliseconds) == WAIT_OBJECT_0;
}

void WriteRecord(EXCEPTION_POINTERS* exception, DWORD thread, bool dump) {
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    // 100-ns intervals since 1601 -> since 1970.
    const unsigned long long ticks =
        ((static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime) -
        116444736000000000ULL;
    const unsigned long long seconds = ticks / 10000000ULL;
    const auto nanoseconds = static_cast<unsigned long>((ticks % 10000000ULL) * 100);

    const EXCEPTION_RECORD* record = exception ? exception->ExceptionRecord : nullptr;
    wchar_t path[MAX_PATH * 2 + 64];
    std::size_t length =
        RecordPath(path, sizeof path / sizeof path[0], seconds, nanoseconds, kRecordExtension);
    const HANDLE file = CreateNew(path, length);
    if (file != INVALID_HANDLE_VALUE) {
        Writer out(file);
        out.Put("tamberlin crash record\nexception: ");
        out.Hex(record ? record->ExceptionCode : 0, 8);
        out.Put("\naddress: ");
        // An access violation's second parameter is the address it touched.
        out.Hex(record && record->NumberParameters >= 2
                    ? static_cast<unsigned long long>(record->ExceptionInformation[1])
                    : 0);
        out.Put("\nip: ");
        out.Hex(record ? reinterpret_cast<std::uintptr_t>(record->ExceptionAddress) : 0);
        out.Put("\ntime: ");
        out.Decimal(seconds);
        out.Put(" ");
        out.Decimal(nanoseconds, 9);
        out.Put("\nthread: ");
        out.Decimal(thread);
        const auto operation_of = g_operation_of;
        const char* operation = operation_of ? operation_of(thread) : g_operation;
        out.Put("\noperation: ");
        if (operation)
            out.Line(operation, 1024);
        if (const LONG number = g_uncaught_number; number != 0) {
            out.Put("\nuncaught: ");
            out.Decimal(static_cast<unsigned long long>(number));
            out.Put(" ");
            out.Line(g_uncaught_what, sizeof g_uncaught_what);
        }
        out.Put("\nstack: ");
        out.Hex(record ? reinterpret_cast<std::uintptr_t>(record->ExceptionAddress) : 0);
        out.Put("\n");
        out.Flush();
        out.Put(g_modules, g_modules_size);
        out.Flush();
        FlushFileBuffers(file);
        CloseHandle(file);
    }

    // The minidump last: the record stands should writing the dump stall.
    // It is deleted unless it was written whole, so neither a failed dump
    // nor one cut short by the watchdog is left to be attached.
    if (dump && g_write_dump) {
        length =
            RecordPath(path, sizeof path / sizeof path[0], seconds, nanoseconds, kDumpExtension);
        const HANDLE file_dump = CreateNew(path, length);
        if (file_dump != INVALID_HANDLE_VALUE) {
            DeleteOnClose(file_dump, true);
            MINIDUMP_EXCEPTION_INFORMATION info{};
            info.ThreadId = thread;
            info.ExceptionPointers = exception;
            info.ClientPointers = FALSE;
            LARGE_INTEGER size{};
            if (g_write_dump(GetCurrentProcess(), GetCurrentProcessId(), file_dump, MiniDumpNormal,
                             exception ? &info : nullptr, nullptr, nullptr) &&
                GetFileSizeEx(file_dump, &size) && size.QuadPart > 0)
                DeleteOnClose(file_dump, false);
            CloseHandle(file_dump);
        }
    }
}

// The helper, started at install: once a crash is being recorded it gives
// the recording a bounded time, then ends the process. A stack overflow
// leaves the crashing thread too little stack to write with: the helper
// writes that record itself and ends the process with the overflow's code,
// as Windows does when nothing handles one.
DWORD WINAPI HelperThread(LPVOID) {
    WaitForSingleObject(g_request, INFINITE);
    if (g_crash_code == kStackOverflow) {
        WriteRecord(g_exception, g_crashed_thread, HeapIsFree());
        SetEvent(g_done);
        TerminateProcess(GetCurrentProcess(), kStackOverflow);
    }
    if (WaitForSingleObject(g_done, kWatchdogMilliseconds) != WAIT_OBJECT_0)
        TerminateProcess(GetCurrentProcess(), g_crash_code);
    return 0;
}

DWORD WINAPI HeapProber(LPVOID) {
    WaitForSingleObject(g_probe_request, INFINITE);
    HeapLock(GetProcessHeap());
    HeapUnlock(GetProcessHeap());
    SetEvent(g_heap_free);
    return 0;
}

// A stack overflow, seen first by a vectored handler: the search for a
// filter needs more stack than is left (under Wine the thread is then ended
// with code 0, and with it the process, or, on a worker, only the thread).
// It asks the helper to record, and ends the process with the overflow's
// code, using almost no stack itself.
LONG WINAPI OnStackOverflow(EXCEPTION_POINTERS* exception) {
    if (!exception || !exception->ExceptionRecord ||
        exception->ExceptionRecord->ExceptionCode != kStackOverflow)
        return EXCEPTION_CONTINUE_SEARCH;
    const auto thread = static_cast<LONG>(GetCurrentThreadId());
    const LONG recording = InterlockedCompareExchange(&g_recording, thread, 0);
    if (recording == 0 && g_request && g_done) {
        g_crash_code = kStackOverflow;
        g_exception = exception;
        g_crashed_thread = static_cast<DWORD>(thread);
        SetEvent(g_request);
        WaitForSingleObject(g_done, kWatchdogMilliseconds);
    } else if (recording != 0 && recording != thread) {
        Sleep(2 * kWatchdogMilliseconds); // the first crash's end ends the process
    }
    TerminateProcess(GetCurrentProcess(), kStackOverflow);
    return EXCEPTION_CONTINUE_SEARCH;
}

LONG WINAPI Filter(EXCEPTION_POINTERS* exception) {
    const auto thread = static_cast<LONG>(GetCurrentThreadId());
    const LONG recording = InterlockedCompareExchange(&g_recording, thread, 0);
    const DWORD code = exception && exception->ExceptionRecord
                           ? exception->ExceptionRecord->ExceptionCode
                           : kFatalAppExit;
    if (recording != 0) {
        // A crash while recording ends the process at once; one on another
        // thread waits for the first record, whose end ends the process.
        if (recording != thread)
            Sleep(2 * kWatchdogMilliseconds);
        TerminateProcess(GetCurrentProcess(), code);
    }
    g_crash_code = code;
    g_exception = exception;
    g_crashed_thread = GetCurrentThreadId();
    if (g_request && g_done)
        SetEvent(g_request); // the watchdog starts
    // Written by the crashing thread itself: the dump then takes its
    // registers from the exception rather than suspending it.
    const bool heap_free = HeapIsFree();
    WriteRecord(exception, GetCurrentThreadId(), heap_free);
    if (g_done)
        SetEvent(g_done);
    // What the system does next (a debugger, error reporting) needs the
    // heap too: with its lock held it would wait for ever.
    if (!heap_free)
        TerminateProcess(GetCurrentProcess(), code);
    if (g_previous_filter)
        return g_previous_filter(exception);
    return EXCEPTION_CONTINUE_SEARCH;
}

// The CodeView record ld writes for --build-id: its 16-byte signature and
// age, as hex; "-" when the image has none.
void AddModule(HMODULE module) {
    char line[MAX_PATH * 3 + 128];
    std::size_t k = 0;
    auto put = [&](const char* text, std::size_t n) {
        for (std::size_t i = 0; i < n && k + 1 < sizeof line; ++i)
            line[k++] = text[i];
    };
    const auto hex = [&](std::uint64_t value, int digits) {
        for (int i = digits - 1; i >= 0; --i)
            put(&"0123456789abcdef"[(value >> (4 * i)) & 0xf], 1);
    };
    const auto base = reinterpret_cast<const unsigned char*>(module);
    put("module: 0x", 10);
    hex(reinterpret_cast<std::uintptr_t>(module), 16);
    put(" ", 1);
    bool have_id = false;
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic == IMAGE_DOS_SIGNATURE) {
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& directory =
            nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_DEBUG];
        const auto* entries =
            reinterpret_cast<const IMAGE_DEBUG_DIRECTORY*>(base + directory.VirtualAddress);
        for (DWORD i = 0;
             directory.VirtualAddress && i < directory.Size / sizeof *entries && !have_id; ++i) {
            const unsigned char* data = base + entries[i].AddressOfRawData;
            if (entries[i].Type != IMAGE_DEBUG_TYPE_CODEVIEW || !entries[i].AddressOfRawData ||
                entries[i].SizeOfData < 24 || std::memcmp(data, "RSDS", 4) != 0)
                continue;
            for (int b = 0; b < 16; ++b)
                hex(data[4 + b], 2);
            DWORD age;
            std::memcpy(&age, data + 20, 4);
            hex(age, 8);
            have_id = true;
        }
    }
    if (!have_id)
        put("-", 1);
    put(" ", 1);
    wchar_t wide[MAX_PATH];
    const DWORD n = GetModuleFileNameW(module, wide, MAX_PATH);
    char path[MAX_PATH * 3];
    const int bytes = n ? WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(n), path,
                                              sizeof path, nullptr, nullptr)
                        : 0;
    put(path, bytes > 0 ? static_cast<std::size_t>(bytes) : 0);
    put("\n", 1);
    if (g_modules_size + k <= sizeof g_modules) {
        std::memcpy(g_modules + g_modules_size, line, k);
        g_modules_size += k;
    }
}

void AddModules() {
    g_modules_size = 0;
    HMODULE modules[256];
    DWORD needed = 0;
    const auto enumerate = reinterpret_cast<EnumProcessModulesFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "K32EnumProcessModules")));
    if (!enumerate || !enumerate(GetCurrentProcess(), modules, sizeof modules, &needed)) {
        AddModule(GetModuleHandleW(nullptr));
        return;
    }
    for (DWORD i = 0; i < needed / sizeof modules[0] && i < 256; ++i)
        AddModule(modules[i]);
}

void OnPureCall() {
    RaiseException(kPureVirtualCall, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void OnInvalidParameter(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, std::uintptr_t) {
    RaiseException(kInvalidParameter, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

void OnAbort(int) {
    RaiseException(kFatalAppExit, EXCEPTION_NONCONTINUABLE, 0, nullptr);
}

} // namespace

bool PrepareThread() noexcept {
    // Room left on the stack for the filter when the stack overflows.
    ULONG guarantee = 64 * 1024;
    return SetThreadStackGuarantee(&guarantee) != 0;
}

std::uint64_t CurrentThreadId() noexcept {
    return GetCurrentThreadId();
}

bool Install(const Settings& settings) noexcept {
    // The folder as an NT path: "\??\C:\..." or "\??\UNC\server\...".
    wchar_t wide[MAX_PATH * 2];
    wchar_t full[MAX_PATH * 2];
    if (MultiByteToWideChar(CP_UTF8, 0, settings.folder.c_str(), -1, wide,
                            static_cast<int>(sizeof wide / sizeof wide[0])) <= 0)
        return false;
    const DWORD n = GetFullPathNameW(wide, MAX_PATH * 2, full, nullptr);
    if (n == 0 || n >= MAX_PATH * 2 - 8)
        return false;
    const wchar_t* rest = full;
    const wchar_t* prefix = L"\\??\\";
    if (std::wcsncmp(full, L"\\\\?\\", 4) == 0) {
        rest = full + 4;
    } else if (std::wcsncmp(full, L"\\\\", 2) == 0) {
        prefix = L"\\??\\UNC\\";
        rest = full + 2;
    }
    std::wcscpy(g_folder, prefix);
    std::wcscat(g_folder, rest);
    g_operation = settings.operation;
    g_operation_of = settings.operation_of_thread;
    if (g_installed)
        return true;

    AddModules();
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    g_create_file = reinterpret_cast<NtCreateFileFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtCreateFile")));
    g_set_information = reinterpret_cast<NtSetInformationFileFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtSetInformationFile")));
    // Loaded now: a crash is no time to load a library.
    if (const HMODULE dbghelp = LoadLibraryW(L"dbghelp.dll")) {
        g_write_dump = reinterpret_cast<MiniDumpWriteDumpFn>(
            reinterpret_cast<void*>(GetProcAddress(dbghelp, "MiniDumpWriteDump")));
        // A dump needs the modules, not their debug information: reading
        // that (Wine's dbghelp does, for every module) took longer than the
        // watchdog allows.
        using SymSetOptionsFn = DWORD(WINAPI*)(DWORD);
        if (const auto set_options = reinterpret_cast<SymSetOptionsFn>(
                reinterpret_cast<void*>(GetProcAddress(dbghelp, "SymSetOptions"))))
            set_options(SYMOPT_DEFERRED_LOADS);
    }
    g_request = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_request && g_done) {
        if (const HANDLE watchdog =
                CreateThread(nullptr, 64 * 1024, HelperThread, nullptr, 0, nullptr))
            CloseHandle(watchdog);
        else
            g_request = nullptr;
    }
    g_probe_request = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    g_heap_free = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (g_probe_request && g_heap_free) {
        if (const HANDLE prober = CreateThread(nullptr, 64 * 1024, HeapProber, nullptr, 0, nullptr))
            CloseHandle(prober);
        else
            g_probe_request = nullptr;
    }
    PrepareThread();

    AddVectoredExceptionHandler(1, OnStackOverflow);
    g_previous_filter = SetUnhandledExceptionFilter(Filter);
    _set_purecall_handler(OnPureCall);
    _set_invalid_parameter_handler(OnInvalidParameter);
    std::signal(SIGABRT, OnAbort);
    g_installed = true;
    return true;
}

void NoteUncaughtException(std::int32_t number, const char* what) noexcept {
    CopyText(g_uncaught_what, what);
    InterlockedExchange(&g_uncaught_number, number);
}

clock::LocalTime LocalTimeOf(std::int64_t seconds_since_1970) {
    const auto when = static_cast<std::time_t>(seconds_since_1970);
    std::tm t{};
    if (localtime_s(&t, &when) != 0)
        return {};
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::string Describe(const std::string&) {
    return {}; // the minidump is the report
}

} // namespace tamberlin::platform::crash
