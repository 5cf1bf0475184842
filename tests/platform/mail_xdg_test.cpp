// The Linux mail hand-off with real parts: xdg-email (package xdg-utils)
// in temporary XDG folders whose default mailto handler is a recording mail
// client (tests/e2e/mail/thunderbird), and the demo driven through the
// terminal as a user would.
#include "mail/outbox.h"
#include "platform/files.h"
#include "platform/simple_mapi.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/errors/error_log.h"
#include "tests/support/app_state.h"
#include "tests/support/scripted_host.h"
#include "tests/support/scripted_mail.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <gmock/gmock.h>
#include <optional>
#include <poll.h>
#include <regex>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using tamberlin::testing::ReadFile;
using tamberlin::testing::Split;
using ::testing::AllOf;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;
namespace mapi = tamberlin::platform::mapi;
namespace fs = std::filesystem;
constexpr fs::perms kPrivate = fs::perms::owner_read | fs::perms::owner_write;

// What the recording client received, decoded: from the Thunderbird route's
// "-compose" field string (to='a@b,',subject=...,body=...,attachment='/p,/q')
// or from the mailto: URI the generic route hands over.
struct Received {
    std::string to, subject, body;
    std::vector<std::string> attachments;
};

Received Decoded(const std::vector<std::string>& args) {
    const bool compose = args.size() == 2 && args[0] == "-compose";
    if (!compose && !(args.size() == 1 && args[0].rfind("mailto:", 0) == 0))
        return {"(not a call of a mail client)", {}, {}, {}};
    // Fields end at "," in the field string, at "?" or "&" in the URI; a value
    // is a quoted list or percent-encoded.
    const std::string fields = compose ? args[1] : "to=" + args[0].substr(7);
    const std::string ends = compose ? "," : "?&";
    const std::regex field("(\\w+)=(?:'([^']*)'|([^" + ends + "]*))[" + ends + "]?");
    Received r;
    for (std::sregex_iterator m(fields.begin(), fields.end(), field), end; m != end; ++m) {
        const std::string key = (*m)[1];
        for (const std::string& value :
             (*m)[2].matched ? Split((*m)[2], ',')
                             : std::vector{tamberlin::testing::PercentDecoded((*m)[3])})
            if (key == "to")
                r.to = value;
            else if (key == "subject")
                r.subject = value;
            else if (key == "body")
                r.body = value;
            else if (key == "attach" || key == "attachment")
                r.attachments.push_back(value);
    }
    return r;
}

enum class Route { kThunderbird, kGeneric };

