// The Windows mail hand-off under Wine, with real parts: Wine's MAPI32 hands
// a mailto: URL to winebrowser, which runs the program named in
// HKCU\Software\Wine\WineBrowser "Mailers": here a recorder (built by
// tests/CMakeLists.txt) that appends the URL to a file beside itself. Wine's
// MAPI32 drops attachments, and Wine has no CDO library. (The error dialog's
// report takes the same transports: error_report_test.)
#include <windows.h>

#include "tamberlin/mail/email_client.h"
#include "tests/support/app_state.h"
#include "tests/support/scripted_host.h"
#include "tests/support/scripted_mail.h"
#include "tests/support/test_env.h"

#include <algorithm>
#include <fstream>
#include <gmock/gmock.h>

namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;
using namespace modQFEmailClient;
using Strings = std::vector<std::string>;

// The recorder as Windows sees it (the Unix root is drive Z:), and its file.
std::string RecorderPath(const char* name = "xdg-email") {
    std::string path = "Z:" TAMBERLIN_RECORDER;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path.substr(0, path.rfind('\\') + 1) + name;
}

class MailWineTest : public tamberlin::testing::AppStateTest {
protected:
    void SetUp() override {
        DeleteFileA(RecorderPath("record").c_str());
        ASSERT_EQ(mailers_.Set(TAMBERLIN_RECORDER), 0);
    }
    // Waits for the recorder (winebrowser runs it on its own) to have
    // recorded `lines` URLs, and returns them.
    static Strings Recorded(size_t lines) {
        Strings urls;
        for (int tries = 0; tries < 150 && urls.size() < lines; ++tries) {
            Sleep(100);
            urls.clear();
            std::ifstream in(RecorderPath("record"));
            for (std::string line; std::getline(in, line);)
                urls.push_back(line);
        }
        return urls;
    }

    const tamberlin::testing::RegistryValueGuard mailers_{
        tamberlin::platform::registry::kCurrentUser, 0, "Software\\Wine\\WineBrowser", "Mailers"};
    tamberlin::testing::ScriptedHost host_;
};

TEST_F(MailWineTest, DirectAndControlReachTheMailProgram) {
    // Wine's MAPISendMail takes a recipient's address, which only resolution
    // fills in on this route.
    Strings names = {""}, paths = {RecorderPath()};
    EXPECT_EQ(SendEmailMAPIDirect(0, -1, "support@quillfern.example", "Direct subject",
                                  "First line\r\nSecond line", 1, names, paths),
              1);
    const Strings first = Recorded(1);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_THAT(first[0], StartsWith("mailto:support@quillfern.example?"));
    EXPECT_THAT(tamberlin::testing::PercentDecoded(first[0]), HasSubstr("subject=Direct subject"));
    EXPECT_THAT(tamberlin::testing::PercentDecoded(first[0]),
                HasSubstr("body=First line\r\nSecond line"));
    EXPECT_EQ(names[0], "xdg-email"); // filled in even though Wine drops the file

    MAPISession session;
    MAPIMessages messages;
    Strings none;
    EXPECT_EQ(SendEmailMAPIControl(session, messages, 0, "support@quillfern.example",
                                   "Control subject", "Body", 0, none, none),
              1);
    const Strings both = Recorded(2);
    ASSERT_EQ(both.size(), 2u);
    EXPECT_THAT(tamberlin::testing::PercentDecoded(both[1]), HasSubstr("subject=Control subject"));
    EXPECT_EQ(session.SessionID(), 0);
}

TEST_F(MailWineTest, WithoutACdoLibraryTheCdoRouteFails) {
    Strings none;
    EXPECT_EQ(SendEmailMAPICDO(0, "support@quillfern.example", "s", "b", 0, none, none), -1);
}

} // namespace
