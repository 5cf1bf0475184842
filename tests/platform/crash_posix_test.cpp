// Crash capture on Linux with processes that really crash (crash_child), and
// the next start that reports what they left, on the scripted host.
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/runtime/application.h"
#include "tests/support/app_state.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gmock/gmock.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

namespace {

using tamberlin::testing::FilesIn;
using tamberlin::testing::ReadFile;
using tamberlin::testing::RunProgram;
using ::testing::AllOf;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
namespace fs = std::filesystem;

#if defined(__SANITIZE_ADDRESS__)
// The faulting allocator cannot be installed beside AddressSanitizer's.
constexpr bool kSanitizer = true;
#else
constexpr bool kSanitizer = false;
#endif
using Clock = std::chrono::steady_clock;

// Runs crash_child FOLDER KIND and waits at most 20 seconds for it.
tamberlin::testing::ProgramRun RunChild(const fs::path& folder, const std::string& kind) {
    return tamberlin::testing::RunProgram({TAMBERLIN_CRASH_CHILD, folder.string(), kind}, "", 20);
}

struct TracedEnding {
    int signal = 0;    // the signal that ended it
    int last_code = 0; // the si_code of the last signal its main thread got
    bool traced = false;
    double seconds = 0;
};

// Runs crash_child traced, as a debugger would, to see the code of the last
// signal the kernel delivered: the fault's own, or a raise's (SI_TKILL).
TracedEnding RunTracedChild(const fs::path& folder, const std::string& kind) {
    TracedEnding ending;
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execl(TAMBERLIN_CRASH_CHILD, TAMBERLIN_CRASH_CHILD, folder.c_str(), kind.c_str(), nullptr);
        _exit(127);
    }
    int status = 0;
    for (bool exec_seen = false;;) {
        const pid_t got = waitpid(pid, &status, WNOHANG);
        if (got == 0) {
            if (Clock::now() - start > std::chrono::seconds(20))
                kill(pid, SIGKILL);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            continue;
        }
        if (got < 0 || !WIFSTOPPED(status))
            break;
        int signal = WSTOPSIG(status);
        if (signal == SIGTRAP && !exec_seen) {
            exec_seen = ending.traced = true;
            signal = 0;
        } else {
            siginfo_t info{};
            if (ptrace(PTRACE_GETSIGINFO, pid, nullptr, &info) == 0)
                ending.last_code = info.si_code;
        }
        ptrace(PTRACE_CONT, pid, nullptr, reinterpret_cast<void*>(static_cast<long>(signal)));
    }
    ending.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    ending.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return ending;
}

// The one record a crash left.
std::string RecordOf(const fs::path& folder) {
    const std::vector<std::string> records = FilesIn(folder / "Crashes", ".rec");
    return records.size() == 1 ? ReadFile(records[0])
                               : "(" + std::to_string(records.size()) + " records)";
}

// The children crash into our handler alone: AddressSanitizer's SIGSEGV,
// SIGBUS and SIGFPE handlers, installed before it, would have each fault
// first, report it and exit. (Its allocator reports a huge allocation itself
// rather than throw bad_alloc, and malloc cannot be taken over beside it.)
tamberlin::testing::EnvironmentOverride OurHandlerAlone() {
    const char* options = std::getenv("ASAN_OPTIONS");
    return {"ASAN_OPTIONS",
            std::string(options ? options : "") + ":handle_segv=0:handle_sigbus=0:handle_sigfpe=0"};
}

