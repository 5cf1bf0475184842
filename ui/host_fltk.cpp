// The FLTK host (Linux with a display). Placeholder until the FLTK rendering
// lands: no graphical host, so the terminal is used.
#include "ui/host.h"

namespace tamberlin::ui {

std::unique_ptr<Host> MakeGraphicalHost() {
    return nullptr;
}

} // namespace tamberlin::ui
