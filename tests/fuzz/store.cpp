// The registry store under sequences of calls with hostile names (any bytes:
// separators, NULs, overlong UTF-8, surrogates): keys created and deleted,
// values set, read, enumerated and deleted. What was set reads back
// identical, what was deleted is gone, and what enumeration lists can be read.
#include "platform/registry.h"
#include "tests/fuzz/fresh_store.h"
#include "tests/fuzz/fuzz.h"

#include <string>
#include <vector>

namespace reg = tamberlin::platform::registry;

namespace {

long Read(reg::Key key, std::string_view name, std::uint32_t& type, std::string& data) {
    std::uint32_t size = 0;
    if (const long rc = reg::QueryValue(key, name, &type, nullptr, &size); rc != reg::kSuccess)
        return rc;
    data.assign(size, '\0');
    return reg::QueryValue(key, name, &type, data.data(), &size);
}

// The key below `base`, opened; 0 when it cannot be.
reg::Key Open(reg::Key base, const std::string& path) {
    reg::Key key = 0;
    return reg::OpenKey(base, path, reg::kAllAccess, key) == reg::kSuccess ? key : 0;
}

void Enumerate(reg::Key key) {
    std::string name, data, again;
    std::uint32_t type = 0, type_again = 0;
    for (std::uint32_t i = 0; i < 1000 && reg::EnumValue(key, i, name, type, data) == reg::kSuccess;
         ++i) {
        FUZZ_CHECK(Read(key, name, type_again, again) == reg::kSuccess);
        FUZZ_CHECK(type_again == type && again == data);
    }
    for (std::uint32_t i = 0; i < 1000 && reg::EnumKey(key, i, name) == reg::kSuccess; ++i) {
        reg::Key sub = 0;
        FUZZ_CHECK(reg::OpenKey(key, name, reg::kRead, sub) == reg::kSuccess);
        reg::CloseKey(sub);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // One store for the run (making one costs more than the calls); the key
    // every input works below starts empty.
    static const bool ready = (tamberlin::fuzz::FreshStore("store"), true);
    (void)ready;
    reg::DeleteTree(reg::kCurrentUser, "Software\\Fuzz");
    reg::Key base = 0;
    FUZZ_CHECK(reg::CreateKey(reg::kCurrentUser, "Software\\Fuzz", reg::kOptionNonVolatile,
                              reg::kAllAccess, base) == reg::kSuccess);
    std::vector<std::string> keys = {""}; // below `base`; "" is `base` itself
    tamberlin::fuzz::Script script(tamberlin::fuzz::Bytes(data, size));
    for (int step = 0; step < 64 && !script.Done(); ++step) {
        const unsigned op = script.Byte() % 5;
        const std::string& path = keys[script.Byte() % keys.size()];
        if (op == 0) {
            const std::string added = path.empty() ? script.Text() : path + '\\' + script.Text();
            reg::Key key = 0;
            if (reg::CreateKey(base, added, reg::kOptionNonVolatile, reg::kAllAccess, key) !=
                reg::kSuccess)
                continue;
            reg::CloseKey(key);
            const reg::Key opened = Open(base, added);
            FUZZ_CHECK(opened != 0);
            reg::CloseKey(opened);
            keys.push_back(added);
            continue;
        }
        if (op == 3) {
            // A name ends at its NUL, as a C string does; the empty sub key
            // is the key itself, which is emptied rather than deleted.
            if (reg::DeleteTree(base, path) != reg::kSuccess)
                continue;
            if (path.substr(0, path.find('\0')).empty()) {
                std::string name, value;
                std::uint32_t type = 0;
                FUZZ_CHECK(reg::EnumKey(base, 0, name) == reg::kNoMoreItems);
                FUZZ_CHECK(reg::EnumValue(base, 0, name, type, value) == reg::kNoMoreItems);
            } else {
                FUZZ_CHECK(Open(base, path) == 0);
            }
            continue;
        }
        const reg::Key key = Open(base, path);
        if (!key)
            continue;
        if (op == 1) {
            const std::string name = script.Text();
            const std::uint32_t type = script.Byte() % 12;
            const std::string value = script.Text();
            if (reg::SetValue(key, name, type, value.data(),
                              static_cast<std::uint32_t>(value.size())) == reg::kSuccess) {
                std::uint32_t read_type = 0;
                std::string read;
                FUZZ_CHECK(Read(key, name, read_type, read) == reg::kSuccess);
                FUZZ_CHECK(read_type == type && read == value);
            }
        } else if (op == 2) {
            const std::string name = script.Text();
            if (reg::DeleteValue(key, name) == reg::kSuccess) {
                std::uint32_t type = 0;
                std::string read;
                FUZZ_CHECK(Read(key, name, type, read) == reg::kFileNotFound);
            }
        } else {
            Enumerate(key);
        }
        reg::CloseKey(key);
    }
    reg::CloseKey(base);
    return 0;
}
