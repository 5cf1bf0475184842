#include "ui/host.h"

namespace tamberlin::ui {
namespace {

Host* g_installed = nullptr;

} // namespace

Host& CurrentHost() {
    if (g_installed)
        return *g_installed;
    static const std::unique_ptr<Host> fallback = MakeDefaultHost();
    return *fallback;
}

void SetHost(Host* host) {
    g_installed = host;
}

} // namespace tamberlin::ui
