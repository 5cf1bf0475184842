// The FLTK host on a real X server (Xvfb): the Application Error dialog and
// message boxes, operated through FLTK from timeouts while the host's modal
// loop runs.

// GoogleTest before FLTK, whose X11 headers define None as a macro.
// clang-format off
#include <gtest/gtest.h>
// clang-format on

#include "errors/critical_error_handler.h"
#include "errors/error_form.h"
#include "platform/system.h"
#include "ui/form.h"
#include "ui/host.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Text_Display.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <tuple>

namespace {

namespace ui = tamberlin::ui;
using modQFCriticalErrorHandler::ShowErrorDialog;
using Act = std::function<void(Fl_Window&)>;
using Rgb = std::tuple<int, int, int>;

const char* const kMessage = "File not found opening the project file.\r\n\r\nError number: 53\r\n";
const char* const kAbort = "Abort and close application";
const char* const kEmail = "&Email Quillfern";
const char* const kData = "Include current project data";

Act g_pending;
int g_polls = 0;
Fl_Window* g_acted_on = nullptr;

// An action leaves its window open: fail instead of hanging.
void Watchdog(void*) {
    if (Fl::modal() == g_acted_on && g_acted_on->shown()) {
        ADD_FAILURE() << "the window is still open";
        g_acted_on->do_callback();
    }
}

// Acts on the modal window once it is shown, drawn, and the loop has turned a
// few times for the server to catch up.
void Poll(void*) {
    Fl_Window* window = Fl::modal();
    if (!window || !window->shown() || window->damage() || ++g_polls < 3)
        return Fl::repeat_timeout(0.02, Poll);
    Act act = std::move(g_pending);
    act(*window);
    Fl::remove_timeout(Watchdog);
    g_acted_on = window;
    Fl::add_timeout(2.0, Watchdog);
}

void WhenShown(Act act) {
    g_pending = std::move(act);
    g_polls = 0;
    Fl::add_timeout(0.02, Poll);
}

// The window's widget of that type labelled `label` (any, for null).
template <class Widget> Widget* Find(Fl_Window& window, const char* label = nullptr) {
    for (int i = 0; i < window.children(); ++i) {
        auto* widget = dynamic_cast<Widget*>(window.child(i));
        if (widget && (!label || (widget->label() && std::strcmp(widget->label(), label) == 0)))
            return widget;
    }
    return nullptr;
}

Act Press(const char* label) {
    return [label](Fl_Window& window) { Find<Fl_Button>(window, label)->do_callback(); };
}

// A pixel as the X server has it.
Rgb PixelAt(Fl_Window& window, int x, int y) {
    window.make_current();
    std::unique_ptr<unsigned char[]> p(fl_read_image(nullptr, x, y, 1, 1));
    return {p[0], p[1], p[2]};
}

Act Keystroke(int key) {
    return [key](Fl_Window& window) {
        Fl::e_keysym = key;
        Fl::handle(FL_KEYDOWN, &window);
    };
}

const Act kEnter = Keystroke(FL_Enter), kEscape = Keystroke(FL_Escape);
const Act kCloseBox = [](Fl_Window& w) { w.do_callback(); };

class FltkHost : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_) << "no X display; run under xvfb-run";
        ui::SetHost(host_.get());
    }
    void TearDown() override {
        Fl::remove_timeout(Watchdog);
        ui::SetHost(previous_);
    }

    std::unique_ptr<ui::Host> host_ = ui::MakeGraphicalHost();
    ui::Host* previous_ = &ui::CurrentHost();
};

TEST_F(FltkHost, IsOnlyMadeWhenADisplayOpens) {
    const std::string display = std::getenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY"); // not restored: no later test needs it
    setenv("DISPLAY", ":99999", 1);
    EXPECT_FALSE(ui::MakeGraphicalHost());
    unsetenv("DISPLAY");
    EXPECT_FALSE(ui::MakeGraphicalHost());
    setenv("DISPLAY", display.c_str(), 1);
}

