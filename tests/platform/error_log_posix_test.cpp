// The error log on Linux: the user locale's month, a write the system
// refuses (a file size limit), and several processes appending at once.
#include "platform/clock.h"
#include "tamberlin/errors/error_log.h"
#include "tests/support/app_state.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <csignal>
#include <cstdlib>
#include <gmock/gmock.h>
#include <regex>
#include <sstream>
#include <sys/resource.h>

namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using namespace modQFCriticalErrorHandler;

class ErrorLogPosixTest : public tamberlin::testing::AppStateTest {
protected:
    tamberlin::testing::EnvironmentOverride locale_{"LC_ALL", std::nullopt};
    tamberlin::testing::ScriptedHost host_;
};

// Read at each write (error_log_test has the German one); a locale in
// ISO-8859-1 names the month in UTF-8 like the rest of the line.
TEST_F(ErrorLogPosixTest, TheMonthIsTheUserLocales) {
    const tamberlin::platform::clock::LocalTime march{2026, 3, 1, 8, 0, 0};
    tamberlin::platform::clock::PinForTesting(&march);
    setenv("LC_ALL", "C", 1);
    WriteErrorLog("saving", {53, "File not found", "Tamberlin", 2});
    setenv("LC_ALL", "de_DE", 1);
    WriteErrorLog("Grüße", {53, "File not found", "Tamberlin", 2});
    EXPECT_EQ(Log(), "Mar 1 2026 08:00:00, saving, 53, File not found, Tamberlin, 2\r\n"
                     "M\u00e4r 1 2026 08:00:00, Grüße, 53, File not found, Tamberlin, 2\r\n");
}

// A part line left in the log, which coverage cannot see.
TEST_F(ErrorLogPosixTest, AWriteTheSystemRefusesIsReportedOnceAndLeavesNoTrace) {
    WriteErrorLog("before the limit", {5, "x", "y", 0});
    const std::string before = Log();
    EXPECT_TRUE(tamberlin::testing::RunInChildren(1, [&](int) {
        // The file may grow by a few bytes only: the first append is cut short,
        // the second refused with EFBIG (not a signal); then the limit goes.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before.size() + 10, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &limit);
        WriteErrorLog("over the limit", {5, "x", "y", 0});
        WriteErrorLog("over it again", {5, "x", "y", 0});
        const rlimit none{RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &none);
        WriteErrorLog("after the limit", {5, "x", "y", 0});
        return host_.OnlyBox().text ==
               "An error occured writing to the log file [" + GetErrorLogPath() + "].";
    }));
    const std::string log = Log();
    EXPECT_THAT(log, Not(HasSubstr("over")));
    ASSERT_EQ(log.compare(0, before.size(), before), 0);
    EXPECT_NE(log.find(", after the limit, 5, x, y, 0\r\n", before.size()), std::string::npos);
}

// Races between processes: an entry lost or a line cut into another, which
// coverage cannot see.
TEST_F(ErrorLogPosixTest, ProcessesMakingTheFolderAtOnceAllLogTheirEntry) {
    constexpr int kWriters = 6;
    for (int trial = 0; trial < 10; ++trial) {
        strErrorLogFolder = temp_.Text() + "trial" + std::to_string(trial) + "/";
        EXPECT_TRUE(tamberlin::testing::RunInChildren(kWriters, [&](int w) {
            WriteErrorLog("racing", {w, "x", "y", 0});
            return host_.Boxes().empty();
        }));
        EXPECT_EQ(LogLines(), kWriters) << Log();
    }
}

TEST_F(ErrorLogPosixTest, ConcurrentWritersLeaveWholeLines) {
    constexpr int kWriters = 4;
    constexpr int kEach = 500;
    EXPECT_TRUE(tamberlin::testing::RunInChildren(kWriters, [&](int w) {
        const std::string description(100, static_cast<char>('a' + w));
        for (int i = 0; i < kEach; ++i)
            WriteErrorLog("writer " + std::to_string(w), {i, description, "Tamberlin", w});
        return host_.Boxes().empty();
    }));
    const std::regex line(R"([^ ]+ \d+ \d{4} \d\d:\d\d:\d\d, writer (\d), (\d+), ([a-d])\3{99}, )"
                          R"(Tamberlin, \1\r)");
    std::istringstream in(Log());
    int whole = 0, lines = 0;
    for (std::string text; std::getline(in, text); ++lines)
        whole += std::regex_match(text, line);
    EXPECT_EQ(lines, kWriters * kEach);
    EXPECT_EQ(whole, kWriters * kEach);
}

} // namespace
