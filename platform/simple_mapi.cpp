// What both simple MAPI providers share: the provider in use, and what a
// plain address is.
#include "platform/simple_mapi.h"

#include "platform/seams.h"

#include <atomic>
#include <mutex>
#include <utility>

namespace tamberlin::platform::mapi {
namespace {
Provider* g_installed = nullptr;
// Constant-initialised, so a pump installed before main is never undone.
std::atomic<WaitPump> g_pump{nullptr};
std::mutex g_late_mutex;
LateFailure g_late;

bool LocalCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '_' || c == '%' || c == '+' || c == '-';
}

bool DomainCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
}

} // namespace

Provider& CurrentProvider() {
    return g_installed ? *g_installed : SystemProvider();
}

void InstallProvider(Provider* provider) {
    g_installed = provider;
}

LateFailure SetLateFailureHandler(LateFailure handler) {
    const std::lock_guard lock(g_late_mutex);
    std::swap(g_late, handler);
    return handler;
}

LateFailure CurrentLateFailureHandler() {
    const std::lock_guard lock(g_late_mutex);
    return g_late;
}

WaitPump SetWaitPump(WaitPump pump) noexcept {
    return g_pump.exchange(pump);
}

WaitPump CurrentWaitPump() noexcept {
    return g_pump.load();
}

// Deliberately narrower than what mail standards allow: the text is passed to
// other programs, so quotes, commas, blanks and anything that could read as
// an option or a field separator are refused.
bool IsPlainAddress(const std::string& text) {
    const size_t at = text.find('@');
    if (at == std::string::npos || at == 0 || at + 1 >= text.size() ||
        text.find('@', at + 1) != std::string::npos)
        return false;
    const std::string local = text.substr(0, at);
    const std::string domain = text.substr(at + 1);
    if (local.front() == '-' || local.front() == '.' || local.back() == '.')
        return false;
    for (char c : local)
        if (!LocalCharacter(c))
            return false;
    if (domain.front() == '-' || domain.front() == '.' || domain.back() == '.' ||
        domain.back() == '-' || domain.find("..") != std::string::npos ||
        domain.find('.') == std::string::npos)
        return false;
    for (char c : domain)
        if (!DomainCharacter(c))
            return false;
    return true;
}

} // namespace tamberlin::platform::mapi
