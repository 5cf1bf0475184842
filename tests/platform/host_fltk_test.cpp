// The FLTK host on a real X server (Xvfb): the Application Error dialog and
// message boxes, operated through FLTK itself while the host's modal loop
// runs (timeouts that press widgets or inject events).

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
#include <optional>
#include <string>

namespace {

namespace ui = tamberlin::ui;
using modQFCriticalErrorHandler::ShowErrorDialog;

const char* const kMessage = "File not found opening the project file.\r\n\r\nError number: 53\r\n";

// An environment variable set (or removed) for a scope.
class EnvironmentOverride {
public:
    EnvironmentOverride(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            saved_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~EnvironmentOverride() {
        if (saved_)
            setenv(name_, saved_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> saved_;
};

std::function<void(Fl_Window&)> g_pending;
int g_polls = 0;
Fl_Window* g_acted_on = nullptr;

void Watchdog(void*) {
    if (Fl::modal() == g_acted_on && g_acted_on->shown()) {
        ADD_FAILURE() << "the window is still open";
        g_acted_on->do_callback();
    }
}

void Poll(void*) {
    Fl_Window* window = Fl::modal();
    // Shown, drawn, and a few turns of the loop for the server to catch up.
    if (!window || !window->shown() || window->damage() || ++g_polls < 3) {
        Fl::repeat_timeout(0.02, Poll);
        return;
    }
    std::function<void(Fl_Window&)> act = std::move(g_pending);
    act(*window);
    // Every action ends with the window closing; one that stays open fails
    // the test instead of hanging it.
    Fl::remove_timeout(Watchdog);
    g_acted_on = window;
    Fl::add_timeout(2.0, Watchdog);
}

// Runs `act` on the modal window from inside the host's loop, once the
// window is shown and drawn.
void WhenShown(std::function<void(Fl_Window&)> act) {
    g_pending = std::move(act);
    g_polls = 0;
    Fl::add_timeout(0.02, Poll);
}

// The window's widget of that type whose label is `label` (any, for null).
template <class Widget> Widget* Find(Fl_Window& window, const char* label = nullptr) {
    for (int i = 0; i < window.children(); ++i) {
        Fl_Widget* child = window.child(i);
        auto* widget = dynamic_cast<Widget*>(child);
        if (widget && (!label || (child->label() && std::strcmp(child->label(), label) == 0)))
            return widget;
    }
    return nullptr;
}

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

void PrintTo(const Rgb& c, std::ostream* os) {
    *os << '(' << c.r << ',' << c.g << ',' << c.b << ')';
}

// A pixel of the window as the X server has it.
Rgb PixelAt(Fl_Window& window, int x, int y) {
    window.make_current();
    unsigned char* p = fl_read_image(nullptr, x, y, 1, 1);
    const Rgb rgb{p[0], p[1], p[2]};
    delete[] p;
    return rgb;
}

// A mouse press and release at a window point; `clicks` is 1 for the second
// press of a double-click.
void Click(Fl_Window& window, int x, int y, int clicks) {
    Fl::e_x = x;
    Fl::e_y = y;
    Fl::e_x_root = window.x() + x;
    Fl::e_y_root = window.y() + y;
    Fl::e_keysym = FL_Button + FL_LEFT_MOUSE;
    Fl::e_state = FL_BUTTON1;
    Fl::e_clicks = clicks;
    Fl::handle(FL_PUSH, &window);
    Fl::e_state = 0;
    Fl::handle(FL_RELEASE, &window);
}

void Key(Fl_Window& window, int key) {
    static char text[2] = {};
    text[0] = key == FL_Enter ? '\r' : key == FL_Escape ? '\x1B' : '\0';
    Fl::e_keysym = key;
    Fl::e_text = text;
    Fl::e_length = 1;
    Fl::e_state = 0;
    Fl::handle(FL_KEYDOWN, &window);
}

class FltkHost : public ::testing::Test {
protected:
    static void SetUpTestSuite() { host_ = ui::MakeGraphicalHost(); }
    static void TearDownTestSuite() { host_.reset(); }

    void SetUp() override {
        ASSERT_TRUE(host_) << "no X display; run under xvfb-run";
        previous_ = &ui::CurrentHost();
        ui::SetHost(host_.get());
    }
    void TearDown() override {
        Fl::remove_timeout(Watchdog);
        if (host_)
            ui::SetHost(previous_);
    }

    static std::unique_ptr<ui::Host> host_;
    ui::Host* previous_ = nullptr;
};

std::unique_ptr<ui::Host> FltkHost::host_;

TEST_F(FltkHost, IsOnlyMadeWhenADisplayOpens) {
    EXPECT_TRUE(ui::MakeGraphicalHost());
    EnvironmentOverride wayland("WAYLAND_DISPLAY", nullptr);
    {
        EnvironmentOverride display("DISPLAY", ":99999");
        EXPECT_FALSE(ui::MakeGraphicalHost());
    }
    EnvironmentOverride display("DISPLAY", nullptr);
    EXPECT_FALSE(ui::MakeGraphicalHost());
}

TEST_F(FltkHost, FullDialogHasTheLayoutsSizeAndContent) {
    WhenShown([](Fl_Window& window) {
        EXPECT_EQ(window.w(), 378);
        EXPECT_EQ(window.h(), 219);
        EXPECT_FALSE(window.resizable());
        EXPECT_TRUE(std::string(window.label()).ends_with(" Error"));

        auto* message = Find<Fl_Text_Display>(window);
        ASSERT_TRUE(message);
        EXPECT_EQ(message->x(), 52);
        EXPECT_EQ(message->y(), 4);
        EXPECT_EQ(message->w(), 317);
        EXPECT_EQ(message->h(), 109);
        char* text = message->buffer()->text();
        EXPECT_STREQ(text, "File not found opening the project file.\n\nError number: 53\n");
        std::free(text);

        auto* ok = Find<Fl_Button>(window, "OK");
        ASSERT_TRUE(ok);
        EXPECT_EQ(ok->x(), 256);
        EXPECT_EQ(ok->y(), 124);
        auto* email = Find<Fl_Button>(window, "&Email Quillfern");
        ASSERT_TRUE(email);
        EXPECT_TRUE(email->visible());
        EXPECT_EQ(email->y(), 184);
        auto* data = Find<Fl_Check_Button>(window, "Include current project data");
        ASSERT_TRUE(data);
        EXPECT_TRUE(data->visible());
        EXPECT_EQ(data->value(), 1);

        // As drawn: the etched separator (grey over white) on the dialog's
        // face, and the symbol's red disc at (8, 12).
        EXPECT_EQ(PixelAt(window, 100, 160), (Rgb{128, 128, 128}));
        EXPECT_EQ(PixelAt(window, 100, 161), (Rgb{255, 255, 255}));
        EXPECT_EQ(PixelAt(window, 100, 150), (Rgb{240, 240, 240}));
        EXPECT_EQ(PixelAt(window, 8 + 15, 12 + 8), (Rgb{220, 30, 30}));
        EXPECT_EQ(PixelAt(window, 8, 12), (Rgb{240, 240, 240})); // transparent corner

        ok->do_callback();
    });
    EXPECT_EQ(ShowErrorDialog(kMessage, true, true), 5);
    EXPECT_TRUE(ui::Forms().empty());
}

TEST_F(FltkHost, ShortDialogEndsAtTheSeparator) {
    WhenShown([](Fl_Window& window) {
        EXPECT_EQ(window.w(), 378);
        EXPECT_EQ(window.h(), 156);
        // Cut off: hidden, so the keyboard cannot reach them either.
        EXPECT_FALSE(Find<Fl_Button>(window, "&Email Quillfern")->visible());
        EXPECT_FALSE(Find<Fl_Check_Button>(window, "Include current project data")->visible());
        EXPECT_FALSE(Find<Fl_Check_Button>(window, "Abort and close application")->visible());
        Find<Fl_Button>(window, "OK")->do_callback();
    });
    EXPECT_EQ(ShowErrorDialog(kMessage, false, false), 5);
}

TEST_F(FltkHost, OkAnswersAbortOnlyWithTheBoxChecked) {
    WhenShown([](Fl_Window& window) {
        auto* abort = Find<Fl_Check_Button>(window, "Abort and close application");
        ASSERT_TRUE(abort);
        EXPECT_TRUE(abort->visible());
        abort->value(1); // as FLTK toggles it before the callback
        abort->do_callback();
        Find<Fl_Button>(window, "OK")->do_callback();
    });
    EXPECT_EQ(ShowErrorDialog(kMessage, false, true), 3);

    WhenShown([](Fl_Window& window) {
        auto* abort = Find<Fl_Check_Button>(window, "Abort and close application");
        abort->value(1);
        abort->do_callback();
        abort->value(0);
        abort->do_callback();
        Find<Fl_Button>(window, "OK")->do_callback();
    });
    EXPECT_EQ(ShowErrorDialog(kMessage, true, true), 5);

    // Enter presses the default button.
    WhenShown([](Fl_Window& window) { Key(window, FL_Enter); });
    EXPECT_EQ(ShowErrorDialog(kMessage, true, true), 5);
}

TEST_F(FltkHost, DoubleClickOnTheMessageAsksForARetry) {
    WhenShown([](Fl_Window& window) {
        Click(window, 150, 50, 0);
        // One click selects, nothing more.
        EXPECT_EQ(ui::Forms().size(), 1u);
        Click(window, 150, 50, 1);
    });
    EXPECT_EQ(ShowErrorDialog(kMessage, true, true), 4);
}

TEST_F(FltkHost, ClosingTheWindowUnloadsTheFormWithoutAResponse) {
    WhenShown([](Fl_Window& window) { window.do_callback(); }); // the close box
    EXPECT_EQ(ShowErrorDialog(kMessage, true, true), 0);
    EXPECT_TRUE(ui::Forms().empty());

    WhenShown([](Fl_Window& window) { Key(window, FL_Escape); });
    EXPECT_EQ(ShowErrorDialog(kMessage, true, true), 0);
    EXPECT_TRUE(ui::Forms().empty());
}

TEST_F(FltkHost, WidgetsFollowTheFormsStateAndFont) {
    frmQFCriticalErrorHandler form;
    ui::Load(form);
    form.cmdEmail().enabled = false;
    form.chkIncludeData().value = 0;
    const bool installed =
        tamberlin::platform::system::StandardFontName("DejaVu Sans") == "DejaVu Sans";
    if (installed)
        form.font_name = "DejaVu Sans";
    WhenShown([installed, &form](Fl_Window& window) {
        EXPECT_EQ(form.window_handle, fl_xid(&window));
        auto* email = Find<Fl_Button>(window, "&Email Quillfern");
        EXPECT_TRUE(email->visible());
        EXPECT_FALSE(email->active());
        EXPECT_EQ(Find<Fl_Check_Button>(window, "Include current project data")->value(), 0);
        auto* ok = Find<Fl_Button>(window, "OK");
        EXPECT_EQ(ok->labelsize(), 12); // 9 points at 96 dpi
        if (installed)
            EXPECT_STREQ(Fl::get_font(ok->labelfont()), " DejaVu Sans");
        else
            EXPECT_EQ(ok->labelfont(), FL_HELVETICA);
        ok->do_callback();
    });
    ui::ShowModal(form);
    EXPECT_FALSE(ui::IsLoaded(form));
    EXPECT_EQ(form.intErrorResponse, 5);
    EXPECT_EQ(form.window_handle, 0u);
}

TEST_F(FltkHost, FormsOfAMissingFontUseTheSansFont) {
    frmQFCriticalErrorHandler form;
    ui::Load(form);
    form.font_name = "No Such Family Anywhere";
    WhenShown([](Fl_Window& window) {
        EXPECT_EQ(Find<Fl_Button>(window, "OK")->labelfont(), FL_HELVETICA);
        window.do_callback();
    });
    ui::ShowModal(form);
    EXPECT_FALSE(ui::IsLoaded(form));
}

TEST_F(FltkHost, MessageBoxesAnswerWithTheButtonPressed) {
    const auto ask = [this](ui::Buttons buttons, std::function<void(Fl_Window&)> act) {
        WhenShown(std::move(act));
        return host_->MsgBox("Disk not ready.\r\nRetry?", "Tamberlin", buttons, ui::Icon::kWarning);
    };
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel,
                  [](Fl_Window& w) {
                      EXPECT_STREQ(w.label(), "Tamberlin");
                      EXPECT_TRUE(Find<Fl_Box>(w, "Disk not ready.\nRetry?"));
                      Find<Fl_Button>(w, "&Retry")->do_callback();
                  }),
              ui::kIdRetry);
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel,
                  [](Fl_Window& w) { Find<Fl_Button>(w, "Cancel")->do_callback(); }),
              ui::kIdCancel);
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel, [](Fl_Window& w) { Key(w, FL_Enter); }), ui::kIdRetry);
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel, [](Fl_Window& w) { w.do_callback(); }), ui::kIdCancel);
    EXPECT_EQ(ask(ui::Buttons::kRetryCancel, [](Fl_Window& w) { Key(w, FL_Escape); }),
              ui::kIdCancel);
    EXPECT_EQ(ask(ui::Buttons::kOK, [](Fl_Window& w) { Find<Fl_Button>(w, "OK")->do_callback(); }),
              ui::kIdOk);
    EXPECT_EQ(ask(ui::Buttons::kOK, [](Fl_Window& w) { w.do_callback(); }), ui::kIdOk);
}

// A message box asked while the error dialog is up (a handler's question)
// stacks on top of it and both answer.
TEST_F(FltkHost, BoxesNestInsideForms) {
    WhenShown([this](Fl_Window& dialog) {
        WhenShown([](Fl_Window& box) { Find<Fl_Button>(box, "OK")->do_callback(); });
        EXPECT_EQ(host_->MsgBox("Sent.", "Tamberlin", ui::Buttons::kOK, ui::Icon::kInformation),
                  ui::kIdOk);
        Find<Fl_Button>(dialog, "OK")->do_callback();
    });
    EXPECT_EQ(ShowErrorDialog(kMessage, true, true), 5);
}

} // namespace
