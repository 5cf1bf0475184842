// Forms: windows described as data, which every UI host renders the same way.
//
// A form holds its design-time layout (controls with kinds, positions and
// sizes in twips, tab order, captions, initial states) and its event handlers.
// Hosts draw the controls, turn the user's actions into events (RaiseEvent)
// and keep the check boxes' values; the form's handlers decide what the events
// mean. Twips are 1/1440 inch: 15 to a pixel at 96 dots per inch.
//
// The application's loaded forms are kept in load order (the run-time's Forms
// collection): Load adds a form and runs its Form_Load, Unload runs its
// Form_Unload and removes it. A modal Show returns once the form is unloaded.
//
// A handler that throws while a host shows its form does not reach the host:
// RaiseEvent unloads the form and hands the error to the installed reporter
// (the error log, once the error handling is linked in), and nothing else
// sees it. ShowModal's final unload treats a failing Form_Unload the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tamberlin::ui {

enum class ControlKind { kLabel, kTextBox, kCheckBox, kCommandButton, kLine, kImage };

struct Control {
    std::string name; // members of a control array share the name
    int index = -1;   // member of a control array; -1 for a single control
    ControlKind kind = ControlKind::kLabel;
    // Twips from the client area's top-left corner. A line runs from
    // (left, top) to (left + width, top + height).
    int left = 0, top = 0, width = 0, height = 0;
    int tab_index = -1;  // -1: no tab stop
    std::string caption; // label, check box, button ("&" marks the access key); text box: its text
    bool visible = true;
    bool enabled = true;
    int value = 0;                    // check box: 0 unchecked, 1 checked
    bool multi_line = false;          // text box
    bool vertical_scroll_bar = false; // text box
    bool locked = false;              // text box: read-only
    bool default_button = false;      // the button Enter presses
    std::uint32_t colour = 0;         // line: a Windows colour value (see kButtonShadow)
    std::string_view picture;         // image: the bytes of a GIF file
    // image: the same picture at twice the size, for screens that draw two
    // pixels to one (empty: the picture is enlarged)
    std::string_view picture_large;
    std::string command; // the word the terminal host offers for the control
    // What a screen reader calls a control that has no caption of its own
    // (a text box, a picture).
    std::string accessible_name;
    // What a screen reader adds after the name: what the control does beyond
    // what it says (a double-click's meaning, a button that ends the program).
    std::string accessible_description;
    // label: the control it names (and whose focus its access key moves to);
    // empty: it names nothing. A hidden label names nothing either.
    std::string label_for;
    // text box: Ctrl with this letter raises its double-click from anywhere
    // in the window, for those who do not use a mouse; 0: none.
    char double_click_key = 0;

    static Control Make(std::string name, ControlKind kind, int left, int top, int width,
                        int height, int tab_index = -1, std::string caption = {});
};

// A caption without its access-key marker ("&Email" is "Email", "&&" is "&").
std::string WithoutAccessKey(std::string_view caption);

// The system's button-shadow colour, as a Windows system-colour value.
inline constexpr std::uint32_t kButtonShadow = 0x80000010;
inline constexpr std::uint32_t kWhite = 0x00FFFFFF;

inline constexpr int kTwipsPerPixel = 15; // at 96 dots per inch

// The frame (caption and borders) of a fixed dialog at 96 dots per inch, for
// hosts that cannot measure their window system's: 29 pixels.
inline constexpr int kNominalFrameTwips = 29 * kTwipsPerPixel;

enum class Event { kClick, kDblClick };

class Form {
public:
    explicit Form(std::string name) : name_(std::move(name)) {}
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const { return name_; }

    // The control of that name (and index, for an array); throws
    // std::out_of_range for a name the form does not have.
    Control& operator()(std::string_view name, int index = -1);
    const Control& operator()(std::string_view name, int index = -1) const;

    // The client height the window shows: the design height, or what is left
    // of a set outer height after the frame (`frame_twips`).
    int VisibleClientHeight(int frame_twips = kNominalFrameTwips) const;
    // A control the user can see and use now: visible, enabled and inside the
    // visible client area.
    bool Usable(const Control& control, int frame_twips = kNominalFrameTwips) const;

    // Runs the handler of a control's event. A check box's value has already
    // been toggled. Hosts go through RaiseEvent, never straight here.
    virtual void Raise(std::string_view control, Event event);
    virtual void Form_Load() {}
    virtual void Form_Unload() {}

    std::string caption;
    int client_width = 0;  // twips
    int client_height = 0; // twips
    int outer_height = 0;  // twips, caption and borders included; 0: not set
    std::string font_name;
    double font_size = 0;
    // The window showing the form (its HWND on Windows); 0 while not shown.
    std::uintptr_t window_handle = 0;
    std::vector<Control> controls;
    // The terminal host's commands, in the order it lists them; each names a
    // control's `command`.
    std::vector<std::string> commands;
    // The application's main window rather than a dialog: graphical hosts
    // show it as an ordinary window (not modal, Esc does not close it); the
    // terminal host lists its buttons as a menu and shows the form again
    // after each choice.
    bool menu = false;
    // The control whose text says what the window is about (a dialog's
    // message): screen readers read it when the window opens. Empty: none.
    std::string described_by;

private:
    std::string name_;
};

// The controls in the order Tab visits them, as indexes into `controls`: the
// tab stops by tab index, then the controls without one; ties keep the form's
// order. Graphical hosts create their widgets in this order.
std::vector<std::size_t> TabOrder(const Form& form);

// The loaded forms, in load order.
const std::vector<Form*>& Forms();
// Adds the form to the loaded forms and runs its Form_Load; nothing when it
// is loaded already.
void Load(Form& form);
// Runs the form's Form_Unload and removes it; nothing when it is not loaded.
// The form is removed even when Form_Unload throws (the error goes on).
void Unload(Form& form);
bool IsLoaded(const Form& form);

// Loads the form when needed (Form_Load's errors reach the caller) and shows
// it modally through the current host. Whatever ends the showing (a handler
// unloading the form, the user closing its window, the end of a terminal's
// input, a window that cannot be shown), the form is unloaded when ShowModal
// returns.
void ShowModal(Form& form);

// Receives the error of a handler that failed under a host, while that error
// is being handled (std::current_exception() is the error), with the
// handler's name: "frmMain.cmdRaise_Click", "frmMain.Form_Unload". It must
// not throw; its type says so.
using HandlerErrorReporter = void (*)(std::string_view handler) noexcept;
// Installs the reporter; null drops handler errors. Returns the one before.
// The error log installs its writer before main runs (errors/error_log.cpp).
HandlerErrorReporter SetHandlerErrorReporter(HandlerErrorReporter reporter) noexcept;

// Raises `event` of `control` on `form`: the one way a host runs a handler.
// An event for a form that is not loaded is dropped. A handler that throws
// unloads its form, and its error goes to the reporter and no further.
// Answers whether the form is still loaded.
bool RaiseEvent(Form& form, std::string_view control, Event event) noexcept;

// The screen's mouse pointer: 0 the default arrow, 11 the hourglass.
std::int16_t MousePointer();
void SetMousePointer(std::int16_t pointer);

// Lets the current host process the events that are waiting, once.
void DoEvents();

// Runs `callback` from the event loop of the form shown now (or of the next
// one): what a timer or another window does while a modal form waits.
void Post(std::function<void()> callback);
// Runs the callbacks posted so far; hosts call it from their event loops.
void RunPosted();

} // namespace tamberlin::ui
