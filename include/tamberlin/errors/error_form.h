// The Application Error dialog: its layout as data and its event handlers.
//
// The upper part shows the message (a double-click on it asks for a retry),
// the "Abort and close application" check box and OK; below the etched
// separator, the e-mail part offers to send the error to Quillfern's support.
// ShowErrorDialog (critical_error_handler.h) prepares, shows and reads it.
#pragma once

#include "tamberlin/mail/mapi_controls.h"
#include "tamberlin/runtime/current_error.h"
#include "tamberlin/ui/form.h"

#include <cstdint>
#include <functional>
#include <string>

// How the message's retry is reached, as every host announces it.
inline constexpr char kRetryKey = 'R';
inline constexpr const char* kRetryHint = "Double-click the message, or press Ctrl+R, to retry.";

class frmQFCriticalErrorHandler : public tamberlin::ui::Form {
public:
    frmQFCriticalErrorHandler();

    // The user's response: 3 abort, 4 retry, 5 continue (0 until a handler
    // sets it). Read by ShowErrorDialog after the form has closed.
    std::int16_t intErrorResponse = 0;

    // A crash's report, sent with the error log when set (crash.h), and
    // what completes it just before it is sent (the names on its stack take
    // a while to find, so the dialog does not wait for them).
    std::string strCrashReportPath;
    // The error the dialog shows and the operation it stopped, for the
    // report (empty when the dialog was shown without them).
    tamberlin::runtime::CurrentError Error;
    std::string strOperation;
    std::function<void()> CompleteCrashReport;

    // The MAPI controls the error report's MAPI/Control route drives.
    modQFEmailClient::MAPISession MyMAPISession;
    modQFEmailClient::MAPIMessages MyMAPIMessages;

    void Form_Load() override;
    void Form_Unload() override;
    void cmdOK_Click();
    void txtErrorMsg_DblClick();
    // The error report by e-mail (error_report.cpp).
    void cmdEmail_Click();

    void Raise(std::string_view control, tamberlin::ui::Event event) override;

    tamberlin::ui::Control& txtErrorMsg() { return (*this)("txtErrorMsg"); }
    tamberlin::ui::Control& chkAbortAndClose() { return (*this)("chkAbortAndClose"); }
    tamberlin::ui::Control& chkIncludeData() { return (*this)("chkIncludeData"); }
    tamberlin::ui::Control& cmdEmail() { return (*this)("cmdEmail"); }
    tamberlin::ui::Control& cmdOK() { return (*this)("cmdOK"); }

private:
    std::int16_t intSavedMousePointer = 0;
};
