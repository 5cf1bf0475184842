// The three transports and the dispatch against a scripted mail system: step
// order, what reaches the mail system, the failure tables and the results.
#include "platform/registry.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/runtime/error.h"
#include "tests/support/app_state.h"
#include "tests/support/scripted_host.h"
#include "tests/support/scripted_mail.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

using namespace modQFEmailClient;
using tamberlin::testing::ScriptedCdo;
using tamberlin::testing::ScriptedHost;
using tamberlin::testing::ScriptedMail;
using Strings = std::vector<std::string>;
namespace mapi = tamberlin::platform::mapi;
namespace ui = tamberlin::ui;

class EmailTest : public tamberlin::testing::AppStateTest {
protected:
    void SetUp() override {
        log_ = temp_.MakeFile("app Error.log");
        other_ = temp_.MakeFile("notes.txt");
    }

    // MAPI/Control with `count` entries of the lists as attachments.
    std::int32_t Control(std::int16_t resolve, const std::string& to = "a@b.example",
                         std::int16_t count = 0, Strings* names = nullptr,
                         Strings* paths = nullptr) {
        return SendEmailMAPIControl(session_, messages_, resolve, to, "s", "b", count,
                                    names ? *names : none_, paths ? *paths : none_);
    }

    std::string log_, other_;
    Strings none_;
    ScriptedHost host_;
    ScriptedMail mail_;
    MAPISession session_;
    MAPIMessages messages_;
};

// --- MAPI/Control -------------------------------------------------------------

TEST_F(EmailTest, ControlSignsOnComposesSendsAndSignsOff) {
    Strings names = {"", "", "Given name"};
    Strings paths = {log_, temp_.Text() + "missing.txt", other_};
    EXPECT_EQ(Control(0, "a@b.example", 3, &names, &paths), 1);
    EXPECT_EQ(mail_.Functions(), (Strings{"logon", "send", "logoff"}));
    EXPECT_EQ(mail_.Calls()[0].flags, mapi::kLogonUi | mapi::kNewSession);
    const mapi::Message& m = mail_.Calls()[1].message;
    EXPECT_EQ(mail_.Calls()[1].flags, mapi::kDialog);
    EXPECT_EQ(m.note_text, "b"); // the subject and recipient: mail_xdg_test's routes
    ASSERT_EQ(m.recipients.size(), 1u);
    // The missing file leaves no gap; the empty name was filled in the caller's list.
    ASSERT_EQ(m.files.size(), 2u);
    EXPECT_EQ(m.files[0].path_name, log_);
    EXPECT_EQ(m.files[0].file_name, "app Error.log");
    EXPECT_EQ(m.files[1].file_name, "Given name");
    EXPECT_EQ(names, (Strings{"app Error.log", "", "Given name"}));
    EXPECT_EQ(session_.SessionID(), 0);
    EXPECT_TRUE(host_.Boxes().empty());
    // An open session is kept (and signed off); names are resolved only for true.
    session_.SignOn();
    EXPECT_EQ(Control(1, "x@y.example"), 1);
    session_.SignOn();
    EXPECT_EQ(Control(-1, "x@y.example"), 1);
    const Strings calls = mail_.Functions();
    EXPECT_EQ(Strings(calls.begin() + 3, calls.end()),
              (Strings{"logon", "send", "logoff", "logon", "resolve", "send", "logoff"}));
}

TEST_F(EmailTest, ControlFailures) {
    // The call that fails, its code, the result, and the box's title and text
    // (no box for none).
    const std::tuple<const char*, std::uint32_t, std::int32_t, const char*, const char*> cases[] = {
        {"send", mapi::kUserAbort, -3, nullptr, nullptr},
        {"logon", mapi::kLoginFailure, -1, nullptr, nullptr},
        {"send", 10, -1, "Email Client Error", "An error occured initializing email session."},
        {"send", mapi::kUnknownRecipient, -1, "MAPI/Control Error",
         "An error occured processing email message recipients. Check recipient addresses."},
        {"send", 26, -1, nullptr, nullptr}, // 32026: past the table
    };
    for (const auto& [function, code, result, title, text] : cases) {
        SCOPED_TRACE(std::string(function) + " " + std::to_string(code));
        const size_t boxes = host_.Boxes().size();
        mail_.Answer(function, code);
        EXPECT_EQ(Control(0), result);
        EXPECT_EQ(session_.SessionID(), 0); // signed off
        ASSERT_EQ(host_.Boxes().size(), boxes + (title ? 1 : 0));
        if (title) {
            EXPECT_EQ(
                host_.Boxes().back(),
                (tamberlin::testing::ShownBox{text, title, ui::Buttons::kOK, ui::Icon::kCritical}));
        }
    }
    // An attachment the mail system cannot take.
    Strings names = {""}, paths = {std::string("bad\0name", 8)};
    EXPECT_EQ(Control(0, "a@b.example", 1, &names, &paths), -2);
    EXPECT_EQ(host_.Boxes().back().text, "Email message attachment file name unspecified.");
    // More entries counted than the lists hold: a failure, not a crash.
    Strings short_list = {log_};
    EXPECT_EQ(Control(0, "a@b.example", 2, &short_list, &short_list), -1);
    EXPECT_EQ(session_.SessionID(), 0);
}

