// Registry scenarios written once and run on both backends: the SQLite store
// on Linux, Wine's registry for the Windows build. Both must give the same
// result codes and texts.
#include "platform/registry.h"
#include "tamberlin/sysutil/registry.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

namespace {

using namespace modQFSystemUtilities;
namespace reg = tamberlin::platform::registry;

class RegistryTest : public ::testing::Test {
protected:
    std::string Path(const std::string& below) const { return sandbox_.Base() + "\\" + below; }

    // A machine value, written the way an installer would (the services
    // themselves never write the machine root).
    void SetMachine(const std::string& below, const std::string& name, const std::string& value,
                    std::uint32_t view = 0) {
        reg::Key key = 0;
        ASSERT_EQ(reg::CreateKey(reg::kLocalMachine, Path(below), 0, reg::kAllAccess | view, key),
                  0);
        EXPECT_EQ(SetRegString(key, name, value), 0);
        reg::CloseKey(key);
    }

    // Opens a user key; closed when the test ends.
    reg::Key Open(const std::string& below, std::uint32_t sam) {
        reg::Key key = 0;
        EXPECT_EQ(reg::OpenKey(reg::kCurrentUser, Path(below), sam, key), 0);
        opened_.push_back(key);
        return key;
    }

    void TearDown() override {
        for (reg::Key key : opened_)
            reg::CloseKey(key);
    }