// A crashing process writes no coverage counters: each kind stays.
TEST(CrashCaptureTest, EachKindLeavesARecordAndEndsWithItsOwnSignal) {
    // The kind, the signal that ends it, and what its record holds.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"segv", SIGSEGV, "exception: 0xc0000005\nsignal: 11 1\naddress: 0x0000000000000000\n"},
        {"fpe", SIGFPE, "exception: 0xc0000094\nsignal: 8 1\n"},
        // Raised: no address (the field would hold the process id).
        {"abort", SIGABRT, "exception: 0x40000015\nsignal: 6 -6\naddress: 0x0000000000000000\n"},
        {"stack", SIGSEGV, "exception: 0xc00000fd\n"},
        {"runtime_error", SIGABRT, "\nuncaught: 51 the project file is damaged\n"},
        {"trap", SIGSEGV, "\noperation: opening the project file\n"},
        {"thread", SIGSEGV, " crash-worker\n"},
        // A worker's overflow, under the worker's own operation.
        {"thread_stack", SIGSEGV,
         "exception: 0xc00000fd\n.* crash-worker\noperation: drawing the preview\n"},
        // The handler that was there first has the fault first.
        {"chained", SIGSEGV, "exception: 0xc0000005\n"},
        // It mends the first fault: the program goes on, to the second.
        {"recover", SIGSEGV, "address: 0x0000000000000000\n"},
        // A module loaded after install has its line.
        {"dlopen", SIGSEGV, "\nmodule: 0x[0-9a-f]{16} [0-9a-f]{40} [^\n]*/libdw\\.so\\.1\n"},
        // Only 512 bytes fit: the record is its beginning, and SIGXFSZ does
        // not replace the crash's signal.
        {"fsize", SIGSEGV, "^tamberlin crash record\nexception: 0xc0000005\nsignal: 11 1\n"},
#if defined(__x86_64__)
        // The unwinder faults: all but the unwound frames are there.
        {"bad_stack", SIGSEGV, "exception: 0xc0000005\nsignal: 11 [12]\n"},
#endif
#if !defined(__SANITIZE_ADDRESS__)
        {"bad_alloc", SIGABRT, "\nuncaught: 7 \n"},
        // The C library's last words.
        {"double_free", SIGABRT, "\nabort: free\\(\\): double free detected"},
        // The allocator's lock is held: the handler must not need it.
        {"malloc", SIGSEGV, "exception: 0xc0000005\n"},
#endif
    };
    const auto alone = OurHandlerAlone();
    for (const auto& [kind, ends_with, line] : cases) {
        tamberlin::testing::TempFolder temp;
        const std::string k = kind;
        const auto ending = RunTracedChild(temp.path(), kind);
        EXPECT_EQ(ending.signal, ends_with) << kind;
        EXPECT_LT(ending.seconds, 5.0) << kind;
        // A fault reaches the end of the process with its own code, as the
        // kernel raised it; abort() with a raise's. (A worker's signals are
        // not traced.)
        if (ending.traced && k.rfind("thread", 0) != 0) {
            EXPECT_EQ(ending.last_code > 0, ends_with != SIGABRT)
                << kind << " " << ending.last_code;
        }
        const std::string record = RecordOf(temp.path());
        EXPECT_THAT(record, ContainsRegex(line)) << kind;
        EXPECT_THAT(record, StartsWith("tamberlin crash record\n")) << kind;
        if (k == "fsize") {
            EXPECT_EQ(record.size(), 512u);
        } else {
            EXPECT_THAT(record, HasSubstr("\nstack: 0x")) << kind;
            EXPECT_THAT(record, HasSubstr("/crash_child\n")) << kind; // a module line
            EXPECT_THAT(record, HasSubstr("\nmaps:\n")) << kind;
        }
        EXPECT_EQ(fs::exists(temp.path() / "chained"), k == "chained" || k == "recover") << kind;
        EXPECT_EQ(fs::exists(temp.path() / "recovered"), k == "recover") << kind;
        std::printf("[ figure ] %s: fault to end of process with a record: %.1f ms\n", kind,
                    ending.seconds * 1000);
    }
}

