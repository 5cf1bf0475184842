#include "apps/reg/reg_file.h"
#include "platform/registry.h"
#include "platform/text.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

using namespace tamberlin::regtool;
namespace reg = tamberlin::platform::registry;

TEST(RegFile, ValuesRoundTripThroughTheirLines) {
    // Name, type, data and the line that holds them.
    const std::tuple<std::string, std::uint32_t, std::string, std::string> cases[] = {
        {"Path", reg::kSz, std::string("C:\\a \"b\"\0", 9), R"("Path"="C:\\a \"b\"")"},
        {"", reg::kSz, std::string("x\0", 2), R"(@="x")"},
        {"n", reg::kDword, std::string("\x0a\0\0\x80", 4), R"("n"=dword:8000000a)"},
        {"b", reg::kBinary, std::string("\x01\xff", 2), R"("b"=hex:01,ff)"},
        {"b", reg::kBinary, "\xC3\xA4", R"("b"=hex:c3,a4)"},
        {"q", 11, std::string("\x01\0\0\0\0\0\0\0", 8), R"("q"=hex(b):01,00,00,00,00,00,00,00)"},
        // Text as hex bytes is UTF-16LE, as regedit writes it.
        {"e", reg::kExpandSz, std::string("%A%\0", 4), R"("e"=hex(2):25,00,41,00,25,00,00,00)"},
        // Text the quoted form cannot hold is hex(1).
        {"z", reg::kSz, std::string("a\0b\0", 4), R"("z"=hex(1):61,00,00,00,62,00,00,00)"},
        {"r", reg::kSz, std::string("a\r\n\0", 4), R"("r"=hex(1):61,00,0d,00,0a,00,00,00)"},
        {"u", reg::kSz, "no end", R"("u"=hex(1):6e,00,6f,00,20,00,65,00,6e,00,64,00)"},
    };
    for (const auto& [name, type, data, line] : cases) {
        SCOPED_TRACE(line);
        EXPECT_EQ(FormatValueLine(name, type, data), line);
        const std::optional<ValueLine> parsed = ParseValueLine(line);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(std::tie(parsed->name, parsed->type, parsed->data), std::tie(name, type, data));
    }
}

// Text in hex bytes is the store's ANSI text as UTF-16LE. Where the store's
// text is UTF-8 (Linux), a byte that is not UTF-8 travels as a lone
// DC80..DCFF surrogate, so that it comes back as it was.
TEST(RegFile, TextAsHexIsUtf16InVersion5) {
    const std::string multi = tamberlin::platform::AnsiFromUtf8(std::string("ä\0ö\0\0", 7));
    const std::string line = FormatValueLine("m", reg::kMultiSz, multi);
    EXPECT_EQ(line, R"("m"=hex(7):e4,00,00,00,f6,00,00,00,00,00)");
    EXPECT_EQ(ParseValueLine(line)->data, multi);
    if (tamberlin::platform::AnsiFromUtf8("ä") != "ä")
        return;
    const std::string bytes("\xFF\xC1\x9C\0", 4);
    for (const std::uint32_t type : {reg::kSz, reg::kExpandSz}) {
        const std::string escaped = FormatValueLine("x", type, bytes);
        EXPECT_EQ(escaped.substr(escaped.find(':')), ":ff,dc,c1,dc,9c,dc,00,00");
        EXPECT_EQ(ParseValueLine(escaped)->data, bytes);
    }
}

// A REGEDIT4 file's text is in the ANSI code page, as the store's; an odd
// count of UTF-16 bytes is no text and is kept.
TEST(RegFile, TextAsHexIsAnsiInRegedit4) {
    const std::optional<ValueLine> ansi =
        ParseValueLine(R"("e"=hex(2):25,41,25,00)", FileVersion::kRegedit4);
    ASSERT_TRUE(ansi);
    EXPECT_EQ(ansi->data, std::string("%A%\0", 4));
    const std::optional<ValueLine> odd = ParseValueLine(R"("e"=hex(2):25,00,41)");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->data, std::string("%\0A", 3));
    EXPECT_EQ(DecodeFile("REGEDIT4\r\n"), "REGEDIT4\r\n");
}

TEST(RegFile, DeletionsAndBadLines) {
    const std::optional<ValueLine> removal = ParseValueLine(R"("gone"=-)");
    ASSERT_TRUE(removal);
    EXPECT_TRUE(removal->remove);
    for (const char* bad :
         {"", "name=\"x\"", R"("a"="unterminated)", R"("a"=dword:123456789)", R"("a"=hex:0g)",
          R"("a"=hex:01,,02)", R"("a"="x" trailing)", R"("a"=hex(zz):00)", R"("a"=text)"})
        EXPECT_FALSE(ParseValueLine(bad)) << bad;
}

TEST(RegFile, FilesAreUtf16WithAByteOrderMark) {
    const std::string text = "[HKEY_CURRENT_USER\\Grüße \xF0\x9F\x98\x80]\r\n";
    const std::string bytes = EncodeFile(text);
    EXPECT_EQ(bytes.substr(0, 4), std::string("\xFF\xFE[\0", 4));
    EXPECT_EQ(DecodeFile(bytes), text);
    EXPECT_EQ(DecodeFile("\xEF\xBB\xBF" + text), text);
    EXPECT_EQ(DecodeFile(text), text);
    EXPECT_FALSE(DecodeFile("\xFF\xFE[")); // half a character
    // A byte that is not UTF-8 (in a name) travels as the lone surrogate for it.
    EXPECT_EQ(EncodeFile("\xE9\xED\xB2\x80"),
              std::string("\xFF\xFE\xE9\xDC\xED\xDC\xB2\xDC\x80\xDC", 10));
    EXPECT_EQ(DecodeFile(EncodeFile("caf\xE9 caf\xC3\xA9")), "caf\xE9 caf\xC3\xA9");
}

} // namespace
