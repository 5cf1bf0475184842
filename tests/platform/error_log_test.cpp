// The error log on the real file system, in temporary folders.
#include "platform/system.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/error_log.h"
#include "tests/support/app_state.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <filesystem>
#include <gmock/gmock.h>

namespace {

using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::Not;
using namespace modQFCriticalErrorHandler;
using tamberlin::runtime::CurrentError;
using tamberlin::testing::FsPath;
using tamberlin::testing::kSep;
using tamberlin::testing::ShownBox;
using tamberlin::ui::Buttons;
using tamberlin::ui::Icon;
namespace fs = std::filesystem;

class ErrorLogTest : public tamberlin::testing::AppStateTest {
protected:
    static const CurrentError kError;

    // The month's name and the code page are the German locale's (on Windows
    // the test runs with it set: Wine takes the user locale from LC_ALL).
    tamberlin::testing::EnvironmentOverride locale_{"LC_ALL", "de_DE.UTF-8"};
    tamberlin::testing::ScriptedHost host_;
};

const CurrentError ErrorLogTest::kError{-2147024891, "Access, it seems, is denied", "Loader", -5};

// One line per entry, its texts as they are (line breaks too) in the ANSI
// code page: UTF-8 on Linux, Windows-1252 for the German locale on Windows
// (bytes coverage cannot see).
TEST_F(ErrorLogTest, AppendsOneLinePerEntry) {
    EXPECT_EQ(GetErrorLogPath(), temp_.Text() + "tamberlinError.log");
    WriteErrorLog("opening a file, then saving it", kError);
    WriteErrorLog("printing", {482, "Printer error", "Tamberlin", 0});
    WriteErrorLog("two\r\nlines", {5, "Grüße", "", 0});
    const std::string greetings = kSep == "\\" ? "Gr\xfc\xdf\x65" : "Gr\xc3\xbc\xc3\x9f\x65";
    EXPECT_EQ(Log(), "Dez 7 2026 09:05:03, opening a file, then saving it, -2147024891, "
                     "Access, it seems, is denied, Loader, -5\r\n"
                     "Dez 7 2026 09:05:03, printing, 482, Printer error, Tamberlin, 0\r\n"
                     "Dez 7 2026 09:05:03, two\r\nlines, 5, " +
                         greetings + ", , 0\r\n");
    EXPECT_TRUE(host_.Boxes().empty());
}

// A folder without its separator is given one (the value itself stays); a
// missing folder is made when its parent exists.
TEST_F(ErrorLogTest, TheFolderIsGivenOneSeparatorAndMadeWhenItsParentExists) {
    strErrorLogFolder = temp_.Text() + "Tamberlin";
    EXPECT_EQ(GetErrorLogPath(), strErrorLogFolder + kSep + "tamberlinError.log");
    EXPECT_EQ(strErrorLogFolder, temp_.Text() + "Tamberlin");
    WriteErrorLog("x", kError);
    EXPECT_TRUE(fs::is_directory(temp_.path() / "Tamberlin"));
    EXPECT_THAT(Log(), HasSubstr(", x, "));
    // Before InitAppData: the default data folder, not the working directory.
    strErrorLogFolder.clear();
    modQFAllData::strAppDataPath.clear();
    EXPECT_EQ(GetErrorLogPath().rfind(tamberlin::platform::system::DefaultAppDataFolder(), 0), 0u);
}

// A log folder that cannot be made (its parent is missing, or a file is in
// its place) or a log that is a folder: one box, however many entries fail.
TEST_F(ErrorLogTest, ALogThatCannotBeMadeOrWrittenIsReportedOnce) {
    const std::string cannot_make =
        "A permissions error occurred creating the log file directory [";
    const std::string file = temp_.MakeFile("not-a-folder");
    fs::create_directories(temp_.path() / "folder" / "tamberlinError.log");
    const std::pair<std::string, std::string> cases[] = {
        {temp_.Text() + "Quillfern" + kSep + "Tamberlin" + kSep, cannot_make},
        {file + kSep, cannot_make},
        {temp_.Text() + "folder" + kSep, "An error occured writing to the log file ["}};
    for (const auto& [folder, message] : cases) {
        const tamberlin::testing::ScriptedHost host;
        blnLogErrorShown = false; // as at the start of a run
        strErrorLogFolder = folder;
        WriteErrorLog("x", kError);
        WriteErrorLog("y", kError);
        EXPECT_EQ(host.OnlyBox(), (ShownBox{message + GetErrorLogPath() + "].", "Logging Error",
                                            Buttons::kOK, Icon::kInformation}));
    }
    EXPECT_FALSE(fs::exists(temp_.path() / "Quillfern"));
}

TEST_F(ErrorLogTest, AReadOnlyLogGetsNoLineAndResumesWhenWritable) {
    WriteErrorLog("first", kError);
    const fs::path log = FsPath(GetErrorLogPath());
    fs::permissions(log, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    WriteErrorLog("refused", kError);
    WriteErrorLog("refused again", kError);
    EXPECT_EQ(host_.OnlyBox().text, "The log could not be written to [" + GetErrorLogPath() +
                                        "]. The log file is Read-only.");
    fs::permissions(log, fs::perms::owner_write, fs::perm_options::add);
    WriteErrorLog("resumed", kError);
    EXPECT_THAT(Log(), AllOf(Not(HasSubstr("refused")), HasSubstr(", resumed, ")));
    EXPECT_EQ(host_.Boxes().size(), 1u); // later failures stay silent, success too
}

} // namespace
