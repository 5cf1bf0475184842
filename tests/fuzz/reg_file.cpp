// The .reg reader: a file's bytes decoded, and each of its lines read as a
// value. A value line read back from its own formatting must give the same
// value, from a version 5 or a REGEDIT4 file: what export writes, import
// restores.
#include "apps/reg/reg_file.h"

#include "tests/fuzz/fuzz.h"

namespace rt = tamberlin::regtool;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::optional<std::string> text = rt::DecodeFile(tamberlin::fuzz::Bytes(data, size));
    if (!text)
        return 0;
    std::string_view rest = *text;
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        for (const auto version : {rt::FileVersion::kVersion5, rt::FileVersion::kRegedit4}) {
            const std::optional<rt::ValueLine> value = rt::ParseValueLine(line, version);
            if (!value || value->remove)
                continue;
            const std::string again = rt::FormatValueLine(value->name, value->type, value->data);
            const std::optional<rt::ValueLine> back = rt::ParseValueLine(again);
            FUZZ_CHECK(back && !back->remove);
            FUZZ_CHECK(back->name == value->name && back->type == value->type &&
                       back->data == value->data);
        }
    }
    return 0;
}
