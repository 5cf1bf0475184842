// Simple MAPI: handing a message to the user's mail client.
//
// Four calls, as the system mail library has them: MAPILogon, MAPIResolveName,
// MAPISendMail and MAPILogoff, each returning a simple MAPI result code
// (SUCCESS_SUCCESS, MAPI_USER_ABORT, MAPI_E_...). The records are C++ values
// with UTF-8 texts; an unset text field is an empty optional.
//
// On Windows the provider is MAPI32.DLL, loaded and bound by name at the
// first call; a library or function that cannot be bound raises a run-time
// error (48 or 453), as a failed DLL call does. On Linux the provider hands
// the message to the user's mail client through xdg-email as one mailto: URI,
// run without a shell; recipients must be plain addresses, and an attachment
// whose path is not safe to pass on goes as a private copy. It waits for
// xdg-email a few seconds at most, running the wait pump meanwhile: still
// running then, the message counts as handed over.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace tamberlin::platform::mapi {

// Result codes.
inline constexpr std::uint32_t kSuccess = 0;                // SUCCESS_SUCCESS
inline constexpr std::uint32_t kUserAbort = 1;              // MAPI_USER_ABORT
inline constexpr std::uint32_t kFailure = 2;                // MAPI_E_FAILURE
inline constexpr std::uint32_t kLoginFailure = 3;           // MAPI_E_LOGIN_FAILURE
inline constexpr std::uint32_t kDiskFull = 4;               // MAPI_E_DISK_FULL
inline constexpr std::uint32_t kInsufficientMemory = 5;     // MAPI_E_INSUFFICIENT_MEMORY
inline constexpr std::uint32_t kAttachmentNotFound = 11;    // MAPI_E_ATTACHMENT_NOT_FOUND
inline constexpr std::uint32_t kAttachmentOpenFailure = 12; // MAPI_E_ATTACHMENT_OPEN_FAILURE
inline constexpr std::uint32_t kUnknownRecipient = 14;      // MAPI_E_UNKNOWN_RECIPIENT
inline constexpr std::uint32_t kInvalidSession = 19;        // MAPI_E_INVALID_SESSION
inline constexpr std::uint32_t kAmbiguousRecipient = 21;    // MAPI_E_AMBIGUOUS_RECIPIENT
inline constexpr std::uint32_t kNotSupported = 26;          // MAPI_E_NOT_SUPPORTED

// Flags.
inline constexpr std::uint32_t kLogonUi = 0x00000001;    // MAPI_LOGON_UI
inline constexpr std::uint32_t kNewSession = 0x00000002; // MAPI_NEW_SESSION
inline constexpr std::uint32_t kDialog = 0x00000008;     // MAPI_DIALOG
inline constexpr std::uint32_t kTo = 1;                  // MAPI_TO

using Session = std::uint32_t;

struct Recipient {
    std::uint32_t reserved = 0;
    std::uint32_t recip_class = 0;
    std::optional<std::string> name;
    std::optional<std::string> address;
    std::string entry_id; // EIDSize is its size
};

struct File {
    std::uint32_t reserved = 0;
    std::uint32_t flags = 0;
    std::int32_t position = 0;
    std::optional<std::string> path_name;
    std::optional<std::string> file_name;
    std::optional<std::string> file_type;
};

struct Message {
    std::uint32_t reserved = 0;
    std::optional<std::string> subject;
    std::optional<std::string> note_text;
    std::optional<std::string> message_type;
    std::optional<std::string> date_received;
    std::optional<std::string> conversation_id;
    std::uint32_t flags = 0;
    std::vector<Recipient> recipients; // RecipCount is their number
    std::vector<File> files;           // FileCount is their number
};

class Provider {
public:
    virtual ~Provider() = default;
    virtual std::uint32_t Logon(std::uintptr_t ui_param, const std::string& profile,
                                const std::string& password, std::uint32_t flags,
                                Session& session) = 0;
    virtual std::uint32_t ResolveName(Session session, std::uintptr_t ui_param,
                                      const std::string& name, std::uint32_t flags,
                                      Recipient& recipient) = 0;
    virtual std::uint32_t SendMail(Session session, std::uintptr_t ui_param, const Message& message,
                                   std::uint32_t flags) = 0;
    virtual std::uint32_t Logoff(Session session, std::uintptr_t ui_param, std::uint32_t flags) = 0;
};

// The system's provider, or the one installed by InstallProvider.
Provider& CurrentProvider();
// Installs `provider` (not owned) in place of the system's; nullptr restores
// it. Tests install a scripted mail system: what a mail client answers
// (including a user cancelling its compose window) cannot be played for real.
void InstallProvider(Provider* provider);

// What to do when a message that counted as handed over (its mail client was
// still running at the bound) fails after all: called on another thread,
// once, with the client's exit status. A send takes the handler set when it
// starts. Returns the previous handler.
using LateFailure = std::function<void(int status)>;
LateFailure SetLateFailureHandler(LateFailure handler);
LateFailure CurrentLateFailureHandler();

// What a provider runs while it waits for the mail client, between its looks
// at it: the layer that owns the event loop installs its pump (ui/ installs
// DoEvents before main runs), so the window that asked keeps painting and
// answering. None: the wait only sleeps. Returns the previous pump.
using WaitPump = void (*)();
WaitPump SetWaitPump(WaitPump pump) noexcept;
WaitPump CurrentWaitPump() noexcept;

// Whether the text is one plain e-mail address (local@domain, no blanks,
// quotes, commas, angle brackets or a leading "-").
bool IsPlainAddress(const std::string& text);

} // namespace tamberlin::platform::mapi
