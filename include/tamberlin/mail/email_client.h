// E-mail: one call that hands a message with attachments to the user's mail
// client through one of three MAPI routes.
//
// SendEmail fills in defaults for a blank recipient, subject or body,
// resolves the transport selector (detecting the default mail client for
// kDetectTransport) and calls the transport; it answers a SendResult. Errors a
// transport does not trap pass through SendEmail to its caller.
//
// Attachments are two parallel lists (display names, paths), of which the
// first intAttachmentCount entries count; a transport fills an empty display
// name in the caller's list with the file-name part of its path. Switches
// are 16-bit Booleans: only -1 counts as true.
#pragma once

#include "tamberlin/mail/mapi_controls.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace modQFEmailClient {

// The transport selector (lngTransport).
enum Transport : std::int32_t {
    kDetectTransport = -1, // the default mail client's, as DetectEmailClient finds it
    kMapiControl = 0,      // the session and messages controls
    kMapiDirect = 1,       // the simple MAPI functions
    kMapiCdo = 2,          // the CDO session object
};

// What a send answers.
enum SendResult : std::int32_t {
    kHandedOver = 1,         // the mail client has the message
    kNoTransport = 0,        // the selector names no transport: nothing was done
    kSendFailed = -1,        // the transport failed
    kAttachmentProblem = -2, // an attachment could not be sent
    kSendCancelled = -3,     // the user cancelled
};

// The transport and name resolution the error report uses.
inline std::int32_t lngEmailTransport = kMapiControl;
inline std::int16_t blnEmailResolveName = 0;

// Stands in for a blank recipient: valid in form, obviously unreal.
inline constexpr const char* kPlaceholderRecipient = "recipient@example.com";

std::int32_t SendEmail(std::int32_t lngTransport, std::int16_t blnResolveName,
                       std::string_view strRecipient, std::string_view strSubject,
                       std::string_view strBody, std::int16_t intAttachmentCount,
                       std::vector<std::string>& vntAttachmentNames,
                       std::vector<std::string>& vntAttachmentPaths, std::uintptr_t lngParentHwnd,
                       MAPISession& objSession, MAPIMessages& objMessages);

// The transport and resolve-name flag for the default mail client named in
// the registry (SOFTWARE\Clients\Mail, the user's, else the machine's
// 64-bit view).
void DetectEmailClient(std::int32_t& lngTransport, std::int16_t& blnResolveName);

std::int32_t SendEmailMAPIControl(MAPISession& objSession, MAPIMessages& objMessages,
                                  std::int16_t blnResolveName, const std::string& strRecipient,
                                  const std::string& strSubject, const std::string& strBody,
                                  std::int16_t intAttachmentCount,
                                  std::vector<std::string>& vntAttachmentNames,
                                  std::vector<std::string>& vntAttachmentPaths);

std::int32_t SendEmailMAPIDirect(std::uintptr_t lngParentHwnd, std::int16_t blnResolveName,
                                 const std::string& strRecipient, const std::string& strSubject,
                                 const std::string& strBody, const std::int16_t& intAttachmentCount,
                                 std::vector<std::string>& vntAttachmentNames,
                                 std::vector<std::string>& vntAttachmentPaths);

std::int32_t SendEmailMAPICDO(std::int16_t blnResolveName, const std::string& strRecipient,
                              const std::string& strSubject, const std::string& strBody,
                              const std::int16_t& intAttachmentCount,
                              std::vector<std::string>& vntAttachmentNames,
                              std::vector<std::string>& vntAttachmentPaths);

} // namespace modQFEmailClient
