// The error report: the "&Email Quillfern" button of the Application Error
// dialog hands the message, the version, the date and the error log to the
// user's mail client, addressed to Quillfern's support. The dialog stays open
// whatever happens. A report that could not be handed over is kept in the
// Outbox folder beside the error log, as a message file the user can send
// from any mail program.
#include "mail/outbox.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/simple_mapi.h"
#include "platform/system.h"
#include "platform/text.h"
#include "runtime/format.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/errors/waiting_reports.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/sysutil/paths.h"
#include "tamberlin/ui/host.h"

namespace {

constexpr const char* kSupportAddress = "support@quillfern.example";

std::string ReportBody(const std::string& message) {
    using tamberlin::runtime::ZeroPadded;
    const tamberlin::platform::clock::LocalTime now = tamberlin::platform::clock::Now();
    return message + "\r\n\r\nBuild code: " + tamberlin::runtime::VersionText() +
           "\r\n\r\nDate: " + ZeroPadded(now.day, 2) + " " +
           tamberlin::platform::system::AbbreviatedMonthName(now.month) + " " +
           ZeroPadded(now.year, 4) + " " + ZeroPadded(now.hour, 2) + ":" +
           ZeroPadded(now.minute, 2);
}

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

// Keeps the report in the Outbox folder beside the error log; the file's
// path, or empty with `problem` saying why.
std::string SaveToOutbox(const std::string& body, const std::vector<std::string>& paths,
                         const std::vector<std::string>& names, std::string& problem) noexcept {
    namespace files = tamberlin::platform::files;
    try {
        const std::string outbox = tamberlin::errors::OutboxFolder();
        // The log's folder may not exist yet.
        files::CreateFolder(
            outbox.substr(0, outbox.rfind(tamberlin::platform::NativePathStyle().separator)));
        modQFEmailClient::outbox::Message message;
        message.from_name = modQFAllData::strAppTitle;
        message.to = kSupportAddress;
        message.subject = modQFAllData::strAppTitle + " Error Report";
        message.body = body;
        message.date = tamberlin::platform::clock::Now();
        // Every attachment the mail would have had: the log and a crash's report.
        for (size_t i = 0; i < paths.size() && i < names.size(); ++i) {
            modQFEmailClient::outbox::Attachment attachment{names[i], {}};
            if (!paths[i].empty() && files::ReadWholeFile(paths[i], attachment.bytes))
                message.attachments.push_back(std::move(attachment));
        }
        const modQFEmailClient::outbox::Saved saved =
            modQFEmailClient::outbox::Save(outbox, message);
        problem = saved.problem;
        return saved.path;
    } catch (...) {
        problem = "The report could not be saved.";
        return {};
    }
}

// A mail client that fails after the message counted as handed over: the
// report is kept after all, and the log says so in one line. No dialog: the
// user has moved on. Set around one hand-off.
class LateFailureKeepsTheReport {
public:
    LateFailureKeepsTheReport(const std::string& body, const std::vector<std::string>& paths,
                              const std::vector<std::string>& names)
        : previous_(tamberlin::platform::mapi::SetLateFailureHandler(
              [body, paths, names](int status) {
                  std::string problem;
                  const std::string saved = SaveToOutbox(body, paths, names, problem);
                  LogQuietly(
                      "The mail client failed after the report was handed over (exit "
                      "status " +
                      std::to_string(status) + "); " +
                      (saved.empty() ? problem : "the report has been saved as [" + saved + "]."));
              })) {}
    ~LateFailureKeepsTheReport() {
        tamberlin::platform::mapi::SetLateFailureHandler(std::move(previous_));
    }
    LateFailureKeepsTheReport(const LateFailureKeepsTheReport&) = delete;
    LateFailureKeepsTheReport& operator=(const LateFailureKeepsTheReport&) = delete;

private:
    tamberlin::platform::mapi::LateFailure previous_;
};

// Set while a report is being handed over: the dialog keeps processing its
// events meanwhile, and a second click must not start a second report.
bool g_sending = false;

} // namespace

