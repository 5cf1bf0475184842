// The demo's first window: the application-wide data, and actions that each
// run a real operation under the error trap and fail in a way the error
// handling treats differently. The status box tells what the trap did.
#pragma once

#include "tamberlin/mail/mapi_controls.h"
#include "tamberlin/ui/form.h"

#include <string>

// The failures nobody can trap, on purpose: segv (a null write), fpe (an
// integer division by zero), abort, stack (unbounded recursion) and throw (an
// exception leaving a noexcept function). Returns only for an unknown kind.
bool IsCrashKind(const std::string& kind);
void CrashOnPurpose(const std::string& kind);

class frmMain : public tamberlin::ui::Form {
public:
    frmMain();

    // The load handler: the application-wide data first of all.
    void Form_Load() override;
    void Raise(std::string_view control, tamberlin::ui::Event event) override;

    // The status lines so far, newest last.
    const std::string& Status() { return (*this)("txtStatus").caption; }

    modQFEmailClient::MAPISession MyMAPISession;
    modQFEmailClient::MAPIMessages MyMAPIMessages;

private:
    void Report(const std::string& line);
    // Runs `statement` under the trap; it fails the first time only, so a
    // retry shows the statement going through.
    void Trapped(const std::string& label, const std::string& operation,
                 const std::function<void(bool first)>& statement);
    void TestEmail(std::int32_t transport);
    void OpenErrorLog();

    bool close_requested_ = false;
};
