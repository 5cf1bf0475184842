// The GTK 3 host: message boxes and forms as GTK windows, on X11 or Wayland.
//
// Built as a module the services library opens only when a window is about to
// be shown (ui/host_module.h), so it calls into the form machinery through the
// table it is handed, never directly.
//
// A form becomes a fixed-size window (a modal dialog, or the application's
// main window) whose controls sit in a GtkFixed at their twips positions, in
// the desktop's font. The twips were laid out for the form's font size at 96
// dots per inch, so they are scaled by the desktop font's size in pixels
// (dpi and text scaling included) against that; where a control's text or
// the theme's padding needs more room still, the whole form grows by what the
// most crowded control needs, so text is never cut off and controls never
// run into each other. Widgets raise the form's events; after each event the
// widgets take over the controls' visibility, enabled state, values and the
// text boxes' text, so handlers change the window by changing the form.
// Controls below the visible client height stay hidden and out of keyboard
// reach.
//
// Accessibility comes from GTK's own widgets (labels, check boxes, buttons, a
// text view readable through the Text interface); text boxes and pictures
// carry the control's accessible name, controls their description, labels
// name the control the form says they name, and a dialog has the dialog role
// with its message as its description. The keyboard: Tab in the form's tab
// order, an access key on every button and check box (the caption's own, or
// a free letter of it), Enter presses the default button, Ctrl with a text
// box's letter raises its double-click, Esc closes a dialog as its close box
// does.
#include "ui/first_sentence.h"
#include "ui/host_module.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <gtk/gtk.h>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace tamberlin::ui {
namespace {

const HostModuleCalls* g_calls = nullptr;

// Twips to pixels at a scale (1: 15 twips to a pixel).
int Pixels(int twips, double scale) {
    return static_cast<int>(std::lround(static_cast<double>(twips) * scale / kTwipsPerPixel));
}

// A caption's "&" access key as a GTK mnemonic: "&E" is "_E", "&&" is "&",
// and an underscore stays one.
std::string Mnemonic(std::string_view caption) {
    std::string out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size()) {
            ++i;
            if (caption[i] != '&')
                out += '_';
        } else if (caption[i] == '_') {
            out += '_';
        }
        out += caption[i];
    }
    return out;
}

// Line breaks as GTK's text widgets expect them: LF only.
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

// GTK wants UTF-8; each invalid sequence becomes one U+FFFD and the rest of
// the text stays as it is.
std::string Utf8(std::string_view text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        return std::string(text);
    gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
    std::string out(valid);
    g_free(valid);
    return out;
}

void Name(GtkWidget* widget, const std::string& name) {
    if (!name.empty())
        atk_object_set_name(gtk_widget_get_accessible(widget), name.c_str());
}

void Describe(GtkWidget* widget, const std::string& description) {
    if (!description.empty())
        atk_object_set_description(gtk_widget_get_accessible(widget), Utf8(description).c_str());
}

bool IsAsciiAlnum(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

char Upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// The caption's own access key ("&E" is E), or 0.
char AccessKey(std::string_view caption) {
    for (size_t i = 0; i + 1 < caption.size(); ++i)
        if (caption[i] == '&') {
            if (caption[i + 1] != '&')
                return Upper(caption[i + 1]);
            ++i;
        }
    return 0;
}

// The caption with its access key on `key`: at a word's first letter where
// one is that letter, else at its first occurrence.
std::string WithKeyOn(std::string_view caption, char key) {
    std::size_t at = std::string_view::npos;
    for (std::size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&') { // "&&", a literal ampersand
            ++i;
            continue;
        }
        if (Upper(caption[i]) != key)
            continue;
        const bool starts = i == 0 || !IsAsciiAlnum(caption[i - 1]);
        if (at == std::string_view::npos || starts)
            at = i;
        if (starts)
            break;
    }
    if (at == std::string_view::npos)
        return std::string(caption);
    return std::string(caption.substr(0, at)) + '&' + std::string(caption.substr(at));
}

