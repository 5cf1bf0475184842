#include "errors/consent_form.h"

#include "tamberlin/app/all_data.h"

namespace {

using tamberlin::ui::Control;
using tamberlin::ui::ControlKind;

Control Button(const char* name, int left, int top, int tab, const char* caption,
               const char* command) {
    Control button =
        Control::Make(name, ControlKind::kCommandButton, left, top, 1800, 375, tab, caption);
    button.command = command;
    return button;
}

} // namespace

frmReportConsent::frmReportConsent() : Form("frmReportConsent") {
    caption = modQFAllData::strAppTitle + " Error Reports";
    client_width = 7920;
    client_height = 2640;
    font_name = "Segoe UI";
    font_size = 9;

    Control question = Control::Make("txtQuestion", ControlKind::kTextBox, 120, 120, 7680, 1515, 0);
    question.multi_line = true;
    question.locked = true;
    question.accessible_name = "Question";
    question.caption =
        "May " + modQFAllData::strAppTitle +
        " send reports of its errors to Quillfern, so they can be mended?\r\n\r\nA report says "
        "what went wrong, where in the program, the program's version and the system's name, "
        "with the last lines of the error log. Your home folder, user name and computer name are "
        "taken out first. \"Show what is sent\" shows this report exactly.";
    Control label = Control::Make("lblAnswer", ControlKind::kLabel, 120, 1755, 7680, 225, 1,
                                  "Send error &reports:");
    label.label_for = "cmdAlways";
    Control always = Button("cmdAlways", 120, 2100, 2, "&Always", "always");
    always.accessible_description = "Sends this report and later ones without asking again.";
    Control once = Button("cmdOnce", 2040, 2100, 3, "This &time", "once");
    once.accessible_description = "Sends this report only; the next one asks again.";
    Control never = Button("cmdNever", 3960, 2100, 4, "&Never", "never");
    never.accessible_description = "Sends nothing now or later.";
    Control show = Button("cmdShow", 6000, 2100, 5, "&Show what is sent", "show");
    show.accessible_description = "Opens the report as it would be sent, to read before answering.";
    controls = {question, label, always, once, never, show};
    described_by = "txtQuestion";
    commands = {"always", "once", "never", "show"};
}

void frmReportConsent::Raise(std::string_view control, tamberlin::ui::Event event) {
    if (event != tamberlin::ui::Event::kClick)
        return;
    if (control == "cmdShow") {
        frmReportContents contents(WhatIsSent ? WhatIsSent() : std::string());
        tamberlin::ui::ShowModal(contents);
        return;
    }
    if (control == "cmdAlways")
        answer = Answer::kAlways;
    else if (control == "cmdOnce")
        answer = Answer::kOnce;
    else if (control == "cmdNever")
        answer = Answer::kNever;
    else
        return;
    tamberlin::ui::Unload(*this);
}

frmReportContents::frmReportContents(std::string text) : Form("frmReportContents") {
    caption = "What is sent";
    client_width = 8400;
    client_height = 5400;
    font_name = "Segoe UI";
    font_size = 9;
    // The first sentence is what a screen reader says as the window opens
    // (the window is described by its text), so it says what the text is
    // rather than starting on the report's first brace. The host shows line
    // ends as CR LF in a text box.
    std::string shown = "If you allow it, this report goes to Quillfern exactly as shown here, "
                        "with the files named at its end.\r\n\r\n";
    for (char c : text) {
        if (c == '\n')
            shown += '\r';
        shown += c;
    }
    Control contents =
        Control::Make("txtContents", ControlKind::kTextBox, 120, 120, 8160, 4620, 0, shown);
    contents.multi_line = true;
    contents.vertical_scroll_bar = true;
    contents.locked = true;
    contents.accessible_name = "What is sent";
    Control ok =
        Control::Make("cmdOK", ControlKind::kCommandButton, 6480, 4890, 1800, 375, 1, "OK");
    ok.default_button = true;
    ok.command = "ok";
    controls = {contents, ok};
    described_by = "txtContents";
    commands = {"ok"};
}

void frmReportContents::Raise(std::string_view control, tamberlin::ui::Event event) {
    if (control == "cmdOK" && event == tamberlin::ui::Event::kClick)
        tamberlin::ui::Unload(*this);
}