// --- MAPI/Direct ---------------------------------------------------------------

TEST_F(EmailTest, DirectLogsOnSendsTheRecordsAndLogsOff) {
    Strings names = {"", ""};
    Strings paths = {temp_.Text() + "missing.txt", temp_.Text() + "  spaced.txt  "};
    temp_.MakeFile("  spaced.txt  ");
    mail_.resolved.address = "SMTP:resolved@b.example";
    mail_.resolved.recip_class = mapi::kTo;
    EXPECT_EQ(SendEmailMAPIDirect(4242, -1, "a@b.example; c@d.example", "Subject", "Body", 2, names,
                                  paths),
              -2);
    EXPECT_EQ(mail_.Functions(), (Strings{"logon", "resolve", "send", "logoff"}));
    EXPECT_EQ(mail_.Calls()[0].ui_param, 4242u);
    EXPECT_EQ(mail_.Calls()[0].flags, mapi::kLogonUi);
    EXPECT_EQ(mail_.Calls()[1].name, "a@b.example; c@d.example");
    EXPECT_EQ(mail_.Calls()[1].flags, mapi::kDialog);
    const mapi::Message& m = mail_.Calls()[2].message;
    EXPECT_EQ(mail_.Calls()[2].ui_param, 4242u);
    // Set as the mail system needs them: no received date, the
    // attachment placed nowhere in the text.
    EXPECT_EQ(m.date_received, "");
    ASSERT_EQ(m.recipients.size(), 1u);
    EXPECT_EQ(m.recipients[0].name, "a@b.example; c@d.example"); // one recipient, whole
    EXPECT_EQ(m.recipients[0].address, "SMTP:resolved@b.example");
    ASSERT_EQ(m.files.size(), 1u);
    EXPECT_EQ(m.files[0].position, -1);
    EXPECT_EQ(m.files[0].file_type, "");
    EXPECT_EQ(m.files[0].file_name, "spaced.txt");
    EXPECT_EQ(names[1], "spaced.txt");
}

TEST_F(EmailTest, DirectResults) {
    const auto send = [&](std::int16_t resolve = 0) {
        return SendEmailMAPIDirect(0, resolve, "a@b.example", "s", "b", 0, none_, none_);
    };
    mail_.Answer("send", mapi::kUserAbort); // cancelled: still 1
    EXPECT_EQ(send(), 1);
    mail_.Answer("logoff", mapi::kFailure);
    EXPECT_EQ(send(), -1);
    mail_.Answer("logon", mapi::kLoginFailure);
    EXPECT_EQ(send(), -1);
    mail_.Answer("resolve", mapi::kUnknownRecipient); // not looked at
    EXPECT_EQ(send(-1), 1);
    EXPECT_EQ(send(1), 1); // 1 is not true
    mail_.Answer("send", mapi::kFailure);
    EXPECT_EQ(send(), -1);
    // A failed send still ends the session.
    EXPECT_EQ(mail_.Calls().back().function, "logoff");
    mail_.Raise("send", tamberlin::runtime::errors::kMapiUserCancel);
    EXPECT_EQ(send(), -3);
    mail_.Raise("send", 48);
    EXPECT_EQ(send(), -1);
    EXPECT_EQ(mail_.Calls().back().function, "logoff");
}

// --- MAPI/CDO ------------------------------------------------------------------

// The session is released at the end, never logged off: it may be the
// running mail client's own.
TEST_F(EmailTest, CdoBuildsTheMessageInTheOutbox) {
    ScriptedCdo cdo;
    Strings names = {"", ""};
    Strings paths = {log_, other_};
    EXPECT_EQ(SendEmailMAPICDO(-1, "a@b.example", "Subject", "Body", 2, names, paths), 1);
    // These calls in this order, others between: a new message in the outbox,
    // resolved before the attachments (each under the fixed name), sent with
    // the dialog shown, then released without a log-off.
    const auto put = [](const std::string& value) { return "Invoke 37 put \"" + value + "\""; };
    size_t at = 0;
    for (const std::string& step :
         Strings{"Invoke 119 method missing missing false false", "Invoke 16 get", "Invoke 22 get",
                 "Invoke 38 put \"Subject\"", "Invoke 39 put \"Body\"", "Invoke 28 get",
                 "Invoke 100 method", "Invoke 23 put \"a@b.example\"", "Invoke 17 put 1",
                 "Invoke 130 method", "Invoke 5 get", "Invoke 23 put \"Quillfern Application\"",
                 put(log_), "Invoke 23 put \"Quillfern Application\"", put(other_),
                 "Invoke 131 method missing true", "Release session"}) {
        while (at < cdo.log.size() && cdo.log[at] != step)
            ++at;
        ASSERT_LT(at++, cdo.log.size()) << step;
    }
    EXPECT_EQ(cdo.log.end()[-2], "Invoke 131 method missing true");
    EXPECT_EQ(at, cdo.log.size());
    EXPECT_EQ(names, (Strings{"app Error.log", "notes.txt"}));
}