// Access keys for a window's buttons and check boxes, none shared: the
// captions' own are kept, and the others get a letter of their caption (a
// word's first preferred). Chosen as a matching, not first come first
// served, so a caption whose letters an earlier one took still gets one
// when another choice frees it. Indexed like the form's controls.
std::vector<std::string> KeyedCaptions(const Form& form) {
    const std::size_t n = form.controls.size();
    std::vector<std::string> captions(n);
    std::vector<std::string> letters(n); // each control's choices, best first
    int owner[256];
    std::fill(std::begin(owner), std::end(owner), -1);
    constexpr int kFixed = -2;
    for (std::size_t i = 0; i < n; ++i) {
        const Control& c = form.controls[i];
        captions[i] = c.caption;
        const bool keyed = c.kind == ControlKind::kCommandButton ||
                           c.kind == ControlKind::kCheckBox || c.kind == ControlKind::kLabel;
        if (!keyed)
            continue;
        if (const char key = AccessKey(c.caption)) {
            owner[static_cast<unsigned char>(key)] = kFixed;
            continue;
        }
        if (c.kind == ControlKind::kLabel)
            continue;
        for (bool word_start : {true, false})
            for (std::size_t j = 0; j < c.caption.size(); ++j) {
                if (c.caption[j] == '&') {
                    ++j;
                    continue;
                }
                const bool starts = j == 0 || !IsAsciiAlnum(c.caption[j - 1]);
                const char key = Upper(c.caption[j]);
                if (IsAsciiAlnum(c.caption[j]) && (!word_start || starts) &&
                    letters[i].find(key) == std::string::npos)
                    letters[i] += key;
            }
    }
    // Kuhn's augmenting paths: at most a few dozen controls and letters.
    std::vector<char> chosen(n, 0);
    std::function<bool(std::size_t, std::vector<bool>&)> place = [&](std::size_t i,
                                                                     std::vector<bool>& seen) {
        for (const char key : letters[i]) {
            const auto k = static_cast<unsigned char>(key);
            if (seen[k] || owner[k] == kFixed)
                continue;
            seen[k] = true;
            if (owner[k] == -1 || place(static_cast<std::size_t>(owner[k]), seen)) {
                owner[k] = static_cast<int>(i);
                chosen[i] = key;
                return true;
            }
        }
        return false;
    };
    for (std::size_t i = 0; i < n; ++i) {
        std::vector<bool> seen(256, false);
        if (!letters[i].empty())
            place(i, seen);
    }
    for (std::size_t i = 0; i < n; ++i)
        if (chosen[i])
            captions[i] = WithKeyOn(form.controls[i].caption, chosen[i]);
    return captions;
}

// The desktop font's size in pixels, as the widget's text is drawn.
double FontPixels(GtkWidget* widget) {
    PangoContext* context = gtk_widget_get_pango_context(widget);
    const PangoFontDescription* font = pango_context_get_font_description(context);
    double size =
        font ? static_cast<double>(pango_font_description_get_size(font)) / PANGO_SCALE : 0;
    if (font && !pango_font_description_get_size_is_absolute(font)) {
        double dpi = pango_cairo_context_get_resolution(context);
        if (dpi <= 0)
            dpi = 96;
        size = size * dpi / 72;
    }
    return size;
}

// A line in a fixed colour (a Windows colour value 0x00BBGGRR).
gboolean DrawLine(GtkWidget* widget, cairo_t* cr, gpointer data) {
    const auto colour = static_cast<std::uint32_t>(GPOINTER_TO_UINT(data));
    cairo_set_source_rgb(cr, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                         ((colour >> 16) & 0xFF) / 255.0);
    cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(widget),
                    gtk_widget_get_allocated_height(widget));
    cairo_fill(cr);
    return FALSE;
}

GdkPixbuf* DecodePicture(std::string_view bytes) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GdkPixbuf* pixbuf = nullptr;
    const bool read = gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()),
                                              bytes.size(), nullptr);
    if (gdk_pixbuf_loader_close(loader, nullptr) && read)
        pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pixbuf)
        g_object_ref(pixbuf);
    g_object_unref(loader);
    return pixbuf;
}

bool IsEnter(guint key) {
    return key == GDK_KEY_Return || key == GDK_KEY_KP_Enter || key == GDK_KEY_ISO_Enter;
}