    tamberlin::testing::RegistrySandbox sandbox_;
    std::vector<reg::Key> opened_;
};

TEST_F(RegistryTest, UserValuesRoundTrip) {
    SaveUserRegString(Path("App"), "Name", "value", true);
    SaveUserRegString(Path("App"), "Blanks", "  two blanks  ", true);
    SaveUserRegString(Path("App"), "Empty", "", true);
    SaveUserRegString(Path("App"), "", "the default", true);
    std::string value = "stale";
    GetUserRegString(Path("App"), "Name", value);
    EXPECT_EQ(value, "value");
    // Names are compared without regard to case, at every level.
    GetUserRegString(sandbox_.Base() + "\\aPP", "NAME", value);
    EXPECT_EQ(value, "value");
    GetUserRegString(Path("App"), "Blanks", value);
    EXPECT_EQ(value, "  two blanks  ");
    GetUserRegString(Path("App"), "Empty", value);
    EXPECT_EQ(value, "");
    GetUserRegString(Path("App"), "", value);
    EXPECT_EQ(value, "the default");
    // Writing again replaces.
    SaveUserRegString(Path("App"), "name", "second", false);
    GetUserRegString(Path("App"), "Name", value);
    EXPECT_EQ(value, "second");
}

TEST_F(RegistryTest, TextIsWrittenWithItsTerminatorAndReadUpToTheFirstNul) {
    SaveUserRegString(Path("App"), "Plain", "abc", true);
    SaveUserRegString(Path("App"), "Nul", std::string("ab\0cd", 5), true);
    const reg::Key key = Open("App", reg::kQueryValue);
    std::uint32_t type = 0, size = 0;
    ASSERT_EQ(reg::QueryValue(key, "Plain", &type, nullptr, &size), 0);
    EXPECT_EQ(type, reg::kSz);
    EXPECT_EQ(size, 4u);
    ASSERT_EQ(reg::QueryValue(key, "Nul", &type, nullptr, &size), 0);
    EXPECT_EQ(size, 6u);
    std::string value;
    EXPECT_EQ(QueryRegString(key, "Nul", value), 0);
    EXPECT_EQ(value, "ab");
    EXPECT_EQ(TrimAtNull(std::string("x\0y", 3)), "x");
    EXPECT_EQ(TrimAtNull("xy"), "xy");
}

TEST_F(RegistryTest, MissingKeysAndValuesReadAsEmpty) {
    std::string value = "stale";
    GetUserRegString(Path("Missing"), "Name", value);
    EXPECT_EQ(value, "");
    SaveUserRegString(Path("App"), "Name", "x", true);
    value = "stale";
    GetUserRegString(Path("App"), "Other", value);
    EXPECT_EQ(value, "");
    value = "stale";
    EXPECT_EQ(QueryRegString(Open("App", reg::kQueryValue), "Other", value), reg::kFileNotFound);
    EXPECT_EQ(value, "");
}

TEST_F(RegistryTest, WritingToAMissingKeyCreatesItOnlyWhenAsked) {
    SaveUserRegString(Path("New\\Deep\\Key"), "Name", "x", false);
    reg::Key key = 0;
    EXPECT_EQ(reg::OpenKey(reg::kCurrentUser, Path("New"), reg::kQueryValue, key),
              reg::kFileNotFound);
    SaveUserRegString(Path("New\\Deep\\Key"), "Name", "x", true);
    std::string value;
    GetUserRegString(Path("new\\deep\\key"), "name", value);
    EXPECT_EQ(value, "x");
    CreateUserRegKey(Path("Made\\By\\CreateUserRegKey"));
    CreateUserRegKey(Path("Made\\By\\CreateUserRegKey")); // again: opens it
    Open("Made\\By\\CreateUserRegKey", reg::kQueryValue);
}

TEST_F(RegistryTest, MachineReadsTellWhetherTheyRead) {
    SetMachine("Mail", "", "Recorder");
    SetMachine("Mail", "Empty", "");
    std::string value = "caller's";
    EXPECT_FALSE(GetMachineRegString(Path("NoSuchKey"), "", value));
    EXPECT_EQ(value, "caller's"); // the key could not be opened: untouched
    EXPECT_FALSE(GetMachineRegString(Path("Mail"), "Missing", value));
    EXPECT_EQ(value, "");
    EXPECT_TRUE(GetMachineRegString(Path("Mail"), "", value));
    EXPECT_EQ(value, "Recorder");
    EXPECT_TRUE(GetMachineRegString(Path("Mail"), "Empty", value));
    EXPECT_EQ(value, "");
}

TEST_F(RegistryTest, The64BitViewOfTheMachineRoot) {
    SetMachine("View", "Which", "64-bit", reg::kWow64_64Key);
    SetMachine("View", "Which", "default");
    std::string wide, plain;
    GetMachineRegString64(Path("View"), "Which", wide);
    GetMachineRegString(Path("View"), "Which", plain);
    EXPECT_EQ(plain, "default");
    // Only a 32-bit process on 64-bit Windows sees two trees.
    EXPECT_EQ(wide, reg::HasSeparate64BitView() ? "64-bit" : "default");
    std::string missing = "stale";
    GetMachineRegString64(Path("NoSuchKey"), "Which", missing);
    EXPECT_EQ(missing, "");
}

TEST_F(RegistryTest, HandlesKeepTheirAccessRights) {
    SaveUserRegString(Path("App"), "Name", "x", true);
    std::string value = "stale";
    EXPECT_EQ(QueryRegString(Open("App", reg::kSetValue), "Name", value), reg::kAccessDenied);
    EXPECT_EQ(value, "");
    EXPECT_EQ(SetRegString(Open("App", reg::kQueryValue), "Name", "y"), reg::kAccessDenied);
    EXPECT_EQ(QueryRegString(0x7654, "Name", value), reg::kInvalidHandle);
    EXPECT_EQ(reg::CloseKey(0x7654), reg::kInvalidHandle);
    EXPECT_EQ(reg::CloseKey(reg::kCurrentUser), 0);
}

TEST_F(RegistryTest, KeyPathsFollowTheRegistrysRules) {
    CreateUserRegKey(Path("A\\B"));
    reg::Key key = 0;
    EXPECT_EQ(reg::OpenKey(reg::kCurrentUser, "\\" + Path("A"), reg::kQueryValue, key),
              reg::kBadPathname);
    EXPECT_EQ(reg::CreateKey(reg::kCurrentUser, "\\" + Path("C"), 0, reg::kAllAccess, key),
              reg::kBadPathname);
    // Empty levels (a trailing "\" or two in a row) are skipped.
    Open("A\\\\B\\", reg::kQueryValue);
    // "/" is an ordinary character of a key name.
    CreateUserRegKey(Path("x/y"));
    EXPECT_EQ(reg::OpenKey(reg::kCurrentUser, Path("x"), reg::kQueryValue, key),
              reg::kFileNotFound);
    // The empty path opens the root itself.
    EXPECT_EQ(reg::OpenKey(reg::kCurrentUser, "", reg::kQueryValue, key), 0);
    EXPECT_EQ(key, reg::kCurrentUser);
    // Sub-keys of an open key.
    const reg::Key a = Open("A", reg::kRead);
    EXPECT_EQ(reg::OpenKey(a, "b", reg::kQueryValue, key), 0);
    reg::CloseKey(key);
}

TEST_F(RegistryTest, QueryValueReportsSizesAndStoredBytes) {
    CreateUserRegKey(sandbox_.Base());
    const reg::Key key = Open("", reg::kAllAccess);
    const std::string bytes("ab\0cd", 6);
    ASSERT_EQ(reg::SetValue(key, "raw", reg::kSz, bytes.data(), 6), 0);
    char small[3];
    std::uint32_t size = sizeof small;
    EXPECT_EQ(reg::QueryValue(key, "raw", nullptr, small, &size), reg::kMoreData);
    EXPECT_EQ(size, 6u);
    char buffer[16];
    size = sizeof buffer;
    std::uint32_t type = 0;
    EXPECT_EQ(reg::QueryValue(key, "RAW", &type, buffer, &size), 0);
    EXPECT_EQ(std::string(buffer, size), bytes);
    EXPECT_EQ(reg::SetValue(key, "empty", reg::kSz, "", 0), 0);
    EXPECT_EQ(reg::QueryValue(key, "empty", nullptr, nullptr, &size), 0);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(reg::QueryValue(key, "raw", nullptr, nullptr, nullptr), 0);
}

TEST_F(RegistryTest, EnumeratingAndDeletingTrees) {
    CreateUserRegKey(Path("Tree\\Beta"));
    CreateUserRegKey(Path("Tree\\alpha\\Leaf"));
    SaveUserRegString(Path("Tree"), "v", "1", false);
    const reg::Key tree = Open("Tree", reg::kAllAccess);
    std::vector<std::string> names;
    std::string name;
    for (std::uint32_t i = 0; reg::EnumKey(tree, i, name) == 0; ++i)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"alpha", "Beta"}));
    EXPECT_EQ(reg::EnumKey(tree, 2, name), reg::kNoMoreItems);
    std::uint32_t type = 0;
    std::string data;
    ASSERT_EQ(reg::EnumValue(tree, 0, name, type, data), 0);
    EXPECT_EQ(name, "v");
    EXPECT_EQ(data, std::string("1\0", 2));
    EXPECT_EQ(reg::DeleteValue(tree, "v"), 0);
    EXPECT_EQ(reg::DeleteValue(tree, "v"), reg::kFileNotFound);

    ASSERT_EQ(reg::DeleteTree(reg::kCurrentUser, Path("tree\\ALPHA")), 0);
    reg::Key key = 0;
    EXPECT_EQ(reg::OpenKey(reg::kCurrentUser, Path("Tree\\alpha\\Leaf"), reg::kQueryValue, key),
              reg::kFileNotFound);
    EXPECT_EQ(reg::DeleteTree(reg::kCurrentUser, Path("Tree\\alpha")), reg::kFileNotFound);
    // A handle whose key is gone answers "key deleted".
    ASSERT_EQ(reg::DeleteTree(reg::kCurrentUser, Path("Tree")), 0);
    std::string value;
    EXPECT_EQ(QueryRegString(tree, "v", value), reg::kKeyDeleted);
    EXPECT_EQ(SetRegString(tree, "v", "x"), reg::kKeyDeleted);
}

TEST_F(RegistryTest, OddTextsDoNotBreakTheStore) {
    const std::string invalid_utf8 = "\xff\xfe bad \xc3";
    SaveUserRegString(Path("Odd"), "Bad", invalid_utf8, true);
    SaveUserRegString(Path("Odd"), std::string("na\0me", 5), "cut name", true);
    std::string value;
    GetUserRegString(Path("Odd"), "Bad", value);
    EXPECT_FALSE(value.empty());
    // A name ends at its NUL, as a C string does.
    GetUserRegString(Path("Odd"), "na", value);
    EXPECT_EQ(value, "cut name");
    const std::string long_text(40000, 'x');
    SaveUserRegString(Path("Odd"), "Long", long_text, true);
    GetUserRegString(Path("Odd"), "Long", value);
    EXPECT_EQ(value, long_text);
}

} // namespace