class NextStartTest : public tamberlin::testing::AppStateTest {
protected:
    void SetUp() override {
        tamberlin::runtime::App().SetTitle("Crash child");
        modQFAllData::strAppTitle = "Crash child";
    }
    // Reports the one crash waiting in `folder`, sent from its dialog: the
    // report's text.
    std::string ReportOne(const fs::path& folder) {
        host_.while_shown = [](tamberlin::ui::Form& form) {
            static_cast<frmQFCriticalErrorHandler&>(form).CompleteCrashReport();
        };
        EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 1);
        const std::vector<std::string> reports = FilesIn(folder / "Crashes/Reported", ".txt");
        return reports.size() == 1 ? ReadFile(reports[0]) : "(no report)";
    }

    tamberlin::testing::ScriptedHost host_;
    tamberlin::testing::EnvironmentOverride alone_ = OurHandlerAlone();
};

TEST_F(NextStartTest, CrashesAreRetiredBeforeOneDialogShowsThemAll) {
    RunChild(temp_.path(), "trap");
    ASSERT_EQ(RunChild(temp_.path(), "runtime_error").signal, SIGABRT);
    const fs::path crashes = temp_.path() / "Crashes";
    ASSERT_EQ(FilesIn(crashes, ".rec").size(), 2u);

    // Killed or crashed during the dialog, nothing would be shown again: the
    // records are out of the way already. Sending completes the report.
    host_.while_shown = [&](tamberlin::ui::Form& form) {
        EXPECT_TRUE(FilesIn(crashes, ".rec").empty());
        static_cast<frmQFCriticalErrorHandler&>(form).CompleteCrashReport();
    };
    // (How long it takes: bench/crash_start_bench.cpp.)
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 2);

    // One dialog, oldest first, no retry nor today's data for a past crash.
    ASSERT_EQ(host_.Forms().size(), 1u);
    const std::string text = host_.Forms()[0]("txtErrorMsg").caption;
    EXPECT_THAT(text, StartsWith("Crash child closed unexpectedly 2 times since "));
    EXPECT_THAT(text, HasSubstr(": Access violation, while opening the project file\r\n"));
    EXPECT_THAT(text, HasSubstr(": the project file is damaged\r\n"));
    EXPECT_TRUE(host_.Forms()[0]("cmdEmail").visible);
    EXPECT_TRUE(host_.Forms()[0]("txtErrorMsg").command.empty());
    EXPECT_FALSE(host_.Forms()[0]("chkIncludeData").visible);

    // One log line each, in the log's format.
    EXPECT_THAT(Log(), AllOf(HasSubstr(", opening the project file, -1073741819, Access "
                                       "violation, Crash child, 0\r\n"),
                             HasSubstr(", (no trapped operation), 51, the project file is "
                                       "damaged, Crash child, 0\r\n")));
    EXPECT_EQ(LogLines(), 2);

    // The private report stays for the mail client: each frame as module +
    // offset with its build ID, the modules, then the names and lines.
    EXPECT_EQ(FilesIn(crashes / "Reported", ".rec").size(), 2u);
    const std::vector<std::string> reports = FilesIn(crashes / "Reported", ".txt");
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(fs::status(reports[0]).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_THAT(ReadFile(reports[0]),
                AllOf(ContainsRegex(" crash_child\\+0x[0-9a-f]+ \\[[0-9a-f]{40}\\]\n"),
                      HasSubstr("\nModules:\n"), HasSubstr("CrashWithNullWrite"),
                      HasSubstr("crash_child.cpp:"),
                      HasSubstr("operation: opening the project file\n")));

    // Nothing is reported twice.
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 0);
}

