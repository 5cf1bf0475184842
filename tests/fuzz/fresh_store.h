// A registry store of the fuzz target's own, emptied for each input, so that
// nothing carries over from one input to the next.
#pragma once

#include "platform/registry_sqlite.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace tamberlin::fuzz {

// The emptied folder that holds the store (and whatever else the input needs).
inline std::filesystem::path FreshStore(const char* target) {
    namespace fs = std::filesystem;
    static const fs::path root =
        fs::temp_directory_path() /
        ("tamberlin-fuzz-" + std::string(target) + "-" + std::to_string(getpid()));
    static const bool ready = [] {
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root / "etc").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        std::atexit([] {
            std::error_code ignored;
            fs::remove_all(root, ignored);
        });
        return true;
    }();
    (void)ready;
    platform::registry::CloseStores();
    std::error_code ignored;
    fs::remove_all(root, ignored);
    fs::create_directories(root / "data");
    return root;
}

} // namespace tamberlin::fuzz
