// CDO on Linux: our own session, folder, message, recipient and attachment
// objects with the members and dispatch ids of the mail system's object
// model, built over simple MAPI (simple_mapi.h).
#include "platform/cdo.h"
#include "platform/seams.h"
#include "platform/simple_mapi.h"
#include "tamberlin/runtime/error.h"

#include <type_traits>

namespace tamberlin::platform::cdo {
namespace {

constexpr std::string_view kIDispatch = "{00020400-0000-0000-C000-000000000046}";

constexpr std::int32_t kLogonFailed = static_cast<std::int32_t>(0x80040111); // MAPI_E_LOGON_FAILED
constexpr std::int32_t kNotFound = static_cast<std::int32_t>(0x8004010F);    // MAPI_E_NOT_FOUND
constexpr std::int32_t kAmbiguous = static_cast<std::int32_t>(0x80040700); // MAPI_E_AMBIGUOUS_RECIP

// A simple MAPI result as the HRESULT the object model raises.
void Check(std::uint32_t rc) {
    switch (rc) {
    case mapi::kSuccess:
        return;
    case mapi::kUserAbort:
        runtime::Raise(kUserCancel, "The user cancelled");
    case mapi::kLoginFailure:
        runtime::Raise(kLogonFailed, "Logon failed");
    case mapi::kUnknownRecipient:
    case mapi::kAttachmentNotFound:
        runtime::Raise(kNotFound, "Not found");
    case mapi::kAmbiguousRecipient:
        runtime::Raise(kAmbiguous, "Ambiguous recipient");
    default:
        runtime::Raise(kFailed, "The mail system failed (" + std::to_string(rc) + ")");
    }
}

std::string Text(const std::vector<Value>& args, size_t i) {
    const std::string* text = i < args.size() ? std::get_if<std::string>(&args[i]) : nullptr;
    return text ? *text : std::string();
}

bool Flag(const std::vector<Value>& args, size_t i, bool missing) {
    if (i >= args.size() || std::holds_alternative<Missing>(args[i]))
        return missing;
    const bool* b = std::get_if<bool>(&args[i]);
    return b && *b;
}

[[noreturn]] void NoMember() {
    runtime::Raise(kMemberNotFound, "Member not found");
}

// What every object of the model has: one interface identifier (plus
// IDispatch), and no members by name unless it is a collection.
class ModelObject : public Object, public std::enable_shared_from_this<ModelObject> {
public:
    explicit ModelObject(std::string_view iid) : iid_(iid) {}
    ObjectPtr As(std::string_view iid) override {
        if (iid != iid_ && iid != kIDispatch)
            runtime::Raise(kNoInterface, "No such interface supported");
        return shared_from_this();
    }
    Value InvokeByName(std::string_view, Call, std::vector<Value>) override { NoMember(); }

private:
    std::string_view iid_;
};

struct SessionState {
    mapi::Session session = 0;
    bool logged_on = false;
};

class Recipient final : public ModelObject {
public:
    explicit Recipient(std::shared_ptr<SessionState> session)
        : ModelObject(kRecipientIid), session_(std::move(session)) {}
    Value Invoke(std::int32_t id, Call call, std::vector<Value> args) override {
        if (id == dispid::kName && call == Call::kPut)
            record.name = Text(args, 0);
        else if (id == dispid::kType && call == Call::kPut)
            record.recip_class = static_cast<std::uint32_t>(
                std::holds_alternative<std::int32_t>(args.at(0)) ? std::get<std::int32_t>(args[0])
                                                                 : 0);
        else if (id == dispid::kResolve && call == Call::kMethod)
            Resolve();
        else
            NoMember();
        return {};
    }
    mapi::Recipient record;

private:
    void Resolve() {
        mapi::Recipient resolved;
        Check(mapi::CurrentProvider().ResolveName(session_->session, 0, record.name.value_or(""),
                                                  mapi::kDialog, resolved));
        record.address = resolved.address;
        record.entry_id = resolved.entry_id;
    }
    std::shared_ptr<SessionState> session_;
};

class Attachment final : public ModelObject {
public:
    Attachment() : ModelObject(kAttachmentIid) { record.position = -1; }
    Value Invoke(std::int32_t id, Call call, std::vector<Value> args) override {
        if (call != Call::kPut)
            NoMember();
        if (id == dispid::kName)
            record.file_name = Text(args, 0);
        else if (id == dispid::kSource)
            record.path_name = Text(args, 0);
        else if (id != dispid::kType) // the type: file data is the only kind there is
            NoMember();
        return {};
    }
    mapi::File record;
};

// A collection whose Add makes a new member: the recipients (by dispatch
// id) or the attachments (by name only).
template <typename Member> class Collection final : public ModelObject {
public:
    Collection(std::string_view iid, std::shared_ptr<SessionState> session, bool add_by_id)
        : ModelObject(iid), session_(std::move(session)), add_by_id_(add_by_id) {}
    Value Invoke(std::int32_t id, Call call, std::vector<Value>) override {
        if (!add_by_id_ || id != dispid::kAdd || call != Call::kMethod)
            NoMember();
        return Add();
    }
    Value InvokeByName(std::string_view name, Call call, std::vector<Value>) override {
        if (name != "Add" || call != Call::kMethod)
            NoMember();
        return Add();
    }
    std::vector<std::shared_ptr<Member>> members;

private:
    ObjectPtr Add() {
        std::shared_ptr<Member> member;
        if constexpr (std::is_constructible_v<Member, std::shared_ptr<SessionState>>)
            member = std::make_shared<Member>(session_);
        else
            member = std::make_shared<Member>();
        members.push_back(member);
        return member;
    }
    std::shared_ptr<SessionState> session_;
    bool add_by_id_;
};

class MessageObject final : public ModelObject {
public:
    explicit MessageObject(std::shared_ptr<SessionState> session)
        : ModelObject(kMessageIid), session_(session),
          recipients_(std::make_shared<Collection<Recipient>>(kRecipientsIid, session, true)),
          attachments_(std::make_shared<Collection<Attachment>>("", session, false)) {}
    Value Invoke(std::int32_t id, Call call, std::vector<Value> args) override {
        if (id == dispid::kSubject && call == Call::kPut)
            subject_ = Text(args, 0);
        else if (id == dispid::kText && call == Call::kPut)
            text_ = Text(args, 0);
        else if (id == dispid::kRecipientsOf && call == Call::kGet)
            return ObjectPtr(recipients_);
        else if (id == dispid::kAttachmentsOf && call == Call::kGet)
            return ObjectPtr(attachments_);
        else if (id == dispid::kSend && call == Call::kMethod)
            Send(Flag(args, 1, true));
        else
            NoMember();
        return {};
    }

private:
    void Send(bool show_dialog) {
        mapi::Message message;
        message.subject = subject_;
        message.note_text = text_;
        for (const auto& r : recipients_->members)
            message.recipients.push_back(r->record);
        for (const auto& a : attachments_->members)
            message.files.push_back(a->record);
        Check(mapi::CurrentProvider().SendMail(session_->session, 0, message,
                                               show_dialog ? mapi::kDialog : 0));
    }
    std::shared_ptr<SessionState> session_;
    std::string subject_, text_;
    std::shared_ptr<Collection<Recipient>> recipients_;
    std::shared_ptr<Collection<Attachment>> attachments_;
};

class Messages final : public ModelObject {
public:
    explicit Messages(std::shared_ptr<SessionState> session)
        : ModelObject(""), session_(std::move(session)) {}
    Value Invoke(std::int32_t, Call, std::vector<Value>) override { NoMember(); }
    Value InvokeByName(std::string_view name, Call call, std::vector<Value>) override {
        if (name != "Add" || call != Call::kMethod)
            NoMember();
        return ObjectPtr(std::make_shared<MessageObject>(session_));
    }

private:
    std::shared_ptr<SessionState> session_;
};

class Folder final : public ModelObject {
public:
    explicit Folder(std::shared_ptr<SessionState> session)
        : ModelObject(kFolderIid), session_(std::move(session)) {}
    Value Invoke(std::int32_t id, Call call, std::vector<Value>) override {
        if (id != dispid::kMessages || call != Call::kGet)
            NoMember();
        return ObjectPtr(std::make_shared<Messages>(session_));
    }

private:
    std::shared_ptr<SessionState> session_;
};

class SessionObject final : public ModelObject {
public:
    SessionObject() : ModelObject(kSessionIid), state_(std::make_shared<SessionState>()) {}
    ~SessionObject() override {
        // Releasing the session ends it.
        if (state_->logged_on)
            mapi::CurrentProvider().Logoff(state_->session, 0, 0);
    }
    Value Invoke(std::int32_t id, Call call, std::vector<Value> args) override {
        if (id == dispid::kLogon && call == Call::kMethod) {
            const std::uint32_t flags = (Flag(args, 2, true) ? mapi::kLogonUi : 0) |
                                        (Flag(args, 3, false) ? mapi::kNewSession : 0);
            Check(mapi::CurrentProvider().Logon(0, Text(args, 0), Text(args, 1), flags,
                                                state_->session));
            state_->logged_on = true;
            return {};
        }
        if (id == dispid::kOutbox && call == Call::kGet)
            return ObjectPtr(std::make_shared<Folder>(state_));
        NoMember();
    }
    Value InvokeByName(std::string_view name, Call call, std::vector<Value>) override {
        if (name != "Logoff" || call != Call::kMethod)
            NoMember();
        if (state_->logged_on) {
            state_->logged_on = false;
            Check(mapi::CurrentProvider().Logoff(state_->session, 0, 0));
        }
        return {};
    }

private:
    std::shared_ptr<SessionState> state_;
};

} // namespace

ObjectPtr CreateSystemSession() {
    return std::make_shared<SessionObject>();
}

} // namespace tamberlin::platform::cdo
