// The error report: the "&Email Quillfern" button of the Application Error
// dialog hands the message, the version, the date and the error log to the
// user's mail client, addressed to Quillfern's support. The dialog stays open
// whatever happens. The report is built once here and handed to the mail
// route (mail/mail_transport.h), which keeps one it could not hand over in
// the Outbox folder beside the error log, as a message file the user can send
// from any mail program.
#include "mail/mail_transport.h"
#include "mail/outbox.h"
#include "platform/files.h"
#include "platform/text.h"
#include "report/report.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/errors/waiting_reports.h"
#include "tamberlin/sysutil/paths.h"
#include "tamberlin/ui/host.h"

namespace {

// One line in the error log, and no message box whatever happens: the
// user is told about the report in the dialog's own words, or has moved on.
void LogQuietly(const std::string& description) noexcept {
    try {
        const tamberlin::runtime::CurrentError error{75, description, modQFAllData::strAppTitle, 0};
        tamberlin::platform::files::AppendToFile(
            modQFCriticalErrorHandler::GetErrorLogPath(),
            tamberlin::platform::AnsiFromUtf8(modQFCriticalErrorHandler::FormatErrorLogLine(
                "frmQFCriticalErrorHandler.cmdEmail_Click", error)));
    } catch (...) {
    }
}

// The file attached as `kind` when it is there.
void AttachWhenThere(tamberlin::report::Report& report, const std::string& path,
                     tamberlin::report::Attachment::Kind kind) {
    namespace files = tamberlin::platform::files;
    if (!path.empty() && files::FirstEntry(path, files::kNormal) == files::Listing::kEntry)
        report.attachments.push_back({modQFSystemUtilities::GetFileName(path), {}, path, kind});
}

// Set while a report is being handed over: the dialog keeps processing its
// events meanwhile, and a second click must not start a second report.
bool g_sending = false;

} // namespace

void frmQFCriticalErrorHandler::cmdEmail_Click() {
    using Kind = tamberlin::report::Attachment::Kind;
    if (g_sending)
        return;
    g_sending = true;
    struct Done {
        ~Done() { g_sending = false; }
    } done;
    tamberlin::report::Delivery delivery;
    try {
        tamberlin::report::Report report = tamberlin::report::ReportFromError(
            txtErrorMsg().caption, strOperation, Error.Number, Error.Description, Error.Source);
        // Without a log on disk the report goes without it.
        AttachWhenThere(report, modQFCriticalErrorHandler::GetErrorLogPath(), Kind::kLog);
        // A crash's report goes beside the log.
        if (CompleteCrashReport) {
            try {
                CompleteCrashReport();
            } catch (...) {
                // The report without names still goes.
            }
        }
        AttachWhenThere(report, strCrashReportPath, Kind::kCrashRecord);
        delivery = modQFEmailClient::MailTransport(tamberlin::errors::OutboxFolder(), window_handle,
                                                   MyMAPISession, MyMAPIMessages, LogQuietly)
                       .Deliver(report);
        if (delivery.delivered)
            return;
    } catch (...) {
        // Whatever failed, the user gets the one message below.
    }
    std::string text = "Cannot prepare the error notification email. Please copy the information "
                       "and send to Quillfern by separate email.";
    if (!delivery.kept.empty())
        text += " The report has been saved as \"" + delivery.kept + "\".";
    else if (!delivery.problem.empty())
        LogQuietly(delivery.problem);
    tamberlin::ui::CurrentHost().MsgBox(text, modQFAllData::strAppTitle,
                                        tamberlin::ui::Buttons::kOK,
                                        tamberlin::ui::Icon::kCritical);
}

namespace tamberlin::errors {

std::string OutboxFolder() {
    return modQFCriticalErrorHandler::GetErrorFolders().outbox;
}

std::string WaitingReportsNotice() noexcept {
    try {
        const std::size_t count = modQFEmailClient::outbox::Waiting(OutboxFolder()).size();
        if (count == 0)
            return {};
        return std::to_string(count) +
               (count == 1 ? " error report waits" : " error reports wait") + " in " +
               OutboxFolder() +
               ": send them now (one message each), or open the folder and send them yourself.";
    } catch (...) {
        return {};
    }
}

int SendWaitingReports(std::uintptr_t parent_window, modQFEmailClient::MAPISession& session,
                       modQFEmailClient::MAPIMessages& messages) noexcept {
    try {
        return modQFEmailClient::MailTransport(OutboxFolder(), parent_window, session, messages,
                                               nullptr)
            .SendWaiting();
    } catch (...) {
        return 0;
    }
}

} // namespace tamberlin::errors