TEST_F(FltkHost, ErrorDialogHasTheLayoutAndEndsAtTheSeparatorWithoutEmail) {
    WhenShown([](Fl_Window& window) {
        EXPECT_EQ(std::tuple(window.w(), window.h()), std::tuple(378, 219));
        EXPECT_TRUE(std::string(window.label()).ends_with(" Error"));
        auto* message = Find<Fl_Text_Display>(window);
        ASSERT_TRUE(message);
        EXPECT_EQ(std::tuple(message->x(), message->y(), message->w(), message->h()),
                  std::tuple(52, 4, 317, 109));
        std::unique_ptr<char, decltype(&std::free)> text(message->buffer()->text(), std::free);
        EXPECT_STREQ(text.get(), "File not found opening the project file.\n\nError number: 53\n");
        EXPECT_TRUE(Find<Fl_Button>(window, kEmail)->visible());
        EXPECT_EQ(Find<Fl_Check_Button>(window, kData)->value(), 1);
        // The etched separator (grey over white), the symbol's red disc at
        // (8, 12) and its transparent corner on the dialog's face.
        EXPECT_EQ(PixelAt(window, 100, 160), Rgb(128, 128, 128));
        EXPECT_EQ(PixelAt(window, 100, 161), Rgb(255, 255, 255));
        EXPECT_EQ(PixelAt(window, 8 + 15, 12 + 8), Rgb(220, 30, 30));
        EXPECT_EQ(PixelAt(window, 8, 12), Rgb(240, 240, 240));
        Press("OK")(window);
    });
    EXPECT_EQ(ShowErrorDialog(kMessage, true, true), 5);

    WhenShown([](Fl_Window& window) {
        EXPECT_EQ(std::tuple(window.w(), window.h()), std::tuple(378, 156)); // 2775 - 435 twips
        // Cut off, and so out of the keyboard's reach too.
        for (const char* label : {kEmail, kData, kAbort})
            EXPECT_FALSE(Find<Fl_Button>(window, label)->visible()) << label;
        Press("OK")(window);
    });
    EXPECT_EQ(ShowErrorDialog(kMessage, false, false), 5);
}

TEST_F(FltkHost, ErrorDialogAnswersOkAbortRetryOrNothing) {
    const Act abort_and_ok = [](Fl_Window& w) {
        auto* abort = Find<Fl_Check_Button>(w, kAbort);
        abort->value(1); // as FLTK toggles it before the callback
        abort->do_callback();
        Press("OK")(w);
    };
    const Act double_click = [](Fl_Window& w) { // on the message
        Fl::e_x = 150;
        Fl::e_y = 50;
        for (Fl::e_clicks = 0; Fl::e_clicks < 2; ++Fl::e_clicks) {
            EXPECT_EQ(ui::Forms().size(), 1u); // one click only selects
            Fl::handle(FL_PUSH, &w);
            Fl::handle(FL_RELEASE, &w);
        }
    };
    // A handler's box stacks on the dialog, and both answer.
    const Act box_and_ok = [this](Fl_Window& w) {
        WhenShown(Press("OK"));
        EXPECT_EQ(host_->MsgBox("Sent.", "T", ui::Buttons::kOK, ui::Icon::kNone), ui::kIdOk);
        Press("OK")(w);
    };
    const std::tuple<Act, int> cases[] = {{kEnter, 5},     {abort_and_ok, 3}, {double_click, 4},
                                          {box_and_ok, 5}, {kCloseBox, 0},    {kEscape, 0}};
    for (const auto& [act, answer] : cases) {
        WhenShown(act);
        EXPECT_EQ(ShowErrorDialog(kMessage, true, true), answer);
    }
}

// A family fontconfig lacks falls back to FLTK's sans; the close box unloads.
TEST_F(FltkHost, WidgetsFollowTheFormsStateAndFont) {
    for (std::string font : {"DejaVu Sans", "No Such Family Anywhere"}) {
        frmQFCriticalErrorHandler form;
        ui::Load(form);
        form.font_name = font;
        form.cmdEmail().enabled = false;
        const bool installed = tamberlin::platform::system::StandardFontName(font) == font;
        WhenShown([&](Fl_Window& window) {
            EXPECT_EQ(form.window_handle, fl_xid(&window));
            EXPECT_FALSE(Find<Fl_Button>(window, kEmail)->active());
            auto* ok = Find<Fl_Button>(window, "OK");
            EXPECT_EQ(ok->labelsize(), 12); // 9 points at 96 dpi
            if (installed)
                EXPECT_EQ(Fl::get_font(ok->labelfont()), " " + font);
            else
                EXPECT_EQ(ok->labelfont(), FL_HELVETICA) << font;
            window.do_callback();
        });
        ui::ShowModal(form);
        EXPECT_FALSE(ui::IsLoaded(form));
        EXPECT_EQ(form.window_handle, 0u);
    }
}

TEST_F(FltkHost, MessageBoxesAnswerWithTheButtonPressed) {
    const auto ask = [this](ui::Buttons buttons, Act act) {
        WhenShown(std::move(act));
        return host_->MsgBox("Disk not ready.\r\nRetry?", "Tamberlin", buttons, ui::Icon::kWarning);
    };
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel,
                  [](Fl_Window& w) {
                      EXPECT_STREQ(w.label(), "Tamberlin");
                      EXPECT_TRUE(Find<Fl_Box>(w, "Disk not ready.\nRetry?"));
                      EXPECT_EQ(PixelAt(w, 12 + 8, 12 + 27), Rgb(245, 190, 0)); // the triangle
                      Press("&Retry")(w);
                  }),
              ui::kIdRetry);
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel, Press("Cancel")), ui::kIdCancel);
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel, kEnter), ui::kIdRetry);
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel, kCloseBox), ui::kIdCancel);
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel, kEscape), ui::kIdCancel);
    EXPECT_EQ(ask(ui::Buttons::kOK, Press("OK")), ui::kIdOk);
    EXPECT_EQ(ask(ui::Buttons::kOK, kCloseBox), ui::kIdOk);
}

} // namespace
