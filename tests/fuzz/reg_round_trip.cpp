// Export then import: a tree of keys and values with any names and data (the
// input read as a script of creations and writes) is exported, deleted and
// imported again, and must come back identical; or the export refuses it,
// names what it refused and writes no file.
#include "apps/reg/reg_tool.h"
#include "platform/registry.h"
#include "tests/fuzz/fresh_store.h"
#include "tests/fuzz/fuzz.h"

#include <map>
#include <sstream>
#include <tuple>
#include <vector>

namespace reg = tamberlin::platform::registry;

namespace {

// Every key below the top, by its path as written, with its values.
using Tree = std::map<std::string, std::map<std::string, std::tuple<std::uint32_t, std::string>>>;

void Read(reg::Key key, const std::string& path, Tree& tree) {
    auto& values = tree[path];
    std::string name, data;
    std::uint32_t type = 0;
    for (std::uint32_t i = 0; reg::EnumValue(key, i, name, type, data) == reg::kSuccess; ++i)
        values[name] = {type, data};
    for (std::uint32_t i = 0; reg::EnumKey(key, i, name) == reg::kSuccess; ++i) {
        reg::Key sub = 0;
        FUZZ_CHECK(reg::OpenKey(key, name, reg::kRead, sub) == reg::kSuccess);
        Read(sub, path + '\\' + name, tree);
        reg::CloseKey(sub);
    }
}

Tree ReadTop() {
    Tree tree;
    reg::Key top = 0;
    if (reg::OpenKey(reg::kCurrentUser, "Software\\Fuzz", reg::kRead, top) == reg::kSuccess) {
        Read(top, "", tree);
        reg::CloseKey(top);
    }
    return tree;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One store for the run (making one costs more than the calls).
    static const std::filesystem::path root = tamberlin::fuzz::FreshStore("reg_round_trip");
    reg::DeleteTree(reg::kCurrentUser, "Software\\Fuzz");
    std::vector<std::string> keys = {"Software\\Fuzz"};
    reg::Key key = 0;
    FUZZ_CHECK(reg::CreateKey(reg::kCurrentUser, keys[0], reg::kOptionNonVolatile, reg::kAllAccess,
                              key) == reg::kSuccess);
    reg::CloseKey(key);
    tamberlin::fuzz::Script script(tamberlin::fuzz::Bytes(data, size));
    for (int step = 0; step < 32 && !script.Done(); ++step) {
        const std::string& path = keys[script.Byte() % keys.size()];
        key = 0;
        if (script.Byte() % 2) {
            const std::string added = path + '\\' + script.Text();
            if (reg::CreateKey(reg::kCurrentUser, added, reg::kOptionNonVolatile, reg::kAllAccess,
                               key) == reg::kSuccess)
                keys.push_back(added);
        } else if (reg::CreateKey(reg::kCurrentUser, path, reg::kOptionNonVolatile, reg::kAllAccess,
                                  key) == reg::kSuccess) {
            const std::string name = script.Text();
            const std::uint32_t type = script.Byte() % 12;
            const std::string value = script.Text();
            reg::SetValue(key, name, type, value.data(), static_cast<std::uint32_t>(value.size()));
        }
        reg::CloseKey(key);
    }
    const Tree before = ReadTop();
    const std::string file = (root / "tree.reg").string();
    std::filesystem::remove(file);
    std::istringstream in;
    std::ostringstream out, err;
    if (tamberlin::regtool::Run({"export", "HKCU\\Software\\Fuzz", file, "/y"}, in, out, err)) {
        FUZZ_CHECK(err.str().find("ERROR: Cannot export ") == 0);
        FUZZ_CHECK(!std::filesystem::exists(file));
        return 0;
    }
    FUZZ_CHECK(reg::DeleteTree(reg::kCurrentUser, "Software\\Fuzz") == reg::kSuccess);
    FUZZ_CHECK(tamberlin::regtool::Run({"import", file}, in, out, err) == 0);
    FUZZ_CHECK(ReadTop() == before);
    return 0;
}
