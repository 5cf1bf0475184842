// Crash capture on Linux with processes that really crash (crash_child), and
// the next start that reports what they left, on the scripted host.
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/runtime/application.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_folder.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Ending {
    int signal = 0;     // the signal that ended the child, 0 when none did
    double seconds = 0; // from start to end
    bool timed_out = false;
};

// Runs crash_child FOLDER KIND and waits at most 20 seconds for it.
Ending RunChild(const fs::path& folder, const std::string& kind) {
    std::string program = TAMBERLIN_CRASH_CHILD, dir = folder.string(), k = kind;
    char* argv[] = {program.data(), dir.data(), k.data(), nullptr};
    pid_t pid = 0;
    Ending ending;
    const auto start = Clock::now();
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        return ending;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (Clock::now() - start > std::chrono::seconds(20)) {
            ending.timed_out = true;
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ending.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (WIFSIGNALED(status))
        ending.signal = WTERMSIG(status);
    return ending;
}

std::vector<fs::path> Files(const fs::path& folder, const std::string& extension) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == extension)
            found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    return found;
}

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

// The one record a crash left.
std::string RecordOf(const fs::path& folder) {
    const std::vector<fs::path> records = Files(folder / "Crashes", ".rec");
    return records.size() == 1 ? Read(records[0])
                               : "(" + std::to_string(records.size()) + " records)";
}

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's own SIGSEGV and SIGFPE handlers were there first:
// chained after the record, they print their report and exit with status 1
// instead of the signal. Its allocator reports a huge allocation itself
// rather than throw bad_alloc, and malloc cannot be taken over beside it.
constexpr bool kSanitizer = true;
#else
constexpr bool kSanitizer = false;
#endif

struct CrashCase {
    const char* kind;
    int signal;
    const char* line; // a line the record holds
};

TEST(CrashCaptureTest, EachKindLeavesARecordAndEndsWithItsOwnSignal) {
    const CrashCase cases[] = {
        {"segv", SIGSEGV, "exception: 0xc0000005\nsignal: 11 1\naddress: 0x0000000000000000\n"},
        {"fpe", SIGFPE, "exception: 0xc0000094\nsignal: 8 1\n"},
        {"abort", SIGABRT, "exception: 0x40000015\nsignal: 6 "},
        {"stack", SIGSEGV, "exception: 0xc00000fd\n"},
        {"runtime_error", SIGABRT, "\nuncaught: 51 the project file is damaged\n"},
#if !defined(__SANITIZE_ADDRESS__)
        {"bad_alloc", SIGABRT, "\nuncaught: 7 \n"},
#endif
        {"trap", SIGSEGV, "\noperation: opening the project file\n"},
        {"thread", SIGSEGV, " crash-worker\n"},
#if !defined(__SANITIZE_ADDRESS__)
        // The allocator's lock is held: the handler must not need it.
        {"malloc", SIGSEGV, "exception: 0xc0000005\n"},
#endif
    };
    for (const CrashCase& c : cases) {
        tamberlin::testing::TempFolder temp;
        const Ending ending = RunChild(temp.path(), c.kind);
        EXPECT_FALSE(ending.timed_out) << c.kind;
        const bool sanitizer_ends = kSanitizer && (c.signal == SIGSEGV || c.signal == SIGFPE);
        EXPECT_EQ(ending.signal, sanitizer_ends ? 0 : c.signal) << c.kind;
        EXPECT_LT(ending.seconds, 5.0) << c.kind;
        const std::string record = RecordOf(temp.path());
        EXPECT_NE(record.find(c.line), std::string::npos) << c.kind << ":\n" << record;
        EXPECT_EQ(record.rfind("tamberlin crash record\n", 0), 0u) << c.kind;
        EXPECT_NE(record.find("\nstack: 0x"), std::string::npos) << c.kind;
        EXPECT_NE(record.find("/crash_child\n"), std::string::npos) << c.kind; // a module line
        EXPECT_NE(record.find("\nmaps:\n"), std::string::npos) << c.kind;
        std::printf("[ figure ] %s: fault to end of process with a record: %.1f ms\n", c.kind,
                    ending.seconds * 1000);
    }
}

TEST(CrashCaptureTest, TheHandlerThatWasThereFirstIsCalledAfterRecording) {
    tamberlin::testing::TempFolder temp;
    const Ending ending = RunChild(temp.path(), "chained");
    EXPECT_EQ(ending.signal, SIGSEGV);
    EXPECT_TRUE(fs::exists(temp.path() / "chained"));
    EXPECT_NE(RecordOf(temp.path()).find("exception: 0xc0000005\n"), std::string::npos);
}

