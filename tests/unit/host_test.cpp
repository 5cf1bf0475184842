// The terminal host's protocol, which scripts and the end-to-end tests rely
// on, driven through string streams; and a failing handler under the
// terminal and the scripted host.
#include "tamberlin/ui/host.h"
#include "tests/support/failing_form.h"
#include "tests/support/scripted_host.h"

#include <gtest/gtest.h>
#include <sstream>
#include <tuple>

namespace {

using namespace tamberlin::ui;
using tamberlin::testing::CapturedLog;
using tamberlin::testing::FailingForm;

struct Asked {
    int answer;
    std::string shown;
};

Asked Ask(const std::string& input, Buttons buttons, bool input_echoed = false) {
    std::istringstream in(input);
    std::ostringstream out;
    const int answer = MakeTerminalHost(in, out, input_echoed)
                           ->MsgBox("Disk not\r\nready.", "Tamberlin", buttons, Icon::kWarning);
    return {answer, out.str()};
}

// The text's CR LF prints as LF. An answer from a pipe is not shown, so the
// host ends the prompt's line; a terminal has shown the user's own line end.
// At end of input the line is ended either way.
TEST(TerminalHost, PrintsTitleTextAndPromptAndAsksAgainAfterAnUnknownAnswer) {
    EXPECT_EQ(Ask("o\n", Buttons::kOK, true).shown, "--- Tamberlin ---\nDisk not\nready.\n[O]K> ");
    EXPECT_EQ(Ask("", Buttons::kOK, true).shown, "--- Tamberlin ---\nDisk not\nready.\n[O]K> \n");
    // From a pipe, an unknown answer is asked again.
    const Asked run = Ask("yes\nok\nc\n", Buttons::kRetryCancel);
    EXPECT_EQ(run.answer, kIdCancel);
    EXPECT_EQ(run.shown, "--- Tamberlin ---\nDisk not\nready.\n[R]etry [C]ancel> \n"
                         "[R]etry [C]ancel> \n[R]etry [C]ancel> \n");
}

// By letter or word in any case; an empty line takes the first button, the
// end of input the last.
TEST(TerminalHost, AnswersByLetterOrWordEmptyLineOrEndOfInput) {
    const std::tuple<Buttons, int, std::vector<std::string>> cases[] = {
        {Buttons::kRetryCancel, kIdRetry, {"r\n", "R\n", "retry\n", "ReTry\r\n", "\n"}},
        {Buttons::kRetryCancel, kIdCancel, {"c\n", "CANCEL\n", ""}},
        {Buttons::kOK, kIdOk, {"ok\n", ""}}};
    for (const auto& [buttons, answer, inputs] : cases)
        for (const std::string& input : inputs)
            EXPECT_EQ(Ask(input, buttons).answer, answer) << input;
}

// An empty line at a form's prompt is Enter: it presses the default button.
TEST(TerminalHost, AnEmptyLineAtAFormPressesTheDefaultButton) {
    for (const bool default_button : {false, true}) {
        const CapturedLog log;
        std::istringstream in("\n");
        std::ostringstream out;
        const std::unique_ptr<Host> console = MakeTerminalHost(in, out);
        SetHost(console.get());
        FailingForm form;
        form.controls[0].default_button = default_button;
        ShowModal(form);
        SetHost(nullptr);
        EXPECT_EQ(log.Entries().size(), default_button ? 1u : 0u);
    }
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
