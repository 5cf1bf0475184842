// The graphical host on Linux: the GTK host module, opened the first time a
// display is asked for. Until then the program has loaded no toolkit library,
// which keeps the terminal mode and the tools as small as a plain program.
//
// The module is looked for beside the program (the build tree), in the
// library folder relative to the program's (an installed copy), then in the
// library folder the package was configured for.
#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"
#include "ui/host_module.h"

#include <cstdlib>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

namespace tamberlin::ui {
namespace {

bool EnvironmentNames(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

std::string ProgramFolder() {
    std::string path(4096, '\0');
    const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= path.size())
        return {};
    path.resize(static_cast<std::size_t>(length));
    return path.substr(0, path.rfind('/') + 1);
}

const HostModuleCalls kCalls = {
    kHostModuleVersion,
    &RaiseEvent,
    &IsLoaded,
    &TabOrder,
    [](const Form& form) { return form.VisibleClientHeight(); },
    &RunPosted,
};

} // namespace

std::unique_ptr<Host> MakeGraphicalHost() {
    if (!EnvironmentNames("DISPLAY") && !EnvironmentNames("WAYLAND_DISPLAY"))
        return nullptr;
    const std::string folder = ProgramFolder();
    void* module = nullptr;
    for (const std::string& path :
         {folder + TAMBERLIN_HOST_MODULE, folder + TAMBERLIN_HOST_MODULE_FROM_BIN,
          std::string(TAMBERLIN_HOST_MODULE_INSTALLED)}) {
        // Never closed: the host's code lives there for the process's lifetime.
        if ((module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)))
            break;
    }
    if (!module)
        return nullptr;
    const auto make = reinterpret_cast<MakeModuleHost>(dlsym(module, kMakeModuleHostSymbol));
    return std::unique_ptr<Host>(make ? make(&kCalls) : nullptr);
}

} // namespace tamberlin::ui
