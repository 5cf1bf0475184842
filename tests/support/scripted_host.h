// A UI host that plays the user: answers come from a queue, and everything
// shown is kept in a transcript. A person clicking a button cannot be set up
// for real in a unit test; this is the one stand-in for it.
#pragma once

#include "ui/host.h"

#include <deque>
#include <string>
#include <vector>

namespace tamberlin::testing {

struct ShownBox {
    std::string text;
    std::string title;
    ui::Buttons buttons;
    ui::Icon icon;
};

class ScriptedHost final : public ui::Host {
public:
    // Installs itself as the current host for its lifetime.
    ScriptedHost();
    ~ScriptedHost() override;

    // The next answers, in order. With none queued a box is answered with its
    // last button (OK, or Cancel), as a closed terminal would.
    void Answer(int answer) { answers_.push_back(answer); }
    const std::vector<ShownBox>& Boxes() const { return boxes_; }

    int MsgBox(std::string_view text, std::string_view title, ui::Buttons buttons,
               ui::Icon icon) override;

private:
    std::deque<int> answers_;
    std::vector<ShownBox> boxes_;
    ui::Host* previous_;
};

} // namespace tamberlin::testing
