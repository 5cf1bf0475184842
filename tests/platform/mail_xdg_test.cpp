// The Linux mail hand-off with real parts: xdg-email (package xdg-utils)
// in temporary XDG folders whose default mailto handler is a recording mail
// client (tests/e2e/mail/thunderbird), and the demo driven through the
// terminal as a user would.
#include "platform/simple_mapi.h"
#include "tests/support/scripted_mail.h"
#include "tests/support/search_path.h"
#include "tests/support/temp_folder.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {

namespace mapi = tamberlin::platform::mapi;
namespace fs = std::filesystem;

// The fields of the recorder's "-compose" string, decoded:
// to='a@b,',subject=...,body=...,attachment='/path'. Line breaks arrive as CR
// LF (xdg-email's encoding) and are compared as LF; the list of addresses
// ends with a comma.
std::map<std::string, std::string> ComposeFields(const std::string& compose) {
    std::map<std::string, std::string> fields;
    size_t i = 0;
    while (i < compose.size()) {
        const size_t eq = compose.find('=', i);
        const std::string key = compose.substr(i, eq - i);
        std::string value;
        if (compose[eq + 1] == '\'') {
            const size_t close = compose.find('\'', eq + 2);
            value = compose.substr(eq + 2, close - eq - 2);
            i = close + 2;
        } else {
            const size_t comma = std::min(compose.find(',', eq + 1), compose.size());
            value = tamberlin::testing::PercentDecoded(compose.substr(eq + 1, comma - eq - 1));
            i = comma + 1;
        }
        value.erase(std::remove(value.begin(), value.end(), '\r'), value.end());
        if (key == "to" && !value.empty() && value.back() == ',')
            value.pop_back();
        fields[key] = value;
    }
    return fields;
}

