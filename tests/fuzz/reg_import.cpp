// A whole import into a store of its own: whatever the file holds, the tool
// answers with a status and leaves a store it can still export.
#include "apps/reg/reg_tool.h"
#include "platform/registry_sqlite.h"
#include "tests/fuzz/fuzz.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

int Run(const std::vector<std::string>& args) {
    std::istringstream in;
    std::ostringstream out, err;
    return tamberlin::regtool::Run(args, in, out, err);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path root =
        fs::temp_directory_path() / ("tamberlin-fuzz-import-" + std::to_string(getpid()));
    static const bool ready = [] {
        setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        setenv("XDG_CONFIG_DIRS", (root / "etc").c_str(), 1);
        setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        std::atexit([] { fs::remove_all(root); });
        return true;
    }();
    (void)ready;
    // A fresh store each time: nothing carries over from one input to the next.
    tamberlin::platform::registry::CloseStores();
    std::error_code ignored;
    fs::remove_all(root, ignored);
    fs::create_directories(root / "data");
    const std::string file = (root / "input.reg").string();
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (Run({"import", file}) == 0)
        Run({"export", "HKCU\\Software", (root / "output.reg").string(), "/y"});
    return 0;
}
