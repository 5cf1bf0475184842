// The Win32 host: the system's own message boxes.
#include <windows.h>

#include "platform/text.h"
#include "ui/form.h"
#include "ui/host.h"

namespace tamberlin::ui {
namespace {

class Win32Host final : public Host {
public:
    int MsgBox(std::string_view text, std::string_view title, Buttons buttons, Icon icon) override {
        UINT style = MB_TASKMODAL | (buttons == Buttons::kRetryCancel ? MB_RETRYCANCEL : MB_OK);
        switch (icon) {
        case Icon::kInformation:
            style |= MB_ICONINFORMATION;
            break;
        case Icon::kWarning:
            style |= MB_ICONEXCLAMATION;
            break;
        case Icon::kCritical:
            style |= MB_ICONHAND;
            break;
        case Icon::kNone:
            break;
        }
        const std::string ansi_text = platform::AnsiFromUtf8(text);
        const std::string ansi_title = platform::AnsiFromUtf8(title);
        const int answer = MessageBoxA(nullptr, ansi_text.c_str(), ansi_title.c_str(), style);
        // 0: the box could not be shown (no desktop); answer as cancelled.
        return answer > 0 ? answer : (buttons == Buttons::kOK ? kIdOk : kIdCancel);
    }

    void ShowModal(Form& form) override { Unload(form); }
};

} // namespace

std::unique_ptr<Host> MakeDefaultHost() {
    return std::make_unique<Win32Host>();
}

} // namespace tamberlin::ui
