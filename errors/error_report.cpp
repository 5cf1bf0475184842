// The error report: the "&Email Quillfern" button of the Application Error
// dialog hands the message, the version, the date and the error log to the
// user's mail client, addressed to Quillfern's support. The dialog stays open
// whatever happens.
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/system.h"
#include "runtime/format.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/errors/error_form.h"
#include "tamberlin/errors/error_log.h"
#include "tamberlin/mail/email_client.h"
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
        // The slot of the current project's data, which this program does not
        // have: it stays empty and uncounted.
        if (chkIncludeData().enabled && chkIncludeData().value == 1) {
            names.resize(2);
            paths.resize(2);
        }
        const std::int32_t result = modQFEmailClient::SendEmail(
            modQFEmailClient::lngEmailTransport, modQFEmailClient::blnEmailResolveName,
            kSupportAddress, modQFAllData::strAppTitle + " Error Report", body, count, names, paths,
            window_handle, MyMAPISession, MyMAPIMessages);
        if (result == modQFEmailClient::kHandedOver)
            return;
    } catch (...) {
        // Whatever failed, the user gets the one message below.
    }
    tamberlin::ui::CurrentHost().MsgBox(
        "Cannot prepare the error notification email. Please copy the information and send to "
        "Quillfern by separate email.",
        modQFAllData::strAppTitle, tamberlin::ui::Buttons::kOK, tamberlin::ui::Icon::kCritical);
}
