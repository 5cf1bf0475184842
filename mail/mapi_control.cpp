// MAPI/Control: the message through the session and messages controls of the
// calling window.
#include "mail/attachments.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/runtime/current_error.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

namespace modQFEmailClient {
namespace {

namespace ui = tamberlin::ui;
namespace rt = tamberlin::runtime::errors;

// The failure's result, and the message the user is shown for it.
std::int32_t Report(std::int32_t number) {
    const auto show = [](const char* text, const char* title) {
        ui::CurrentHost().MsgBox(text, title, ui::Buttons::kOK, ui::Icon::kCritical);
    };
    if (number == rt::kBadFileName) {
        show("Email message attachment file name unspecified.", "MAPI/Control Error");
        return kAttachmentProblem;
    }
    if (number == rt::kFileNotFound) {
        show("Email message attachment file not found at specified path.", "MAPI/Control Error");
        return kAttachmentProblem;
    }
    if (number == rt::kMapiUserAbort)
        return kSendCancelled;
    if (rt::kMapiTooManyErrors.Contains(number))
        show("An error occured initializing email session.", "Email Client Error");
    else if (rt::kMapiAttachmentErrors.Contains(number) || rt::kMapiMessageErrors.Contains(number))
        show("An error occured processing email message recipients. Check recipient addresses.",
             "MAPI/Control Error");
    return kSendFailed;
}

} // namespace

std::int32_t SendEmailMAPIControl(MAPISession& objSession, MAPIMessages& objMessages,
                                  std::int16_t blnResolveName, const std::string& strRecipient,
                                  const std::string& strSubject, const std::string& strBody,
                                  std::int16_t intAttachmentCount,
                                  std::vector<std::string>& vntAttachmentNames,
                                  std::vector<std::string>& vntAttachmentPaths) {
    std::int32_t result = kSendFailed;
    try {
        if (objSession.SessionID() == 0) {
            objSession.DownLoadMail = false;
            objSession.NewSession = true;
            objSession.SignOn();
        }
        if (objSession.SessionID() == 0)
            return kSendFailed;
        objMessages.SessionID = objSession.SessionID();
        objMessages.Compose();
        objMessages.RecipAddress(strRecipient);
        objMessages.MsgSubject(strSubject);
        objMessages.MsgNoteText(strBody);
        if (intAttachmentCount > 0) {
            objMessages.AttachmentIndex = 0;
            for (int i = 0; i < intAttachmentCount; ++i) {
                const std::string& path = attachments::Entry(vntAttachmentPaths, i);
                // A missing file is left out, without a gap.
                if (path.empty() || !attachments::IsAttachableFile(path))
                    continue;
                std::string& name = attachments::Entry(vntAttachmentNames, i);
                attachments::FillName(name, path);
                objMessages.AttachmentName(name);
                objMessages.AttachmentPathName(path);
                objMessages.AttachmentIndex =
                    static_cast<std::int16_t>(objMessages.AttachmentIndex + 1);
            }
        }
        if (blnResolveName == -1) {
            objMessages.ResolveName();
            ui::DoEvents();
        }
        objMessages.Send(true);
        objSession.SignOff();
        return kHandedOver;
    } catch (...) {
        result = Report(tamberlin::runtime::CurrentError::FromCurrentException().Number);
    }
    // The session ends on every failure; an error in ending it goes to the caller.
    objSession.SignOff();
    return result;
}

} // namespace modQFEmailClient
