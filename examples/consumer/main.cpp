// An application built against the installed Tamberlin services: it starts
// the way a Tamberlin program does and traps one failing statement. With
// --own-host it shows the services' boxes and forms through a host of its
// own, as an application with its own event loop does; a library built with
// TAMBERLIN_GUI=none then needs no toolkit at all.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <tamberlin/services.h>

namespace ui = tamberlin::ui;

namespace {

// The application's own host. A real one opens dialogs in the application's
// toolkit; this one prints what it is asked to show, and its user closes
// every form at once.
class PrintingHost final : public ui::Host {
public:
    int MsgBox(std::string_view text, std::string_view title, ui::Buttons buttons,
               ui::Icon) override {
        std::printf("[box] %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                    static_cast<int>(text.size()), text.data());
        return buttons == ui::Buttons::kOK ? ui::kIdOk : ui::kIdCancel;
    }
    void ShowModal(ui::Form& form) override {
        std::printf("[form] %s\n", form.caption.c_str());
        for (const ui::Control& control : form.controls) {
            if (control.kind != ui::ControlKind::kTextBox || !control.visible)
                continue;
            std::string text = control.caption;
            std::erase(text, '\r');
            std::printf("%s\n", text.c_str());
        }
        // The user closed the window: returning ends the showing, and
        // ui::ShowModal unloads the form.
    }
};

} // namespace

int main(int argc, char** argv) {
    // First, so a crash anywhere after it leaves a record; it follows the
    // data folder once InitAppData has read the settings.
    tamberlin::errors::InstallCrashHandler();
    PrintingHost own_host;
    if (argc > 1 && std::string_view(argv[1]) == "--own-host")
        ui::SetHost(&own_host); // before anything shows a box

    tamberlin::runtime::App().SetTitle("Consumer");
    modQFAllData::InitAppData();
    // The vendor folder an installer would have made; the error log goes
    // beneath it.
    modQFSystemUtilities::EnsureFolder(modQFSystemUtilities::GetAppDataPath() + "Quillfern", true);
    // The collector route, when one is configured, for as long as main runs:
    // at the end it has 2 seconds to send, the rest waits for the next start.
    const tamberlin::errors::ReportRoute route;
    // The crashes earlier runs left are reported now.
    tamberlin::errors::ReportPendingCrashes();
    std::printf("title: %s\ndata folder: %s\n", modQFAllData::strAppTitle.c_str(),
                modQFAllData::strAppDataPath.c_str());

    // The error goes to the critical error handler: it logs it and shows the
    // Application Error dialog, whose answer decides whether to go on.
    std::int16_t response = 0;
    const bool continued = tamberlin::errors::Trap(
        "opening the settings file", [] { throw tamberlin::runtime::RuntimeError(53); }, &response);
    std::printf("response: %d (%s)\n", response, continued ? "continued" : "left");
    std::printf("error log: %s\n", modQFCriticalErrorHandler::GetErrorLogPath().c_str());
    ui::SetHost(nullptr);
    return continued ? 0 : 1;
}
