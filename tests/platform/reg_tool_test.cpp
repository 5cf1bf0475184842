// The command-line tool over the real registry (the store on Linux, Wine's
// registry for the Windows build): what needs a conversation or a file.
// tests/e2e/reg_tool.cmake runs the program itself.
#include "apps/reg/reg_tool.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tamberlin/platform/reg_key.h"
#include "tamberlin/sysutil/registry.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <fstream>
#include <gmock/gmock.h>
#include <sstream>

namespace {

using ::testing::HasSubstr;
namespace reg = tamberlin::platform::registry;

struct Result {
    int status;
    std::string out, err;
};

class RegToolTest : public ::testing::Test {
protected:
    Result Run(std::vector<std::string> args, const std::string& input = "") {
        std::istringstream in(input);
        std::ostringstream out, err;
        const int status = tamberlin::regtool::Run(args, in, out, err);
        return {status, out.str(), err.str()};
    }
    std::string Key(const std::string& below = "") const {
        return "HKCU\\" + sandbox_.Base() + (below.empty() ? "" : "\\" + below);
    }
    std::string Read(const std::string& below, const std::string& name) const {
        std::string value;
        modQFSystemUtilities::GetUserRegString(sandbox_.Base() + "\\" + below, name, value);
        return value;
    }

    tamberlin::testing::RegistrySandbox sandbox_;
};

TEST_F(RegToolTest, ReplacingOrDeletingAsksFirst) {
    Run({"add", Key("App"), "/v", "Name", "/d", "one"});
    const Result refused = Run({"add", Key("App"), "/v", "Name", "/d", "two"}, "no\n");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(Read("App", "Name"), "one");
    EXPECT_EQ(Run({"add", Key("App"), "/v", "Name", "/d", "two"}, "yes\n").status, 0);
    EXPECT_EQ(Run({"add", Key("App"), "/v", "Name", "/d", "three", "/f"}).status, 0);
    EXPECT_EQ(Read("App", "Name"), "three");
    EXPECT_EQ(Run({"delete", Key("App"), "/v", "Name"}, "").status, 1); // end of input: no
    EXPECT_EQ(Run({"delete", Key("App"), "/v", "Name", "/f"}).status, 0);
    EXPECT_EQ(Read("App", "Name"), "");
    EXPECT_EQ(Run({"delete", Key("App")}, "y\n").status, 0);
    EXPECT_EQ(Run({"query", Key("App")}).status, 1);
}

// What the end-to-end script does not reach: malformed command lines.
TEST_F(RegToolTest, BadCommandLinesFail) {
    EXPECT_EQ(Run({"delete", "HKCU", "/f"}).err,
              "ERROR: Invalid key name: a root cannot be deleted.\n");
    EXPECT_EQ(Run({"frobnicate"}).status, 1);
    EXPECT_EQ(Run({"add", Key("App"), "/v", "n", "/t", "REG_DWORD", "/d", "many"}).status, 1);
    EXPECT_EQ(Run({"add", Key("App"), "/v"}).status, 1);
    EXPECT_EQ(Run({}).status, 1);
}

// Texts and numbers round-trip in tests/e2e/reg_tool.cmake; here what it does
// not write: bytes, an empty default value, and an export that asks first.
TEST_F(RegToolTest, ExportAndImportRoundTrip) {
    tamberlin::testing::TempFolder temp;
    const std::string file = temp.Text() + "backup.reg";
    Run({"add", Key("Tree\\Sub"), "/ve", "/d", ""});
    {
        reg::RegKey key;
        ASSERT_EQ(key.Open(reg::kCurrentUser, sandbox_.Base() + "\\Tree", reg::kSetValue), 0);
        ASSERT_EQ(key.WriteValue("Raw", reg::kBinary, std::string("\0\x01\xff", 3)), 0);
        // Two names, one of them not UTF-8, stay two.
        ASSERT_EQ(modQFSystemUtilities::SetRegString(key.Handle(), "caf\xE9", "byte"), 0);
        ASSERT_EQ(modQFSystemUtilities::SetRegString(key.Handle(), "café", "character"), 0);
    }

    ASSERT_EQ(Run({"export", Key("Tree"), file}).status, 0);
    EXPECT_EQ(Run({"export", Key("Tree"), file}, "n\n").status, 1); // exists: asks
    ASSERT_EQ(Run({"delete", Key("Tree"), "/f"}).status, 0);
    ASSERT_EQ(Run({"import", file}).status, 0);

    EXPECT_THAT(Run({"query", Key("Tree\\Sub")}).out, HasSubstr("    (Default)    REG_SZ    \n"));
    EXPECT_THAT(Run({"query", Key("Tree")}).out, HasSubstr("    Raw    REG_BINARY    0001FF\n"));
    EXPECT_EQ(Read("Tree", "caf\xE9") + Read("Tree", "café"), "bytecharacter");
}

// A name with a line break cannot be written to a .reg file and read back:
// the export names it and writes nothing.
TEST_F(RegToolTest, ExportRefusesNamesAFileCannotHold) {
    tamberlin::testing::TempFolder temp;
    const std::string file = temp.Text() + "broken.reg";
    Run({"add", Key("Lines"), "/v", "one\ntwo", "/d", "x"});
    Result result = Run({"export", Key(), file});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("the value \"one\\ntwo\" of HKEY_CURRENT_USER\\" +
                                      sandbox_.Base() + "\\Lines"));
    Run({"delete", Key("Lines"), "/f"});
    Run({"add", Key("Line\rbreak"), "/f"});
    result = Run({"export", Key(), file});
    EXPECT_THAT(result.err,
                HasSubstr("the key HKEY_CURRENT_USER\\" + sandbox_.Base() + "\\Line\\rbreak"));
    EXPECT_FALSE(std::ifstream(file));
}

