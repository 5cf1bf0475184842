// The terminal host's protocol, which scripts and the end-to-end tests rely
// on, driven through string streams; and a failing handler under the
// terminal and the scripted host.
#include "tamberlin/ui/host.h"
#include "tests/support/failing_form.h"
#include "tests/support/scripted_host.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using namespace tamberlin::ui;
using tamberlin::testing::CapturedLog;
using tamberlin::testing::FailingForm;

struct Asked {
    int answer;
    std::string shown;
};

Asked Ask(const std::string& input, Buttons buttons) {
    std::istringstream in(input);
    std::ostringstream out;
    const int answer =
        MakeTerminalHost(in, out)->MsgBox("Disk not\nready.", "Tamberlin", buttons, Icon::kWarning);
    return {answer, out.str()};
}

TEST(TerminalHost, PrintsTitleTextAndPrompt) {
    EXPECT_EQ(Ask("r\n", Buttons::kRetryCancel).shown,
              "--- Tamberlin ---\nDisk not\nready.\n[R]etry [C]ancel> ");
    EXPECT_EQ(Ask("o\n", Buttons::kOK).shown, "--- Tamberlin ---\nDisk not\nready.\n[O]K> ");
}

TEST(TerminalHost, AnswersByLetterOrWordInAnyCase) {
    for (const char* retry : {"r\n", "R\n", "retry\n", "ReTry\r\n"})
        EXPECT_EQ(Ask(retry, Buttons::kRetryCancel).answer, kIdRetry) << retry;
    for (const char* cancel : {"c\n", "CANCEL\n"})
        EXPECT_EQ(Ask(cancel, Buttons::kRetryCancel).answer, kIdCancel) << cancel;
    EXPECT_EQ(Ask("ok\n", Buttons::kOK).answer, kIdOk);
}

TEST(TerminalHost, EmptyLineTakesTheFirstButtonAndEndOfInputTheLast) {
    EXPECT_EQ(Ask("\n", Buttons::kRetryCancel).answer, kIdRetry);
    EXPECT_EQ(Ask("", Buttons::kRetryCancel).answer, kIdCancel);
    EXPECT_EQ(Ask("", Buttons::kOK).answer, kIdOk);
}

TEST(TerminalHost, AsksAgainAfterAnUnknownAnswer) {
    const Asked run = Ask("yes\nok\nc\n", Buttons::kRetryCancel);
    EXPECT_EQ(run.answer, kIdCancel);
    EXPECT_EQ(run.shown, "--- Tamberlin ---\nDisk not\nready.\n[R]etry [C]ancel> "
                         "[R]etry [C]ancel> [R]etry [C]ancel> ");
}

// Under the scripted and the terminal host: the form is unloaded, the error
// is logged once under the handler's name, and nothing reaches ShowModal's
// caller. A failing Form_Unload is logged too and leaves the form unloaded.
TEST(Hosts, AFailingHandlerUnloadsItsFormAndIsLoggedOnce) {
    for (const bool unload_fails : {false, true}) {
        for (const bool terminal : {false, true}) {
            const CapturedLog log;
            tamberlin::testing::ScriptedHost scripted; // the current host while it lives
            scripted.Click("cmdFail");
            std::istringstream in("fail\n");
            std::ostringstream out;
            const std::unique_ptr<Host> console = MakeTerminalHost(in, out);
            if (terminal)
                SetHost(console.get());
            FailingForm form;
            form.unload_fails = unload_fails;
            EXPECT_NO_THROW(ShowModal(form));
            EXPECT_FALSE(IsLoaded(form));
            std::vector<std::string> logged{"frmFailing.cmdFail_Click, 51, the handler failed"};
            if (unload_fails)
                logged.push_back("frmFailing.Form_Unload, 51, the unload failed");
            EXPECT_EQ(log.Entries(), logged) << (terminal ? "terminal" : "scripted");
        }
    }
}

} // namespace
