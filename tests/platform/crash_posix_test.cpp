// Crash capture on Linux with processes that really crash (crash_child), and
// the next start that reports what they left, on the scripted host.
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/crash.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/runtime/application.h"
#include "tests/support/app_state.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <gmock/gmock.h>
#include <tuple>

namespace {

using tamberlin::testing::FilesIn;
using tamberlin::testing::ReadFile;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Runs crash_child FOLDER KIND and waits at most 20 seconds for it.
tamberlin::testing::ProgramRun RunChild(const fs::path& folder, const std::string& kind) {
    return tamberlin::testing::RunProgram({TAMBERLIN_CRASH_CHILD, folder.string(), kind}, "", 20);
}

// The one record a crash left.
std::string RecordOf(const fs::path& folder) {
    const std::vector<std::string> records = FilesIn(folder / "Crashes", ".rec");
    return records.size() == 1 ? ReadFile(records[0])
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

TEST(CrashCaptureTest, EachKindLeavesARecordAndEndsWithItsOwnSignal) {
    // The kind, the signal that ends it, and a line its record holds.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"segv", SIGSEGV, "exception: 0xc0000005\nsignal: 11 1\naddress: 0x0000000000000000\n"},
        {"fpe", SIGFPE, "exception: 0xc0000094\nsignal: 8 1\n"},
        {"abort", SIGABRT, "exception: 0x40000015\nsignal: 6 "},
        {"stack", SIGSEGV, "exception: 0xc00000fd\n"},
        {"runtime_error", SIGABRT, "\nuncaught: 51 the project file is damaged\n"},
        {"trap", SIGSEGV, "\noperation: opening the project file\n"},
        {"thread", SIGSEGV, " crash-worker\n"},
        // The handler that was there first is called after recording.
        {"chained", SIGSEGV, "exception: 0xc0000005\n"},
#if !defined(__SANITIZE_ADDRESS__)
        {"bad_alloc", SIGABRT, "\nuncaught: 7 \n"},
        // The allocator's lock is held: the handler must not need it.
        {"malloc", SIGSEGV, "exception: 0xc0000005\n"},
#endif
    };
    for (const auto& [kind, ends_with, line] : cases) {
        tamberlin::testing::TempFolder temp;
        const auto ending = RunChild(temp.path(), kind);
        const bool sanitizer_ends = kSanitizer && std::string(kind) != "chained" &&
                                    (ends_with == SIGSEGV || ends_with == SIGFPE);
        EXPECT_EQ(ending.signal, sanitizer_ends ? 0 : ends_with) << kind;
        EXPECT_LT(ending.seconds, 5.0) << kind;
        const std::string record = RecordOf(temp.path());
        EXPECT_THAT(record, HasSubstr(line)) << kind;
        EXPECT_THAT(record, StartsWith("tamberlin crash record\n")) << kind;
        EXPECT_THAT(record, HasSubstr("\nstack: 0x")) << kind;
        EXPECT_THAT(record, HasSubstr("/crash_child\n")) << kind; // a module line
        EXPECT_THAT(record, HasSubstr("\nmaps:\n")) << kind;
        EXPECT_EQ(fs::exists(temp.path() / "chained"), std::string(kind) == "chained") << kind;
        std::printf("[ figure ] %s: fault to end of process with a record: %.1f ms\n", kind,
                    ending.seconds * 1000);
    }
}

class NextStartTest : public tamberlin::testing::AppStateTest {
protected:
    void SetUp() override {
        tamberlin::runtime::App().SetTitle("Crash child");
        modQFAllData::strAppTitle = "Crash child";
        modQFCriticalErrorHandler::strErrorLogFolder = temp_.Text();
    }
    std::string Log() { return ReadFile(modQFCriticalErrorHandler::GetErrorLogPath()); }

    tamberlin::testing::TempFolder temp_;
    tamberlin::testing::ScriptedHost host_;
};

TEST_F(NextStartTest, EachCrashIsLoggedShownWithItsReportAndRetired) {
    RunChild(temp_.path(), "trap");
    ASSERT_EQ(RunChild(temp_.path(), "runtime_error").signal, SIGABRT);
    const fs::path crashes = temp_.path() / "Crashes";
    ASSERT_EQ(FilesIn(crashes, ".rec").size(), 2u);

    const auto start = Clock::now();
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 2);
    std::printf("[ figure ] next start: symbolise, log and show 2 crashes: %.1f ms\n",
                std::chrono::duration<double, std::milli>(Clock::now() - start).count());

    // Oldest first: the dialog names the operation, then the usual details.
    ASSERT_EQ(host_.Forms().size(), 2u);
    const std::string first = host_.Forms()[0]("txtErrorMsg").caption;
    EXPECT_THAT(
        first,
        StartsWith("Crash child closed unexpectedly while opening the project file.\r\n\r\n"));
    EXPECT_THAT(first,
                HasSubstr("\r\nError number: -1073741819\r\nDescription: Access violation\r\n"));
    EXPECT_TRUE(host_.Forms()[0]("cmdEmail").visible);
    const std::string second = host_.Forms()[1]("txtErrorMsg").caption;
    EXPECT_THAT(second, StartsWith("Crash child closed unexpectedly.\r\n"));
    EXPECT_THAT(second,
                HasSubstr("\r\nError number: 51\r\nDescription: the project file is damaged\r\n"));

    // One log line each, in the log's format.
    const std::string log = Log();
    EXPECT_THAT(
        log,
        HasSubstr(", opening the project file, -1073741819, Access violation, Crash child, 0\r\n"));
    EXPECT_THAT(
        log,
        HasSubstr(", (no trapped operation), 51, the project file is damaged, Crash child, 0\r\n"));
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2);

    // Retired with their readable reports; the stack has the crashing
    // function's name and line.
    EXPECT_TRUE(FilesIn(crashes, ".rec").empty());
    const std::vector<std::string> reports = FilesIn(crashes / "Reported", ".txt");
    ASSERT_EQ(reports.size(), 2u);
    const std::string report = ReadFile(reports[0]);
    EXPECT_THAT(report, HasSubstr("CrashWithNullWrite"));
    EXPECT_THAT(report, HasSubstr("crash_child.cpp:"));
    EXPECT_THAT(report, HasSubstr("operation: opening the project file\n"));

    // Nothing is reported twice.
    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 0);
}

TEST_F(NextStartTest, AReplacedExecutableIsNamedNotSymbolised) {
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

    EXPECT_EQ(tamberlin::errors::ReportPendingCrashes(), 1);
    const std::string report =
        ReadFile(FilesIn(temp_.path() / "Crashes" / "Reported", ".txt").at(0));
    EXPECT_THAT(report, HasSubstr("was replaced since the crash"));
    EXPECT_THAT(report, Not(HasSubstr("CrashWithNullWrite")));
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
    const std::string log = Log();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 10);
}

} // namespace