class MailXdgTest : public tamberlin::testing::AppStateTest {
protected:
    void SetUp() override {
        fs::create_directories(temp_.path() / "run");
        // This process's world (the executable holds only these tests): the
        // folders of this case, no desktop, xdg-email's generic route.
        record_ = (temp_.path() / "record").string();
        setenv("XDG_DATA_HOME", (temp_.path() / "data").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (temp_.path() / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (temp_.path() / "etc").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (temp_.path() / "run").c_str(), 1);
        setenv("TAMBERLIN_MAIL_RECORD", record_.c_str(), 1);
        setenv("TAMBERLIN_UI", "terminal", 1);
        setenv("LC_ALL", "C.UTF-8", 1);
        for (const char* desktop :
             {"XDG_CURRENT_DESKTOP", "DISPLAY", "WAYLAND_DISPLAY", "MAILER", "KDE_FULL_SESSION",
              "GNOME_DESKTOP_SESSION_ID", "TAMBERLIN_MAIL_STAY", "TAMBERLIN_MAIL_FAIL_AFTER"})
            unsetenv(desktop);
        UseRoute(Route::kThunderbird);
    }
    // The recorder as the default mailto handler (e2e/mail/use-recorder). On
    // the generic route xdg-open hands the URI over only when there is a
    // display (none is needed).
    void UseRoute(Route route) const {
        ASSERT_EQ(tamberlin::testing::RunProgram(
                      {TAMBERLIN_USE_RECORDER, temp_.Text(),
                       route == Route::kThunderbird ? "thunderbird" : "generic"})
                      .status,
                  0);
        route == Route::kGeneric ? setenv("DISPLAY", ":99", 1) : unsetenv("DISPLAY");
    }
    // The recorder's calls, each decoded, once there are `expected` of them
    // (a slow xdg-email may still be on its way when the send has answered)
    // or 20 s have passed.
    std::vector<Received> Calls(size_t expected = 0) const {
        std::vector<Received> calls;
        for (int tries = 0; tries < 200; ++tries) {
            calls.clear();
            std::ifstream in(record_, std::ios::binary);
            std::vector<std::string> args;
            for (std::string arg; std::getline(in, arg, '\0');) {
                args.push_back(arg);
                if (args[0] != "-compose" || args.size() == 2) {
                    calls.push_back(Decoded(args));
                    args.clear();
                }
            }
            if (calls.size() >= expected)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return calls;
    }
    // Sends a message through the simple MAPI calls, as the transports do.
    static std::uint32_t Send(const std::string& to, const std::string& subject,
                              const std::string& body, const std::vector<std::string>& files = {}) {
        mapi::Message m;
        m.subject = subject;
        m.note_text = body;
        m.recipients.emplace_back().name = to;
        m.recipients[0].recip_class = mapi::kTo;
        for (const std::string& path : files)
            m.files.emplace_back().path_name = path;
        mapi::Provider& mail = mapi::CurrentProvider();
        mapi::Session session = 0;
        EXPECT_EQ(mail.Logon(0, "", "", mapi::kLogonUi, session), mapi::kSuccess);
        const std::uint32_t rc = mail.SendMail(session, 0, m, mapi::kDialog);
        EXPECT_EQ(mail.Logoff(session, 0, 0), mapi::kSuccess);
        return rc;
    }

    std::string record_;
};

// Texts that xdg-email's shell code would interpret, split or cut short.
const std::string kHostile = "\\c \\n \\t \\x27 \\\\ % %41 & ? # = \"q\" 'q' , -x $(id) `id` "
                             "C:\\temp\\new.txt Grüße 日本";

TEST_F(MailXdgTest, EveryByteReachesTheMailClientOnBothRoutes) {
    const std::string subject = "-" + kHostile;
    const std::string body = "-first line, " + kHostile + "\r\n\\c after\r\n" +
                             std::string(20000, 'x') + "\r\nBuild code: 1.00.0000\r\n";
    // Attachments: a plain path goes as it is; a path the routes would mangle
    // (in its folder, its name, or behind a link) goes as a private copy.
    const std::vector<std::string> files = {
        temp_.MakeFile("plain/tamberlinError.log", "log 0\r\n"),
        temp_.MakeFile("it's, odd/tamberlinError.log", "log 1\r\n"),
        temp_.MakeFile("-odd; $(id) \\x27 ü.log", "log 2\r\n"),
        (temp_.path() / "plain" / "link.log").string()};
    fs::create_symlink(temp_.MakeFile("q'u\"ote/target.log", "log 3\r\n"), files[3]);

    for (Route route : {Route::kThunderbird, Route::kGeneric}) {
        SCOPED_TRACE(route == Route::kThunderbird ? "Thunderbird route" : "generic route");
        fs::remove(record_);
        UseRoute(route);
        ASSERT_EQ(Send("support@quillfern.example", subject, body, files), mapi::kSuccess);
        const std::vector<Received> calls = Calls(1);
        ASSERT_EQ(calls.size(), 1u);
        EXPECT_EQ(calls[0].to, "support@quillfern.example");
        EXPECT_EQ(calls[0].subject, subject);
        EXPECT_EQ(calls[0].body, body);
        ASSERT_EQ(calls[0].attachments.size(), files.size());
        EXPECT_EQ(calls[0].attachments[0], files[0]);
        for (size_t i = 0; i < files.size(); ++i) {
            const std::string& got = calls[0].attachments[i];
            EXPECT_EQ(ReadFile(got), "log " + std::to_string(i) + "\r\n") << got;
            EXPECT_THAT(got, MatchesRegex("[-a-zA-Z0-9/._+]*"));
            if (i == 0)
                continue;
            EXPECT_THAT(got, StartsWith((temp_.path() / "run").string() + "/"));
            EXPECT_EQ(fs::status(got).permissions(), kPrivate);
            EXPECT_EQ(fs::status(fs::path(got).parent_path()).permissions(), fs::perms::owner_all);
        }
    }
}

TEST_F(MailXdgTest, UnsafeRecipientsAreRefusedAndMissingFilesReported) {
    for (const char* to : {"x@example.com',attachment='/etc/passwd", "\"Name\" <a@b.example>",
                           "a@b.example,c@d.example", "-a@b.example", "not an address"}) {
        EXPECT_EQ(Send(to, "s", "b"), mapi::kUnknownRecipient) << to;
    }
    EXPECT_EQ(Send("a@b.example", "s", "b", {temp_.Text() + "missing.log"}),
              mapi::kAttachmentNotFound);
    EXPECT_EQ(Send("a@b.example", "s", "b", {temp_.Text()}), mapi::kAttachmentNotFound);
    // A failed hand-off takes back the private copies it made.
    EXPECT_EQ(
        Send("a@b.example", "s", "b", {temp_.MakeFile("it's.log"), temp_.Text() + "missing.log"}),
        mapi::kAttachmentNotFound);
    EXPECT_TRUE(fs::is_empty(temp_.path() / "run"));
    EXPECT_TRUE(Calls().empty()); // nothing reached the client
}

TEST_F(MailXdgTest, AClientThatStaysOpenDoesNotHoldTheDialog) {
    tamberlin::testing::ScriptedHost host; // counts the event processing
    const std::string stay = (temp_.path() / "client.pid").string();
    const tamberlin::testing::EnvironmentOverride stays("TAMBERLIN_MAIL_STAY", stay);
    // The user closes the compose window.
    const auto close_client = [&] {
        pid_t client = 0;
        for (int tries = 0; tries < 200 && !(std::ifstream(stay) >> client); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_NE(client, 0);
        if (client != 0)
            kill(client, SIGTERM);
        return client;
    };
    for (Route route : {Route::kThunderbird, Route::kGeneric}) {
        SCOPED_TRACE(route == Route::kThunderbird ? "Thunderbird route" : "generic route");
        UseRoute(route);
        fs::remove(stay);
        const int events = host.DoEventsCalls();
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Send("a@b.example", "s", "b"), mapi::kSuccess);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(7)); // bound: 5 s
        EXPECT_GT(host.DoEventsCalls(), events + 10);
        // xdg-email ends, and no child of this process stays behind ended
        // but not reaped (looked at, not reaped).
        const pid_t client = close_client();
        bool zombie = true;
        for (int tries = 0; tries < 100 && (zombie || kill(client, 0) == 0); ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            siginfo_t info{};
            zombie = waitid(P_ALL, 0, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid != 0;
        }
        EXPECT_FALSE(zombie);
    }
    EXPECT_EQ(Calls(2).size(), 2u);

    // A program whose output is read through a pipe ends it when it ends,
    // while the client it started stays open.
    fs::remove(stay);
    const std::string input = temp_.MakeFile("input", "10\nq\n");
    const auto start = std::chrono::steady_clock::now();
    FILE* demo = popen(("'" + std::string(TAMBERLIN_DEMO) + "' <'" + input + "'").c_str(), "re");
    ASSERT_NE(demo, nullptr);
    std::string shown;
    char buffer[4096];
    for (pollfd p{fileno(demo), POLLIN, 0}; poll(&p, 1, 30000) > 0;) {
        const ssize_t n = read(fileno(demo), buffer, sizeof buffer);
        if (n <= 0)
            break;
        shown.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    pclose(demo);
    EXPECT_THAT(shown, HasSubstr("handed over to the mail client."));
    close_client();
}

// xdg-email is looked for in PATH's absolute entries only, or in the system's
// default path: never in the current folder, which holds one here.
TEST_F(MailXdgTest, XdgEmailIsFoundOnlyInAbsolutePathEntries) {
    const fs::path here = fs::current_path();
    fs::copy_file(TAMBERLIN_RECORDER, temp_.path() / "bin" / "xdg-email");
    fs::current_path(temp_.path() / "bin");
    const std::pair<std::optional<std::string>, std::uint32_t> rows[] = {
        {temp_.Text(), mapi::kLoginFailure},
        {"", mapi::kLoginFailure},
        {".", mapi::kLoginFailure},
        {":" + temp_.Text(), mapi::kLoginFailure},
        {"bin:../bin", mapi::kLoginFailure},
        {std::nullopt, mapi::kSuccess}, // confstr(_CS_PATH): /usr/bin has it
    };
    for (const auto& [value, result] : rows) {
        SCOPED_TRACE(value.value_or("(unset)"));
        tamberlin::testing::EnvironmentOverride path("PATH", value);
        mapi::Session session = 0;
        EXPECT_EQ(mapi::CurrentProvider().Logon(0, "", "", mapi::kLogonUi, session), result);
        if (result == mapi::kSuccess) {
            EXPECT_EQ(Send("a@b.example", "s", "b"), mapi::kSuccess);
        }
    }
    fs::current_path(here);
    EXPECT_EQ(Calls(1).size(), 1u);
}

// What the demo printed, with a note when it failed.
std::string RunDemo(const std::string& input, std::vector<std::string> args) {
    args.insert(args.begin(), TAMBERLIN_DEMO);
    const tamberlin::testing::ProgramRun run = tamberlin::testing::RunProgram(args, input);
    return run.output + (run.status == 0 ? "" : "(the program failed)");
}

// A message file as Python's e-mail package reads it: subject, recipient,
// text body, then file name and hex content of each attachment.
std::vector<std::string> ParsedByPython(const std::string& file) {
    return Split(
        tamberlin::testing::RunProgram({"/usr/bin/python3", TAMBERLIN_READ_MESSAGE, file}).output,
        '\0');
}

std::string Hex(const std::string& bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes)
        out += {kHex[c >> 4], kHex[c & 15]};
    return out;
}

TEST_F(MailXdgTest, OutboxMessagesParseWithAnIndependentReader) {
    namespace outbox = modQFEmailClient::outbox;
    std::string binary;
    for (int i = 0; i < 256; ++i)
        binary += static_cast<char>(i);
    const std::string long_line(300, 'y');
    outbox::Message m;
    m.from_name = "Tämberlin, \"the\" app";
    m.to = "support@quillfern.example";
    m.date = {2026, 12, 7, 9, 5, 3};
    // A long name (RFC 2231 sections) with a byte that is not UTF-8.
    std::string long_name = std::string(100, 'n') + "\xff";
    for (int i = 0; i < 60; ++i)
        long_name += "ü";
    m.attachments = {{"tamberlinError.log", "entry\r\n"},
                     {"it's, odd ü =?x?= " + kHostile, binary},
                     {long_name + ".log", "z"}};
    m.id = "report-20261207T090503Z-0123abcd";
    // Subject, body, and what a reader shows of them: U+FFFD for each
    // sequence that is not UTF-8.
    const std::string bad = "\xff|\xc3(|\xe2\x82|\xed\xa0\x80|\xf4\x90\x80\x80|\xc0\xaf",
                      shown = "\uFFFD|\uFFFD(|\uFFFD|\uFFFD\uFFFD\uFFFD|\uFFFD\uFFFD\uFFFD\uFFFD|"
                              "\uFFFD\uFFFD";
    const std::vector<std::array<std::string, 4>> texts = {
        {"Tamberlin Error Report", "short", "", ""},
        {"-" + kHostile,
         "-first line, " + kHostile + "\r\ntrailing blanks  \r\n\ttab\r\n" + long_line +
             "\r\n=3D =?UTF-8?B?eA==?= ü" + long_line + "\r\nend\r\n",
         "", ""},
        {"=?UTF-8?B?eA==?= " + long_line + " Grüße", "\r\n\r\n.\r\nFrom me\r\n-- \r\n", "", ""},
        {"s " + bad, "b " + bad + "\r\n", "s " + shown, "b " + shown + "\r\n"},
    };
    for (const auto& [subject, body, shown_subject, shown_body] : texts) {
        SCOPED_TRACE(subject);
        m.subject = subject;
        m.body = body;
        const std::string text = outbox::MimeText(m),
                          file = (temp_.path() / "message.eml").string();
        std::ofstream(file, std::ios::binary) << text;
        EXPECT_THAT(text, HasSubstr("\r\nMessage-ID: <report-20261207T090503Z-0123abcd@"));
        for (const std::string& line : Split(text, '\n'))
            EXPECT_LE(line.size(), 79u) << line; // 78 and the CR
        // Python hands the text over with its line breaks as LF.
        EXPECT_EQ(
            ParsedByPython(file),
            (std::vector<std::string>{
                shown_subject.empty() ? subject : shown_subject, "support@quillfern.example",
                std::regex_replace(shown_body.empty() ? body : shown_body, std::regex("\r\n"),
                                   "\n"),
                m.attachments[0].name, Hex(m.attachments[0].bytes), m.attachments[1].name,
                Hex(binary), std::regex_replace(long_name, std::regex("\xff"), "\uFFFD") + ".log",
                Hex("z")}));
    }
}

// Thirty processes save at one moment: each is told a name of its own, and
// every report is kept or counted as removed by the limit. A writer stopped
// by the file size limit, or refused by it, leaves no file named like one.
// (Races and losses coverage cannot see.)
TEST_F(MailXdgTest, TheOutboxLosesNoReport) {
    namespace outbox = modQFEmailClient::outbox;
    namespace files = tamberlin::platform::files;
    const std::string folder = temp_.Text() + "Outbox", told = temp_.Text() + "told";
    outbox::Message m;
    m.body = std::string(200000, 'x');
    ASSERT_TRUE(tamberlin::testing::RunInChildren(30, [&](int) {
        const outbox::Saved s = outbox::Save(folder, m);
        return !s.path.empty() &&
               files::AppendToFile(told, s.path + " " + std::to_string(s.removed) + "\n");
    }));
    std::set<std::string> names;
    size_t removed = 0;
    for (const std::string& line : Split(ReadFile(told), '\n')) {
        names.insert(line.substr(0, line.find(' ')));
        removed += std::stoul(line.substr(line.find(' ') + 1));
    }
    EXPECT_EQ(names.size(), 30u);
    const std::vector<std::string> kept = outbox::Waiting(folder);
    EXPECT_EQ(kept.size() + removed, 30u);
    EXPECT_GE(kept.size(), outbox::kLimit); // a writer's own may stay one more
    EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all);
    for (const std::string& path : kept)
        EXPECT_EQ(fs::status(path).permissions(), kPrivate);

    m.body = std::string(1 << 20, 'x');
    for (const bool stopped : {true, false}) {
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGXFSZ, stopped ? SIG_DFL : SIG_IGN);
            const rlimit limit{65536, 65536};
            setrlimit(RLIMIT_FSIZE, &limit);
            const outbox::Saved s = outbox::Save(folder, m);
            _exit(s.path.empty() && s.problem.find("could not be written") != std::string::npos
                      ? 0
                      : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(stopped ? WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ
                            : WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << status;
        EXPECT_EQ(outbox::Waiting(folder), kept);
    }
    EXPECT_EQ(files::FileNames(folder, "*").size(), kept.size() + 1); // the stopped one's temp
}

TEST_F(MailXdgTest, WithoutAMailClientTheReportGoesToTheOutbox) {
    // No mailto handler at all, and no browser to fall back on.
    fs::remove_all(temp_.path() / "data" / "applications");
    fs::remove(temp_.path() / "config" / "mimeapps.list");
    const tamberlin::testing::EnvironmentOverride browser("BROWSER", "/bin/false");
    const std::string shown =
        RunDemo("email\nok\n", {"raise", "--number", "5", "--op", "-" + kHostile, "--allow-email"});
    std::smatch saved;
    ASSERT_TRUE(std::regex_search(shown, saved,
                                  std::regex("Cannot prepare the error notification email\\. .* "
                                             "The report has been saved as \"([^\"]*)\"\\.")))
        << shown;
    const fs::path data = temp_.path() / "data/Quillfern/Tamberlin";
    EXPECT_EQ(fs::path(saved[1].str()).parent_path(), data / "Outbox");
    EXPECT_THAT(ParsedByPython(saved[1]),
                ElementsAre("Tamberlin Error Report", "support@quillfern.example",
                            HasSubstr("A process error has occurred -" + kHostile + "."),
                            "tamberlin-demoError.log",
                            Hex(ReadFile((data / "tamberlin-demoError.log").string()))));
    EXPECT_EQ(fs::status(data / "tamberlin-demoError.log").permissions(), kPrivate);
    EXPECT_TRUE(Calls().empty());

    // An Outbox that is a link is refused: the user is told to copy the
    // text, the log says why, and the user's files behind it stay as they are.
    fs::remove_all(data / "Outbox");
    const std::string own = temp_.MakeFile("mine/report-1.eml", "the user's own");
    fs::create_directory_symlink(temp_.path() / "mine", data / "Outbox");
    const tamberlin::testing::EnvironmentOverride no_mail("PATH", (temp_.path() / "bin").string());
    EXPECT_THAT(RunDemo("email\nok\n", {"raise", "--number", "5", "--allow-email"}),
                AllOf(HasSubstr("send to Quillfern by separate email."), Not(HasSubstr("saved"))));
    EXPECT_EQ(tamberlin::platform::files::FileNames((temp_.path() / "mine").string(), "*"),
              std::vector<std::string>{"report-1.eml"});
    EXPECT_THAT(ReadFile((data / "tamberlin-demoError.log").string()),
                HasSubstr("] is a link; the report was not saved and nothing there was changed."));
}

TEST_F(MailXdgTest, TheNextStartShowsACrashAndSendsItsReport) {
    {
        // AddressSanitizer's SIGSEGV handler, there first, would have the
        // fault, report it and exit, leaving no record.
        const char* options = std::getenv("ASAN_OPTIONS");
        const tamberlin::testing::EnvironmentOverride alone(
            "ASAN_OPTIONS", std::string(options ? options : "") + ":handle_segv=0");
        RunDemo("", {"crash", "segv"});
    }
    const std::string shown =
        RunDemo("email\nok\nok\n", {"raise", "--number", "5", "--op", "starting again"});
    EXPECT_THAT(shown, HasSubstr("Tamberlin closed unexpectedly while testing a crash.\n"));
    EXPECT_THAT(shown, HasSubstr("response: 5\n"));

    const std::vector<Received> calls = Calls(1);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_THAT(calls[0].attachments, Contains(HasSubstr("Crashes/Reported/crash-")));
    // It stays for a mail client that reads it later, named when it was sent.
    EXPECT_THAT(ReadFile(calls[0].attachments.back()), HasSubstr("CrashOnPurpose"));
    EXPECT_THAT(calls[0].attachments, Contains(HasSubstr("tamberlin-demoError.log")));
    // The log: the crash (its line as crash_posix_test pins it), then the error.
    const std::string log =
        ReadFile(temp_.Text() + "data/Quillfern/Tamberlin/tamberlin-demoError.log");
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 2) << log;
}

// Reports left in the Outbox are offered at the next start, and sent one
// message each; what was handed over leaves the queue but is kept.
TEST_F(MailXdgTest, WaitingReportsAreOfferedAtTheNextStart) {
    const fs::path data = temp_.path() / "data/Quillfern/Tamberlin";
    fs::create_directories(data);
    std::vector<std::string> saved;
    for (int i = 0; i < 2; ++i)
        saved.push_back(modQFEmailClient::outbox::Save((data / "Outbox").string(), {}).path);
    const std::string shown = RunDemo("send\nq\n", {});
    EXPECT_THAT(shown, HasSubstr("2 error reports wait in " + (data / "Outbox").string() +
                                 ": send them now"));
    EXPECT_THAT(shown, HasSubstr("Handed over 2 waiting reports.\n"));
    const std::vector<Received> calls = Calls(2);
    ASSERT_EQ(calls.size(), 2u);
    for (size_t i = 0; i < 2; ++i)
        EXPECT_EQ(calls[i].attachments, std::vector<std::string>{saved[i]});
    EXPECT_TRUE(modQFEmailClient::outbox::Waiting((data / "Outbox").string()).empty());
    EXPECT_EQ(modQFEmailClient::outbox::Waiting((data / "Outbox/Sent").string()).size(), 2u);
}

TEST_F(MailXdgTest, TheMainWindowsTestEmailsGoThroughEachRoute) {
    // MAPI/Control, MAPI/Direct, MAPI/CDO (our own object model here) and
    // the detected client (none registered: MAPI/Control). Private copies
    // left under the temporary folder go when more than a day old.
    const fs::path tmp = temp_.path() / "tmp";
    for (const char* folder : {"tamberlin-mail-old", "tamberlin-mail-new", "other-old"}) {
        fs::create_directories(tmp / folder);
        std::ofstream(tmp / folder / "copy.log") << "x";
    }
    for (const char* folder : {"tamberlin-mail-old", "other-old"})
        fs::last_write_time(tmp / folder,
                            fs::file_time_type::clock::now() - std::chrono::hours(25));
    const tamberlin::testing::EnvironmentOverride tmpdir("TMPDIR", tmp.string());
    const std::string shown = RunDemo("10\n11\n12\n9\nq\n", {});
    EXPECT_FALSE(fs::exists(tmp / "tamberlin-mail-old"));
    EXPECT_TRUE(fs::exists(tmp / "tamberlin-mail-new" / "copy.log"));
    EXPECT_TRUE(fs::exists(tmp / "other-old" / "copy.log"));
    for (const char* route : {"MAPI/Control", "MAPI/Direct", "MAPI/CDO", "detected client"})
        EXPECT_THAT(shown, HasSubstr("Test e-mail (" + std::string(route) +
                                     "): result 1, handed over to the mail client."));
    const std::vector<Received> calls = Calls(4);
    ASSERT_EQ(calls.size(), 4u);
    for (const Received& call : calls)
        EXPECT_EQ(call.to + " | " + call.subject,
                  "support@quillfern.example | Tamberlin test e-mail");
}

// A client that fails after the bound: the report is kept in the Outbox and
// the log says so in one line, with no dialog for a user who has moved on.
TEST_F(MailXdgTest, AClientThatFailsLateLeavesTheReportInTheOutbox) {
    tamberlin::testing::ScriptedHost host;
    const tamberlin::testing::EnvironmentOverride fails("TAMBERLIN_MAIL_FAIL_AFTER", "7");
    frmQFCriticalErrorHandler form;
    tamberlin::ui::Load(form);
    form.txtErrorMsg().caption = "Late failure.";
    form.cmdEmail_Click();
    std::vector<std::string> waiting;
    for (int tries = 0; tries < 150 && waiting.empty(); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        waiting = modQFEmailClient::outbox::Waiting(temp_.Text() + "Outbox");
    }
    ASSERT_EQ(waiting.size(), 1u);
    EXPECT_THAT(ParsedByPython(waiting[0]).at(2), HasSubstr("Late failure."));
    std::string log;
    for (int tries = 0; tries < 50 && log.empty(); ++tries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        log = Log();
    }
    EXPECT_THAT(log, HasSubstr("The mail client failed after the report was handed over (exit "
                               "status 4); the report has been saved as [" +
                               waiting[0] + "]., Tamberlin, 0\r\n"));
    EXPECT_EQ(LogLines(), 1);
    EXPECT_TRUE(host.Boxes().empty());
    tamberlin::ui::Unload(form);
}

} // namespace
