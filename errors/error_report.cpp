// The error report: the "&Email Quillfern" button of the Application Error
// dialog hands the message, the version, the date and the error log to the
// user's mail client, addressed to Quillfern's support. The dialog stays open
// whatever happens.
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/sysutil/paths.h"
#include "tamberlin/ui/host.h"

#include <cstdio>

namespace {

constexpr const char* kSupportAddress = "support@quillfern.example";

std::string Digits(int value, int width) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*d", width, value);
    return text;
}

std::string ReportBody(const std::string& message) {
    const tamberlin::runtime::Application& app = tamberlin::runtime::App();
    const tamberlin::platform::clock::LocalTime now = tamberlin::platform::clock::Now();
    return message + "\r\n\r\nBuild code: " + Digits(app.Major(), 1) + "." +
           Digits(app.Minor(), 2) + "." + Digits(app.Revision(), 4) +
           "\r\n\r\nDate: " + Digits(now.day, 2) + " " +
           tamberlin::platform::system::AbbreviatedMonthName(now.month) + " " +
           Digits(now.year, 4) + " " + Digits(now.hour, 2) + ":" + Digits(now.minute, 2);
}

} // namespace

void frmQFCriticalErrorHandler::cmdEmail_Click() {
    namespace files = tamberlin::platform::files;
    try {
        const std::string body = ReportBody(txtErrorMsg().caption);
        std::vector<std::string> names(1), paths(1);
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
        const std::int32_t result = modQFEmailClient::SendEmail(
            modQFEmailClient::lngEmailTransport, modQFEmailClient::blnEmailResolveName,
            kSupportAddress, modQFAllData::strAppTitle + " Error Report", body, count, names, paths,
            window_handle, MyMAPISession, MyMAPIMessages);
        if (result == 1)
            return;
    } catch (...) {
        // Whatever failed, the user gets the one message below.
    }
    tamberlin::ui::CurrentHost().MsgBox(
        "Cannot prepare the error notification email. Please copy the information and send to "
        "Quillfern by separate email.",
        modQFAllData::strAppTitle, tamberlin::ui::Buttons::kOK, tamberlin::ui::Icon::kCritical);
}