// A line that cannot be read, or a name the registry itself refuses, is
// found before anything is written, and named by its line in the file.
TEST_F(RegToolTest, ABadFileChangesNothing) {
    tamberlin::testing::TempFolder temp;
    for (const std::string& refused :
         {std::string("\"b\"=dword:nothex"), std::string("[HKEY_CURRENT_USER\\\\x]"),
          "[" + Key(std::string(256, 'k')) + "]", "\"" + std::string(16384, 'n') + "\"=\"x\""}) {
        const Result result = Run(
            {"import", temp.MakeFile("bad.reg", "Windows Registry Editor Version 5.00\r\n\r\n[" +
                                                    Key("Imported") + "]\r\n\"a\"=\"1\"\r\n" +
                                                    refused + "\r\n")});
        EXPECT_EQ(result.status, 1);
        EXPECT_THAT(result.err, HasSubstr("line 5"));
        EXPECT_EQ(Run({"query", Key("Imported")}).status, 1);
    }
    // The line of the file, not of the lines once joined.
    const Result joined = Run(
        {"import",
         temp.MakeFile("bad.reg",
                       "REGEDIT4\r\n\r\n[" + Key("Lines") +
                           "]\r\n\"a\"=hex:01,\\\r\n  02,\\\r\n  03\r\n\"b\"=dword:nothex\r\n")});
    EXPECT_THAT(joined.err, HasSubstr("bad.reg line 7."));
    EXPECT_EQ(Run({"import", temp.MakeFile("plain.reg", "just text\n")}).status, 1);
    EXPECT_EQ(Run({"import", temp.Text() + "missing.reg"}).status, 1);
}

// Files written by Windows' tools: regedit5.reg as Wine's regedit and reg
// export write it (the same bytes from both), regedit4.reg as regedit writes
// a REGEDIT4 file (Wine's own import reads it to the same values). Text in
// hex bytes arrives as the store's text; removals remove; a comment ending in
// "\" ends there.
TEST_F(RegToolTest, FilesOfTheWindowsToolsImport) {
    namespace text = tamberlin::platform;
    const std::string base = "Software\\TamberlinTests\\FromRegedit";
    for (const char* stale : {"", "4"})
        reg::DeleteTree(reg::kCurrentUser, base + stale);
    {
        reg::RegKey key;
        ASSERT_EQ(key.Create(reg::kCurrentUser, base + "4\\Gone", reg::kAllAccess), 0);
        ASSERT_EQ(key.Create(reg::kCurrentUser, base + "4", reg::kAllAccess), 0);
        ASSERT_EQ(key.WriteValue("Old", reg::kSz, std::string("x\0", 2)), 0);
    }
    for (const char* file : {"regedit5.reg", "regedit4.reg"}) {
        const Result imported = Run({"import", TAMBERLIN_TEST_DATA "/reg/" + std::string(file)});
        EXPECT_EQ(imported.status, 0) << file << ": " << imported.err;
    }
    const auto value = [&](const std::string& key_name, const std::string& name) {
        reg::RegKey key;
        std::uint32_t type = 0;
        std::string data;
        if (key.Open(reg::kCurrentUser, key_name, reg::kQueryValue) != 0 ||
            key.ReadValue(name, type, data) != 0)
            return std::string("missing");
        return std::to_string(type) + ":" + data;
    };
    const auto sz = [](std::uint32_t type, const std::string& utf8) {
        return std::to_string(type) + ":" + text::AnsiFromUtf8(utf8) + '\0';
    };
    std::string bytes;
    for (int i = 0; i < 0x30; ++i)
        bytes += static_cast<char>(i);
    EXPECT_EQ(value(base, ""), sz(reg::kSz, "default"));
    EXPECT_EQ(value(base, "Quote"), sz(reg::kSz, "a \"quoted\" \\ back\\slash"));
    EXPECT_EQ(value(base, "Grüße"), sz(reg::kSz, "Grüße ä"));
    EXPECT_EQ(value(base, "Dword"), "4:" + reg::DwordBytes(0x1234abcd));
    EXPECT_EQ(value(base, "Binary"), "3:" + bytes);
    EXPECT_EQ(value(base + "\\Sub", "Expand"), sz(reg::kExpandSz, "%SystemRoot%\\Grüße"));
    EXPECT_EQ(value(base + "\\Sub", "Multi"),
              sz(reg::kMultiSz, std::string("one\0twö\0three\0", 15)));

    const std::string old = base + "4";
    EXPECT_EQ(value(old, "Expand"), sz(reg::kExpandSz, "%SystemRoot%\\bin"));
    EXPECT_EQ(value(old, "Multi"), sz(reg::kMultiSz, std::string("one\0two\0", 8)));
    EXPECT_EQ(value(old, "Binary"), "3:" + bytes.substr(0, 0x20));
    EXPECT_EQ(value(old, "After"), sz(reg::kSz, "kept"));
    EXPECT_EQ(value(old, "Old"), "missing");
    reg::RegKey gone;
    EXPECT_EQ(gone.Open(reg::kCurrentUser, old + "\\Gone", reg::kQueryValue), reg::kFileNotFound);
    for (const char* suffix : {"", "4"})
        EXPECT_EQ(reg::DeleteTree(reg::kCurrentUser, base + suffix), 0);
}

} // namespace
