#include "tamberlin/ui/host.h"

#include "platform/system.h"

#include <cstdlib>
#include <iostream>
#include <string_view>

namespace tamberlin::ui {
namespace {

Host* g_installed = nullptr;

} // namespace

std::unique_ptr<Host> MakeDefaultHost() {
    const char* forced = std::getenv("TAMBERLIN_UI");
    const std::string_view choice = forced ? forced : "";
    if (choice != "terminal") {
        if (std::unique_ptr<Host> graphical = MakeGraphicalHost())
            return graphical;
    }
    return MakeTerminalHost(std::cin, std::cout, platform::system::StandardInputIsTerminal());
}

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
