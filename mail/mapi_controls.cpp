#include "tamberlin/mail/mapi_controls.h"

#include "platform/simple_mapi.h"
#include "tamberlin/runtime/error.h"

namespace modQFEmailClient {
namespace {

namespace mapi = tamberlin::platform::mapi;

void Check(std::uint32_t rc) {
    if (rc != mapi::kSuccess)
        tamberlin::runtime::Raise(tamberlin::runtime::errors::kMapiControlErrorBase +
                                  static_cast<std::int32_t>(rc));
}

} // namespace

void MAPISession::SignOn() {
    mapi::Session session = 0;
    Check(mapi::CurrentProvider().Logon(
        0, "", "", mapi::kLogonUi | (NewSession ? mapi::kNewSession : 0), session));
    session_ = static_cast<std::int32_t>(session);
}

void MAPISession::SignOff() {
    if (session_ == 0)
        return;
    const std::int32_t session = session_;
    session_ = 0;
    Check(mapi::CurrentProvider().Logoff(static_cast<mapi::Session>(session), 0, 0));
}

void MAPIMessages::Compose() {
    address_.clear();
    resolved_address_.clear();
    subject_.clear();
    text_.clear();
    attachments_.clear();
    AttachmentIndex = 0;
}

void MAPIMessages::RecipAddress(const std::string& address) {
    address_ = address;
    resolved_address_.clear();
}

MAPIMessages::Attachment& MAPIMessages::Current() {
    if (AttachmentIndex < 0)
        tamberlin::runtime::Raise(tamberlin::runtime::errors::kInvalidProcedureCall);
    const auto index = static_cast<size_t>(AttachmentIndex);
    if (index >= attachments_.size())
        attachments_.resize(index + 1);
    return attachments_[index];
}

void MAPIMessages::AttachmentName(const std::string& name) {
    Current().name = name;
}

void MAPIMessages::AttachmentPathName(const std::string& path) {
    Current().path = path;
}

void MAPIMessages::ResolveName() {
    mapi::Recipient resolved;
    Check(mapi::CurrentProvider().ResolveName(static_cast<mapi::Session>(SessionID), 0, address_,
                                              mapi::kDialog, resolved));
    resolved_address_ = resolved.address.value_or("");
}

void MAPIMessages::Send(bool dialog) {
    mapi::Message message;
    message.subject = subject_;
    message.note_text = text_;
    mapi::Recipient recipient;
    recipient.recip_class = mapi::kTo;
    recipient.name = address_;
    recipient.address = resolved_address_.empty() ? address_ : resolved_address_;
    message.recipients.push_back(recipient);
    for (const Attachment& a : attachments_) {
        // Slots filled out of order leave unused ones behind: they are not files.
        if (a.path.empty())
            continue;
        mapi::File file;
        file.position = -1;
        file.path_name = a.path;
        file.file_name = a.name;
        message.files.push_back(file);
    }
    Check(mapi::CurrentProvider().SendMail(static_cast<mapi::Session>(SessionID), 0, message,
                                           dialog ? mapi::kDialog : 0));
}

} // namespace modQFEmailClient
