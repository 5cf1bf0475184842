// MAPI/Direct: the message through the simple MAPI functions of the system
// mail library.
#include "mail/attachments.h"
#include "platform/simple_mapi.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/runtime/current_error.h"
#include "tamberlin/runtime/error.h"

#include <algorithm>

namespace modQFEmailClient {

namespace mapi = tamberlin::platform::mapi;

std::int32_t SendEmailMAPIDirect(std::uintptr_t lngParentHwnd, std::int16_t blnResolveName,
                                 const std::string& strRecipient, const std::string& strSubject,
                                 const std::string& strBody, const std::int16_t& intAttachmentCount,
                                 std::vector<std::string>& vntAttachmentNames,
                                 std::vector<std::string>& vntAttachmentPaths) {
    mapi::Provider& mail = mapi::CurrentProvider();
    std::vector<mapi::Recipient> recipients(1);
    std::vector<mapi::File> files(static_cast<size_t>(std::max<int>(intAttachmentCount, 1)));
    mapi::Session session = 0;
    std::int32_t result = kHandedOver;
    try {
        if (mail.Logon(lngParentHwnd, "", "", mapi::kLogonUi, session) != mapi::kSuccess)
            return kSendFailed;
        mapi::Message message;
        message.subject = strSubject;
        message.note_text = strBody;
        message.date_received = "";
        recipients[0].name = strRecipient;
        recipients[0].recip_class = mapi::kTo;
        if (blnResolveName == -1) {
            // Only what resolution adds is kept; the name stays the caller's.
            // A failed resolution still goes on to the send.
            mapi::Recipient resolved = recipients[0];
            mail.ResolveName(session, 0, strRecipient, mapi::kDialog, resolved);
            recipients[0] = resolved;
            recipients[0].name = strRecipient;
        }
        size_t file_count = 0;
        for (int i = 0; i < intAttachmentCount; ++i) {
            const std::string& path = attachments::Entry(vntAttachmentPaths, i);
            if (path.empty() || !attachments::IsAttachableFile(path)) {
                result = kAttachmentProblem;
                continue;
            }
            std::string& name = attachments::Entry(vntAttachmentNames, i);
            attachments::FillName(name, path);
            mapi::File& file = files[file_count++];
            file.position = -1;
            file.file_type = "";
            file.file_name = name;
            file.path_name = path;
        }
        message.recipients = recipients;
        message.files.assign(files.begin(), files.begin() + static_cast<long>(file_count));
        const std::uint32_t sent = mail.SendMail(session, lngParentHwnd, message, mapi::kDialog);
        // 1: the user cancelled the compose window, which is no failure here.
        if (sent != mapi::kSuccess && sent != mapi::kUserAbort)
            result = kSendFailed;
    } catch (...) {
        const std::int32_t number = tamberlin::runtime::CurrentError::FromCurrentException().Number;
        result =
            number == tamberlin::runtime::errors::kMapiUserCancel ? kSendCancelled : kSendFailed;
    }
    // The session ends on every path that opened one; an error in ending it
    // goes to the caller.
    if (mail.Logoff(session, 0, 0) != mapi::kSuccess)
        result = kSendFailed;
    return result;
}

} // namespace modQFEmailClient
