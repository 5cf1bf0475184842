#include "tests/support/scripted_host.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <stdexcept>

namespace tamberlin::testing {

void PrintTo(const ShownBox& box, std::ostream* out) {
    *out << '"' << box.text << "\" titled \"" << box.title << "\", buttons "
         << static_cast<int>(box.buttons) << ", icon " << static_cast<int>(box.icon);
}

const ui::Control& ShownForm::operator()(std::string_view control) const {
    for (const ui::Control& c : controls)
        if (c.name == control)
            return c;
    throw std::out_of_range("no control " + std::string(control));
}

ScriptedHost::ScriptedHost() : previous_(&ui::CurrentHost()) {
    ui::SetHost(this);
}

ScriptedHost::~ScriptedHost() {
    ui::SetHost(previous_);
}

int ScriptedHost::MsgBox(std::string_view text, std::string_view title, ui::Buttons buttons,
                         ui::Icon icon) {
    boxes_.push_back({std::string(text), std::string(title), buttons, icon});
    if (answers_.empty())
        return buttons == ui::Buttons::kOK ? ui::kIdOk : ui::kIdCancel;
    const int answer = answers_.front();
    answers_.pop_front();
    return answer;
}

void ScriptedHost::ShowModal(ui::Form& form) {
    forms_.push_back({form.Name(), form.caption, form.outer_height, form.controls});
    if (while_shown)
        while_shown(form);
    ui::RunPosted();
    while (ui::IsLoaded(form) && !actions_.empty()) {
        const FormAction action = actions_.front();
        actions_.pop_front();
        if (action.control.empty())
            break; // the window closed: ui::ShowModal unloads the form
        const auto found =
            std::find_if(form.controls.begin(), form.controls.end(),
                         [&](const ui::Control& c) { return c.name == action.control; });
        if (found == form.controls.end()) {
            ADD_FAILURE() << "the script clicks " << action.control << ", not on " << form.Name();
            break;
        }
        ui::Control& control = *found;
        if (control.kind == ui::ControlKind::kCheckBox)
            control.value = control.value ? 0 : 1;
        ui::RaiseEvent(form, control.name, action.event);
    }
}

} // namespace tamberlin::testing