TEST_F(NextStartTest, AReplacedExecutableKeepsItsOffsetsAndBuildId) {
    RunChild(temp_.path(), "segv");
    const std::string record = FilesIn(temp_.path() / "Crashes", ".rec").at(0);
    // The executable the record names gets another build ID.
    std::string text = ReadFile(record);
    const size_t at = text.find("/crash_child\n");
    ASSERT_NE(at, std::string::npos);
    const size_t line = text.rfind("module: ", at);
    const size_t id = text.find(' ', line + 8) + 1;
    text[id] = text[id] == '0' ? '1' : '0';
    std::ofstream(record, std::ios::binary | std::ios::trunc) << text;

    const std::string report = ReportOne(temp_.path());
    EXPECT_THAT(host_.Forms().at(0)("txtErrorMsg").caption,
                StartsWith("Crash child closed unexpectedly.\r\n\r\n"));
    EXPECT_THAT(report,
                ::testing::ContainsRegex("/crash_child \\+0x[0-9a-f]+ \\[" + text.substr(id, 40) +
                                         "\\] \\(changed since the crash\\)\n"));
    EXPECT_THAT(report, HasSubstr("was replaced since the crash"));
    EXPECT_THAT(report, Not(HasSubstr("CrashWithNullWrite")));
}

// A stripped program's functions are named from a debuginfod server that
// has its debug file. libdw decides on servers as it loads, so the test runs
// itself again, alone, once the server has the file.
TEST_F(NextStartTest, AStrippedProgramIsNamedFromADebuginfodServer) {
    using tamberlin::testing::EnvironmentOverride;
    const std::string self = "NextStartTest.AStrippedProgramIsNamedFromADebuginfodServer";
    if (std::getenv("TAMBERLIN_TEST_DEBUGINFOD")) {
        RunProgram({TAMBERLIN_CRASH_CHILD "_stripped", temp_.Text(), "segv"}, "", 20);
        EXPECT_THAT(ReportOne(temp_.path()), HasSubstr("CrashWithNullWrite"));
        return;
    }
    if (access("/usr/bin/debuginfod", X_OK) != 0)
        GTEST_SKIP() << "no debuginfod (Debian's debuginfod)";
    const std::string port = std::to_string(20000 + getpid() % 20000);
    const pid_t server = fork();
    if (server == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0), dup2(null, 1), dup2(null, 2);
        execl("/usr/bin/debuginfod", "debuginfod", "-F", TAMBERLIN_CRASH_CHILD_DEBUG, "-p",
              port.c_str(), "-d", (temp_.Text() + "/index.sqlite").c_str(), nullptr);
        _exit(127);
    }
    // Asked before it has scanned its folder, it answers 404, which a client
    // remembers: each try has a cache of its own.
    EnvironmentOverride urls("DEBUGINFOD_URLS", "http://127.0.0.1:" + port);
    bool served = false;
    for (int i = 0; i < 100 && !served; ++i) {
        EnvironmentOverride cache("DEBUGINFOD_CACHE_PATH", temp_.Text() + std::to_string(i));
        served =
            RunProgram({"/usr/bin/debuginfod-find", "debuginfo", TAMBERLIN_CRASH_CHILD "_stripped"})
                .status == 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(served ? 0 : 200));
    }
    EnvironmentOverride alone("TAMBERLIN_TEST_DEBUGINFOD", "1"),
        cache("DEBUGINFOD_CACHE_PATH", temp_.Text() + "cache");
    const auto run = RunProgram({"/proc/self/exe", "--gtest_filter=" + self}, "", 60);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    EXPECT_TRUE(served);
    EXPECT_EQ(run.status, 0) << run.output;
}

// The crash handler in place before the start-up data: the crashing child's
// lines are not counted, so coverage cannot see it.
TEST_F(NextStartTest, ACrashDuringStartUpIsReportedAtTheNextStart) {
    if (kSanitizer)
        GTEST_SKIP() << "the allocator cannot be taken over beside AddressSanitizer";
    tamberlin::testing::EnvironmentOverride data("XDG_DATA_HOME", (temp_.path() / "data").string());
    tamberlin::testing::EnvironmentOverride config("XDG_CONFIG_HOME",
                                                   (temp_.path() / "config").string());
    EXPECT_EQ(RunChild(temp_.path(), "startup").signal, SIGSEGV);
    const fs::path app = temp_.path() / "data/Quillfern/Tamberlin/";
    modQFCriticalErrorHandler::strErrorLogFolder = app.string();
    EXPECT_THAT(ReportOne(app), HasSubstr("modQFAllData::InitAppData()"));
    EXPECT_THAT(host_.Forms().at(0)("txtErrorMsg").caption, HasSubstr("Access violation"));
}