TEST_F(EmailTest, CdoResults) {
    ScriptedCdo cdo;
    Strings names = {""}, missing = {temp_.Text() + "missing"};
    EXPECT_EQ(SendEmailMAPICDO(1, "a@b.example", "s", "b", 1, names, missing), -2);
    EXPECT_EQ(std::count(cdo.log.begin(), cdo.log.end(), "Invoke 130 method"), 0);
    cdo.fail_at = "Invoke 131";
    cdo.error = tamberlin::runtime::errors::kMapiUserCancel;
    EXPECT_EQ(SendEmailMAPICDO(0, "a@b.example", "s", "b", 1, names, missing), -3);
    cdo.error = static_cast<std::int32_t>(0x80004005);
    EXPECT_EQ(SendEmailMAPICDO(0, "a@b.example", "s", "b", 0, names, missing), -1);
    EXPECT_EQ(cdo.log.back(), "Release session");
    cdo.fail_at.clear();
    cdo.cannot_create = true;
    cdo.log.clear();
    EXPECT_EQ(SendEmailMAPICDO(0, "a@b.example", "s", "b", 0, names, missing), -1);
    EXPECT_TRUE(cdo.log.empty());
}

// --- the dispatch ----------------------------------------------------------------

// Each transport's number reaching the mail client: mail_xdg_test's routes.
TEST_F(EmailTest, DispatchFillsBlanksAndPicksTheTransport) {
    const auto send = [&](std::int32_t transport, const char* recipient, const char* subject,
                          const char* body) {
        return SendEmail(transport, 0, recipient, subject, body, 0, none_, none_, 0, session_,
                         messages_);
    };
    EXPECT_EQ(send(1, "   ", "", ""), 1);
    const mapi::Message& defaulted = mail_.Calls()[1].message;
    EXPECT_EQ(defaulted.recipients[0].name, kPlaceholderRecipient);
    EXPECT_EQ(defaulted.subject, "Emailing from: Tamberlin");
    EXPECT_EQ(defaulted.note_text, " ");
    EXPECT_EQ(send(1, " a@b.example ", "\t", "x"), 1);
    EXPECT_EQ(mail_.Calls()[4].message.recipients[0].name, " a@b.example ");
    EXPECT_EQ(mail_.Calls()[4].message.subject, "\t");
    const size_t calls = mail_.Calls().size();
    EXPECT_EQ(send(3, "a@b.example", "s", "b"), 0);
    EXPECT_EQ(send(-2, "a@b.example", "s", "b"), 0);
    EXPECT_EQ(mail_.Calls().size(), calls);
}

TEST_F(EmailTest, DetectionReadsTheDefaultMailClient) {
    tamberlin::testing::RegistrySandbox sandbox;
    namespace reg = tamberlin::platform::registry;
    using tamberlin::testing::RegistryValueGuard;
    const RegistryValueGuard user(reg::kCurrentUser, 0, "SOFTWARE\\Clients\\Mail", "");
    const RegistryValueGuard machine(reg::kLocalMachine, reg::kWow64_64Key,
                                     "SOFTWARE\\Clients\\Mail", "");
    const auto set = [&](const RegistryValueGuard& guard, const char* client) {
        ASSERT_EQ(guard.Set(client ? std::optional<std::string>(client) : std::nullopt), 0);
    };
    const auto detect = [] {
        std::int32_t transport = -1;
        std::int16_t resolve = -1;
        DetectEmailClient(transport, resolve);
        return std::pair<int, int>(transport, resolve);
    };
    set(user, "Microsoft Outlook");
    EXPECT_EQ(detect(), (std::pair<int, int>(2, 0)));
    set(user, "microsoft outlook");
    EXPECT_EQ(detect(), (std::pair<int, int>(0, 0)));
    set(user, nullptr);
    set(machine, "Outlook Express");
    EXPECT_EQ(detect(), (std::pair<int, int>(0, -1)));
    set(machine, "Mozilla Thunderbird");
    EXPECT_EQ(detect(), (std::pair<int, int>(0, 0)));
    set(machine, nullptr);

    // A request with -1 uses the detection for that one send.
    ScriptedCdo cdo;
    set(user, "Microsoft Outlook");
    EXPECT_EQ(SendEmail(-1, -1, "a@b.example", "s", "b", 0, none_, none_, 0, session_, messages_),
              1);
    EXPECT_EQ(cdo.log.front(), "CreateSession");
    EXPECT_EQ(std::count(cdo.log.begin(), cdo.log.end(), "Invoke 130 method"), 0);
}

} // namespace
