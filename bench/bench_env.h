// A private world for a benchmark: XDG folders in a temporary folder, so the
// runs measure a store of their own and leave the user's alone.
#pragma once

#include "platform/registry_sqlite.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace tamberlin::bench {

class BenchFolder {
public:
    BenchFolder() {
        root_ = std::filesystem::temp_directory_path() /
                ("tamberlin-bench-" + std::to_string(getpid()));
        std::filesystem::create_directories(root_ / "data");
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root_ / "etc").c_str(), 1);
        setenv("XDG_DATA_HOME", (root_ / "data").c_str(), 1);
        platform::registry::CloseStores();
    }
    ~BenchFolder() {
        platform::registry::CloseStores();
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    const std::filesystem::path& path() const { return root_; }

private:
    std::filesystem::path root_;
};

} // namespace tamberlin::bench