// The work area of the monitor showing `near` (or of the main monitor).
GdkRectangle WorkArea(GtkWidget* near) {
    GdkRectangle area{0, 0, 1024, 768};
    GdkDisplay* display = gdk_display_get_default();
    GdkWindow* window = near ? gtk_widget_get_window(near) : nullptr;
    GdkMonitor* monitor = window ? gdk_display_get_monitor_at_window(display, window)
                                 : gdk_display_get_primary_monitor(display);
    if (!monitor && gdk_display_get_n_monitors(display) > 0)
        monitor = gdk_display_get_monitor(display, 0);
    if (monitor)
        gdk_monitor_get_workarea(monitor, &area);
    return area;
}

GdkCursor* CursorFor(GtkWidget* window, int pointer) {
    return pointer == 11 ? gdk_cursor_new_from_name(gtk_widget_get_display(window), "wait")
                         : nullptr;
}

// One form shown as a window.
class FormWindow {
public:
    FormWindow(Form& form, GtkWindow* parent) : form_(form) {
        window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        g_object_ref_sink(window_);
        GtkWindow* w = GTK_WINDOW(window_);
        gtk_window_set_title(w, Utf8(form.caption).c_str());
        gtk_window_set_resizable(w, FALSE);
        const bool dialog = !form.menu;
        gtk_window_set_modal(w, dialog);
        gtk_window_set_type_hint(w, dialog ? GDK_WINDOW_TYPE_HINT_DIALOG
                                           : GDK_WINDOW_TYPE_HINT_NORMAL);
        gtk_window_set_skip_taskbar_hint(w, parent != nullptr);
        gtk_window_set_position(w, parent ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
        if (parent)
            gtk_window_set_transient_for(w, parent);
        // Announced as a dialog, as a GtkDialog would be.
        if (dialog)
            atk_object_set_role(gtk_widget_get_accessible(window_), ATK_ROLE_DIALOG);
        g_signal_connect(window_, "delete-event", G_CALLBACK(OnDelete), this);
        g_signal_connect(window_, "key-press-event", G_CALLBACK(OnKey), this);

        // A form that large text makes bigger than the screen scrolls.
        GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scroll), TRUE);
        gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scroll), TRUE);
        const GdkRectangle area = WorkArea(parent ? GTK_WIDGET(parent) : nullptr);
        gtk_scrolled_window_set_max_content_width(GTK_SCROLLED_WINDOW(scroll),
                                                  std::max(200, area.width - 20));
        gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroll),
                                                   std::max(150, area.height - 60));
        gtk_container_add(GTK_CONTAINER(window_), scroll);
        fixed_ = gtk_fixed_new();
        gtk_container_add(GTK_CONTAINER(scroll), fixed_);
        // Tab brings the focused control into sight.
        GtkScrolledWindow* view = GTK_SCROLLED_WINDOW(scroll);
        gtk_container_set_focus_hadjustment(GTK_CONTAINER(fixed_),
                                            gtk_scrolled_window_get_hadjustment(view));
        gtk_container_set_focus_vadjustment(GTK_CONTAINER(fixed_),
                                            gtk_scrolled_window_get_vadjustment(view));

        const std::vector<std::string> captions = KeyedCaptions(form);

        // Created in tab order, which the focus chain follows.
        GList* chain = nullptr;
        for (std::size_t i : g_calls->tab_order(form)) {
            Binding& b = Add(form.controls[i], captions[i]);
            if (form.controls[i].tab_index >= 0 && b.focus)
                chain = g_list_append(chain, b.outer);
        }
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        gtk_container_set_focus_chain(GTK_CONTAINER(fixed_), chain);
        G_GNUC_END_IGNORE_DEPRECATIONS
        g_list_free(chain);

        for (Binding& b : bindings_) {
            const Control* c = ControlOf(b);
            if (!c)
                continue;
            if (b.kind == ControlKind::kLabel && !c->label_for.empty())
                for (Binding& named : bindings_)
                    if (named.name == c->label_for && named.index == -1)
                        b.names = named.focus ? named.focus : named.outer;
            if (dialog && c->name == form.described_by && b.focus) {
                described_ = &b;
                atk_object_add_relationship(gtk_widget_get_accessible(window_),
                                            ATK_RELATION_DESCRIBED_BY,
                                            gtk_widget_get_accessible(b.focus));
            }
        }

        // Measured while shown: a hidden button's caption counts for nothing.
        gtk_widget_show_all(scroll);
        Place();
        Sync();
    }

    ~FormWindow() {
        if (click_source_)
            g_source_remove(click_source_);
        form_.window_handle = 0;
        gtk_widget_destroy(window_);
        g_object_unref(window_);
    }
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    GtkWindow* Window() const { return GTK_WINDOW(window_); }

    void Show(int pointer) {
        gtk_widget_show(window_);
        if (GdkCursor* cursor = CursorFor(window_, pointer)) {
            gdk_window_set_cursor(gtk_widget_get_window(window_), cursor);
            g_object_unref(cursor);
        }
        form_.window_handle = reinterpret_cast<std::uintptr_t>(window_);
        // The default button starts with the focus, as in a GTK dialog, so
        // Enter at once presses it; else the first control in tab order.
        GtkWidget* first = gtk_window_get_default_widget(GTK_WINDOW(window_));
        for (Binding& b : bindings_)
            if (!Focusable(first) && Focusable(b.focus))
                first = b.focus;
        if (Focusable(first))
            gtk_widget_grab_focus(first);
    }

    bool Open() const { return !closed_; }