class NextStartTest : public ::testing::Test {
protected:
    void SetUp() override {
        tamberlin::runtime::App().SetTitle("Crash child");
        modQFAllData::strAppTitle = "Crash child";
        modQFCriticalErrorHandler::strErrorLogFolder = temp_.Text();
    }
    void TearDown() override { modQFCriticalErrorHandler::strErrorLogFolder.clear(); }
    std::string Log() { return Read(modQFCriticalErrorHandler::GetErrorLogPath()); }

    tamberlin::testing::TempFolder temp_;
    tamberlin::testing::ScriptedHost host_;
};

TEST_F(NextStartTest, EachCrashIsLoggedShownWithItsReportAndRetired) {
    RunChild(temp_.path(), "trap");
    ASSERT_EQ(RunChild(temp_.path(), "runtime_error").signal, SIGABRT);
    const fs::path crashes = temp_.path() / "Crashes";
    const std::vector<fs::path> records = Files(crashes, ".rec");
    ASSERT_EQ(records.size(), 2u);

    const auto start = Clock::now();
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 2);
    std::printf("[ figure ] next start: symbolise, log and show 2 crashes: %.1f ms\n",
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());

    // Oldest first: the dialog names the operation, then the usual details.
    ASSERT_EQ(host_.Forms().size(), 2u);
    const std::string first = host_.Forms()[0]("txtErrorMsg").caption;
    EXPECT_EQ(
        first.rfind("Crash child closed unexpectedly while opening the project file.\r\n\r\n", 0),
        0u)
        << first;
    EXPECT_NE(first.find("\r\nError number: -1073741819\r\nDescription: Access violation\r\n"),
              std::string::npos)
        << first;
    EXPECT_TRUE(host_.Forms()[0]("cmdEmail").visible);
    const std::string second = host_.Forms()[1]("txtErrorMsg").caption;
    EXPECT_EQ(second.rfind("Crash child closed unexpectedly.\r\n", 0), 0u) << second;
    EXPECT_NE(second.find("\r\nError number: 51\r\nDescription: the project file is damaged\r\n"),
              std::string::npos)
        << second;

    // One log line each, in the log's format.
    const std::string log = Log();
    EXPECT_NE(log.find(", opening the project file, -1073741819, Access violation, Crash child, "
                       "0\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find(", (no trapped operation), 51, the project file is damaged, Crash child, 0\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);

    // Retired with their readable reports; the stack has the crashing
    // function's name and line.
    EXPECT_TRUE(Files(crashes, ".rec").empty());
    const std::vector<fs::path> reports = Files(crashes / "Reported", ".txt");
    ASSERT_EQ(reports.size(), 2u);
    const std::string report = Read(reports[0]);
    EXPECT_NE(report.find("CrashWithNullWrite"), std::string::npos) << report;
    EXPECT_NE(report.find("crash_child.cpp:"), std::string::npos) << report;
    EXPECT_NE(report.find("operation: opening the project file\n"), std::string::npos);

    // Nothing is reported twice.
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 0);
}

TEST_F(NextStartTest, AReplacedExecutableIsNamedNotSymbolised) {
    RunChild(temp_.path(), "segv");
    const fs::path record = Files(temp_.path() / "Crashes", ".rec").at(0);
    // The executable the record names gets another build ID.
    std::string text = Read(record);
    const size_t at = text.find("/crash_child\n");
    ASSERT_NE(at, std::string::npos);
    const size_t line = text.rfind("module: ", at);
    const size_t id = text.find(' ', line + 8) + 1;
    text[id] = text[id] == '0' ? '1' : '0';
    std::ofstream(record, std::ios::binary | std::ios::trunc) << text;

    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 1);
    const std::string report = Read(Files(temp_.path() / "Crashes" / "Reported", ".txt").at(0));
    EXPECT_NE(report.find("was replaced since the crash"), std::string::npos) << report;
    EXPECT_EQ(report.find("CrashWithNullWrite"), std::string::npos) << report;
}

TEST_F(NextStartTest, AtMostTenRecordsAreKept) {
    const fs::path crashes = temp_.path() / "Crashes";
    fs::create_directories(crashes);
    for (int i = 0; i < 13; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "crash-%012d-000000000-1.rec", 1700000000 + i);
        std::ofstream(crashes / name)
            << "tamberlin crash record\nexception: 0xc0000005\ntime: " << 1700000000 + i << " 0\n";
    }
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 10); // the newest 10
    const std::vector<fs::path> kept = Files(crashes / "Reported", ".rec");
    ASSERT_EQ(kept.size(), 10u);
    EXPECT_EQ(kept[0].filename(), "crash-001700000003-000000000-1.rec");
    const std::string log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 10);
}

} // namespace
