// A whole import into a store of its own: whatever the file holds, the tool
// answers with a status and leaves a store it can still export.
#include "apps/reg/reg_tool.h"
#include "tests/fuzz/fresh_store.h"
#include "tests/fuzz/fuzz.h"

#include <fstream>
#include <sstream>

namespace {

int Run(const std::vector<std::string>& args) {
    std::istringstream in;
    std::ostringstream out, err;
    return tamberlin::regtool::Run(args, in, out, err);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::filesystem::path root = tamberlin::fuzz::FreshStore("import");
    const std::string file = (root / "input.reg").string();
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (Run({"import", file}) == 0)
        Run({"export", "HKCU\\Software", (root / "output.reg").string(), "/y"});
    return 0;
}
