// The registry store on Linux: where its databases live, and closing them.
//
// HKEY_CURRENT_USER is the database Quillfern/registry.db under
// $XDG_CONFIG_HOME (default ~/.config); it is private to the user and is
// created, and seeded with what the program needs, on first use.
// HKEY_LOCAL_MACHINE is the same file name under the first folder of
// $XDG_CONFIG_DIRS (default /etc/xdg); it is created on the first write, which
// normally only an administrator may make. Until then it reads as a new one
// would: its seed, answered from memory.
//
// A read the store cannot answer (busy past its timeout, damaged, unreadable)
// is still answered for the entries a new store is seeded with, so that the
// user's data folder never comes back empty.
#pragma once

#include "platform/registry.h"

#include <string>

namespace tamberlin::platform::registry {

// The database file that holds `root` (kCurrentUser or kLocalMachine), as the
// environment names it now.
std::string StorePath(Key root);

// Closes the connections this process holds and forgets its key handles; the
// next call opens the stores again from the current environment. For tests
// that give each case its own folders, and before fork().
void CloseStores();

} // namespace tamberlin::platform::registry