void frmQFCriticalErrorHandler::cmdEmail_Click() {
    namespace files = tamberlin::platform::files;
    if (g_sending)
        return;
    g_sending = true;
    struct Done {
        ~Done() { g_sending = false; }
    } done;
    std::string body;
    std::vector<std::string> names(1), paths(1);
    try {
        body = ReportBody(txtErrorMsg().caption);
        std::int16_t count = 0;
        paths[0] = modQFCriticalErrorHandler::GetErrorLogPath();
        // Without a log on disk the report goes without attachment.
        if (paths[0].empty() ||
            files::FirstEntry(paths[0], files::kNormal) != files::Listing::kEntry) {
            names[0].clear();
            paths[0].clear();
        } else {
            names[0] = modQFSystemUtilities::GetFileName(paths[0]);
            count = 1;
        }
        // A crash's report goes beside the log.
        if (CompleteCrashReport) {
            try {
                CompleteCrashReport();
            } catch (...) {
                // The report without names still goes.
            }
        }
        if (!strCrashReportPath.empty() &&
            files::FirstEntry(strCrashReportPath, files::kNormal) == files::Listing::kEntry) {
            if (count == 1) {
                names.emplace_back();
                paths.emplace_back();
            }
            names[count] = modQFSystemUtilities::GetFileName(strCrashReportPath);
            paths[count] = strCrashReportPath;
            ++count;
        }
        // The slot of the current project's data, which this program does not
        // have: it stays empty and uncounted.
        if (chkIncludeData().enabled && chkIncludeData().value == 1) {
            names.resize(names.size() + 1);
            paths.resize(paths.size() + 1);
        }
        const LateFailureKeepsTheReport late(body, paths, names);
        const std::int32_t result = modQFEmailClient::SendEmail(
            modQFEmailClient::lngEmailTransport, modQFEmailClient::blnEmailResolveName,
            kSupportAddress, modQFAllData::strAppTitle + " Error Report", body, count, names, paths,
            window_handle, MyMAPISession, MyMAPIMessages);
        if (result == modQFEmailClient::kHandedOver)
            return;
    } catch (...) {
        // Whatever failed, the user gets the one message below.
    }
    std::string text = "Cannot prepare the error notification email. Please copy the information "
                       "and send to Quillfern by separate email.";
    if (!body.empty()) {
        std::string problem;
        const std::string saved = SaveToOutbox(body, paths, names, problem);
        if (!saved.empty())
            text += " The report has been saved as \"" + saved + "\".";
        else
            LogQuietly(problem);
    }
    tamberlin::ui::CurrentHost().MsgBox(text, modQFAllData::strAppTitle,
                                        tamberlin::ui::Buttons::kOK,
                                        tamberlin::ui::Icon::kCritical);
}

namespace tamberlin::errors {

std::string OutboxFolder() {
    const std::string log = modQFCriticalErrorHandler::GetErrorLogPath();
    return log.substr(0, log.rfind(tamberlin::platform::NativePathStyle().separator) + 1) +
           "Outbox";
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
    namespace files = tamberlin::platform::files;
    namespace outbox = modQFEmailClient::outbox;
    int sent = 0;
    try {
        const char separator = tamberlin::platform::NativePathStyle().separator;
        const std::string folder = OutboxFolder(), done = folder + separator + "Sent";
        for (const std::string& path : outbox::Waiting(folder)) {
            const std::string name = path.substr(path.rfind(separator) + 1);
            std::vector<std::string> names{name}, paths{path};
            const std::int32_t result = modQFEmailClient::SendEmail(
                modQFEmailClient::lngEmailTransport, modQFEmailClient::blnEmailResolveName,
                kSupportAddress, modQFAllData::strAppTitle + " Error Report",
                "An error report that could not be sent when it was made is attached.", 1, names,
                paths, parent_window, session, messages);
            if (result != modQFEmailClient::kHandedOver)
                break;
            ++sent;
            // Moved whole or not at all; the newest kLimit stay.
            std::string bytes;
            if (files::PreparePrivateFolder(done) != files::PrivateFolder::kReady ||
                !files::ReadWholeFile(path, bytes) ||
                files::PublishNewFile(done + separator + name, bytes) != files::Publish::kDone)
                continue;
            files::RemoveFile(path);
            const std::vector<std::string> kept = outbox::Waiting(done);
            for (std::size_t i = 0; i + outbox::kLimit < kept.size(); ++i)
                files::RemoveFile(kept[i]);
        }
    } catch (...) {
    }
    return sent;
}

} // namespace tamberlin::errors
