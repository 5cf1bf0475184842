#include "tests/support/scripted_host.h"

#include <stdexcept>

namespace tamberlin::testing {
namespace {

ui::Host* g_current = nullptr;

} // namespace

const ui::Control& ShownForm::operator()(std::string_view control) const {
    for (const ui::Control& c : controls)
        if (c.name == control)
            return c;
    throw std::out_of_range("no control " + std::string(control));
}

ScriptedHost::ScriptedHost() : previous_(g_current) {
    g_current = this;
    ui::SetHost(this);
}

ScriptedHost::~ScriptedHost() {
    g_current = previous_;
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
            break;
        ui::Control& control = form(action.control);
        if (control.kind == ui::ControlKind::kCheckBox)
            control.value = control.value ? 0 : 1;
        form.Raise(control.name, action.event);
    }
    ui::Unload(form);
}

} // namespace tamberlin::testing
