// Simple MAPI on Windows: the functions of the system mail library,
// MAPI32.DLL, loaded and bound by name at their first call. The plain-record
// functions are used (MAPIResolveName, MAPISendMail); texts are converted to
// the ANSI code page on the way in and back on the way out.
#include <windows.h>

#include "platform/seams.h"
#include "platform/simple_mapi.h"
#include "platform/text.h"
#include "tamberlin/runtime/error.h"

#include <mapi.h>
#include <memory>

namespace tamberlin::platform::mapi {
namespace {

constexpr std::int32_t kCannotLoadDll = 48; // "Error in loading DLL"
constexpr std::int32_t kNoEntryPoint = 453; // the DLL lacks the function

HMODULE Library() {
    static const HMODULE library = LoadLibraryA("MAPI32.DLL");
    return library;
}

// One bound function: the library is loaded, and the function looked up,
// when it is first called.
template <typename Function> Function* Bind(const char* name) {
    const HMODULE library = Library();
    if (!library)
        runtime::Raise(kCannotLoadDll, "Error in loading DLL MAPI32.DLL");
    auto* function =
        reinterpret_cast<Function*>(reinterpret_cast<void*>(GetProcAddress(library, name)));
    if (!function)
        runtime::Raise(kNoEntryPoint,
                       std::string("Can't find DLL entry point ") + name + " in MAPI32.DLL");
    return function;
}

// ANSI copies of a record's texts, alive for the duration of one call.
class AnsiTexts {
public:
    // The text's ANSI copy, or null for an unset field.
    LPSTR operator()(const std::optional<std::string>& text) {
        if (!text)
            return nullptr;
        texts_.push_back(std::make_unique<std::string>(AnsiFromUtf8(*text)));
        return texts_.back()->data();
    }
    LPSTR operator()(const std::string& text) { return (*this)(std::optional<std::string>(text)); }

private:
    std::vector<std::unique_ptr<std::string>> texts_;
};

std::optional<std::string> Utf8(LPCSTR text) {
    return text ? std::optional<std::string>(Utf8FromAnsi(text)) : std::nullopt;
}

class Mapi32Provider final : public Provider {
public:
    std::uint32_t Logon(std::uintptr_t ui_param, const std::string& profile,
                        const std::string& password, std::uint32_t flags,
                        Session& session) override {
        AnsiTexts ansi;
        LHANDLE handle = 0;
        const ULONG rc = Bind<MAPILOGON>("MAPILogon")(ui_param, ansi(profile), ansi(password),
                                                      flags, 0, &handle);
        if (rc == SUCCESS_SUCCESS)
            session = static_cast<Session>(handle);
        return rc;
    }

    std::uint32_t ResolveName(Session session, std::uintptr_t ui_param, const std::string& name,
                              std::uint32_t flags, Recipient& recipient) override {
        AnsiTexts ansi;
        lpMapiRecipDesc resolved = nullptr;
        const ULONG rc = Bind<MAPIRESOLVENAME>("MAPIResolveName")(session, ui_param, ansi(name),
                                                                  flags, 0, &resolved);
        if (rc == SUCCESS_SUCCESS && resolved) {
            recipient.reserved = resolved->ulReserved;
            recipient.recip_class = resolved->ulRecipClass;
            recipient.name = Utf8(resolved->lpszName);
            recipient.address = Utf8(resolved->lpszAddress);
            recipient.entry_id.assign(static_cast<const char*>(resolved->lpEntryID),
                                      resolved->lpEntryID ? resolved->ulEIDSize : 0);
        }
        if (resolved)
            Bind<std::remove_pointer_t<LPMAPIFREEBUFFER>>("MAPIFreeBuffer")(resolved);
        return rc;
    }

    std::uint32_t SendMail(Session session, std::uintptr_t ui_param, const Message& message,
                           std::uint32_t flags) override {
        AnsiTexts ansi;
        std::vector<MapiRecipDesc> recipients;
        for (const Recipient& r : message.recipients)
            recipients.push_back(
                {r.reserved, r.recip_class, ansi(r.name), ansi(r.address),
                 static_cast<ULONG>(r.entry_id.size()),
                 r.entry_id.empty() ? nullptr : const_cast<char*>(r.entry_id.data())});
        std::vector<MapiFileDesc> files;
        for (const File& f : message.files)
            files.push_back({f.reserved, f.flags, static_cast<ULONG>(f.position), ansi(f.path_name),
                             ansi(f.file_name), ansi(f.file_type)});
        MapiMessage m = {};
        m.ulReserved = message.reserved;
        m.lpszSubject = ansi(message.subject);
        m.lpszNoteText = ansi(message.note_text);
        m.lpszMessageType = ansi(message.message_type);
        m.lpszDateReceived = ansi(message.date_received);
        m.lpszConversationID = ansi(message.conversation_id);
        m.flFlags = message.flags;
        m.nRecipCount = static_cast<ULONG>(recipients.size());
        m.lpRecips = recipients.empty() ? nullptr : recipients.data();
        m.nFileCount = static_cast<ULONG>(files.size());
        m.lpFiles = files.empty() ? nullptr : files.data();
        return Bind<MAPISENDMAIL>("MAPISendMail")(session, ui_param, &m, flags, 0);
    }

    std::uint32_t Logoff(Session session, std::uintptr_t ui_param, std::uint32_t flags) override {
        return Bind<MAPILOGOFF>("MAPILogoff")(session, ui_param, flags, 0);
    }
};

} // namespace

Provider& SystemProvider() {
    static Mapi32Provider provider;
    return provider;
}

} // namespace tamberlin::platform::mapi
