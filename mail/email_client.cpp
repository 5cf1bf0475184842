#include "tamberlin/mail/email_client.h"

#include "tamberlin/app/all_data.h"
#include "tamberlin/sysutil/registry.h"

namespace modQFEmailClient {
namespace {

// Empty or only blanks (U+0020); tabs and other white space count as text.
bool IsBlank(const std::string& text) {
    return text.find_first_not_of(' ') == std::string::npos;
}

} // namespace

void DetectEmailClient(std::int32_t& lngTransport, std::int16_t& blnResolveName) {
    std::string client;
    modQFSystemUtilities::GetUserRegString("SOFTWARE\\Clients\\Mail", "", client);
    if (client.empty())
        modQFSystemUtilities::GetMachineRegString64("SOFTWARE\\Clients\\Mail", "", client);
    lngTransport = kMapiControl;
    blnResolveName = 0;
    if (client == "Microsoft Outlook")
        lngTransport = kMapiCdo;
    else if (client == "Outlook Express")
        blnResolveName = -1;
}

std::int32_t SendEmail(std::int32_t lngTransport, std::int16_t blnResolveName,
                       std::string_view strRecipient, std::string_view strSubject,
                       std::string_view strBody, std::int16_t intAttachmentCount,
                       std::vector<std::string>& vntAttachmentNames,
                       std::vector<std::string>& vntAttachmentPaths, std::uintptr_t lngParentHwnd,
                       MAPISession& objSession, MAPIMessages& objMessages) {
    std::string recipient(strRecipient), subject(strSubject), body(strBody);
    if (lngTransport == kDetectTransport)
        DetectEmailClient(lngTransport, blnResolveName);
    if (IsBlank(recipient))
        recipient = kPlaceholderRecipient;
    if (IsBlank(subject))
        subject = "Emailing from: " + modQFAllData::strAppTitle;
    if (IsBlank(body))
        body = " ";
    switch (lngTransport) {
    case kMapiControl:
        return SendEmailMAPIControl(objSession, objMessages, blnResolveName, recipient, subject,
                                    body, intAttachmentCount, vntAttachmentNames,
                                    vntAttachmentPaths);
    case kMapiDirect:
        return SendEmailMAPIDirect(lngParentHwnd, blnResolveName, recipient, subject, body,
                                   intAttachmentCount, vntAttachmentNames, vntAttachmentPaths);
    case kMapiCdo:
        return SendEmailMAPICDO(blnResolveName, recipient, subject, body, intAttachmentCount,
                                vntAttachmentNames, vntAttachmentPaths);
    default:
        return kNoTransport;
    }
}

} // namespace modQFEmailClient
