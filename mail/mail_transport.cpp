#include "mail/mail_transport.h"

#include "mail/outbox.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/simple_mapi.h"
#include "platform/system.h"
#include "runtime/format.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/platform/path_style.h"

#include <utility>

namespace modQFEmailClient {
namespace {

namespace files = tamberlin::platform::files;
namespace report = tamberlin::report;

std::string Subject() {
    return modQFAllData::strAppTitle + " Error Report";
}

std::string Body(const std::string& message) {
    using tamberlin::runtime::ZeroPadded;
    const tamberlin::platform::clock::LocalTime now = tamberlin::platform::clock::Now();
    return message + "\r\n\r\nBuild code: " + tamberlin::runtime::VersionText() +
           "\r\n\r\nDate: " + ZeroPadded(now.day, 2) + " " +
           tamberlin::platform::system::AbbreviatedMonthName(now.month) + " " +
           ZeroPadded(now.year, 4) + " " + ZeroPadded(now.hour, 2) + ":" +
           ZeroPadded(now.minute, 2);
}

// The report as a message file in the Outbox, with every attachment the mail
// would have had.
report::Delivery Keep(const std::string& folder, const report::Report& kept,
                      const std::string& body) noexcept {
    report::Delivery delivery;
    try {
        if (folder.empty()) {
            delivery.problem = "No folder is known to keep the report in.";
            return delivery;
        }
        // The log's folder may not exist yet.
        files::CreateFolder(
            folder.substr(0, folder.rfind(tamberlin::platform::NativePathStyle().separator)));
        outbox::Message message;
        message.from_name = modQFAllData::strAppTitle;
        message.to = kSupportAddress;
        message.subject = Subject();
        message.body = body;
        message.date = tamberlin::platform::clock::Now();
        for (const report::Attachment& attachment : kept.attachments) {
            outbox::Attachment file{attachment.name, attachment.content};
            if (attachment.path.empty() || files::ReadWholeFile(attachment.path, file.bytes))
                message.attachments.push_back(std::move(file));
        }
        const outbox::Saved saved = outbox::Save(folder, message);
        delivery.kept = saved.path;
        delivery.problem = saved.problem;
    } catch (...) {
        delivery.problem = "The report could not be saved.";
    }
    return delivery;
}

// A mail client that fails after the message counted as handed over: the
// report is kept after all, and the log says so in one line. Set around one
// hand-off.
class LateFailureKeeps {
public:
    LateFailureKeeps(const std::string& folder, const report::Report& late, const std::string& body,
                     const std::function<void(const std::string&)>& log)
        : previous_(tamberlin::platform::mapi::SetLateFailureHandler([folder, late, body,
                                                                      log](int status) {
              const report::Delivery kept = Keep(folder, late, body);
              if (log)
                  log("The mail client failed after the report was handed over (exit "
                      "status " +
                      std::to_string(status) + "); " +
                      (kept.kept.empty() ? kept.problem
                                         : "the report has been saved as [" + kept.kept + "]."));
          })) {}
    ~LateFailureKeeps() { tamberlin::platform::mapi::SetLateFailureHandler(std::move(previous_)); }
    LateFailureKeeps(const LateFailureKeeps&) = delete;
    LateFailureKeeps& operator=(const LateFailureKeeps&) = delete;

private:
    tamberlin::platform::mapi::LateFailure previous_;
};

} // namespace

MailTransport::MailTransport(std::string outbox, std::uintptr_t parent_window, MAPISession& session,
                             MAPIMessages& messages, std::function<void(const std::string&)> log)
    : outbox_(std::move(outbox)), parent_window_(parent_window), session_(session),
      messages_(messages), log_(std::move(log)) {}

report::Delivery MailTransport::Deliver(const report::Report& sent) noexcept {
    std::string body;
    try {
        body = Body(sent.message);
        std::vector<std::string> names, paths;
        for (const report::Attachment& attachment : sent.attachments)
            if (!attachment.path.empty()) {
                names.push_back(attachment.name);
                paths.push_back(attachment.path);
            }
        const LateFailureKeeps late(outbox_, sent, body, log_);
        if (SendEmail(lngEmailTransport, blnEmailResolveName, kSupportAddress, Subject(), body,
                      static_cast<std::int16_t>(paths.size()), names, paths, parent_window_,
                      session_, messages_) == kHandedOver)
            return {true, {}, {}};
    } catch (...) {
        // Whatever failed, the report is kept below.
    }
    if (body.empty())
        return {};
    return Keep(outbox_, sent, body);
}

int MailTransport::SendWaiting() noexcept {
    int sent = 0;
    try {
        const char separator = tamberlin::platform::NativePathStyle().separator;
        const std::string done = outbox_ + separator + "Sent";
        for (const std::string& path : outbox::Waiting(outbox_)) {
            const std::string name = path.substr(path.rfind(separator) + 1);
            std::vector<std::string> names{name}, paths{path};
            const std::int32_t result =
                SendEmail(lngEmailTransport, blnEmailResolveName, kSupportAddress, Subject(),
                          "An error report that could not be sent when it was made is attached.", 1,
                          names, paths, parent_window_, session_, messages_);
            if (result != kHandedOver)
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

} // namespace modQFEmailClient
