// The terminal host: message boxes as text on a stream pair.
//
// A box prints "--- TITLE ---", its text and a prompt of its buttons
// ("[R]etry [C]ancel> " or "[O]K> "), then reads one line: the button's
// letter or word in any case. An empty line takes the first button, end of
// input the last (Cancel, or OK for an OK box); anything else asks again.
#include "ui/host.h"

#include <algorithm>
#include <cctype>
#include <iostream>
#include <string>

namespace tamberlin::ui {
namespace {

struct Choice {
    std::string_view letter;
    std::string_view word;
    int answer;
};

class TerminalHost final : public Host {
public:
    TerminalHost(std::istream& in, std::ostream& out) : in_(in), out_(out) {}

    int MsgBox(std::string_view text, std::string_view title, Buttons buttons, Icon) override {
        static constexpr Choice kOk[] = {{"o", "ok", kIdOk}};
        static constexpr Choice kRetryCancel[] = {{"r", "retry", kIdRetry},
                                                  {"c", "cancel", kIdCancel}};
        const bool retry = buttons == Buttons::kRetryCancel;
        const Choice* first = retry ? kRetryCancel : kOk;
        const Choice* last = retry ? kRetryCancel + 2 : kOk + 1;
        out_ << "--- " << title << " ---\n" << text << '\n';
        for (;;) {
            out_ << (retry ? "[R]etry [C]ancel> " : "[O]K> ") << std::flush;
            std::string line;
            if (!std::getline(in_, line))
                return (last - 1)->answer;
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::transform(line.begin(), line.end(), line.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (line.empty())
                return first->answer;
            for (const Choice* c = first; c != last; ++c)
                if (line == c->letter || line == c->word)
                    return c->answer;
        }
    }

private:
    std::istream& in_;
    std::ostream& out_;
};

} // namespace

std::unique_ptr<Host> MakeTerminalHost(std::istream& in, std::ostream& out) {
    return std::make_unique<TerminalHost>(in, out);
}

} // namespace tamberlin::ui
