// The UTF-8 helpers. Decoding moves forward through the whole text; every
// character read back as a sequence is that sequence's own encoding, so two
// different byte strings never fold into one (a byte that is not UTF-8 stays
// itself); upper case keeps what it does not change; the UTF-16 length
// counts one or two units a character.
#include "platform/text.h"

#include "tests/fuzz/fuzz.h"

namespace platform = tamberlin::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = tamberlin::fuzz::Bytes(data, size);
    std::size_t units = 0;
    bool plain = true; // every character read is its own valid encoding
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        const char32_t c = platform::NextCodePoint(text, i);
        FUZZ_CHECK(i > at && i <= at + 4 && i <= text.size());
        std::string again;
        platform::AppendUtf8(again, c);
        if (i - at == 1 && static_cast<unsigned char>(text[at]) >= 0x80) {
            FUZZ_CHECK(c == static_cast<unsigned char>(text[at])); // not UTF-8: itself
            plain = false;
            ++units;
        } else {
            FUZZ_CHECK(again == text.substr(at, i - at));
            units += c >= 0x10000 ? 2 : 1;
        }
    }
    FUZZ_CHECK(platform::Utf16Length(text) == units);
    const std::string upper = platform::UpperCase(text);
    FUZZ_CHECK(platform::UpperCase(upper) == upper);
    if (plain)
        FUZZ_CHECK(platform::Utf8FromAnsi(platform::AnsiFromUtf8(text)) == text);
    return 0;
}
