// A user who presses OK at once: the error-path benchmarks measure the
// services, not a person reading the dialog.
#pragma once

#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

namespace tamberlin::bench {

class PressesOk final : public ui::Host {
public:
    int MsgBox(std::string_view, std::string_view, ui::Buttons, ui::Icon) override {
        return ui::kIdOk;
    }
    void ShowModal(ui::Form& form) override { ui::RaiseEvent(form, "cmdOK", ui::Event::kClick); }
};

} // namespace tamberlin::bench
