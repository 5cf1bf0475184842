// System queries on Linux.
#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <iconv.h>
#include <langinfo.h>
#include <map>
#include <mutex>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace tamberlin::platform::system {
namespace {

// A pattern after the same substitutions an application's font request
// goes through, matched against the installed fonts. Null when fontconfig
// has no fonts at all.
FcPattern* Match(FcPattern* pattern) {
    if (!FcInit())
        return nullptr;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    return FcFontMatch(nullptr, pattern, &result);
}

// `text` in the character set `codeset` as UTF-8; unchanged when it is
// UTF-8 or ASCII already, or cannot be converted.
std::string Utf8From(const char* codeset, std::string text) {
    const std::string_view from(codeset);
    if (from == "UTF-8" || from == "ANSI_X3.4-1968" || text.empty())
        return text;
    const iconv_t converter = iconv_open("UTF-8", codeset);
    if (converter == reinterpret_cast<iconv_t>(-1))
        return text;
    std::string out(text.size() * 4, '\0');
    char* in = text.data();
    size_t in_left = text.size();
    char* to = out.data();
    size_t out_left = out.size();
    const size_t done = iconv(converter, &in, &in_left, &to, &out_left);
    iconv_close(converter);
    if (done == static_cast<size_t>(-1))
        return text;
    out.resize(out.size() - out_left);
    return out;
}

// The user's locale as setlocale(LC_ALL, "") would choose it from the
// environment, as a locale object so the process-wide locale (and with it
// every printf) stays as it is. An environment that names a locale which is
// not installed gives the C locale, as setlocale does. Loading a locale costs
// a hundred microseconds or more, so the object is kept while the variables
// that choose it stay the same; its items are in the locale's own character
// set, and are kept converted to UTF-8, as the rest of the program's text is.
class UserLocale {
public:
    std::string Item(nl_item item) {
        std::lock_guard lock(mutex_);
        const std::string key = Key();
        if (!locale_ || key != key_) {
            if (locale_)
                freelocale(locale_);
            locale_ = newlocale(LC_ALL_MASK, "", static_cast<locale_t>(0));
            if (!locale_)
                locale_ = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
            key_ = key;
            items_.clear();
        }
        if (!locale_)
            return {};
        const auto [it, added] = items_.try_emplace(item);
        if (added)
            it->second = Utf8From(nl_langinfo_l(CODESET, locale_), nl_langinfo_l(item, locale_));
        return it->second;
    }

private:
    // The locale variables as they stand, in one pass over the environment
    // (rather than a lookup per variable): the locale is made again only
    // when this changes.
    static std::string Key() {
        std::string key;
        for (char** entry = environ; entry && *entry; ++entry) {
            const std::string_view text(*entry);
            if (text.starts_with("LC_") || text.starts_with("LANG=")) {
                key += text;
                key += '\0';
            }
        }
        return key;
    }

    std::mutex mutex_;
    locale_t locale_ = static_cast<locale_t>(0);
    std::string key_;
    std::map<nl_item, std::string> items_;
};

std::string UserLocaleItem(nl_item item) {
    static UserLocale* user = new UserLocale; // kept for the whole run
    return user->Item(item);
}

} // namespace

// /usr holds the operating system's installed files as the Windows folder
// does, and /usr/lib its shared libraries as the system folder does.
std::string WindowsDirectory() {
    return "/usr";
}
std::string SystemDirectory() {
    return "/usr/lib";
}

// One file system tree: its root is the only "drive".
std::string LogicalDriveStrings() {
    return std::string("/\0", 2);
}

std::string DefaultAppDataFolder() {
    // As the settings store seeds its "AppData" entry: an absolute
    // $XDG_DATA_HOME, else the home folder's.
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/')
        return data;
    if (const char* home = std::getenv("HOME"); home && *home)
        return std::string(home) + "/.local/share";
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return std::string(pw->pw_dir) + "/.local/share";
    return {};
}

std::string ExecutablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < buffer.size())
            return std::string(buffer.data(), static_cast<size_t>(n));
        buffer.resize(buffer.size() * 2);
    }
}

