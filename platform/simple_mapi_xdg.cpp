// Simple MAPI on Linux: the message goes to the user's mail client through
// xdg-email (package xdg-utils), run without a shell.
//
// xdg-email refuses arguments that look like options, but for some mail
// clients it packs recipient, subject, body and attachments into one
// "-compose" field string in which a quote or a comma would start a new
// field. Recipients are therefore accepted only as plain addresses, and
// attachment paths only without quotes and commas.
#include "platform/seams.h"
#include "platform/simple_mapi.h"

#include <cerrno>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tamberlin::platform::mapi {
namespace {

constexpr const char* kProgram = "xdg-email";

bool OnSearchPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string list = path ? path : "";
    size_t start = 0;
    while (start <= list.size()) {
        const size_t end = std::min(list.find(':', start), list.size());
        // An empty entry is the current folder.
        std::string candidate = end > start ? list.substr(start, end - start) : ".";
        candidate += '/';
        candidate += program;
        if (access(candidate.c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// The address of a recipient: its resolved address without the address type,
// or else its name.
std::string AddressOf(const Recipient& r) {
    if (r.address && !r.address->empty()) {
        const std::string& a = *r.address;
        return a.compare(0, 5, "SMTP:") == 0 || a.compare(0, 5, "smtp:") == 0 ? a.substr(5) : a;
    }
    return r.name.value_or("");
}

// Mail bodies use the platform's line breaks; CR LF would arrive doubled.
std::string LineFeeds(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

// Runs xdg-email and waits; its exit status, or -1 when it could not run.
int Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, kProgram, nullptr, nullptr, argv.data(), environ) != 0)
        return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class XdgEmailProvider final : public Provider {
public:
    std::uint32_t Logon(std::uintptr_t, const std::string&, const std::string&, std::uint32_t,
                        Session& session) override {
        if (!OnSearchPath(kProgram))
            return kLoginFailure;
        session = next_session_++;
        return kSuccess;
    }

    std::uint32_t ResolveName(Session session, std::uintptr_t, const std::string& name,
                              std::uint32_t, Recipient& recipient) override {
        if (session == 0 || session >= next_session_)
            return kInvalidSession;
        if (!IsPlainAddress(name))
            return kUnknownRecipient;
        recipient = Recipient{};
        recipient.recip_class = kTo;
        recipient.name = name;
        recipient.address = "SMTP:" + name;
        return kSuccess;
    }

    std::uint32_t SendMail(Session session, std::uintptr_t, const Message& message,
                           std::uint32_t flags) override {
        if (session >= next_session_)
            return kInvalidSession;
        // There is no sending behind the user's back: the mail client's
        // compose window is the only way out.
        if (!(flags & kDialog))
            return kNotSupported;
        // xdg-email refuses an empty subject or body: those are left out.
        std::vector<std::string> args = {kProgram, "--utf8"};
        if (message.subject && !message.subject->empty())
            args.insert(args.end(), {"--subject", LineFeeds(*message.subject)});
        if (message.note_text && !message.note_text->empty())
            args.insert(args.end(), {"--body", LineFeeds(*message.note_text)});
        for (const File& f : message.files) {
            const std::string path = f.path_name.value_or("");
            struct stat st;
            if (path.empty() || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
                return kAttachmentNotFound;
            if (path.find_first_of("',\"") != std::string::npos || path.front() == '-')
                return kAttachmentOpenFailure;
            args.insert(args.end(), {"--attach", path});
        }
        for (const Recipient& r : message.recipients) {
            const std::string address = AddressOf(r);
            if (!IsPlainAddress(address))
                return kUnknownRecipient;
            args.push_back(address);
        }
        if (!OnSearchPath(kProgram))
            return kLoginFailure;
        switch (Run(args)) {
        case 0:
            return kSuccess;
        case 2: // an attachment it could not find
            return kAttachmentNotFound;
        case 3: // no mail client configured
            return kLoginFailure;
        default:
            return kFailure;
        }
    }

    std::uint32_t Logoff(Session session, std::uintptr_t, std::uint32_t) override {
        return session != 0 && session < next_session_ ? kSuccess : kInvalidSession;
    }

private:
    Session next_session_ = 1;
};

} // namespace

Provider& SystemProvider() {
    static XdgEmailProvider provider;
    return provider;
}

} // namespace tamberlin::platform::mapi
