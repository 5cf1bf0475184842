// MAPI/Control: the message through the session and messages controls of the
// calling window.
#include "tamberlin/errors/current_error.h"
#include "mail/attachments.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

namespace modQFEmailClient {
namespace {

namespace ui = tamberlin::ui;

// The failure's result, and the message the user is shown for it.
std::int32_t Report(std::int32_t number) {
    const auto show = [](const char* text, const char* title) {
        ui::CurrentHost().MsgBox(text, title, ui::Buttons::kOK, ui::Icon::kCritical);
    };
    if (number == 52) {
        show("Email message attachment file name unspecified.", "MAPI/Control Error");
        return -2;
    }
    if (number == 53) {
        show("Email message attachment file not found at specified path.", "MAPI/Control Error");
        return -2;
    }
    if (number == 32001)
        return -3;
    if (number >= 32008 && number <= 32010)
        show("An error occured initializing email session.", "Email Client Error");
    else if (number >= 32011 && number <= 32025)
        show("An error occured processing email message recipients. Check recipient addresses.",
             "MAPI/Control Error");
    return -1;
}

} // namespace

std::int32_t SendEmailMAPIControl(MAPISession& objSession, MAPIMessages& objMessages,
                                  std::int16_t blnResolveName, const std::string& strRecipient,
                                  const std::string& strSubject, const std::string& strBody,
                                  std::int16_t intAttachmentCount,
                                  std::vector<std::string>& vntAttachmentNames,
                                  std::vector<std::string>& vntAttachmentPaths) {
    std::int32_t result = -1;
    try {
        if (objSession.SessionID() == 0) {
            objSession.DownLoadMail = false;
            objSession.NewSession = true;
            objSession.SignOn();
        }
        if (objSession.SessionID() == 0)
            return -1;
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
        return 1;
    } catch (...) {
        result = Report(tamberlin::errors::CurrentError::FromCurrentException().Number);
    }
    // The session ends on every failure; an error in ending it goes to the caller.
    objSession.SignOff();
    return result;
}

} // namespace modQFEmailClient
