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

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
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

// The program's absolute path, found in PATH's absolute entries only (the
// system's default path when PATH is unset); empty when none holds it. An
// empty entry, "." or a relative one would run whatever the current folder
// holds. Both the check and the start use this one answer.
std::string Resolve(const char* program) {
    std::string list;
    if (const char* path = std::getenv("PATH")) {
        list = path;
    } else if (const size_t size = confstr(_CS_PATH, nullptr, 0); size > 0) {
        list.resize(size);
        confstr(_CS_PATH, list.data(), size);
        list.resize(size - 1);
    }
    for (size_t start = 0; start <= list.size();) {
        const size_t end = std::min(list.find(':', start), list.size());
        const std::string folder = list.substr(start, end - start);
        start = end + 1;
        if (folder.empty() || folder[0] != '/')
            continue;
        const std::string candidate = folder + "/" + program;
        struct stat st;
        if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
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

constexpr const char* kCopyFolderPrefix = "tamberlin-mail-";

// A new folder only this user can enter, in the session's runtime folder when
// it has a usable one: the copies live as long as the session, since the
// mail client may read them any time later. Elsewhere they are removed a day
// later (RemoveStaleCopies).
std::string PrivateFolder() {
    for (const char* variable : {"XDG_RUNTIME_DIR", "TMPDIR", ""}) {
        const char* value = *variable ? std::getenv(variable) : "/tmp";
        if (!value || value[0] != '/' || !TravelsSafely(value))
            continue;
        std::string folder = std::string(value) + "/" + kCopyFolderPrefix + "XXXXXX";
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

// Removes private copies and their folders.
void RemoveCopies(const std::vector<std::string>& copies) {
    for (const std::string& copy : copies) {
        unlink(copy.c_str());
        rmdir(copy.substr(0, copy.rfind('/')).c_str());
    }
}

// Removes the copy folders of ours older than a day from the fallback places
// (not the runtime folder, which the session's end clears): a mail client
// has long read them.
void RemoveStaleCopies() {
    const std::time_t day_ago = std::time(nullptr) - 24 * 60 * 60;
    for (const char* variable : {"TMPDIR", ""}) {
        const char* value = *variable ? std::getenv(variable) : "/tmp";
        if (!value || value[0] != '/')
            continue;
        DIR* dir = opendir(value);
        if (!dir)
            continue;
        while (const dirent* entry = readdir(dir)) {
            const std::string folder = std::string(value) + "/" + entry->d_name;
            struct stat st;
            if (std::string_view(entry->d_name).rfind(kCopyFolderPrefix, 0) != 0 ||
                lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != geteuid() ||
                st.st_mtime > day_ago)
                continue;
            if (DIR* copies = opendir(folder.c_str())) {
                while (const dirent* copy = readdir(copies))
                    if (copy->d_name[0] != '.')
                        unlink((folder + "/" + copy->d_name).c_str());
                closedir(copies);
            }
            rmdir(folder.c_str());
        }
        closedir(dir);
    }
}

// The path to attach for `path`: its real path, or a private copy (added to
// `copies`) when that would not travel safely. kSuccess or the simple MAPI
// error: a copy that cannot be made is the disk's failure, not the message's.
std::uint32_t Attachable(const std::string& path, std::string& attach,
                         std::vector<std::string>& copies) {
    char resolved[PATH_MAX];
    struct stat st;
    if (path.empty() || !realpath(path.c_str(), resolved) || stat(resolved, &st) != 0 ||
        !S_ISREG(st.st_mode))
        return kAttachmentNotFound;
    attach = resolved;
    if (TravelsSafely(attach))
        return kSuccess;
    attach = PrivateCopy(attach);
    if (attach.empty())
        return kDiskFull;
    copies.push_back(attach);
    return kSuccess;
}

// How long the message may take to reach the mail client before it counts as
// handed over. Several routes run the client in the foreground, so xdg-email
// lasts as long as the compose window; a failure shows within this time.
constexpr auto kHandOffBound = std::chrono::seconds(5);

// Starts `program` with /dev/null for its standard streams: a mail client
// may stay open for hours, and must not hold the pipes of whoever reads ours.
// Our other descriptors are close-on-exec; any the host program left open
// are closed too where the C library can do so. The process id, or -1.
pid_t Start(const std::string& program, const std::string& uri) {
    std::string name = kProgram;
    std::string argument = uri;
    char* argv[] = {name.data(), argument.data(), nullptr};
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return -1;
    bool ready = posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0) == 0 &&
                 posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0) == 0 &&
                 posix_spawn_file_actions_adddup2(&actions, 1, 2) == 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
    ready = ready && posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0;
#endif
    pid_t pid = -1;
    if (!ready || posix_spawn(&pid, program.c_str(), &actions, nullptr, argv, environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Runs xdg-email (its resolved path) with the URI, running the wait pump
// while it runs, so the window that asked keeps painting and answering. Its
// exit status; 0 when it still runs after kHandOffBound; -1 when it could not
// run. A client that fails after the bound gets the late-failure handler and
// its private copies removed.
int HandOff(const std::string& program, const std::string& uri,
            const std::vector<std::string>& copies) {
    const LateFailure late = CurrentLateFailureHandler();
    const WaitPump pump = CurrentWaitPump();
    const pid_t pid = Start(program, uri);
    if (pid < 0)
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
        if (pump)
            pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    // Still running: the compose window is open. A thread waits for it so it
    // leaves no zombie. Not a SIGCHLD handler, which would take the signal
    // from the host program and its toolkit; not a double fork, which would
    // hide the exit status of the first seconds.
    try {
        std::thread([pid, late, copies] {
            crash::PrepareThread();
            int status = 0;
            while (waitpid(pid, &status, 0) < 0)
                if (errno != EINTR)
                    return;
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            if (code == 0)
                return;
            RemoveCopies(copies);
            try {
                if (late)
                    late(code);
            } catch (...) {
                // Nothing to tell anyone on this thread.
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
        if (Resolve(kProgram).empty())
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
        std::vector<std::string> to, attachments, copies;
        for (const Recipient& r : message.recipients) {
            to.push_back(AddressOf(r));
            if (!IsPlainAddress(to.back()))
                return kUnknownRecipient;
        }
        std::uint32_t rc = kSuccess;
        for (const File& f : message.files) {
            std::string attach;
            if ((rc = Attachable(f.path_name.value_or(""), attach, copies)) != kSuccess)
                break;
            attachments.push_back(attach);
        }
        const std::string program = Resolve(kProgram);
        if (rc == kSuccess && program.empty())
            rc = kLoginFailure;
        if (rc == kSuccess) {
            const std::string uri = mailto::Uri(to, message.subject.value_or(""),
                                                message.note_text.value_or(""), attachments);
            switch (HandOff(program, uri, copies)) {
            case 0:
                return kSuccess; // the copies stay for the client to read
            case 2:              // an attachment it could not find
                rc = kAttachmentNotFound;
                break;
            case 3: // no mail client configured
                rc = kLoginFailure;
                break;
            default:
                rc = kFailure;
            }
        }
        RemoveCopies(copies);
        return rc;
    }

    std::uint32_t Logoff(Session session, std::uintptr_t, std::uint32_t) override {
        return session != 0 && session < next_session_ ? kSuccess : kInvalidSession;
    }

private:
    Session next_session_ = 1;
};

} // namespace

Provider& SystemProvider() {
    static XdgEmailProvider provider = [] {
        RemoveStaleCopies();
        return XdgEmailProvider();
    }();
    return provider;
}

} // namespace tamberlin::platform::mapi
