// Crash capture on Windows (under Wine) with processes that really crash
// (crash_child): the exit code, the record, the minidump, and the next start.
#include <windows.h>

#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/error_log.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <cstring>
#include <gmock/gmock.h>
#include <sstream>
#include <tuple>

namespace {

using tamberlin::testing::FilesIn;
using tamberlin::testing::ReadFile;
using ::testing::HasSubstr;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Ending {
    DWORD code = 0;
    double seconds = 0;
};

Ending RunChild(const fs::path& folder, const std::string& kind) {
    char program[MAX_PATH];
    GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string path = program;
    path = path.substr(0, path.find_last_of('\\') + 1) + "crash_child.exe";
    std::string command = "\"" + path + "\" \"" + folder.string() + "\" " + kind;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    Ending ending;
    const auto start = Clock::now();
    if (!CreateProcessA(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return ending;
    if (WaitForSingleObject(process.hProcess, 90000) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, 1);
    ending.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    GetExitCodeProcess(process.hProcess, &ending.code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ending;
}

TEST(CrashCaptureWin32Test, EachKindLeavesARecordAndAMinidump) {
    // Wine hands an exception that no filter handled to its debugger, which
    // would show its crash window; a Windows without a registered debugger
    // ends the process with the exception's code, which is what is tested.
    // 32-bit and 64-bit programs each read the setting in their own view.
    namespace reg = tamberlin::platform::registry;
    const char* const kAeDebug = "Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";
    const tamberlin::testing::RegistryValueGuard debugger64(reg::kLocalMachine, reg::kWow64_64Key,
                                                            kAeDebug, "Debugger");
    const tamberlin::testing::RegistryValueGuard debugger32(reg::kLocalMachine, reg::kWow64_32Key,
                                                            kAeDebug, "Debugger");
    ASSERT_EQ(debugger64.Set("no-debugger-registered.exe %ld %ld"), 0);
    ASSERT_EQ(debugger32.Set("no-debugger-registered.exe %ld %ld"), 0);
    // The kind, its exit code (the crash's own exception code) and a line its
    // record holds.
    const std::tuple<const char*, DWORD, const char*> cases[] = {
        // The module line names the executable's CodeView build ID.
        {"segv", 0xC0000005, "exception: 0xc0000005\n"},
        {"fpe", 0xC0000094, "exception: 0xc0000094\n"},
        {"abort", 0x40000015, "exception: 0x40000015\n"},
        // An overflow ends the process with its own code, on a worker too
        // (main must not carry on), under the worker's own operation.
        {"stack", 0xC00000FD, "exception: 0xc00000fd\n"},
        {"thread_stack", 0xC00000FD, "\noperation: drawing the preview\n"},
        // Another thread holds the heap's lock: the record, no dump, no hang.
        {"heap_locked", 0xC0000005, "exception: 0xc0000005\n"},
        {"runtime_error", 0x40000015, "\nuncaught: 51 the project file is damaged\n"},
        // MinGW's code for a pure virtual call differs with optimisation
        // (std::terminate, or a jump to nowhere): any code, but a record.
        {"purecall", 0, "exception: 0x"},
        {"trap", 0xC0000005, "\noperation: opening the project file\n"},
        {"thread", 0xC0000005, "exception: 0xc0000005\n"},
        {"chained", 0xC0000005, "exception: 0xc0000005\n"},
    };
    // (Each crash costs Wine's dbghelp 15 to 30 seconds of a busy machine to
    // dump: bad_alloc, which the Linux tests cover alike, is left out.)
    for (const auto& [kind, exit_code, line] : cases) {
        tamberlin::testing::TempFolder temp;
        const Ending ending = RunChild(temp.path(), kind);
        if (exit_code != 0) {
            EXPECT_EQ(ending.code, exit_code) << kind;
        }
        const std::vector<std::string> records = FilesIn(temp.path() / "Crashes", ".rec");
        ASSERT_EQ(records.size(), 1u) << kind;
        const std::string record = ReadFile(records[0]);
        EXPECT_THAT(record, HasSubstr(line)) << kind;
        // The executable's module line: "module: BASE BUILDID PATH".
        const size_t exe = record.find("crash_child.exe\n");
        const size_t module = record.rfind("\nmodule: ", exe);
        ASSERT_NE(module, std::string::npos) << kind;
        std::istringstream fields(record.substr(module + 9, exe - module - 9));
        std::string base, build_id;
        fields >> base >> build_id;
        EXPECT_EQ(build_id.size(), 40u) << kind;
        EXPECT_EQ(build_id.find_first_not_of("0123456789abcdef"), std::string::npos) << kind;
        // The minidump, with the exception's code in its exception stream;
        // none at all rather than an empty or failed one.
        const std::vector<std::string> dumps = FilesIn(temp.path() / "Crashes", ".dmp");
        if (std::string(kind) == "heap_locked") {
            EXPECT_TRUE(dumps.empty());
            continue;
        }
        ASSERT_EQ(dumps.size(), 1u) << kind;
        const std::string dump = ReadFile(dumps[0]);
        EXPECT_EQ(dump.substr(0, 4), "MDMP") << kind;
        char code[4];
        std::memcpy(code, &ending.code, 4);
        EXPECT_THAT(dump, HasSubstr(std::string(code, 4))) << kind;
        EXPECT_EQ(fs::exists(temp.path() / "chained"), std::string(kind) == "chained");
        std::printf("[ figure ] %s: fault to end of process with a record: %.1f ms\n", kind,
                    ending.seconds * 1000);
    }
}

TEST(CrashCaptureWin32Test, TheNextStartLogsShowsAndRetires) {
    tamberlin::testing::TempFolder temp;
    // A record as the filter writes it (the test above makes real ones).
    temp.MakeFile("Crashes/crash-001765000000-000000000-42.rec",
                  "tamberlin crash record\nexception: 0xc0000005\naddress: 0x0000000000000000\n"
                  "time: 1765000000 000000000\nthread: 7\noperation: opening the project file\n");
    temp.MakeFile("Crashes/crash-001765000000-000000000-42.dmp", "MDMP");
    tamberlin::testing::ScriptedHost host;
    modQFCriticalErrorHandler::strErrorLogFolder = temp.Text();
    const auto start = Clock::now();
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 1);
    std::printf("[ figure ] next start: log and show 1 crash: %.1f ms\n",
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    // The dialog and the log line are the portable code's, pinned in
    // crash_posix_test; here the minidump is retired with its record.
    EXPECT_EQ(host.Forms().size(), 1u);
    EXPECT_EQ(FilesIn(temp.path() / "Crashes" / "Reported", ".dmp").size(), 1u);
    modQFCriticalErrorHandler::strErrorLogFolder.clear();
}

} // namespace
