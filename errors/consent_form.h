// The question asked before the first report goes to the collector, and the
// window that shows what would be sent.
//
// Both are forms as data, so every host shows them: the question is the
// form's description (screen readers read it when the window opens), each
// answer a button with its access key.
#pragma once

#include "tamberlin/ui/form.h"

#include <functional>
#include <string>

class frmReportConsent : public tamberlin::ui::Form {
public:
    enum class Answer { kNone, kAlways, kOnce, kNever };

    frmReportConsent();

    // Set by the button that closed the form; kNone when the user closed it
    // without one.
    Answer answer = Answer::kNone;
    // The text "Show what is sent" shows: the envelopes as they would leave.
    std::function<std::string()> WhatIsSent;

    void Raise(std::string_view control, tamberlin::ui::Event event) override;

    tamberlin::ui::Control& txtQuestion() { return (*this)("txtQuestion"); }
};

class frmReportContents : public tamberlin::ui::Form {
public:
    explicit frmReportContents(std::string text);
    void Raise(std::string_view control, tamberlin::ui::Event event) override;
};
