// The terminal host's answers: whatever the input, a box answers with one of
// its own buttons, and a form ends (by a command or the end of the input)
// unloaded, its handlers run only for what it offered.
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"
#include "tests/fuzz/fuzz.h"

#include <sstream>

namespace ui = tamberlin::ui;

namespace {

class Dialog final : public ui::Form {
public:
    Dialog() : Form("frmFuzz") {
        caption = "Fuzz";
        client_width = 4000;
        client_height = 2000;
        controls = {
            ui::Control::Make("txtText", ui::ControlKind::kTextBox, 0, 0, 4000, 600, 0,
                              "line one\r\nline two"),
            ui::Control::Make("chkBox", ui::ControlKind::kCheckBox, 0, 700, 4000, 300, 1, "Box"),
            ui::Control::Make("chkHidden", ui::ControlKind::kCheckBox, 0, 5000, 4000, 300, 2,
                              "Below the cut"),
            ui::Control::Make("cmdOk", ui::ControlKind::kCommandButton, 0, 1100, 1200, 400, 3,
                              "&OK")};
        (*this)("txtText").command = "text";
        (*this)("chkBox").command = "box";
        (*this)("chkHidden").command = "hidden";
        (*this)("cmdOk").command = "ok";
        commands = {"ok", "box", "hidden", "text"};
    }
    void Raise(std::string_view control, ui::Event) override {
        FUZZ_CHECK(control != "chkHidden");
        if (control == "cmdOk")
            ui::Unload(*this);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in{std::string(tamberlin::fuzz::Bytes(data, size))};
    std::ostringstream out;
    const std::unique_ptr<ui::Host> host = ui::MakeTerminalHost(in, out);
    ui::SetHost(host.get());
    const int retry = host->MsgBox("text", "Title", ui::Buttons::kRetryCancel, ui::Icon::kCritical);
    FUZZ_CHECK(retry == ui::kIdRetry || retry == ui::kIdCancel);
    FUZZ_CHECK(host->MsgBox("text", "Title", ui::Buttons::kOK, ui::Icon::kCritical) == ui::kIdOk);
    {
        Dialog dialog;
        ui::ShowModal(dialog);
        FUZZ_CHECK(!ui::IsLoaded(dialog));
    }
    ui::SetHost(nullptr);
    return 0;
}
