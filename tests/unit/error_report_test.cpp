// The error report from the Application Error dialog, against a scripted
// mail system.
#include "mail/outbox.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/runtime/application.h"
#include "tests/support/app_state.h"
#include "tests/support/scripted_host.h"
#include "tests/support/scripted_mail.h"
#include "tests/support/temp_folder.h"

#include <gmock/gmock.h>
#include <regex>

namespace {

using tamberlin::testing::kSep;
using ::testing::HasSubstr;
namespace mapi = tamberlin::platform::mapi;
namespace ui = tamberlin::ui;

class ErrorReportTest : public tamberlin::testing::AppStateTest {
protected:
    void SetUp() override {
        ui::Load(form_);
        form_.txtErrorMsg().caption = "File not found opening.\r\n\r\nTamberlin 19.00.0019\r\n";
    }
    void TearDown() override { ui::Unload(form_); }
    const mapi::Message& Sent(size_t n = 0) const {
        size_t seen = 0;
        for (const auto& call : mail_.Calls())
            if (call.function == "send" && seen++ == n)
                return call.message;
        throw std::out_of_range("no such send");
    }

    tamberlin::testing::ScriptedHost host_;
    tamberlin::testing::ScriptedMail mail_;
    frmQFCriticalErrorHandler form_;
};

// The message's fields: values coverage cannot see. Without a log the
// report goes alone; the build code keeps each version part's digits
// and pads the minor and revision.
TEST_F(ErrorReportTest, TheReportGoesToSupportWithTheLogAttached) {
    tamberlin::runtime::App().SetVersion(2, 123, 45678);
    form_.cmdEmail_Click();
    EXPECT_TRUE(Sent(0).files.empty());
    EXPECT_THAT(*Sent(0).note_text, HasSubstr("Build code: 2.123.45678\r\n"));
    tamberlin::runtime::App().SetVersion(19, 0, 19);
    const std::string log = temp_.MakeFile("tamberlinError.log", "an entry\r\n");
    form_.cmdEmail_Click();
    const mapi::Message& m = Sent(1);
    EXPECT_EQ(m.subject, "Tamberlin Error Report");
    EXPECT_EQ(m.recipients.at(0).address, "support@quillfern.example");
    EXPECT_EQ(m.note_text, "File not found opening.\r\n\r\nTamberlin 19.00.0019\r\n\r\n\r\n"
                           "Build code: 19.00.0019\r\n\r\nDate: 07 " +
                               tamberlin::platform::system::AbbreviatedMonthName(12) +
                               " 2026 09:05");
    ASSERT_EQ(m.files.size(), 1u);
    EXPECT_EQ(m.files[0].path_name, log);
    EXPECT_EQ(m.files[0].file_name, "tamberlinError.log");
    EXPECT_TRUE(host_.Boxes().empty());
    EXPECT_TRUE(ui::IsLoaded(form_)); // the dialog stays open
}

TEST_F(ErrorReportTest, AFailedHandOverIsReportedOnceAndTheReportKept) {
    const std::string kMessage = "Cannot prepare the error notification email. Please copy the "
                                 "information and send to Quillfern by separate email.";
    const std::string outbox = temp_.Text() + "Outbox" + kSep;
    temp_.MakeFile("tamberlinError.log", "an entry\r\n");
    form_.strCrashReportPath = temp_.MakeFile("crash-1.txt", "frames\n");
    mail_.Answer("logon", mapi::kLoginFailure);
    form_.cmdEmail_Click();
    // An error the transport does not trap (its sign-off failing) ends the
    // same way, in a file of its own, although the clock is the same.
    mail_.Raise("logoff", 48);
    form_.cmdEmail_Click();
    ASSERT_EQ(host_.Boxes().size(), 2u);
    std::string saved[2];
    const std::regex told(std::regex_replace(kMessage, std::regex("\\."), "\\.") +
                          " The report has been saved as \"(.*report-\\d{8}T\\d{6}Z-[0-9a-f]{8}\\."
                          "eml)\"\\.");
    for (int i = 0; i < 2; ++i) {
        std::smatch match;
        const std::string text = host_.Boxes()[i].text;
        ASSERT_TRUE(std::regex_match(text, match, told)) << text;
        saved[i] = match[1];
        EXPECT_EQ(saved[i].substr(0, outbox.size()), outbox);
        EXPECT_EQ(host_.Boxes()[i].icon, ui::Icon::kCritical);
    }
    EXPECT_NE(saved[0], saved[1]);
    EXPECT_TRUE(ui::IsLoaded(form_));
    // The message file holds the crash's report too (the log and the rest:
    // mail_xdg_test reads one with a real mail parser).
    EXPECT_THAT(tamberlin::testing::ReadFile(saved[0]),
                HasSubstr("filename=\"crash-1.txt\"\r\n\r\nZnJhbWVzCg==\r\n"));
}

// The oldest go by the order written, whatever the clock says, and only
// files of ours: the user's own report-*.eml and notes stay.
TEST_F(ErrorReportTest, TheOutboxKeepsTheNewestTwenty) {
    namespace outbox = modQFEmailClient::outbox;
    const std::string folder = temp_.Text() + "Outbox";
    // 19 of ours whose names sort against the order they were written in.
    for (int n = 1; n <= 19; ++n)
        temp_.MakeFile("Outbox/report-2026112" + std::to_string(n % 10) + "T0000" +
                           std::to_string(10 + n) + "Z-0000000" + std::to_string(n % 10) + ".eml",
                       "X-Tamberlin-Report: " + std::to_string(n) + "\r\n");
    temp_.MakeFile("Outbox/notes.txt");
    temp_.MakeFile("Outbox/report-20000101-000000-01.eml", "From: the user\r\n");
    outbox::Message m;
    std::vector<std::string> told;
    // The clock goes back an hour between the two saves.
    for (const tamberlin::platform::clock::LocalTime now :
         {tamberlin::platform::clock::LocalTime{2026, 10, 25, 2, 30, 0},
          {2026, 10, 25, 1, 30, 0},
          {2026, 10, 25, 1, 30, 0}}) {
        tamberlin::platform::clock::PinForTesting(&now);
        const outbox::Saved saved = outbox::Save(folder, m);
        EXPECT_EQ(saved.problem, "");
        EXPECT_EQ(saved.removed, told.size() == 0 ? 0u : 1u);
        told.push_back(saved.path);
    }
    const std::vector<std::string> waiting = outbox::Waiting(folder);
    ASSERT_EQ(waiting.size(), outbox::kLimit);
    EXPECT_EQ(std::vector<std::string>(waiting.end() - 3, waiting.end()), told);
    EXPECT_THAT(waiting[0], HasSubstr("-00000003.eml")); // the second and first went
    EXPECT_EQ(tamberlin::platform::files::FileNames(folder, "*").size(), 22u);
}

} // namespace