private:
    static bool Focusable(GtkWidget* w) {
        return w && gtk_widget_is_visible(w) && gtk_widget_is_sensitive(w);
    }

    struct Binding {
        FormWindow* owner;
        std::string name;
        int index;
        ControlKind kind;
        GtkWidget* outer;      // the widget in the GtkFixed
        GtkWidget* focus;      // the one that takes the focus; null if none
        std::string text;      // a text box's text as its buffer holds it
        char double_click_key; // Ctrl with this letter raises the double-click
        GtkWidget* names;      // a label: the widget it names while shown
    };

    Binding& Add(const Control& c, const std::string& caption) {
        GtkWidget* outer = nullptr;
        GtkWidget* focus = nullptr;
        switch (c.kind) {
        case ControlKind::kLabel: {
            outer = gtk_label_new_with_mnemonic(Utf8(Mnemonic(c.caption)).c_str());
            GtkLabel* label = GTK_LABEL(outer);
            gtk_label_set_xalign(label, 0);
            gtk_label_set_yalign(label, 0);
            break;
        }
        case ControlKind::kTextBox: {
            focus = gtk_text_view_new();
            GtkTextView* view = GTK_TEXT_VIEW(focus);
            gtk_text_view_set_editable(view, !c.locked);
            gtk_text_view_set_wrap_mode(view, c.multi_line ? GTK_WRAP_WORD_CHAR : GTK_WRAP_NONE);
            gtk_text_view_set_left_margin(view, 2);
            gtk_text_view_set_right_margin(view, 2);
            // Tab moves on to the next control instead of typing a tab.
            gtk_text_view_set_accepts_tab(view, FALSE);
            outer = gtk_scrolled_window_new(nullptr, nullptr);
            gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(outer), GTK_SHADOW_IN);
            gtk_scrolled_window_set_policy(
                GTK_SCROLLED_WINDOW(outer), c.multi_line ? GTK_POLICY_NEVER : GTK_POLICY_AUTOMATIC,
                c.vertical_scroll_bar ? GTK_POLICY_ALWAYS : GTK_POLICY_NEVER);
            gtk_container_add(GTK_CONTAINER(outer), focus);
            Name(focus, c.accessible_name);
            break;
        }
        case ControlKind::kCheckBox:
            outer = focus = gtk_check_button_new_with_mnemonic(Utf8(Mnemonic(caption)).c_str());
            break;
        case ControlKind::kCommandButton:
            outer = focus = gtk_button_new_with_mnemonic(Utf8(Mnemonic(caption)).c_str());
            if (c.default_button) {
                gtk_widget_set_can_default(outer, TRUE);
                gtk_window_set_default(GTK_WINDOW(window_), outer);
            }
            break;
        case ControlKind::kLine: {
            const bool across = std::abs(c.width) >= std::abs(c.height);
            if (c.colour & 0x80000000u) {
                // A system colour: the theme's separator.
                outer = gtk_separator_new(across ? GTK_ORIENTATION_HORIZONTAL
                                                 : GTK_ORIENTATION_VERTICAL);
            } else if (c.colour == kWhite) {
                // The light half of an etched line, which the theme's
                // separator draws in its own colours: white would glare on a
                // dark theme.
                outer = gtk_drawing_area_new();
            } else {
                outer = gtk_drawing_area_new();
                g_signal_connect(outer, "draw", G_CALLBACK(DrawLine), GUINT_TO_POINTER(c.colour));
            }
            break;
        }
        case ControlKind::kImage: {
            // On a screen that draws two pixels to one, the picture made for
            // that size, drawn at the same place.
            const bool large =
                gtk_widget_get_scale_factor(window_) >= 2 && !c.picture_large.empty();
            GdkPixbuf* picture = DecodePicture(large ? c.picture_large : c.picture);
            if (picture && large) {
                cairo_surface_t* surface =
                    gdk_cairo_surface_create_from_pixbuf(picture, 2, nullptr);
                outer = gtk_image_new_from_surface(surface);
                cairo_surface_destroy(surface);
            } else {
                outer = picture ? gtk_image_new_from_pixbuf(picture) : gtk_image_new();
            }
            if (picture)
                g_object_unref(picture);
            gtk_widget_set_halign(outer, GTK_ALIGN_START);
            gtk_widget_set_valign(outer, GTK_ALIGN_START);
            Name(outer, c.accessible_name);
            break;
        }
        }
        Describe(focus ? focus : outer, c.accessible_description);
        // Placed once the scale is known (Place).
        gtk_fixed_put(GTK_FIXED(fixed_), outer, 0, 0);
        bindings_.push_back({this, c.name, c.index, c.kind, outer, focus,
                             c.kind == ControlKind::kTextBox ? LineFeeds(c.caption) : "",
                             c.double_click_key ? Upper(c.double_click_key) : '\0', nullptr});
        Binding& b = bindings_.back();
        if (c.kind == ControlKind::kTextBox) {
            GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(focus));
            gtk_text_buffer_set_text(buffer, Utf8(b.text).c_str(), -1);
            // The caret at the start, where a screen reader begins to read.
            GtkTextIter start;
            gtk_text_buffer_get_start_iter(buffer, &start);
            gtk_text_buffer_place_cursor(buffer, &start);
            g_signal_connect(focus, "button-press-event", G_CALLBACK(OnTextPress), &b);
        } else if (c.kind == ControlKind::kCheckBox) {
            g_signal_connect(focus, "toggled", G_CALLBACK(OnClick), &b);
        } else if (c.kind == ControlKind::kCommandButton) {
            g_signal_connect(focus, "clicked", G_CALLBACK(OnClick), &b);
        }
        return b;
    }

    // Puts the controls at their twips scaled to the desktop's font, grown
    // where a control's text or the theme's padding needs more room.
    void Place() {
        const double design_font = (form_.font_size > 0 ? form_.font_size : 9) * 96 / 72;
        const double font = FontPixels(window_);
        double sx = font > 0 ? font / design_font : 1, sy = sx;
        for (Binding& b : bindings_) {
            const Control* c = ControlOf(b);
            if (!c || c->width <= 0 || c->height <= 0 ||
                (b.kind != ControlKind::kLabel && b.kind != ControlKind::kCheckBox &&
                 b.kind != ControlKind::kCommandButton))
                continue;
            int width = 0, height = 0;
            gtk_widget_get_preferred_width(b.outer, &width, nullptr);
            gtk_widget_get_preferred_height_for_width(b.outer, width, &height, nullptr);
            sx = std::max(sx, width * static_cast<double>(kTwipsPerPixel) / c->width);
            sy = std::max(sy, height * static_cast<double>(kTwipsPerPixel) / c->height);
        }
        for (Binding& b : bindings_) {
            const Control* c = ControlOf(b);
            if (!c)
                continue;
            const int x = Pixels(c->left, sx), y = Pixels(c->top, sy);
            if (b.kind == ControlKind::kLine) {
                // A line runs from (left, top) to (left + width, top + height).
                const int x2 = Pixels(c->left + c->width, sx), y2 = Pixels(c->top + c->height, sy);
                gtk_fixed_move(GTK_FIXED(fixed_), b.outer, std::min(x, x2), std::min(y, y2));
                gtk_widget_set_size_request(b.outer, std::max(1, std::abs(x2 - x)),
                                            std::max(1, std::abs(y2 - y)));
            } else {
                gtk_fixed_move(GTK_FIXED(fixed_), b.outer, x, y);
                gtk_widget_set_size_request(b.outer, std::max(1, Pixels(c->width, sx)),
                                            std::max(1, Pixels(c->height, sy)));
            }
        }
        gtk_widget_set_size_request(fixed_, Pixels(form_.client_width, sx),
                                    Pixels(g_calls->visible_client_height(form_), sy));
    }

    // Clicks run from the main loop, not inside the signal: a click can come
    // from a screen reader's action, and GTK answers it only once the signal
    // returns, while the handler may show a modal window that stays open.
    static void OnClick(GtkWidget*, gpointer data) {
        auto& b = *static_cast<Binding*>(data);
        FormWindow& self = *b.owner;
        if (self.syncing_)
            return;
        self.clicks_.push_back(&b);
        if (!self.click_source_)
            self.click_source_ = g_idle_add(RaiseClicks, &self);
    }

    static gboolean RaiseClicks(gpointer data) {
        auto& self = *static_cast<FormWindow*>(data);
        self.click_source_ = 0;
        while (!self.clicks_.empty()) {
            Binding* b = self.clicks_.front();
            self.clicks_.pop_front();
            self.Raise(*b, Event::kClick);
        }
        return G_SOURCE_REMOVE;
    }

    // Only a left double-click on the text itself: the scroll bar is a
    // widget of its own and never reaches here.
    static gboolean OnTextPress(GtkWidget* view, GdkEventButton* event, gpointer data) {
        if (event->type != GDK_2BUTTON_PRESS || event->button != GDK_BUTTON_PRIMARY ||
            event->window != gtk_text_view_get_window(GTK_TEXT_VIEW(view), GTK_TEXT_WINDOW_TEXT))
            return FALSE;
        auto& b = *static_cast<Binding*>(data);
        b.owner->Raise(b, Event::kDblClick);
        return TRUE;
    }

    static gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
        static_cast<FormWindow*>(data)->closed_ = true;
        return TRUE; // the window goes with the FormWindow
    }

    // Runs before GTK's own key handling (the focus widget's bindings).
    static gboolean OnKey(GtkWidget* window, GdkEventKey* event, gpointer data) {
        auto* self = static_cast<FormWindow*>(data);
        if ((event->state & GDK_CONTROL_MASK) && !(event->state & GDK_MOD1_MASK)) {
            const guint key = gdk_keyval_to_upper(event->keyval);
            for (Binding& b : self->bindings_)
                if (b.double_click_key && key == static_cast<guint>(b.double_click_key) &&
                    Focusable(b.focus)) {
                    self->Raise(b, Event::kDblClick);
                    return TRUE;
                }
            return FALSE;
        }
        if (event->state & GDK_MOD1_MASK)
            return FALSE;
        // A main window stays open until the application closes it.
        if (event->keyval == GDK_KEY_Escape && !self->form_.menu) {
            self->closed_ = true;
            return TRUE;
        }
        if (!IsEnter(event->keyval))
            return FALSE;
        GtkWidget* focus = gtk_window_get_focus(GTK_WINDOW(window));
        // A focused push button takes Enter itself; anything else, the
        // message included, presses the default button.
        if (focus && GTK_IS_BUTTON(focus) && !GTK_IS_TOGGLE_BUTTON(focus))
            return FALSE;
        return gtk_window_activate_default(GTK_WINDOW(window));
    }

    void Raise(Binding& b, Event event) {
        if (syncing_ || closed_ || !g_calls->is_loaded(form_))
            return;
        if (Control* c = ControlOf(b); c && b.kind == ControlKind::kCheckBox)
            c->value = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(b.focus)) ? 1 : 0;
        if (g_calls->raise_event(form_, b.name, event))
            Sync();
    }

    // The binding's control; null when a handler took it off the form.
    Control* ControlOf(const Binding& b) {
        for (Control& c : form_.controls)
            if (c.name == b.name && c.index == b.index)
                return &c;
        return nullptr;
    }

    // The widgets take the controls' current state.
    void Sync() {
        syncing_ = true;
        const int visible_height = g_calls->visible_client_height(form_);
        for (Binding& b : bindings_) {
            const Control* c = ControlOf(b);
            if (!c)
                continue;
            const bool shown = c->visible && c->top < visible_height;
            gtk_widget_set_visible(b.outer, shown);
            gtk_widget_set_sensitive(b.outer, c->enabled);
            // A hidden label names nothing.
            if (b.names)
                gtk_label_set_mnemonic_widget(GTK_LABEL(b.outer), shown ? b.names : nullptr);
            if (b.kind == ControlKind::kCheckBox)
                gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(b.focus), c->value != 0);
            if (b.kind == ControlKind::kTextBox) {
                // Handlers write to text boxes (a status line, say).
                std::string text = LineFeeds(c->caption);
                if (text != b.text) {
                    b.text = std::move(text);
                    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(b.focus));
                    gtk_text_buffer_set_text(buffer, Utf8(b.text).c_str(), -1);
                    // The newest line in sight, the caret at its start.
                    GtkTextIter end;
                    gtk_text_buffer_get_end_iter(buffer, &end);
                    gtk_text_view_scroll_to_iter(GTK_TEXT_VIEW(b.focus), &end, 0, FALSE, 0, 0);
                    gtk_text_iter_set_line_offset(&end, 0);
                    gtk_text_buffer_place_cursor(buffer, &end);
                }
            }
        }
        if (described_)
            if (const Control* c = ControlOf(*described_)) {
                std::string description = Utf8(FirstSentence(c->caption));
                if (description != description_) {
                    description_ = std::move(description);
                    atk_object_set_description(gtk_widget_get_accessible(window_),
                                               description_.c_str());
                }
            }
        syncing_ = false;
    }

    Form& form_;
    GtkWidget* window_ = nullptr;
    GtkWidget* fixed_ = nullptr;
    std::deque<Binding> bindings_;
    Binding* described_ = nullptr; // the text box that describes the dialog
    std::string description_;      // what the window's accessible says of it
    std::deque<Binding*> clicks_;  // waiting for the main loop
    guint click_source_ = 0;
    bool closed_ = false;
    bool syncing_ = false;
};