class MailXdgTest : public ::testing::Test {
protected:
    void SetUp() override {
        const fs::path apps = temp_.path() / "data" / "applications";
        fs::create_directories(apps);
        fs::create_directories(temp_.path() / "config");
        std::ofstream(apps / "testmail.desktop")
            << "[Desktop Entry]\nType=Application\nName=Test mail\nExec=" << TAMBERLIN_RECORDER
            << " %u\nMimeType=x-scheme-handler/mailto;\n";
        std::ofstream(temp_.path() / "config" / "mimeapps.list")
            << "[Default Applications]\nx-scheme-handler/mailto=testmail.desktop\n";
        // This process's world (the executable holds only these tests): the
        // folders of this case, no desktop, xdg-email's generic route.
        record_ = (temp_.path() / "record").string();
        setenv("XDG_DATA_HOME", (temp_.path() / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (temp_.path() / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (temp_.path() / "etc").c_str(), 1);
        setenv("TAMBERLIN_MAIL_RECORD", record_.c_str(), 1);
        setenv("TAMBERLIN_UI", "terminal", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        for (const char* desktop : {"XDG_CURRENT_DESKTOP", "DISPLAY", "WAYLAND_DISPLAY", "MAILER",
                                    "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID"})
            unsetenv(desktop);
    }
    // The recorder's arguments, one call after the other.
    std::vector<std::string> Recorded() const {
        std::ifstream in(record_, std::ios::binary);
        std::vector<std::string> args;
        for (std::string arg; std::getline(in, arg, '\0');)
            args.push_back(arg);
        return args;
    }
    std::uint32_t Send(const mapi::Message& message) {
        mapi::Provider& mail = mapi::CurrentProvider();
        mapi::Session session = 0;
        EXPECT_EQ(mail.Logon(0, "", "", mapi::kLogonUi, session), mapi::kSuccess);
        const std::uint32_t rc = mail.SendMail(session, 0, message, mapi::kDialog);
        EXPECT_EQ(mail.Logoff(session, 0, 0), mapi::kSuccess);
        return rc;
    }
    static mapi::Message Message(const std::string& to, const std::string& subject,
                                 const std::string& body) {
        mapi::Message m;
        m.subject = subject;
        m.note_text = body;
        mapi::Recipient r;
        r.recip_class = mapi::kTo;
        r.name = to;
        m.recipients.push_back(r);
        return m;
    }

    tamberlin::testing::TempFolder temp_;
    std::string record_;
};

TEST_F(MailXdgTest, TextsReachTheMailClientLiterally) {
    const std::string subject = "Re: \"quoted\", it's -x; $(id) `id` Grüße";
    const std::string body = "-first line, 'quoted'\r\nsecond; $(rm -rf ~) ümlaut\r\n";
    const std::string odd = temp_.MakeFile("-odd; $(id) name ü.log", "log");
    mapi::Message m = Message("support@quillfern.example", subject, body);
    mapi::File file;
    file.path_name = odd;
    m.files.push_back(file);
    ASSERT_EQ(Send(m), mapi::kSuccess);
    const std::vector<std::string> args = Recorded();
    ASSERT_EQ(args.size(), 2u);
    EXPECT_EQ(args[0], "-compose");
    const auto fields = ComposeFields(args[1]);
    EXPECT_EQ(fields.at("to"), "support@quillfern.example");
    EXPECT_EQ(fields.at("subject"), subject);
    // (A final line break is lost on the way: xdg-email drops it.)
    EXPECT_EQ(fields.at("body"), "-first line, 'quoted'\nsecond; $(rm -rf ~) ümlaut");
    EXPECT_EQ(fields.at("attachment"), odd);
    EXPECT_EQ(fields.count("bcc"), 0u);
}

TEST_F(MailXdgTest, UnsafeRecipientsAndAttachmentsAreRefused) {
    for (const char* to : {"x@example.com',attachment='/etc/passwd", "\"Name\" <a@b.example>",
                           "a@b.example,c@d.example", "-a@b.example", "not an address"}) {
        EXPECT_EQ(Send(Message(to, "s", "b")), mapi::kUnknownRecipient) << to;
    }
    mapi::Message m = Message("a@b.example", "s", "b");
    mapi::File file;
    file.path_name = temp_.MakeFile("it's, odd.log");
    m.files.push_back(file);
    EXPECT_EQ(Send(m), mapi::kAttachmentOpenFailure);
    m.files[0].path_name = temp_.Text() + "missing.log";
    EXPECT_EQ(Send(m), mapi::kAttachmentNotFound);
    EXPECT_TRUE(Recorded().empty()); // nothing reached the client
}

TEST_F(MailXdgTest, WithoutXdgEmailThereIsNoMailSystem) {
    tamberlin::testing::SearchPathOverride path(temp_.Text());
    mapi::Session session = 0;
    EXPECT_EQ(mapi::CurrentProvider().Logon(0, "", "", mapi::kLogonUi, session),
              mapi::kLoginFailure);
}

// Runs the demo with `input` on stdin (the terminal host); returns what it printed.
std::string RunDemo(const fs::path& folder, const std::string& input,
                    std::vector<std::string> args) {
    std::ofstream(folder / "input") << input;
    const std::string output = (folder / "output").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, (folder / "input").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    args.insert(args.begin(), TAMBERLIN_DEMO);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, TAMBERLIN_DEMO, &actions, nullptr, argv.data(), environ) != 0)
        return "(the demo did not start)";
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream out(output);
    std::string shown((std::istreambuf_iterator<char>(out)), {});
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        shown += "(the demo failed)";
    return shown;
}

TEST_F(MailXdgTest, TheDialogsButtonSendsTheReport) {
    const std::string shown =
        RunDemo(temp_.path(), "email\nok\n",
                {"raise", "--number", "5", "--op", "testing the report", "--allow-email"});
    EXPECT_NE(shown.find("response: 5\n"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("Cannot prepare"), std::string::npos) << shown;

    const std::vector<std::string> recorded = Recorded();
    ASSERT_EQ(recorded.size(), 2u);
    const auto fields = ComposeFields(recorded[1]);
    EXPECT_EQ(fields.at("to"), "support@quillfern.example");
    EXPECT_EQ(fields.at("subject"), "Tamberlin Error Report");
    EXPECT_NE(fields.at("body").find("A process error has occurred testing the report."),
              std::string::npos);
    EXPECT_NE(fields.at("body").find("\n\nBuild code: "), std::string::npos);
    EXPECT_NE(fields.at("body").find("\n\nDate: "), std::string::npos);
    const std::string log =
        (temp_.path() / "data/Quillfern/Tamberlin/tamberlin-demoError.log").string();
    EXPECT_EQ(fields.at("attachment"), log);
    std::ifstream entries(log);
    const std::string content((std::istreambuf_iterator<char>(entries)), {});
    EXPECT_NE(content.find(", testing the report, 5, "), std::string::npos);
}

TEST_F(MailXdgTest, TheNextStartShowsACrashAndSendsItsReport) {
    RunDemo(temp_.path(), "", {"crash", "segv"});
    const std::string shown = RunDemo(temp_.path(), "email\nok\nok\n",
                                      {"raise", "--number", "5", "--op", "starting again"});
    EXPECT_NE(shown.find("Tamberlin closed unexpectedly while testing a crash.\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Error number: -1073741819\nDescription: Access violation\n"),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("response: 5\n"), std::string::npos) << shown;

    const std::vector<std::string> recorded = Recorded();
    ASSERT_EQ(recorded.size(), 2u);
    EXPECT_NE(recorded[1].find("Crashes/crash-"), std::string::npos) << recorded[1];
    EXPECT_NE(recorded[1].find("tamberlin-demoError.log"), std::string::npos) << recorded[1];
    // The log: the crash, then the error raised after it.
    std::ifstream entries(temp_.path() / "data/Quillfern/Tamberlin/tamberlin-demoError.log");
    const std::string log((std::istreambuf_iterator<char>(entries)), {});
    EXPECT_NE(log.find(", testing a crash, -1073741819, Access violation, Tamberlin, 0\r\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

TEST_F(MailXdgTest, TheMainWindowsTestEmailsGoThroughEachRoute) {
    // MAPI/Control, MAPI/Direct, MAPI/CDO (our own object model here) and
    // the detected client (none registered: MAPI/Control).
    const std::string shown = RunDemo(temp_.path(), "10\n11\n12\n9\nq\n", {});
    EXPECT_NE(shown.find("Test e-mail (MAPI/Control): result 1, handed over to the mail client."),
              std::string::npos)
        << shown;
    EXPECT_NE(shown.find("Test e-mail (MAPI/Direct): result 1"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Test e-mail (MAPI/CDO): result 1"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Test e-mail (detected client): result 1"), std::string::npos) << shown;
    std::vector<std::string> recorded = Recorded();
    ASSERT_EQ(recorded.size(), 8u); // four calls of "-compose" and its fields
    for (size_t i = 1; i < recorded.size(); i += 2) {
        const auto fields = ComposeFields(recorded[i]);
        EXPECT_EQ(fields.at("to"), "support@quillfern.example");
        EXPECT_EQ(fields.at("subject"), "Tamberlin test e-mail");
    }
}

} // namespace
