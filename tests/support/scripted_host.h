// A UI host that plays the user: answers and form actions come from queues,
// and everything shown is kept in a transcript. A person clicking a button
// cannot be set up for real in a unit test; this is the one stand-in for it.
#pragma once

#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

#include <deque>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace tamberlin::testing {

struct ShownBox {
    std::string text;
    std::string title;
    ui::Buttons buttons = ui::Buttons::kOK;
    ui::Icon icon = ui::Icon::kNone;

    bool operator==(const ShownBox&) const = default;
};
void PrintTo(const ShownBox& box, std::ostream* out); // for gtest's messages

// A form as it was when shown.
struct ShownForm {
    std::string name;
    std::string caption;
    int outer_height = 0;
    std::vector<ui::Control> controls;

    const ui::Control& operator()(std::string_view control) const;
};

// What the user does on a form: clicks or double-clicks a control (a check
// box toggles first), or, with an empty control name, closes the window.
struct FormAction {
    std::string control;
    ui::Event event = ui::Event::kClick;
};

class ScriptedHost final : public ui::Host {
public:
    // Installs itself as the current host for its lifetime.
    ScriptedHost();
    ~ScriptedHost() override;

    // The next answers, in order. With none queued a box is answered with its
    // last button (OK, or Cancel), as a closed terminal would.
    void Answer(int answer) { answers_.push_back(answer); }
    // The next actions on forms, in order. A form left loaded when its
    // actions run out is closed as the user would close its window.
    void Act(FormAction action) { actions_.push_back(std::move(action)); }
    void Click(std::string control) { Act({std::move(control), ui::Event::kClick}); }
    // Runs while a form is shown, before the queued actions (a nested error).
    std::function<void(ui::Form&)> while_shown;

    const std::vector<ShownBox>& Boxes() const { return boxes_; }
    // The only box shown; when not one, a box whose text says how many.
    ShownBox OnlyBox() const {
        return boxes_.size() == 1 ? boxes_[0]
                                  : ShownBox{std::to_string(boxes_.size()) + " boxes", "", {}, {}};
    }
    const std::vector<ShownForm>& Forms() const { return forms_; }
    int DoEventsCalls() const { return do_events_; }

    int MsgBox(std::string_view text, std::string_view title, ui::Buttons buttons,
               ui::Icon icon) override;
    void ShowModal(ui::Form& form) override;
    void DoEvents() override { ++do_events_; }

private:
    std::deque<int> answers_;
    std::deque<FormAction> actions_;
    std::vector<ShownBox> boxes_;
    std::vector<ShownForm> forms_;
    int do_events_ = 0;
    ui::Host* previous_;
};

} // namespace tamberlin::testing
