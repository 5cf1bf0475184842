// Collaboration Data Objects: the mail system's object model, reached the
// way automation reaches it, by dispatch id (or, for untyped collections, by
// member name).
//
// On Windows CreateSession makes the COM object "MAPI.Session"
// (CLSIDFromProgID, CoCreateInstance) and every call is IDispatch::Invoke on
// the interface As() asked for; a machine without the library fails there.
// On Linux the session and its folder, message, recipient and attachment
// objects are our own, over simple MAPI (simple_mapi.h). Failures raise a
// run-time error whose number is the failing HRESULT (0x80040113 when the
// user cancelled).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tamberlin::platform::cdo {

class Object;
using ObjectPtr = std::shared_ptr<Object>;

// An optional argument left out (passed as DISP_E_PARAMNOTFOUND).
struct Missing {};

using Value = std::variant<std::monostate, Missing, bool, std::int32_t, std::string, ObjectPtr>;

enum class Call { kMethod, kGet, kPut };

// The interfaces of the object model.
inline constexpr std::string_view kSessionIid = "{3FA7DEA8-6438-101B-ACC1-00AA00423326}";
inline constexpr std::string_view kFolderIid = "{3FA7DEA9-6438-101B-ACC1-00AA00423326}";
inline constexpr std::string_view kMessageIid = "{3FA7DEAA-6438-101B-ACC1-00AA00423326}";
inline constexpr std::string_view kRecipientsIid = "{D725D1C0-7657-101B-ACC1-00AA00423326}";
inline constexpr std::string_view kRecipientIid = "{3FA7DEAD-6438-101B-ACC1-00AA00423326}";
inline constexpr std::string_view kAttachmentIid = "{3FA7DEAE-6438-101B-ACC1-00AA00423326}";

// The dispatch ids of the members the e-mail transport uses.
namespace dispid {
inline constexpr std::int32_t kLogon = 119;       // Session.Logon
inline constexpr std::int32_t kOutbox = 16;       // Session.Outbox
inline constexpr std::int32_t kMessages = 22;     // Folder.Messages
inline constexpr std::int32_t kSubject = 38;      // Message.Subject
inline constexpr std::int32_t kText = 39;         // Message.Text
inline constexpr std::int32_t kRecipientsOf = 28; // Message.Recipients
inline constexpr std::int32_t kAttachmentsOf = 5; // Message.Attachments
inline constexpr std::int32_t kSend = 131;        // Message.Send
inline constexpr std::int32_t kAdd = 100;         // Recipients.Add
inline constexpr std::int32_t kName = 23;         // Recipient.Name, Attachment.Name
inline constexpr std::int32_t kType = 17;         // Recipient.Type, Attachment.Type
inline constexpr std::int32_t kResolve = 130;     // Recipient.Resolve
inline constexpr std::int32_t kSource = 37;       // Attachment.Source
} // namespace dispid

inline constexpr std::int32_t kUserCancel = static_cast<std::int32_t>(0x80040113);
inline constexpr std::int32_t kNoInterface = static_cast<std::int32_t>(0x80004002);
inline constexpr std::int32_t kMemberNotFound = static_cast<std::int32_t>(0x80020003);
inline constexpr std::int32_t kFailed = static_cast<std::int32_t>(0x80004005);
// ActiveX component can't create object.
inline constexpr std::int32_t kCannotCreateObject = 429;

class Object {
public:
    virtual ~Object() = default;
    // The object through the interface with this identifier
    // ("{3FA7DEA8-6438-101B-ACC1-00AA00423326}").
    virtual ObjectPtr As(std::string_view iid) = 0;
    virtual Value Invoke(std::int32_t dispid, Call call, std::vector<Value> args) = 0;
    virtual Value InvokeByName(std::string_view name, Call call, std::vector<Value> args) = 0;
};

// The session object "MAPI.Session".
ObjectPtr CreateSession();

// Replaces the session factory (null restores the system's). Tests play the
// mail system with it: a user cancelling a compose window cannot be set up
// for real.
void InstallSessionFactory(std::function<ObjectPtr()> factory);

} // namespace tamberlin::platform::cdo
