#include "tests/support/scripted_host.h"

namespace tamberlin::testing {
namespace {

ui::Host* g_current = nullptr;

} // namespace

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

} // namespace tamberlin::testing
