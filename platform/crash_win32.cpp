// Crash capture on Windows: an unhandled-exception filter that writes a
// minidump and a small crash record, then lets the exception go on to the
// system (EXCEPTION_CONTINUE_SEARCH), so Windows Error Reporting and
// debuggers still see it. The C run-time's pure-virtual-call and
// invalid-parameter handlers and SIGABRT raise exceptions of their own that
// reach the same filter.
//
// Everything is prepared by Install: the folder as UTF-16 in a fixed buffer,
// dbghelp loaded and MiniDumpWriteDump looked up, a watchdog thread waiting.
// (A dump written by another thread while the crashing one waited stalled
// under Wine: the crashing thread writes it.)
#include <windows.h>

#include "platform/crash.h"
#include "platform/crash_writer.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dbghelp.h>

namespace tamberlin::platform::crash {
namespace {

// Our own code for a pure virtual call: it has none of Windows' own.
constexpr DWORD kPureVirtualCall = 0xE0000001;
constexpr DWORD kInvalidParameter = 0xC0000417; // STATUS_INVALID_CRUNTIME_PARAMETER
constexpr DWORD kFatalAppExit = 0x40000015;     // STATUS_FATAL_APP_EXIT, what abort() ends with
constexpr DWORD kStackOverflow = 0xC00000FD;
// Generous: Wine writes a minidump in 15 to 30 seconds on a busy machine.
constexpr DWORD kWatchdogMilliseconds = 60000;

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE,
                                          PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION,
                                          PMINIDUMP_CALLBACK_INFORMATION);

bool g_installed = false;
wchar_t g_folder[MAX_PATH * 2];
MiniDumpWriteDumpFn g_write_dump = nullptr;
LPTOP_LEVEL_EXCEPTION_FILTER g_previous_filter = nullptr;
const char* volatile g_operation = nullptr;
const char* (*volatile g_operation_of)(std::uint64_t) noexcept = nullptr;
volatile LONG g_recording = 0; // the recording thread's id
volatile LONG g_uncaught_number = 0;
char g_uncaught_what[512];

HANDLE g_request = nullptr; // set by the filter: recording starts
HANDLE g_done = nullptr;    // set by the filter: recording ended
volatile DWORD g_crash_code = 0;
EXCEPTION_POINTERS* volatile g_exception = nullptr;
volatile DWORD g_crashed_thread = 0;

bool WriteAll(HANDLE file, const char* bytes, std::size_t size) {
    DWORD written = 0;
    return WriteFile(file, bytes, static_cast<DWORD>(size), &written, nullptr) && written == size;
}
using Writer = RecordWriter<HANDLE, WriteAll>;

// The folder and the record's name (RecordName).
void RecordPath(wchar_t* path, std::size_t capacity, unsigned long long seconds,
                unsigned long nanoseconds, const char* extension) {
    std::size_t k = 0;
    for (; g_folder[k] && k + 1 < capacity; ++k)
        path[k] = g_folder[k];
    char name[80];
    RecordName(name, seconds, nanoseconds, GetCurrentProcessId(), extension);
    for (const char* s = name; *s && k + 1 < capacity;)
        path[k++] = static_cast<wchar_t>(*s++);
    path[k] = L'\0';
}

void WriteRecord(EXCEPTION_POINTERS* exception, DWORD thread) {
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
    RecordPath(path, sizeof path / sizeof path[0], seconds, nanoseconds, kRecordExtension);
    const HANDLE file =
        CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
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
        FlushFileBuffers(file);
        CloseHandle(file);
    }

    // The minidump last: the record stands should writing the dump stall.
    if (g_write_dump) {
        RecordPath(path, sizeof path / sizeof path[0], seconds, nanoseconds, kDumpExtension);
        const HANDLE dump = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (dump != INVALID_HANDLE_VALUE) {
            MINIDUMP_EXCEPTION_INFORMATION info{};
            info.ThreadId = thread;
            info.ExceptionPointers = exception;
            info.ClientPointers = FALSE;
            g_write_dump(GetCurrentProcess(), GetCurrentProcessId(), dump, MiniDumpNormal,
                         exception ? &info : nullptr, nullptr, nullptr);
            CloseHandle(dump);
        }
    }
}

// The helper, started at install: once a crash is being recorded it gives
// the recording a bounded time, then ends the process. A stack overflow
// leaves the crashing thread too little stack to write with: the helper
// writes that record itself.
DWORD WINAPI HelperThread(LPVOID) {
    WaitForSingleObject(g_request, INFINITE);
    if (g_crash_code == kStackOverflow) {
        WriteRecord(g_exception, g_crashed_thread);
        SetEvent(g_done);
    }
    if (WaitForSingleObject(g_done, kWatchdogMilliseconds) != WAIT_OBJECT_0)
        TerminateProcess(GetCurrentProcess(), g_crash_code);
    return 0;
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
    if (g_request && g_done) {
        SetEvent(g_request);
        if (code == kStackOverflow)
            WaitForSingleObject(g_done, kWatchdogMilliseconds);
    }
    if (code != kStackOverflow || !g_request) {
        // Written by the crashing thread itself: the dump then takes its
        // registers from the exception rather than suspending it.
        WriteRecord(exception, GetCurrentThreadId());
        if (g_done)
            SetEvent(g_done);
    }
    if (g_previous_filter)
        return g_previous_filter(exception);
    return EXCEPTION_CONTINUE_SEARCH;
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
    const int n = MultiByteToWideChar(CP_UTF8, 0, settings.folder.c_str(), -1, g_folder,
                                      static_cast<int>(sizeof g_folder / sizeof g_folder[0]));
    if (n <= 0)
        return false;
    g_operation = settings.operation;
    g_operation_of = settings.operation_of_thread;
    if (g_installed)
        return true;

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
    PrepareThread();

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
