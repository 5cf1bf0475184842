// Who and where the program runs, on Linux.
#include "platform/machine.h"

#include <cerrno>
#include <cstdlib>
#include <pwd.h>
#include <sys/random.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace tamberlin::platform::machine {
namespace {

const passwd* Account() {
    // Read-only use of a static entry: only the report's builder, on one
    // thread, asks.
    return getpwuid(getuid());
}

} // namespace

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home)
        return home;
    const passwd* account = Account();
    return account && account->pw_dir ? account->pw_dir : "";
}

std::string UserName() {
    const passwd* account = Account();
    if (account && account->pw_name)
        return account->pw_name;
    const char* name = std::getenv("USER");
    return name ? name : "";
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "";
    return name;
}

std::string SystemName() {
    return "Linux";
}

std::string SystemVersion() {
    utsname names{};
    if (uname(&names) != 0)
        return "";
    // "6.1.0-18-amd64": the numbers before the distribution's suffix.
    std::string release = names.release;
    const auto end = release.find_first_not_of("0123456789.");
    return end == std::string::npos ? release : release.substr(0, end);
}

std::string KernelVersion() {
    utsname names{};
    return uname(&names) == 0 ? std::string(names.release) + " " + names.version : "";
}

std::string Architecture() {
#if defined(__x86_64__)
    return "x86_64";
#elif defined(__i386__)
    return "x86";
#elif defined(__aarch64__)
    return "aarch64";
#else
    return "unknown";
#endif
}

bool RandomBytes(void* bytes, std::size_t size) {
    auto* out = static_cast<unsigned char*>(bytes);
    while (size > 0) {
        const ssize_t got = getrandom(out, size, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        out += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace tamberlin::platform::machine
