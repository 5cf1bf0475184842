// The graphical host of a build without one (TAMBERLIN_GUI=none): there is
// none, so the terminal host serves unless the application installs its own
// with ui::SetHost.
#include "tamberlin/ui/host.h"

namespace tamberlin::ui {

std::unique_ptr<Host> MakeGraphicalHost() {
    return nullptr;
}

} // namespace tamberlin::ui
