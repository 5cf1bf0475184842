// The terminal host: message boxes as text on a stream pair.
//
// A box prints "--- TITLE ---", its text (line breaks as LF) and a prompt of
// its buttons ("[R]etry [C]ancel> " or "[O]K> "), then reads one line: the button's
// letter or word in any case. An empty line takes the first button, end of
// input the last (Cancel, or OK for an OK box); anything else asks again.
//
// A form prints "=== CAPTION ===", the text of its text boxes, each check box
// the user can see as "[x] Caption" or "[ ] Caption", and a prompt of the
// commands usable now ("(ok, abort, retry)> "). A command clicks its button,
// toggles its check box (and prints the boxes again) or double-clicks its
// text box; an empty line clicks the default button, as Enter does in a
// window; end of input closes the form without a button; anything else asks
// again. A menu form (an application's main window) also lists its
// buttons as "  command) Caption" and is shown again after each command.
// Callbacks posted while a form waits run before its prompt. A handler that
// fails unloads its form (ui::RaiseEvent).
//
// A terminal shows the line the user typed, its line end included; an answer
// read from a pipe or a file is not shown, so the host ends the prompt's line
// itself. At end of input it always does.
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <string>
#include <vector>

namespace tamberlin::ui {
namespace {

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r");
    const size_t last = text.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

struct Choice {
    std::string_view letter;
    std::string_view word;
    int answer;
};

class TerminalHost final : public Host {
public:
    TerminalHost(std::istream& in, std::ostream& out, bool input_echoed)
        : in_(in), out_(out), input_echoed_(input_echoed) {}

    int MsgBox(std::string_view text, std::string_view title, Buttons buttons, Icon) override {
        static constexpr Choice kOk[] = {{"o", "ok", kIdOk}};
        static constexpr Choice kRetryCancel[] = {{"r", "retry", kIdRetry},
                                                  {"c", "cancel", kIdCancel}};
        const bool retry = buttons == Buttons::kRetryCancel;
        const Choice* first = retry ? kRetryCancel : kOk;
        const Choice* last = retry ? kRetryCancel + 2 : kOk + 1;
        out_ << "--- " << title << " ---\n" << WithoutCarriageReturns(std::string(text)) << '\n';
        for (;;) {
            out_ << (retry ? "[R]etry [C]ancel> " : "[O]K> ") << std::flush;
            std::string line;
            if (!ReadLine(line))
                return (last - 1)->answer;
            line = Lower(Trim(line));
            if (line.empty())
                return first->answer;
            for (const Choice* c = first; c != last; ++c)
                if (line == c->letter || line == c->word)
                    return c->answer;
        }
    }

    void ShowModal(Form& form) override {
        PrintForm(form);
        while (IsLoaded(form)) {
            RunPosted();
            if (!IsLoaded(form))
                return;
            std::vector<Control*> usable;
            for (const std::string& command : form.commands)
                for (Control& c : form.controls)
                    if (c.command == command && form.Usable(c))
                        usable.push_back(&c);
            out_ << '(';
            for (size_t i = 0; i < usable.size(); ++i)
                out_ << (i ? ", " : "") << usable[i]->command;
            out_ << ")> " << std::flush;
            std::string line;
            if (!ReadLine(line))
                return; // closed: ui::ShowModal unloads the form
            line = Lower(Trim(line));
            // An empty line is the Enter key: it presses the default button.
            const auto chosen = [&](const Control& c) {
                return line.empty() ? c.kind == ControlKind::kCommandButton && c.default_button
                                    : c.command == line;
            };
            for (Control* c : usable) {
                if (!chosen(*c))
                    continue;
                if (c->kind == ControlKind::kCheckBox) {
                    c->value = c->value ? 0 : 1;
                    if (RaiseEvent(form, c->name, Event::kClick) && !form.menu)
                        PrintCheckBoxes(form);
                } else {
                    RaiseEvent(form, c->name,
                               c->kind == ControlKind::kTextBox ? Event::kDblClick : Event::kClick);
                }
                if (form.menu && IsLoaded(form))
                    PrintForm(form);
                break;
            }
        }
    }

private:
    bool ReadLine(std::string& line) {
        const bool read = static_cast<bool>(std::getline(in_, line));
        if (!read || !input_echoed_)
            out_ << '\n';
        return read;
    }

    void PrintForm(const Form& form) {
        out_ << "=== " << form.caption << " ===\n";
        for (const Control& c : form.controls)
            if (c.kind == ControlKind::kTextBox && c.visible)
                out_ << WithoutCarriageReturns(c.caption) << '\n';
        PrintCheckBoxes(form);
        if (!form.menu)
            return;
        for (const std::string& command : form.commands)
            for (const Control& c : form.controls)
                if (c.command == command && c.kind == ControlKind::kCommandButton && form.Usable(c))
                    out_ << "  " << command << ") " << WithoutAccessKey(c.caption) << '\n';
    }

    void PrintCheckBoxes(const Form& form) {
        for (const Control& c : form.controls)
            if (c.kind == ControlKind::kCheckBox && c.visible && form.Usable(c))
                out_ << (c.value ? "[x] " : "[ ] ") << c.caption << '\n';
    }

    static std::string WithoutCarriageReturns(std::string text) {
        text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        return text;
    }

    std::istream& in_;
    std::ostream& out_;
    const bool input_echoed_;
};

} // namespace

std::unique_ptr<Host> MakeTerminalHost(std::istream& in, std::ostream& out, bool input_echoed) {
    return std::make_unique<TerminalHost>(in, out, input_echoed);
}

} // namespace tamberlin::ui