TEST_F(NextStartTest, WhatIsNotAWholeRecordIsNeverShownAsOne) {
    const std::string name = "Crashes/crash-009999999999-000000000-1.rec"; // 2286
    // The file, the dialogs shown, and what the dialog or the log says.
    const std::tuple<std::string, size_t, std::string> cases[] = {
        {"\x7f"
         "ELF\x02\x01garbage",
         0, ""},
        {"", 1, "closed unexpectedly. What went wrong was not recorded"},
        {"tamberlin crash record\nexception: 0xc0000005\ntime: 9223372036854775807 0\n", 1,
         "Access violation (time of the crash unknown)"},
        {"tamberlin crash record\nexception: 0xc0000005\ntime: 32503680000 0\n", 1,
         "Access violation (time of the crash unknown)"},
        {"tamberlin crash record\nexception: 0xc0000005\noperation: " + std::string(3 << 20, 'o'),
         1, std::string(1024, 'o') + ", -1073741819"},
    };
    for (const auto& [content, dialogs, says] : cases) {
        tamberlin::testing::ScriptedHost host;
        const std::string path = temp_.MakeFile(name, content);
        EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), static_cast<int>(dialogs)) << says;
        ASSERT_EQ(host.Forms().size(), dialogs) << says;
        EXPECT_FALSE(fs::exists(path)) << says;
        const std::string shown = dialogs ? host.Forms()[0]("txtErrorMsg").caption + Log() : "";
        EXPECT_THAT(shown, HasSubstr(says));
        EXPECT_LT(Log().size(), 20000u);
        fs::remove_all(temp_.path() / "Crashes");
        fs::remove(modQFCriticalErrorHandler::GetErrorLogPath());
    }
    // A link named like a record is neither read nor attached.
    fs::create_directories(temp_.path() / "Crashes");
    fs::create_symlink("/etc/passwd", temp_.path() / name);
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 0);
    EXPECT_TRUE(host_.Forms().empty());
    // A record that cannot be moved out of the way is logged once, not shown.
    fs::remove_all(temp_.path() / "Crashes");
    temp_.MakeFile(name, "tamberlin crash record\nexception: 0xc0000005\n");
    temp_.MakeFile("Crashes/Reported", "a file in the way");
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 0);
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 0);
    EXPECT_TRUE(host_.Forms().empty());
    EXPECT_EQ(LogLines(), 2) << Log();
    EXPECT_THAT(Log(), HasSubstr("cannot be moved to Reported"));
    // Nor can records be made where a file has the folder's name: said once.
    fs::remove_all(temp_.path() / "Crashes");
    temp_.MakeFile("Crashes", "a file in the way");
    EXPECT_FALSE(tamberlin::errors::InstallCrashHandler());
    EXPECT_FALSE(tamberlin::errors::InstallCrashHandler());
    EXPECT_THAT(Log(), HasSubstr("is not a folder"));
    EXPECT_EQ(LogLines(), 3);
}

TEST_F(NextStartTest, AtMostTenRecordsAreKept) {
    for (int i = 0; i < 13; ++i) {
        const std::string time = std::to_string(1700000000 + i);
        temp_.MakeFile("Crashes/crash-00" + time + "-000000000-1.rec",
                       "tamberlin crash record\nexception: 0xc0000005\ntime: " + time + " 0\n");
    }
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 10); // the newest 10
    const std::vector<std::string> kept = FilesIn(temp_.path() / "Crashes/Reported", ".rec");
    ASSERT_EQ(kept.size(), 10u);
    EXPECT_EQ(fs::path(kept[0]).filename(), "crash-001700000003-000000000-1.rec");
    EXPECT_EQ(LogLines(), 10);
}

} // namespace