gboolean RunPostedWhenIdle(gpointer) {
    g_calls->run_posted();
    return G_SOURCE_REMOVE;
}

class GtkHost final : public Host {
public:
    int MsgBox(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override {
        const int closed = buttons == Buttons::kRetryCancel ? kIdCancel : kIdOk;
        GtkWidget* dialog = gtk_dialog_new();
        GtkWindow* w = GTK_WINDOW(dialog);
        gtk_window_set_title(w, Utf8(title).c_str());
        gtk_window_set_resizable(w, FALSE);
        gtk_window_set_modal(w, TRUE);
        if (!windows_.empty()) {
            gtk_window_set_transient_for(w, windows_.back());
            gtk_window_set_position(w, GTK_WIN_POS_CENTER_ON_PARENT);
        } else {
            gtk_window_set_position(w, GTK_WIN_POS_CENTER);
        }
        // Read out at once by a screen reader, as a message box is.
        atk_object_set_role(gtk_widget_get_accessible(dialog), ATK_ROLE_ALERT);

        GtkWidget* row = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
        gtk_container_set_border_width(GTK_CONTAINER(row), 12);
        const char* icon_name = icon == Icon::kInformation ? "dialog-information"
                                : icon == Icon::kWarning   ? "dialog-warning"
                                : icon == Icon::kCritical  ? "dialog-error"
                                                           : nullptr;
        if (icon_name) {
            GtkWidget* image = gtk_image_new_from_icon_name(icon_name, GTK_ICON_SIZE_DIALOG);
            gtk_widget_set_valign(image, GTK_ALIGN_START);
            Name(image, icon == Icon::kInformation ? "Information"
                        : icon == Icon::kWarning   ? "Warning"
                                                   : "Error");
            gtk_box_pack_start(GTK_BOX(row), image, FALSE, FALSE, 0);
        }
        // At most about 60 characters wide, a word longer than that broken
        // inside, and no taller than the screen leaves room for: the rest
        // scrolls, and the buttons stay in reach.
        GtkWidget* label = gtk_label_new(Utf8(LineFeeds(text)).c_str());
        gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
        gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
        gtk_label_set_max_width_chars(GTK_LABEL(label), 60);
        gtk_label_set_xalign(GTK_LABEL(label), 0);
        gtk_label_set_yalign(GTK_LABEL(label), 0);
        GtkWidget* scroll = gtk_scrolled_window_new(nullptr, nullptr);
        gtk_scrolled_window_set_policy(GTK_SCROLLED_WINDOW(scroll), GTK_POLICY_NEVER,
                                       GTK_POLICY_AUTOMATIC);
        gtk_scrolled_window_set_propagate_natural_width(GTK_SCROLLED_WINDOW(scroll), TRUE);
        gtk_scrolled_window_set_propagate_natural_height(GTK_SCROLLED_WINDOW(scroll), TRUE);
        gtk_container_add(GTK_CONTAINER(scroll), label);
        gtk_box_pack_start(GTK_BOX(row), scroll, TRUE, TRUE, 0);
        gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), row);
        gtk_widget_show_all(row);

