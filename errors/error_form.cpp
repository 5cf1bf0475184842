#include "tamberlin/errors/error_form.h"

#include <string_view>
#include <vector>

// The symbol's GIF bytes, embedded from errors/error_symbol.gif and its
// twice-as-large errors/error_symbol_64.gif at build time.
extern const unsigned char kErrorSymbolGif[];
extern const std::size_t kErrorSymbolGifSize;
extern const unsigned char kErrorSymbol64Gif[];
extern const std::size_t kErrorSymbol64GifSize;

namespace {

using tamberlin::ui::Control;
using tamberlin::ui::ControlKind;

// The controls are the same for every instance: built once, copied after.
const std::vector<Control>& Controls() {
    static const std::vector<Control> kControls = []() -> std::vector<Control> {
        // In tab order, then the controls without a tab stop.
        Control label = Control::Make("lblEmailQF", ControlKind::kLabel, 60, 2520, 3765, 225, 0,
                                      "Email Quillfern information about this error:");
        label.label_for = "cmdEmail";
        Control message =
            Control::Make("txtErrorMsg", ControlKind::kTextBox, 780, 60, 4755, 1635, 1);
        message.multi_line = true;
        message.vertical_scroll_bar = true;
        message.locked = true;
        message.command = "retry";
        message.accessible_name = "Error details";
        message.accessible_description = kRetryHint;
        message.double_click_key = kRetryKey;
        Control abort = Control::Make("chkAbortAndClose", ControlKind::kCheckBox, 780, 1920, 2835,
                                      255, 2, "Abort and close application");
        abort.command = "abort";
        abort.accessible_description = "When checked, OK closes the application.";
        Control email = Control::Make("cmdEmail", ControlKind::kCommandButton, 3840, 2760, 1680,
                                      375, 3, "&Email Quillfern");
        email.command = "email";
        Control data = Control::Make("chkIncludeData", ControlKind::kCheckBox, 780, 2820, 2895, 255,
                                     4, "Include current project data");
        data.value = 1;
        data.command = "data";
        Control ok =
            Control::Make("cmdOK", ControlKind::kCommandButton, 3840, 1860, 1680, 375, 5, "OK");
        ok.default_button = true;
        ok.command = "ok";
        Control shadow = Control::Make("linSep", ControlKind::kLine, 60, 2400, 5460, 0, -1);
        shadow.index = 0;
        shadow.colour = tamberlin::ui::kButtonShadow;
        Control highlight = Control::Make("linSep", ControlKind::kLine, 60, 2415, 5460, 0, -1);
        highlight.index = 1;
        highlight.colour = tamberlin::ui::kWhite;
        Control image = Control::Make("Image1", ControlKind::kImage, 120, 180, 480, 480, -1);
        image.accessible_name = "Error";
        image.picture =
            std::string_view(reinterpret_cast<const char*>(kErrorSymbolGif), kErrorSymbolGifSize);
        image.picture_large = std::string_view(reinterpret_cast<const char*>(kErrorSymbol64Gif),
                                               kErrorSymbol64GifSize);

        return {label, message, abort, email, data, ok, shadow, highlight, image};
    }();
    return kControls;
}

} // namespace

frmQFCriticalErrorHandler::frmQFCriticalErrorHandler() : Form("frmQFCriticalErrorHandler") {
    caption = "Application Error";
    client_width = 5670;
    client_height = 3285;
    font_name = "Segoe UI";
    font_size = 9;

    controls = Controls();
    described_by = "txtErrorMsg";
    commands = {"ok", "abort", "data", "retry", "email"};
}

void frmQFCriticalErrorHandler::Form_Load() {
    intSavedMousePointer = tamberlin::ui::MousePointer();
    tamberlin::ui::SetMousePointer(0);
}

void frmQFCriticalErrorHandler::Form_Unload() {
    tamberlin::ui::SetMousePointer(intSavedMousePointer);
}

void frmQFCriticalErrorHandler::cmdOK_Click() {
    // The check box counts even while hidden; it can only be checked while shown.
    intErrorResponse = chkAbortAndClose().value == 1 ? 3 : 5;
    tamberlin::ui::Unload(*this);
}

void frmQFCriticalErrorHandler::txtErrorMsg_DblClick() {
    if (txtErrorMsg().command.empty())
        return; // no retry offered (a past crash)
    intErrorResponse = 4;
    tamberlin::ui::Unload(*this);
}

void frmQFCriticalErrorHandler::Raise(std::string_view control, tamberlin::ui::Event event) {
    using tamberlin::ui::Event;
    if (control == "cmdOK" && event == Event::kClick)
        cmdOK_Click();
    else if (control == "txtErrorMsg" && event == Event::kDblClick)
        txtErrorMsg_DblClick();
    else if (control == "cmdEmail" && event == Event::kClick)
        cmdEmail_Click();
}
