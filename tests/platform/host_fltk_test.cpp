// The FLTK host on a real X server (Xvfb), for what the demo's end-to-end test
// (tests/e2e/demo_fltk.sh) cannot see from outside: the Application Error
// dialog's size, symbol, hidden and disabled controls and the answers the demo
// does not give, message boxes' symbols and buttons, and a failing handler.
// The windows are operated through FLTK from timeouts while the host's modal
// loop runs.

// GoogleTest before FLTK, whose X11 headers define None as a macro.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include "tamberlin/errors/critical_error_handler.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"
#include "tests/support/app_state.h"
#include "tests/support/failing_form.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <utility>

namespace {

namespace ui = tamberlin::ui;
using modQFCriticalErrorHandler::ShowErrorDialog;
using Act = std::function<void(Fl_Window&)>;

const char* const kAbort = "Abort and close application";
const char* const kEmail = "&Email Quillfern";

Act g_pending;
int g_polls = 0;

// Closes the window an action left open: the test fails instead of hanging.
void Watchdog(void*) {
    if (Fl_Window* window = Fl::modal()) {
        ADD_FAILURE() << "the window is still open";
        window->do_callback();
    }
}

// Acts on the modal window once it is shown, drawn, and the loop has turned a
// few times for the server to catch up.
void Poll(void*) {
    Fl_Window* window = Fl::modal();
    if (!window || !window->shown() || window->damage() || ++g_polls < 3)
        return Fl::repeat_timeout(0.02, Poll);
    std::exchange(g_pending, nullptr)(*window);
}

void WhenShown(Act act) {
    g_pending = std::move(act);
    g_polls = 0;
    Fl::add_timeout(0.02, Poll);
    Fl::remove_timeout(Watchdog);
    Fl::add_timeout(10.0, Watchdog);
}

// The window's button (or check box) labelled `label`.
Fl_Button* Find(Fl_Window& window, const std::string& label) {
    for (int i = 0; i < window.children(); ++i)
        if (auto* button = dynamic_cast<Fl_Button*>(window.child(i));
            button && button->label() && button->label() == label)
            return button;
    return nullptr;
}

Act Press(const char* label) {
    return [label](Fl_Window& window) { Find(window, label)->do_callback(); };
}

const Act kCloseBox = [](Fl_Window& w) { w.do_callback(); };

class FltkHost : public tamberlin::testing::AppStateTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_) << "no X display; run under xvfb-run";
        ui::SetHost(host_.get());
    }

    std::unique_ptr<ui::Host> host_ = ui::MakeGraphicalHost();
};

// FLTK would end the process on a display it cannot open.
TEST_F(FltkHost, IsOnlyMadeWhenADisplayOpens) {
    const std::string display = std::getenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY"); // not restored: no later test needs it
    setenv("DISPLAY", ":99999", 1);
    EXPECT_FALSE(ui::MakeGraphicalHost());
    setenv("DISPLAY", display.c_str(), 1);
}

// 5670 x 3285 twips at 96 dpi, with the symbol's GIF drawn and a disabled
// control greyed; the close box unloads the form.
TEST_F(FltkHost, ErrorDialogSizeSymbolAndDisabledControl) {
    frmQFCriticalErrorHandler form;
    ui::Load(form);
    form.cmdEmail().enabled = false;
    WhenShown([](Fl_Window& window) {
        EXPECT_EQ(std::tuple(window.w(), window.h()), std::tuple(378, 219));
        window.make_current();
        std::unique_ptr<unsigned char[]> p(fl_read_image(nullptr, 8 + 15, 12 + 8, 1, 1));
        EXPECT_EQ(std::tuple(p[0], p[1], p[2]), std::tuple(220, 30, 30)) << "the red disc";
        EXPECT_TRUE(Find(window, kEmail)->visible() && !Find(window, kEmail)->active());
        window.do_callback();
    });
    ui::ShowModal(form);
    EXPECT_FALSE(ui::IsLoaded(form));
}

// Abort and OK answer 3, a double-click on the message 4 (a retry), the close
// box 0. Without the e-mail part the window ends at the separator (2775 twips
// outside, 435 of them the frame): its controls are cut off, and hidden so out
// of the keyboard's reach too.
TEST_F(FltkHost, ErrorDialogAnswersAbortRetryOrNothing) {
    const Act abort_and_ok = [](Fl_Window& w) {
        Find(w, kAbort)->value(1); // as FLTK toggles it before the callback
        Find(w, kAbort)->do_callback();
        Press("OK")(w);
    };
    const Act cut_off_double_click = [](Fl_Window& w) {
        EXPECT_EQ(std::tuple(w.w(), w.h()), std::tuple(378, 156));
        for (const char* label : {kEmail, "Include current project data", kAbort})
            EXPECT_FALSE(Find(w, label)->visible()) << label;
        // On the message; the first click only selects, the second retries.
        Fl::e_x = 150, Fl::e_y = 50;
        for (Fl::e_clicks = 0; Fl::e_clicks < 2 && !ui::Forms().empty(); ++Fl::e_clicks)
            Fl::handle(FL_PUSH, &w), Fl::handle(FL_RELEASE, &w);
        EXPECT_EQ(Fl::e_clicks, 2);
    };
    const std::tuple<Act, bool, int> cases[] = {
        {abort_and_ok, true, 3}, {cut_off_double_click, false, 4}, {kCloseBox, true, 0}};
    for (const auto& [act, full, answer] : cases) {
        WhenShown(act);
        EXPECT_EQ(ShowErrorDialog("File not found.\r\n\r\nError number: 53", full, full), answer);
    }
}

// A box shows its symbol (unless none), its text and its buttons.
TEST_F(FltkHost, MessageBoxesShowTheirSymbolAndAnswerTheButtonPressed) {
    const auto ask = [this](ui::Buttons buttons, ui::Icon icon, int widgets, Act act) {
        WhenShown([=](Fl_Window& w) {
            EXPECT_EQ(w.children(), widgets);
            act(w);
        });
        return host_->MsgBox("Disk not ready.", "Tamberlin", buttons, icon);
    };
    using enum ui::Buttons;
    using enum ui::Icon;
    EXPECT_EQ(ask(kRetryCancel, kWarning, 4, Press("&Retry")), ui::kIdRetry);
    EXPECT_EQ(ask(kRetryCancel, kCritical, 4, Press("Cancel")), ui::kIdCancel);
    EXPECT_EQ(ask(kRetryCancel, kInformation, 4, kCloseBox), ui::kIdCancel);
    EXPECT_EQ(ask(kOK, kNone, 2, Press("OK")), ui::kIdOk);
}

// The handler's error closes the window, unloads the form and is logged once;
// it never unwinds through FLTK.
TEST_F(FltkHost, AFailingHandlerUnloadsItsFormAndIsLoggedOnce) {
    const tamberlin::testing::CapturedLog log;
    tamberlin::testing::FailingForm form;
    WhenShown(Press("Fail"));
    EXPECT_NO_THROW(ui::ShowModal(form));
    EXPECT_FALSE(ui::IsLoaded(form));
    EXPECT_EQ(log.Entries(),
              std::vector<std::string>{"frmFailing.cmdFail_Click, 51, the handler failed"});
}

} // namespace
