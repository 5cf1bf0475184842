// Files and folders on POSIX systems.
#include "platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlin::platform::files {
namespace {

Listing FromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ELOOP:
        return Listing::kNoEntry;
    case ENAMETOOLONG:
    case EINVAL:
        return Listing::kBadName;
    default:
        return Listing::kAccessError;
    }
}

bool Passes(const struct stat& st, unsigned attributes) {
    return !S_ISDIR(st.st_mode) || (attributes & kDirectory);
}

} // namespace

Listing FirstEntry(std::string_view pattern, unsigned attributes) {
    if (pattern.empty())
        return Listing::kNoEntry;
    if (pattern.find('\0') != std::string_view::npos)
        return Listing::kBadName;
    const size_t slash = pattern.rfind('/');
    const std::string folder(slash == std::string_view::npos ? "./" : pattern.substr(0, slash + 1));
    const std::string name(slash == std::string_view::npos ? pattern : pattern.substr(slash + 1));

    // A plain name is one lookup; only wildcards (or a folder's own listing)
    // need to read the folder.
    if (!name.empty() && name.find_first_of("*?") == std::string::npos) {
        struct stat st;
        if (stat(std::string(pattern).c_str(), &st) != 0)
            return FromErrno(errno);
        return Passes(st, attributes) ? Listing::kEntry : Listing::kNoEntry;
    }
    // A folder's own listing with folders let through yields "." at least,
    // exactly when the folder can be read and searched: one check answers it.
    if (name.empty() && (attributes & kDirectory)) {
        if (faccessat(AT_FDCWD, folder.c_str(), R_OK | X_OK, AT_EACCESS) == 0)
            return Listing::kEntry;
        return errno == EACCES ? Listing::kAccessError : FromErrno(errno);
    }
    DIR* dir = opendir(folder.c_str());
    if (!dir)
        return FromErrno(errno);
    Listing result = Listing::kNoEntry;
    while (const dirent* entry = readdir(dir)) {
        if (!name.empty() && fnmatch(name.c_str(), entry->d_name, 0) != 0)
            continue;
        struct stat st;
        if (stat((folder + entry->d_name).c_str(), &st) == 0 && Passes(st, attributes)) {
            result = Listing::kEntry;
            break;
        }
    }
    closedir(dir);
    return result;
}

bool CreateFolder(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    const std::string text(path);
    if (mkdir(text.c_str(), 0777) == 0)
        return true;
    // Another process may have made it first: a folder is what was asked for.
    struct stat st;
    return errno == EEXIST && stat(text.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Existing ExistingFile(std::string_view path) {
    struct stat st;
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return Existing::kUnknown;
    if (stat(std::string(path).c_str(), &st) != 0)
        return FromErrno(errno) == Listing::kNoEntry ? Existing::kNone : Existing::kUnknown;
    if (S_ISDIR(st.st_mode))
        return Existing::kNone;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) ? Existing::kWritable : Existing::kReadOnly;
}

int ReadOnlyAttribute(std::string_view path) {
    struct stat st;
    if (path.find('\0') != std::string_view::npos || stat(std::string(path).c_str(), &st) != 0)
        return -1;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) ? 0 : 1;
}

bool AppendToFile(std::string_view path, std::string_view bytes) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    // A new file (the error log among them) is private: it holds what the
    // user's errors said.
    const int fd = open(std::string(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    // O_APPEND makes each write land at the end as a whole. A full disk or a
    // size limit can still take only part of it: that part is cut off again,
    // so the file never holds half an entry for the next one to continue.
    std::size_t done = 0;
    off_t start = -1;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (start < 0)
            start = lseek(fd, 0, SEEK_CUR) - n;
        done += static_cast<std::size_t>(n);
    }
    if (done != bytes.size() && start >= 0)
        (void)!ftruncate(fd, start);
    const bool closed = close(fd) == 0;
    return done == bytes.size() && closed;
}

bool CreateNewFile(std::string_view path, std::string_view bytes) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    const std::string name(path);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put > 0)
            done += static_cast<size_t>(put);
        else
            ok = put < 0 && errno == EINTR;
    }
    if (close(fd) != 0)
        ok = false;
    if (!ok) {
        const int why = errno;
        unlink(name.c_str());
        errno = why;
    }
    return ok;
}

std::string LastErrorText() {
    char text[256];
    // GNU's strerror_r may return a static text rather than fill ours.
    return strerror_r(errno, text, sizeof text);
}

bool ReadWholeFile(std::string_view path, std::string& bytes) {
    bytes.clear();
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    const int fd = open(std::string(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got > 0)
            bytes.append(buffer, static_cast<size_t>(got));
        else if (got == 0 || errno != EINTR) {
            ok = got == 0;
            break;
        }
    }
    close(fd);
    return ok;
}

