// Files and folders on POSIX systems.
#include "platform/files.h"

#include <cerrno>
#include <dirent.h>
#include <fnmatch.h>
#include <string>
#include <sys/stat.h>

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
    const std::string folder(slash == std::string_view::npos ? "." : pattern.substr(0, slash + 1));
    const std::string name(slash == std::string_view::npos ? pattern : pattern.substr(slash + 1));

    // A plain name is one lookup; only wildcards (or a folder's own listing)
    // need to read the folder.
    if (!name.empty() && name.find_first_of("*?") == std::string::npos) {
        struct stat st;
        if (stat(std::string(pattern).c_str(), &st) != 0)
            return FromErrno(errno);
        return Passes(st, attributes) ? Listing::kEntry : Listing::kNoEntry;
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
    return mkdir(std::string(path).c_str(), 0777) == 0;
}

} // namespace tamberlin::platform::files
