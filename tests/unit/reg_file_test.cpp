#include "apps/reg/reg_file.h"
#include "platform/registry.h"

#include <gtest/gtest.h>

namespace {

using namespace tamberlin::regtool;
namespace reg = tamberlin::platform::registry;

TEST(RegFile, ValuesRoundTripThroughTheirLines) {
    struct Case {
        std::string name;
        std::uint32_t type;
        std::string data;
        std::string line;
    };
    const Case cases[] = {
        {"Path", reg::kSz, std::string("C:\\a \"b\"\0", 9), R"("Path"="C:\\a \"b\"")"},
        {"", reg::kSz, std::string("x\0", 2), R"(@="x")"},
        {"n", reg::kDword, std::string("\x0a\0\0\x80", 4), R"("n"=dword:8000000a)"},
        {"b", reg::kBinary, std::string("\x01\xff", 2), R"("b"=hex:01,ff)"},
        {"e", reg::kExpandSz, std::string("%A%\0", 4), R"("e"=hex(2):25,41,25,00)"},
        // Text the quoted form cannot hold keeps its bytes as hex(1).
        {"z", reg::kSz, std::string("a\0b\0", 4), R"("z"=hex(1):61,00,62,00)"},
        {"m", reg::kSz, std::string("a\r\nb\0", 5), R"("m"=hex(1):61,0d,0a,62,00)"},
        {"u", reg::kSz, "no terminator", R"("u"=hex(1):6e,6f,20,74,65,72,6d,69,6e,61,74,6f,72)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(FormatValueLine(c.name, c.type, c.data), c.line);
        const std::optional<ValueLine> parsed = ParseValueLine(c.line);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->name, c.name);
        EXPECT_EQ(parsed->type, c.type);
        EXPECT_EQ(parsed->data, c.data);
    }
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
}

} // namespace