// The C library keeps argv[0], which needs no /proc. A name without a "/"
// was found on $PATH, as the shell found it.
std::string InvocationPath() {
    const std::string invoked = program_invocation_name ? program_invocation_name : "";
    std::vector<std::string> candidates;
    if (invoked.find('/') != std::string::npos) {
        candidates.push_back(invoked);
    } else if (const char* path = std::getenv("PATH"); path && !invoked.empty()) {
        for (std::string_view rest = path; !rest.empty();) {
            const size_t colon = std::min(rest.find(':'), rest.size());
            const std::string folder(rest.substr(0, colon));
            candidates.push_back((folder.empty() ? "." : folder) + "/" + invoked);
            rest.remove_prefix(std::min(colon + 1, rest.size()));
        }
    }
    for (const std::string& candidate : candidates) {
        if (access(candidate.c_str(), X_OK) != 0)
            continue;
        if (char* full = realpath(candidate.c_str(), nullptr)) {
            const std::string resolved = full;
            std::free(full);
            return resolved;
        }
    }
    return invoked;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

void UseUtf8Console() {}

bool StandardInputIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

Version ExecutableVersion() {
    return {TAMBERLIN_VERSION_MAJOR, TAMBERLIN_VERSION_MINOR, TAMBERLIN_VERSION_REVISION};
}

std::string DecimalSeparator() {
    return UserLocaleItem(RADIXCHAR);
}

std::string AbbreviatedMonthName(int month) {
    if (month < 1 || month > 12)
        return {};
    return UserLocaleItem(static_cast<nl_item>(ABMON_1 + month - 1));
}

bool OpenWithViewer(std::string_view path) {
    const std::string file(path);
    char* argv[] = {const_cast<char*>("xdg-open"), const_cast<char*>(file.c_str()), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string ProgramSearchPath() {
    const char* path = std::getenv("PATH");
    return path ? path : "";
}

std::string StandardFontName(std::string_view name) {
    const std::string requested(name);
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(requested.c_str()));
    FcPattern* match = Match(pattern);
    FcPatternDestroy(pattern);
    if (!match)
        return {};
    // A font can have several family names (English and localised ones);
    // fontconfig always matches something, so the names decide.
    std::string reported;
    FcChar8* family = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &family) == FcResultMatch; ++i) {
        const std::string candidate = reinterpret_cast<const char*>(family);
        if (i == 0)
            reported = candidate;
        if (candidate == requested) {
            reported = candidate;
            break;
        }
    }
    FcPatternDestroy(match);
    return reported;
}

bool FontInstalled(std::string_view name) {
    if (!FcInit())
        return false;
    // The listing compares families ignoring case and blanks ("DejaVuSans"
    // lists DejaVu Sans), so it only narrows the search; the exact
    // comparison below decides, as the match's names do.
    const std::string requested(name);
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(requested.c_str()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    bool found = false;
    for (int f = 0; fonts && f < fonts->nfont && !found; ++f) {
        FcChar8* family = nullptr;
        for (int i = 0;
             !found && FcPatternGetString(fonts->fonts[f], FC_FAMILY, i, &family) == FcResultMatch;
             ++i)
            found = requested == reinterpret_cast<const char*>(family);
    }
    if (fonts)
        FcFontSetDestroy(fonts);
    return found;
}

bool FontSmoothing() {
    FcPattern* pattern = FcPatternCreate();
    FcPattern* match = Match(pattern);
    FcPatternDestroy(pattern);
    FcBool antialias = FcFalse;
    if (match) {
        FcPatternGetBool(match, FC_ANTIALIAS, 0, &antialias);
        FcPatternDestroy(match);
    }
    return antialias;
}

unsigned FontSmoothingType() {
    FcPattern* pattern = FcPatternCreate();
    FcPattern* match = Match(pattern);
    FcPatternDestroy(pattern);
    int rgba = FC_RGBA_UNKNOWN;
    if (match) {
        FcPatternGetInteger(match, FC_RGBA, 0, &rgba);
        FcPatternDestroy(match);
    }
    const bool subpixel =
        rgba == FC_RGBA_RGB || rgba == FC_RGBA_BGR || rgba == FC_RGBA_VRGB || rgba == FC_RGBA_VBGR;
    return subpixel ? 2 : 1;
}

} // namespace tamberlin::platform::system
