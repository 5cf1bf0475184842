// The interface between the services library and a graphical host built as
// a loadable module (the GTK host on Linux).
//
// The module is opened only when a window is about to be shown, so a program
// that never shows one (the terminal mode, the tools) never loads the toolkit.
// The module reaches the form machinery through the functions handed to it
// here, not by linking against the library: the library is static and lives
// in the program, which need not export its symbols.
#pragma once

#include "tamberlin/ui/form.h"
#include "tamberlin/ui/host.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tamberlin::ui {

struct HostModuleCalls {
    int version; // kHostModuleVersion
    bool (*raise_event)(Form& form, std::string_view control, Event event) noexcept;
    bool (*is_loaded)(const Form& form);
    std::vector<std::size_t> (*tab_order)(const Form& form);
    int (*visible_client_height)(const Form& form);
    void (*run_posted)();
};

inline constexpr int kHostModuleVersion = 1;

// The module's one export: its host, or null when it cannot open a display.
// The calls must outlive the host.
using MakeModuleHost = Host* (*)(const HostModuleCalls* calls);
inline constexpr const char* kMakeModuleHostSymbol = "tamberlin_make_host";

} // namespace tamberlin::ui
