// The MAPI session and messages controls: a session that signs on to the mail
// system, and a message buffer that composes one message and sends it.
//
// Our own controls, with the members the MAPI/Control transport drives,
// built over simple MAPI (platform/simple_mapi.h) on every platform. A
// failing call raises run-time error 32000 + the simple MAPI code: 32001
// the user cancelled, 32003 logon failed, 32011 attachment not found, 32014
// unknown recipient, and so on (the ranges are named in runtime/error.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace modQFEmailClient {

class MAPISession {
public:
    // 0 while no session is open.
    std::int32_t SessionID() const { return session_; }
    bool DownLoadMail = true;
    bool NewSession = false;

    // Opens a session (the mail system may show its logon dialog).
    void SignOn();
    // Closes the session; nothing to do when none is open.
    void SignOff();

private:
    std::int32_t session_ = 0;
};

class MAPIMessages {
public:
    std::int32_t SessionID = 0;

    // Starts a new outgoing message in the buffer.
    void Compose();
    void RecipAddress(const std::string& address);
    void MsgSubject(const std::string& subject) { subject_ = subject; }
    void MsgNoteText(const std::string& text) { text_ = text; }
    // The attachment that AttachmentName and AttachmentPathName fill.
    std::int16_t AttachmentIndex = 0;
    void AttachmentName(const std::string& name);
    void AttachmentPathName(const std::string& path);
    // Resolves the recipient against the mail system's address book.
    void ResolveName();
    // Hands the message over; with `dialog` the mail client shows its compose
    // window first. Returns when the user has sent or cancelled it.
    void Send(bool dialog);

private:
    struct Attachment {
        std::string name, path;
    };
    Attachment& Current();

    std::string address_, resolved_address_, subject_, text_;
    std::vector<Attachment> attachments_;
};

} // namespace modQFEmailClient
