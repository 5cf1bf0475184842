// Simple MAPI on Linux: the message goes to the user's mail client through
// xdg-email (package xdg-utils), run without a shell.
//
// xdg-email is a shell script that passes its option values through echo,
// which interprets backslashes, and for some mail clients packs recipients
// and attachment paths into one "-compose" field string in which a quote or
// a comma starts a new field. So it gets one argument only: the whole mailto:
// URI, percent-encoded here. Recipients must be plain addresses; an
// attachment whose real path holds anything but letters, digits and "/._+-"
// travels as a private copy with a plain name.
#include "platform/crash.h"
#include "platform/files.h"
#include "platform/mailto.h"
#include "platform/seams.h"
#include "platform/simple_mapi.h"
#include "tamberlin/ui/form.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tamberlin::platform::mapi {
namespace {

namespace files = tamberlin::platform::files;

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

bool PlainCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '+' || c == '-';
}

// A path every route carries unchanged: xdg-email's Thunderbird route decodes
// it into a quoted field and echoes that again, so only these characters are
// sure to survive.
bool TravelsSafely(const std::string& path) {
    for (char c : path)
        if (c != '/' && !PlainCharacter(c))
            return false;
    return true;
}

// The file name with every other character made "_" (and no leading dot or
// dash).
std::string PlainName(const std::string& path) {
    std::string name = path.substr(path.rfind('/') + 1);
    for (char& c : name)
        if (!PlainCharacter(c))
            c = '_';
    if (name.empty())
        return "attachment";
    if (name[0] == '.' || name[0] == '-')
        name[0] = '_';
    return name;
}

// A new folder only this user can enter, in the session's runtime folder when
// it has a usable one: the copies live as long as the session, since the
// mail client may read them any time later.
std::string PrivateFolder() {
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR", ""}) {
        const char* value = *variable ? std::getenv(variable) : "/tmp";
        if (!value || value[0] != '/' || !TravelsSafely(value))
            continue;
        std::string folder = std::string(value) + "/tamberlin-mail-XXXXXX";
        if (mkdtemp(folder.data()))
            return folder;
    }
    return {};
}

// Copies the file to a new private file (mode 0600); its path, or empty.
std::string PrivateCopy(const std::string& source) {
    std::string bytes;
    if (!files::ReadWholeFile(source, bytes))
        return {};
    const std::string folder = PrivateFolder();
    if (folder.empty())
        return {};
    const std::string copy = folder + "/" + PlainName(source);
    if (files::CreateNewFile(copy, bytes))
        return copy;
    rmdir(folder.c_str());
    return {};
}

// The path to attach for `path`: its real path, or a private copy when that
// would not travel safely. kSuccess or the simple MAPI error.
std::uint32_t Attachable(const std::string& path, std::string& attach) {
    char resolved[PATH_MAX];
    struct stat st;
    if (path.empty() || !realpath(path.c_str(), resolved) || stat(resolved, &st) != 0 ||
        !S_ISREG(st.st_mode))
        return kAttachmentNotFound;
    attach = resolved;
    if (!TravelsSafely(attach))
        attach = PrivateCopy(attach);
    return attach.empty() ? kAttachmentOpenFailure : kSuccess;
}

// How long the message may take to reach the mail client before it counts as
// handed over. Several routes run the client in the foreground, so xdg-email
// lasts as long as the compose window; a failure shows within this time.
constexpr auto kHandOffBound = std::chrono::seconds(5);

// Runs xdg-email with the URI, pumping the host's events while it runs, so
// the window that asked keeps painting and answering. Its exit status; 0
// when it still runs after kHandOffBound; -1 when it could not run.
int HandOff(const std::string& uri) {
    std::string program = kProgram;
    std::string argument = uri;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, kProgram, nullptr, nullptr, argv, environ) != 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + kHandOffBound;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (done < 0 && errno != EINTR)
            return -1;
        if (std::chrono::steady_clock::now() >= deadline)
            break;
        ui::DoEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Still running: the compose window is open. A thread waits for it so it
    // leaves no zombie. Not a SIGCHLD handler, which would take the signal
    // from the host program and its toolkit; not a double fork, which would
    // hide the exit status of the first seconds.
    try {
        std::thread([pid] {
            crash::PrepareThread();
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to spare: the process stays a zombie until this one ends.
    }
    return 0;
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
        std::vector<std::string> to, attachments;
        for (const Recipient& r : message.recipients) {
            to.push_back(AddressOf(r));
            if (!IsPlainAddress(to.back()))
                return kUnknownRecipient;
        }
        for (const File& f : message.files) {
            std::string attach;
            if (const std::uint32_t rc = Attachable(f.path_name.value_or(""), attach))
                return rc;
            attachments.push_back(attach);
        }
        if (!OnSearchPath(kProgram))
            return kLoginFailure;
        const std::string uri = mailto::Uri(to, message.subject.value_or(""),
                                            message.note_text.value_or(""), attachments);
        switch (HandOff(uri)) {
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