OwnRead ReadOwnFile(std::string_view path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return OwnRead::kFailed;
    // O_NONBLOCK: a FIFO named like the file must not hold the open.
    const int fd =
        open(std::string(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ELOOP ? OwnRead::kRefused : OwnRead::kFailed;
    struct stat st;
    OwnRead result = OwnRead::kWhole;
    if (fstat(fd, &st) != 0)
        result = OwnRead::kFailed;
    else if (!S_ISREG(st.st_mode) || st.st_uid != geteuid())
        result = OwnRead::kRefused;
    char buffer[65536];
    while (result == OwnRead::kWhole) {
        const size_t want = std::min(sizeof buffer, limit + 1 - bytes.size());
        const ssize_t got = read(fd, buffer, want);
        if (got > 0)
            bytes.append(buffer, static_cast<size_t>(got));
        else if (got == 0)
            break;
        else if (errno != EINTR)
            result = OwnRead::kFailed;
        if (bytes.size() > limit) {
            bytes.resize(limit);
            result = OwnRead::kCut;
        }
    }
    close(fd);
    if (result == OwnRead::kRefused || result == OwnRead::kFailed)
        bytes.clear();
    return result;
}

std::vector<std::string> FileNames(std::string_view folder, std::string_view pattern) {
    std::vector<std::string> names;
    if (folder.find('\0') != std::string_view::npos)
        return names;
    std::string base(folder);
    if (!base.empty() && base.back() != '/')
        base += '/';
    DIR* dir = opendir(base.empty() ? "." : base.c_str());
    if (!dir)
        return names;
    const std::string wanted(pattern);
    while (const dirent* entry = readdir(dir)) {
        struct stat st;
        if (fnmatch(wanted.c_str(), entry->d_name, 0) == 0 &&
            lstat((base + entry->d_name).c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(entry->d_name);
    }
    closedir(dir);
    return names;
}

bool RemoveFile(std::string_view path) {
    return !path.empty() && path.find('\0') == std::string_view::npos &&
           unlink(std::string(path).c_str()) == 0;
}

PrivateFolder PreparePrivateFolder(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return PrivateFolder::kUnusable;
    const std::string name(path);
    if (mkdir(name.c_str(), 0700) != 0 && errno != EEXIST)
        return PrivateFolder::kUnusable;
    struct stat st;
    if (lstat(name.c_str(), &st) != 0)
        return PrivateFolder::kUnusable;
    if (S_ISLNK(st.st_mode))
        return PrivateFolder::kLink;
    if (!S_ISDIR(st.st_mode))
        return PrivateFolder::kUnusable;
    if (st.st_uid != geteuid())
        return PrivateFolder::kNotOurs;
    if ((st.st_mode & 0777) != 0700 && chmod(name.c_str(), 0700) != 0)
        return PrivateFolder::kUnusable;
    return PrivateFolder::kReady;
}

namespace {

// Writes all of `bytes` to `fd`; false on a failure (a full disk, a size
// limit).
bool WriteAll(int fd, std::string_view bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const ssize_t put = write(fd, bytes.data() + done, bytes.size() - done);
        if (put > 0)
            done += static_cast<std::size_t>(put);
        else if (put == 0 || errno != EINTR)
            return false;
    }
    return true;
}

} // namespace

Publish PublishNewFile(std::string_view path, std::string_view bytes) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return Publish::kFailed;
    const std::string name(path);
    const std::size_t slash = name.rfind('/');
    const std::string temp = name.substr(0, slash + 1) + "." +
                             name.substr(slash == std::string::npos ? 0 : slash + 1) + ".tmp";
    const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST ? Publish::kNameTaken : Publish::kFailed;
    bool ok = WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = close(fd) == 0 && ok;
    Publish result = ok ? Publish::kDone : Publish::kFailed;
    // link() never replaces an existing file, unlike rename().
    if (ok && link(temp.c_str(), name.c_str()) != 0)
        result = errno == EEXIST ? Publish::kNameTaken : Publish::kFailed;
    unlink(temp.c_str());
    return result;
}

bool ReadFileStart(std::string_view path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    const int fd = open(std::string(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool ok = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    bytes.resize(limit);
    std::size_t got = 0;
    while (ok && got < limit) {
        const ssize_t n = read(fd, bytes.data() + got, limit - got);
        if (n > 0)
            got += static_cast<std::size_t>(n);
        else if (n == 0)
            break;
        else
            ok = errno == EINTR;
    }
    bytes.resize(got);
    close(fd);
    return ok;
}

bool RenameFile(std::string_view from, std::string_view to) {
    if (from.empty() || to.empty() || from.find('\0') != std::string_view::npos ||
        to.find('\0') != std::string_view::npos)
        return false;
    return rename(std::string(from).c_str(), std::string(to).c_str()) == 0;
}

} // namespace tamberlin::platform::files
