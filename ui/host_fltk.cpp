// The FLTK host: message boxes and forms as FLTK windows on an X display.
//
// A form becomes a fixed-size modal window built from its layout (twips to
// pixels at 96 dpi): labels, a read-only text box, check boxes, buttons,
// lines and a GIF picture. Widgets raise the form's events; after each event
// the widgets take over the controls' visibility, enabled state, values and
// the text boxes' text, so handlers change the window by changing the form.
// Controls below the visible client height stay outside the window and out of
// keyboard reach.
#include "platform/system.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"
#include "ui/gif.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Image.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/Fl_Text_Display.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tamberlin::ui {
namespace {

int Pixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

// FLTK draws "@name" in a label as a symbol; "@@" is a plain "@".
std::string NoSymbols(std::string_view text) {
    std::string out;
    for (char c : text) {
        out += c;
        if (c == '@')
            out += '@';
    }
    return out;
}

// Line breaks as FLTK's text widgets expect them: LF only.
std::string LineFeeds(std::string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r')
            out += text[i];
        else if (i + 1 == text.size() || text[i + 1] != '\n')
            out += '\n';
    }
    return out;
}

// A Windows colour value: 0x00BBGGRR, or 0x800000nn for system colour nn
// with the values of Windows' default scheme.
Fl_Color WindowsColour(std::uint32_t value) {
    if (value & 0x80000000u) {
        switch (value & 0xFF) {
        case 5:  // window
        case 20: // button highlight
            return fl_rgb_color(255, 255, 255);
        case 15: // button face
            return fl_rgb_color(240, 240, 240);
        case 16: // button shadow
            return fl_rgb_color(128, 128, 128);
        case 21: // 3-D dark shadow
            return fl_rgb_color(105, 105, 105);
        case 22: // 3-D light
            return fl_rgb_color(227, 227, 227);
        default: // window and button text, and the rest
            return fl_rgb_color(0, 0, 0);
        }
    }
    return fl_rgb_color(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

struct Font {
    Fl_Font face = FL_HELVETICA;
    Fl_Fontsize size = 12;
};

// The form's font when fontconfig has that family, else FLTK's sans; the
// size in points becomes pixels at 96 dpi.
Font FontOf(const Form& form) {
    Font font;
    if (form.font_size > 0)
        font.size = static_cast<Fl_Fontsize>(std::lround(form.font_size * 96 / 72));
    if (form.font_name.empty() ||
        platform::system::StandardFontName(form.font_name) != form.font_name)
        return font;
    // One FLTK font slot per family, for the process's lifetime (FLTK keeps
    // the name's pointer). A leading blank asks for the regular style.
    static std::map<std::string, Fl_Font> slots;
    static std::deque<std::string> names;
    auto found = slots.find(form.font_name);
    if (found == slots.end()) {
        const Fl_Font slot = static_cast<Fl_Font>(FL_FREE_FONT + slots.size());
        names.push_back(" " + form.font_name);
        Fl::set_font(slot, names.back().c_str());
        found = slots.emplace(form.font_name, slot).first;
    }
    font.face = found->second;
    return font;
}

// A straight line in one colour, within its bounding box.
class LineWidget final : public Fl_Widget {
public:
    LineWidget(int x1, int y1, int x2, int y2, Fl_Color colour)
        : Fl_Widget(std::min(x1, x2), std::min(y1, y2), std::max(1, std::abs(x2 - x1)),
                    std::max(1, std::abs(y2 - y1))),
          x1_(x1), y1_(y1), x2_(x2), y2_(y2) {
        color(colour);
        clear_visible_focus();
    }

protected:
    void draw() override {
        fl_push_clip(x(), y(), w(), h());
        fl_color(color());
        fl_line(x1_, y1_, x2_, y2_);
        fl_pop_clip();
    }

private:
    int x1_, y1_, x2_, y2_;
};

// A read-only text box that reports double-clicks.
class TextBox final : public Fl_Text_Display {
public:
    TextBox(int x, int y, int w, int h) : Fl_Text_Display(x, y, w, h) {}

    void SetDoubleClick(std::function<void()> double_click) {
        double_click_ = std::move(double_click);
    }

    int handle(int event) override {
        if (event == FL_PUSH && Fl::event_clicks() > 0 && double_click_) {
            double_click_();
            return 1;
        }
        return Fl_Text_Display::handle(event);
    }

private:
    std::function<void()> double_click_;
};

// One form shown as a window. The buffers and pictures the widgets use are
// members declared before the window, so they outlive it.
class FormWindow {
public:
    FormWindow(Form& form, Fl_Cursor cursor) : form_(form), font_(FontOf(form)), cursor_(cursor) {
        const int width = Pixels(form.client_width);
        const int height = Pixels(form.VisibleClientHeight());
        window_ = std::make_unique<Fl_Double_Window>(width, height);
        window_->copy_label(form.caption.c_str());
        window_->size_range(width, height, width, height);
        window_->set_modal();
        window_->callback(OnClose, this);
        window_->position(std::max(0, (Fl::w() - width) / 2), std::max(0, (Fl::h() - height) / 2));

        // FLTK moves the focus in child order.
        for (std::size_t i : TabOrder(form))
            Add(form.controls[i]);
        window_->end();
        Sync();
    }

    ~FormWindow() {
        Fl::remove_check(CloseWhenUnloaded, this);
        form_.window_handle = 0;
    }
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    void Show() {
        window_->show();
        window_->cursor(cursor_);
        form_.window_handle = fl_xid(window_.get());
        Fl::add_check(CloseWhenUnloaded, this);
    }
    bool Shown() const { return window_->shown(); }
    void Hide() { window_->hide(); }

private:
    struct Binding {
        FormWindow* owner;
        std::string name;
        int index;
        ControlKind kind;
        Fl_Widget* widget;
        std::string text; // a text box's text as its buffer holds it
    };

    void Add(const Control& c) {
        const int x = Pixels(c.left), y = Pixels(c.top);
        const int w = Pixels(c.width), h = Pixels(c.height);
        Fl_Widget* widget = nullptr;
        switch (c.kind) {
        case ControlKind::kLabel: {
            // FLTK insets a left-aligned label by 3 pixels; Windows does not.
            auto* box = new Fl_Box(x - 3, y, w + 6, h);
            box->copy_label(NoSymbols(WithoutAccessKey(c.caption)).c_str());
            // Wrapped only when it has room for a second line: a substitute
            // font can be wider than the layout's, and a one-line label then
            // runs on to the right rather than down into the next control.
            const bool wraps = h >= 2 * fl_height(font_.face, font_.size);
            box->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | (wraps ? FL_ALIGN_WRAP : 0));
            widget = box;
            break;
        }
        case ControlKind::kTextBox: {
            auto* text = new TextBox(x, y, w, h);
            buffers_.push_back(std::make_unique<Fl_Text_Buffer>());
            buffers_.back()->text(LineFeeds(c.caption).c_str());
            text->buffer(buffers_.back().get());
            text->textfont(font_.face);
            text->textsize(font_.size);
            if (c.multi_line)
                text->wrap_mode(Fl_Text_Display::WRAP_AT_BOUNDS, 0);
            if (!c.vertical_scroll_bar)
                text->scrollbar_width(0);
            widget = text;
            break;
        }
        case ControlKind::kCheckBox: {
            auto* check = new Fl_Check_Button(x, y, w, h);
            check->copy_label(NoSymbols(c.caption).c_str());
            widget = check;
            break;
        }
        case ControlKind::kCommandButton: {
            Fl_Button* button =
                c.default_button ? new Fl_Return_Button(x, y, w, h) : new Fl_Button(x, y, w, h);
            button->copy_label(NoSymbols(c.caption).c_str());
            widget = button;
            break;
        }
        case ControlKind::kLine:
            widget = new LineWidget(x, y, Pixels(c.left + c.width), Pixels(c.top + c.height),
                                    WindowsColour(c.colour));
            break;
        case ControlKind::kImage: {
            auto* box = new Fl_Box(x, y, w, h);
            box->align(FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE);
            if (std::optional<RgbaImage> picture = DecodeGif(c.picture)) {
                pictures_.push_back(std::move(*picture));
                const RgbaImage& p = pictures_.back();
                images_.push_back(
                    std::make_unique<Fl_RGB_Image>(p.pixels.data(), p.width, p.height, 4));
                box->image(images_.back().get());
            }
            widget = box;
            break;
        }
        }
        widget->labelfont(font_.face);
        widget->labelsize(font_.size);
        bindings_.push_back({this, c.name, c.index, c.kind, widget,
                             c.kind == ControlKind::kTextBox ? LineFeeds(c.caption) : ""});
        Binding& binding = bindings_.back();
        if (c.kind == ControlKind::kTextBox)
            static_cast<TextBox*>(widget)->SetDoubleClick(
                [this, &binding] { Raise(binding, Event::kDblClick); });
        if (c.kind == ControlKind::kCheckBox || c.kind == ControlKind::kCommandButton)
            widget->callback(OnClick, &binding);
    }

    static void OnClick(Fl_Widget*, void* data) {
        Binding& binding = *static_cast<Binding*>(data);
        binding.owner->Raise(binding, Event::kClick);
    }

    static void OnClose(Fl_Widget*, void* data) { static_cast<FormWindow*>(data)->Hide(); }

    // Runs before FLTK waits for events: a form unloaded by a handler (or by
    // anyone else) closes its window, and the window's going away ends the
    // wait of the modal loop.
    static void CloseWhenUnloaded(void* data) {
        auto* self = static_cast<FormWindow*>(data);
        if (!IsLoaded(self->form_) && self->window_->shown())
            self->window_->hide();
    }

    // A form unloaded by the event closes its window (CloseWhenUnloaded).
    void Raise(Binding& binding, Event event) {
        if (!IsLoaded(form_))
            return;
        if (Control* c = ControlOf(binding); c && binding.kind == ControlKind::kCheckBox)
            c->value = static_cast<Fl_Check_Button*>(binding.widget)->value() ? 1 : 0;
        if (RaiseEvent(form_, binding.name, event))
            Sync();
    }

    // The binding's control; null when a handler took it off the form.
    Control* ControlOf(const Binding& binding) {
        for (Control& c : form_.controls)
            if (c.name == binding.name && c.index == binding.index)
                return &c;
        return nullptr;
    }

    // The widgets take the controls' current state.
    void Sync() {
        const int visible_height = form_.VisibleClientHeight();
        for (Binding& b : bindings_) {
            const Control* c = ControlOf(b);
            if (!c)
                continue;
            if (c->visible && c->top < visible_height)
                b.widget->show();
            else
                b.widget->hide();
            if (c->enabled)
                b.widget->activate();
            else
                b.widget->deactivate();
            if (b.kind == ControlKind::kCheckBox)
                static_cast<Fl_Check_Button*>(b.widget)->value(c->value ? 1 : 0);
            // Handlers write to text boxes (a status line, say).
            if (b.kind == ControlKind::kTextBox) {
                std::string text = LineFeeds(c->caption);
                if (text != b.text) {
                    b.text = std::move(text);
                    static_cast<TextBox*>(b.widget)->buffer()->text(b.text.c_str());
                }
            }
        }
    }

    Form& form_;
    Font font_;
    Fl_Cursor cursor_ = FL_CURSOR_DEFAULT;
    std::vector<std::unique_ptr<Fl_Text_Buffer>> buffers_;
    std::deque<RgbaImage> pictures_;
    std::vector<std::unique_ptr<Fl_RGB_Image>> images_;
    std::deque<Binding> bindings_;
    std::unique_ptr<Fl_Double_Window> window_;
};

// A message box's symbol, drawn: a blue disc with "i", a yellow triangle
// with "!", a red disc with "X".
class IconWidget final : public Fl_Widget {
public:
    IconWidget(int x, int y, Icon icon) : Fl_Widget(x, y, 32, 32), icon_(icon) {
        clear_visible_focus();
    }

protected:
    void draw() override {
        const char* glyph = "";
        Fl_Color ink = FL_WHITE;
        int dy = 0;
        switch (icon_) {
        case Icon::kNone:
            return;
        case Icon::kInformation:
            fl_color(fl_rgb_color(30, 90, 200));
            fl_pie(x(), y(), w(), h(), 0, 360);
            glyph = "i";
            break;
        case Icon::kWarning:
            fl_color(fl_rgb_color(245, 190, 0));
            fl_polygon(x() + w() / 2, y() + 1, x() + w() - 1, y() + h() - 2, x(), y() + h() - 2);
            glyph = "!";
            ink = FL_BLACK;
            dy = 4;
            break;
        case Icon::kCritical:
            fl_color(fl_rgb_color(200, 30, 30));
            fl_pie(x(), y(), w(), h(), 0, 360);
            glyph = "X";
            break;
        }
        fl_color(ink);
        fl_font(FL_HELVETICA_BOLD, 20);
        fl_draw(glyph, x(), y() + dy, w(), h(), FL_ALIGN_CENTER, nullptr, 0);
    }

private:
    Icon icon_;
};

class FltkHost final : public Host {
public:
    FltkHost() {
        // The dialog face colour of Windows, which the forms are laid out for.
        Fl::background(240, 240, 240);
    }

    int MsgBox(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override {
        const int closed = buttons == Buttons::kRetryCancel ? kIdCancel : kIdOk;
        try {
            return Box(text, title, buttons, icon, closed);
        } catch (...) {
            return closed;
        }
    }

    void ShowModal(Form& form) override {
        try {
            FormWindow window(form, cursor_);
            window.Show();
            for (;;) {
                RunPosted();
                if (!window.Shown() || !IsLoaded(form))
                    break;
                Fl::wait();
            }
            window.Hide();
            Fl::flush();
        } catch (...) {
            // A form that cannot be shown ends here; ui::ShowModal unloads it.
        }
    }

    void DoEvents() override { Fl::check(); }

    // Fl::wait returns at once after an awake, so the loop runs the callback.
    void Wake() override { Fl::awake(); }

    void MousePointerChanged(int pointer) override {
        cursor_ = pointer == 11 ? FL_CURSOR_WAIT : FL_CURSOR_DEFAULT;
        for (Fl_Window* w = Fl::first_window(); w; w = Fl::next_window(w))
            w->cursor(cursor_);
        Fl::flush();
    }

private:
    int Box(std::string_view text, std::string_view title, Buttons buttons, Icon icon, int closed) {
        constexpr int kMargin = 12, kIcon = 32, kButtonWidth = 75, kButtonHeight = 23, kGap = 6,
                      kWrap = 400;
        const Font font;
        const std::string label = NoSymbols(LineFeeds(text));
        fl_font(font.face, font.size);
        int text_width = kWrap, text_height = 0;
        fl_measure(label.c_str(), text_width, text_height, 1);
        const int text_x = icon == Icon::kNone ? kMargin : 2 * kMargin + kIcon;
        const int body = std::max(text_height, icon == Icon::kNone ? 0 : kIcon);

        struct Choice {
            const char* caption;
            int answer;
        };
        const std::vector<Choice> choices =
            buttons == Buttons::kRetryCancel
                ? std::vector<Choice>{{"&Retry", kIdRetry}, {"Cancel", kIdCancel}}
                : std::vector<Choice>{{"OK", kIdOk}};
        const int row = static_cast<int>(choices.size()) * (kButtonWidth + kGap) - kGap;
        const int width = std::max({text_x + text_width + 6 + kMargin, row + 2 * kMargin, 180});
        const int buttons_y = kMargin + body + 2 * kMargin;
        const int height = buttons_y + kButtonHeight + kMargin;

        int answer = 0;
        Fl_Double_Window window(width, height);
        window.copy_label(std::string(title).c_str());
        window.size_range(width, height, width, height);
        window.set_modal();
        window.position(std::max(0, (Fl::w() - width) / 2), std::max(0, (Fl::h() - height) / 2));
        window.callback([](Fl_Widget* w, void*) { w->hide(); });
        if (icon != Icon::kNone)
            new IconWidget(kMargin, kMargin, icon);
        auto* message = new Fl_Box(text_x - 3, kMargin, text_width + 6, body);
        message->copy_label(label.c_str());
        message->align(FL_ALIGN_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP);
        message->labelfont(font.face);
        message->labelsize(font.size);
        // Each button stores its answer and closes the box.
        int x = width - kMargin - row;
        for (size_t i = 0; i < choices.size(); ++i) {
            Fl_Button* button =
                i == 0 ? new Fl_Return_Button(x, buttons_y, kButtonWidth, kButtonHeight)
                       : new Fl_Button(x, buttons_y, kButtonWidth, kButtonHeight);
            button->label(choices[i].caption);
            button->labelsize(font.size);
            answers_.push_back({&answer, choices[i].answer});
            button->callback(
                [](Fl_Widget* pressed, void* data) {
                    const auto* a = static_cast<const Answer*>(data);
                    *a->result = a->value;
                    pressed->window()->hide();
                },
                &answers_.back());
            x += kButtonWidth + kGap;
        }
        window.end();
        window.show();
        window.cursor(cursor_);
        while (window.shown())
            Fl::wait();
        window.hide();
        Fl::flush();
        answers_.resize(answers_.size() - choices.size());
        return answer ? answer : closed;
    }

    struct Answer {
        int* result;
        int value;
    };

    Fl_Cursor cursor_ = FL_CURSOR_DEFAULT;
    std::deque<Answer> answers_; // the open boxes' buttons (boxes can nest)
};

bool EnvironmentNames(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

} // namespace

std::unique_ptr<Host> MakeGraphicalHost() {
    if (!EnvironmentNames("DISPLAY") && !EnvironmentNames("WAYLAND_DISPLAY"))
        return nullptr;
    // FLTK exits the process when it cannot open its display, so the display
    // is opened here first; FLTK takes over the connection.
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return nullptr;
    if (fl_display)
        XCloseDisplay(display);
    else
        fl_open_display(display);
    return std::make_unique<FltkHost>();
}

} // namespace tamberlin::ui
