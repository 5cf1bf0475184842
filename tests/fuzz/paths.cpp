// The path text functions in both styles: folder and name put back together
// are the path, and the base name is a prefix of the name.
#include "tamberlin/sysutil/paths.h"

#include "tamberlin/runtime/error.h"
#include "tests/fuzz/fuzz.h"

#include <exception>

namespace qf = modQFSystemUtilities;
namespace platform = tamberlin::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view path = tamberlin::fuzz::Bytes(data, size);
    for (const platform::PathStyle* style : {&platform::kWindowsPaths, &platform::kPosixPaths}) {
        try {
            const std::string folder = qf::GetFolderPath(path, *style);
            const std::string name = qf::GetFileName(path, *style);
            FUZZ_CHECK(folder + name == path);
            FUZZ_CHECK(name.find(style->separator) == std::string::npos);
            const std::string base = qf::GetFileBaseName(path, *style);
            FUZZ_CHECK(name.compare(0, base.size(), base) == 0);
            const std::string trailing = tamberlin::sysutil::WithTrailingSeparator(folder, *style);
            FUZZ_CHECK(!trailing.empty() && trailing.back() == style->separator);
        } catch (const std::exception&) {
            // Overflow, for texts longer than the 16-bit positions reach.
        }
    }
    return 0;
}
