// System queries on Linux.
#include "platform/system.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <fontconfig/fontconfig.h>
#include <langinfo.h>
#include <mutex>
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

// The user's locale as setlocale(LC_ALL, "") would choose it from the
// environment, as a locale object so the process-wide locale (and with it
// every printf) stays as it is. An environment that names a locale which is
// not installed gives the C locale, as setlocale does. Loading a locale costs
// a hundred microseconds or more, so the object is kept while the variables
// that choose it stay the same.
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
        }
        return locale_ ? nl_langinfo_l(item, locale_) : "";
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

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + std::min(argc, 1), argv + argc);
}

void UseUtf8Console() {}

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
