// The default host where there is no native message box: the terminal.
#include "ui/host.h"

#include <iostream>

namespace tamberlin::ui {

std::unique_ptr<Host> MakeDefaultHost() {
    return MakeTerminalHost(std::cin, std::cout);
}

} // namespace tamberlin::ui