        // The affirmative button on the right, as GTK orders them.
        GtkWidget* button = nullptr;
        if (buttons == Buttons::kRetryCancel) {
            gtk_dialog_add_button(GTK_DIALOG(dialog), "_Cancel", kIdCancel);
            button = gtk_dialog_add_button(GTK_DIALOG(dialog), "_Retry", kIdRetry);
            gtk_dialog_set_default_response(GTK_DIALOG(dialog), kIdRetry);
        } else {
            button = gtk_dialog_add_button(GTK_DIALOG(dialog), "_OK", kIdOk);
            gtk_dialog_set_default_response(GTK_DIALOG(dialog), kIdOk);
        }
        int button_height = 0;
        gtk_widget_get_preferred_height(button, &button_height, nullptr);
        const GdkRectangle area =
            WorkArea(windows_.empty() ? nullptr : GTK_WIDGET(windows_.back()));
        // Room for the title bar, the borders and the button row.
        gtk_scrolled_window_set_max_content_height(GTK_SCROLLED_WINDOW(scroll),
                                                   std::max(60, area.height - button_height - 140));
        gtk_widget_show(dialog);
        SetCursor(dialog);
        windows_.push_back(w);
        const int response = gtk_dialog_run(GTK_DIALOG(dialog));
        windows_.pop_back();
        gtk_widget_destroy(dialog);
        Flush();
        return response > 0 ? response : closed;
    }

    void ShowModal(Form& form) override {
        FormWindow window(form, windows_.empty() ? nullptr : windows_.back());
        windows_.push_back(window.Window());
        window.Show(pointer_);
        for (;;) {
            g_calls->run_posted();
            if (!window.Open() || !g_calls->is_loaded(form))
                break;
            g_main_context_iteration(nullptr, TRUE);
        }
        windows_.pop_back();
        gtk_widget_hide(GTK_WIDGET(window.Window()));
        Flush();
    }

    void DoEvents() override {
        while (g_main_context_pending(nullptr))
            g_main_context_iteration(nullptr, FALSE);
    }

    // Any thread may post: g_idle_add wakes the main context.
    void Wake() override { g_idle_add(RunPostedWhenIdle, nullptr); }

    void MousePointerChanged(int pointer) override {
        pointer_ = pointer;
        for (GtkWindow* w : windows_)
            SetCursor(GTK_WIDGET(w));
        gdk_display_flush(gdk_display_get_default());
    }

private:
    void SetCursor(GtkWidget* window) const {
        if (GdkWindow* gdk = gtk_widget_get_window(window)) {
            GdkCursor* cursor = CursorFor(window, pointer_);
            gdk_window_set_cursor(gdk, cursor);
            if (cursor)
                g_object_unref(cursor);
        }
    }

    // The window's going is seen on the screen before the caller goes on.
    static void Flush() {
        gdk_display_flush(gdk_display_get_default());
        while (g_main_context_pending(nullptr))
            g_main_context_iteration(nullptr, FALSE);
    }

    int pointer_ = 0;
    std::vector<GtkWindow*> windows_; // the open modal windows, innermost last
};

} // namespace
} // namespace tamberlin::ui

extern "C" __attribute__((visibility("default"))) tamberlin::ui::Host*
tamberlin_make_host(const tamberlin::ui::HostModuleCalls* calls) {
    using namespace tamberlin::ui;
    if (!calls || calls->version != kHostModuleVersion)
        return nullptr;
    try {
        static bool opened = gtk_init_check(nullptr, nullptr);
        if (!opened)
            return nullptr;
        g_calls = calls;
        return new GtkHost;
    } catch (...) {
        return nullptr;
    }
}
