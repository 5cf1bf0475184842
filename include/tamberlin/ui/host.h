// User-interface hosts: what the services show the user, on whatever screen
// the program has.
//
// A host shows modal message boxes and returns the button the user chose,
// shows forms (ui/form.h) modally, reflects the screen's mouse pointer and
// processes waiting events on request. The program has one current host: the
// one the platform and the environment call for (MakeDefaultHost); tests
// install a scripted one.
//
// Hosts never throw. A box that cannot be shown answers as if it had been
// cancelled; a form that cannot be shown ends its showing at once, and
// ui::ShowModal unloads it. Every event a host raises goes through
// ui::RaiseEvent, so a handler's error unloads its form and goes to the error
// log (ui/form.h), never into the host's event loop or out of it.
#pragma once

#include <iosfwd>
#include <memory>
#include <string_view>

namespace tamberlin::ui {

class Form;

enum class Buttons { kOK, kRetryCancel };
enum class Icon { kNone, kInformation, kWarning, kCritical };

// The message-box answers, with the values of IDOK, IDCANCEL, ... .
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;
inline constexpr int kIdAbort = 3;
inline constexpr int kIdRetry = 4;
inline constexpr int kIdIgnore = 5;

class Host {
public:
    virtual ~Host() = default;
    // Shows `text` in a modal box titled `title`; returns the answer.
    virtual int MsgBox(std::string_view text, std::string_view title, Buttons buttons,
                       Icon icon) = 0;
    // Shows a loaded form modally, raising its events (ui::RaiseEvent) until
    // the form is unloaded or the user closes its window; called by
    // ui::ShowModal, which unloads whatever is left loaded.
    virtual void ShowModal(Form& form) = 0;
    // Processes the events that are waiting, once.
    virtual void DoEvents() {}
    // The screen's mouse pointer changed (0 arrow, 11 hourglass).
    virtual void MousePointerChanged(int /*pointer*/) {}
    // A callback was posted (ui::Post): the event loop should wake and run
    // ui::RunPosted().
    virtual void Wake() {}
};

// The current host.
Host& CurrentHost();
// Installs `host` (not owned; it must outlive its use) as the current host;
// nullptr goes back to the default one.
void SetHost(Host* host);

// A host that talks through a text stream pair (stdin and stdout for a
// console or a pipe). `input_echoed`: `in` is a terminal that shows what the
// user types, line ends included; otherwise the host ends each answer's line.
std::unique_ptr<Host> MakeTerminalHost(std::istream& in, std::ostream& out,
                                       bool input_echoed = false);
// The platform's graphical host (Win32 on Windows, the GTK module on Linux);
// null when there is no display to show windows on, or in a library built
// without one (TAMBERLIN_GUI=none).
std::unique_ptr<Host> MakeGraphicalHost();
// The graphical host when there is a display, the terminal otherwise;
// TAMBERLIN_UI=gui or TAMBERLIN_UI=terminal forces one.
std::unique_ptr<Host> MakeDefaultHost();

} // namespace tamberlin::ui
