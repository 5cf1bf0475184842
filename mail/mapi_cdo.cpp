// MAPI/CDO: the message through the CDO session object, without a logon
// dialog; the mail client shows its compose window.
#include "mail/attachments.h"
#include "platform/cdo.h"
#include "tamberlin/mail/email_client.h"
#include "tamberlin/runtime/current_error.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/ui/form.h"

namespace modQFEmailClient {
namespace {

namespace cdo = tamberlin::platform::cdo;
using cdo::Call;

using namespace cdo::dispid;

// The object a call returned; a call that returned none is a failure.
cdo::ObjectPtr ObjectOf(const cdo::Value& value) {
    const cdo::ObjectPtr* object = std::get_if<cdo::ObjectPtr>(&value);
    if (!object || !*object)
        throw tamberlin::runtime::RuntimeError(cdo::kFailed, "No object returned");
    return *object;
}

} // namespace

std::int32_t SendEmailMAPICDO(std::int16_t blnResolveName, const std::string& strRecipient,
                              const std::string& strSubject, const std::string& strBody,
                              const std::int16_t& intAttachmentCount,
                              std::vector<std::string>& vntAttachmentNames,
                              std::vector<std::string>& vntAttachmentPaths) {
    std::int32_t result = kHandedOver;
    // The session is never logged off: a logon without a new session may
    // share the running mail client's, and logging that off could end the
    // client's own. Releasing the session (every object here is released on
    // return, on every path) is the only clean-up.
    try {
        const cdo::ObjectPtr session = cdo::CreateSession()->As(cdo::kSessionIid);
        session->Invoke(kLogon, Call::kMethod, {cdo::Missing{}, cdo::Missing{}, false, false});
        const cdo::ObjectPtr folder =
            ObjectOf(session->Invoke(kOutbox, Call::kGet, {}))->As(cdo::kFolderIid);
        const cdo::ObjectPtr messages = ObjectOf(folder->Invoke(kMessages, Call::kGet, {}));
        const cdo::ObjectPtr message =
            ObjectOf(messages->InvokeByName("Add", Call::kMethod, {}))->As(cdo::kMessageIid);
        message->Invoke(kSubject, Call::kPut, {strSubject});
        message->Invoke(kText, Call::kPut, {strBody});
        const cdo::ObjectPtr recipients =
            ObjectOf(message->Invoke(kRecipientsOf, Call::kGet, {}))->As(cdo::kRecipientsIid);
        const cdo::ObjectPtr recipient =
            ObjectOf(recipients->Invoke(kAdd, Call::kMethod, {}))->As(cdo::kRecipientIid);
        recipient->Invoke(kName, Call::kPut, {strRecipient});
        recipient->Invoke(kType, Call::kPut, {std::int32_t{1}});
        if (blnResolveName == -1) {
            recipient->Invoke(kResolve, Call::kMethod, {});
            tamberlin::ui::DoEvents();
        }
        for (int i = 0; i < intAttachmentCount; ++i) {
            const std::string& path = attachments::Entry(vntAttachmentPaths, i);
            if (path.empty() || !attachments::IsAttachableFile(path)) {
                result = kAttachmentProblem;
                continue;
            }
            attachments::FillName(attachments::Entry(vntAttachmentNames, i), path);
            const cdo::ObjectPtr attachment =
                ObjectOf(ObjectOf(message->Invoke(kAttachmentsOf, Call::kGet, {}))
                             ->InvokeByName("Add", Call::kMethod, {}))
                    ->As(cdo::kAttachmentIid);
            attachment->Invoke(kName, Call::kPut, {std::string("Quillfern Application")});
            attachment->Invoke(kSource, Call::kPut, {path});
            attachment->Invoke(kType, Call::kPut, {std::int32_t{1}});
        }
        message->Invoke(kSend, Call::kMethod, {cdo::Missing{}, true});
    } catch (...) {
        const std::int32_t number = tamberlin::runtime::CurrentError::FromCurrentException().Number;
        result =
            number == tamberlin::runtime::errors::kMapiUserCancel ? kSendCancelled : kSendFailed;
    }
    return result;
}

} // namespace modQFEmailClient
