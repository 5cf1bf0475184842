// Registry scenarios written once and run on both backends: the SQLite store
// on Linux, Wine's registry for the Windows build. Both must give the same
// result codes and texts.
#include "platform/registry.h"
#include "tamberlin/platform/reg_key.h"
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
        reg::RegKey key;
        ASSERT_EQ(key.Create(reg::kLocalMachine, Path(below), reg::kAllAccess | view), 0);
        EXPECT_EQ(SetRegString(key.Handle(), name, value), 0);
    }

    // The user value as GetUserRegString reads it into a "stale" text.
    std::string Get(const std::string& below, const std::string& name) const {
        std::string value = "stale";
        GetUserRegString(Path(below), name, value);
        return value;
    }

    reg::RegKey Open(const std::string& below, std::uint32_t sam) {
        reg::RegKey key;
        EXPECT_EQ(key.Open(reg::kCurrentUser, Path(below), sam), 0);
        return key;
    }

    tamberlin::testing::RegistrySandbox sandbox_;
};

// What comes back, on both backends: values coverage cannot see.
TEST_F(RegistryTest, UserValuesRoundTripAndMissingOnesReadAsEmpty) {
    const std::pair<std::string, std::string> values[] = {
        {"Name", "value"}, {"Blanks", "  two blanks  "}, {"Empty", ""}, {"", "the default"}};
    for (const auto& [name, value] : values)
        SaveUserRegString(Path("App"), name, value, true);
    for (const auto& [name, value] : values)
        EXPECT_EQ(Get("App", name), value) << name;
    // Writing again replaces.
    SaveUserRegString(Path("App"), "name", "second", false);
    EXPECT_EQ(Get("App", "Name"), "second");
    // Missing keys and values read as empty.
    EXPECT_EQ(Get("Missing", "Name"), "");
    EXPECT_EQ(Get("App", "Other"), "");
    const reg::RegKey key = Open("App", reg::kQueryValue);
    std::string value = "stale";
    EXPECT_EQ(QueryRegString(key.Handle(), "Other", value), reg::kFileNotFound);
    EXPECT_EQ(value, "");
    // The sizes Windows reports: text is written with its terminator, and
    // read up to its first NUL.
    SaveUserRegString(Path("App"), "Nul", std::string("ab\0cd", 5), true);
    std::uint32_t type = 0, size = 0;
    ASSERT_EQ(reg::QueryValue(key.Handle(), "Name", &type, nullptr, &size), 0);
    EXPECT_EQ(type, reg::kSz);
    EXPECT_EQ(size, 7u); // "second"
    ASSERT_EQ(reg::QueryValue(key.Handle(), "Nul", &type, nullptr, &size), 0);
    EXPECT_EQ(size, 6u);
    EXPECT_EQ(QueryRegString(key.Handle(), "Nul", value), 0);
    EXPECT_EQ(value, "ab");
}

TEST_F(RegistryTest, WritingToAMissingKeyCreatesItOnlyWhenAsked) {
    SaveUserRegString(Path("New\\Deep\\Key"), "Name", "x", false);
    reg::RegKey key;
    EXPECT_EQ(key.Open(reg::kCurrentUser, Path("New"), reg::kQueryValue), reg::kFileNotFound);
    SaveUserRegString(Path("New\\Deep\\Key"), "Name", "x", true);
    EXPECT_EQ(Get("new\\deep\\key", "name"), "x"); // without regard to case, at every level
    CreateUserRegKey(Path("Made\\By\\CreateUserRegKey"));
    CreateUserRegKey(Path("Made\\By\\CreateUserRegKey")); // again: opens it
    Open("Made\\By\\CreateUserRegKey", reg::kQueryValue);
}

TEST_F(RegistryTest, MachineReadsTellWhetherTheyReadInEitherView) {
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
    // Only a 32-bit process on 64-bit Windows sees two trees.
    SetMachine("View", "Which", "64-bit", reg::kWow64_64Key);
    SetMachine("View", "Which", "default");
    EXPECT_TRUE(GetMachineRegString(Path("View"), "Which", value));
    EXPECT_EQ(value, "default");
    GetMachineRegString64(Path("View"), "Which", value);
    EXPECT_EQ(value, reg::HasSeparate64BitView() ? "64-bit" : "default");
    value = "stale";
    GetMachineRegString64(Path("NoSuchKey"), "Which", value);
    EXPECT_EQ(value, "");
}

TEST_F(RegistryTest, HandlesKeepTheirAccessRights) {
    SaveUserRegString(Path("App"), "Name", "x", true);
    std::string value = "stale";
    EXPECT_EQ(QueryRegString(Open("App", reg::kSetValue).Handle(), "Name", value),
              reg::kAccessDenied);
    EXPECT_EQ(value, "");
    EXPECT_EQ(SetRegString(Open("App", reg::kQueryValue).Handle(), "Name", "y"),
              reg::kAccessDenied);
    EXPECT_EQ(QueryRegString(0x7654, "Name", value), reg::kInvalidHandle);
    EXPECT_EQ(reg::CloseKey(0x7654), reg::kInvalidHandle);
    EXPECT_EQ(reg::CloseKey(reg::kCurrentUser), 0);
}

TEST_F(RegistryTest, KeyPathsFollowTheRegistrysRules) {
    CreateUserRegKey(Path("A\\B"));
    reg::RegKey key;
    EXPECT_EQ(key.Open(reg::kCurrentUser, "\\" + Path("A"), reg::kQueryValue), reg::kBadPathname);
    EXPECT_EQ(key.Create(reg::kCurrentUser, "\\" + Path("C"), reg::kAllAccess), reg::kBadPathname);
    // Empty levels (a trailing "\" or two in a row) are skipped.
    Open("A\\\\B\\", reg::kQueryValue);
    // "/" is an ordinary character of a key name.
    CreateUserRegKey(Path("x/y"));
    EXPECT_EQ(key.Open(reg::kCurrentUser, Path("x"), reg::kQueryValue), reg::kFileNotFound);
    // The empty path opens the root itself.
    EXPECT_EQ(key.Open(reg::kCurrentUser, "", reg::kQueryValue), 0);
    EXPECT_EQ(key.Handle(), reg::kCurrentUser);
    // Sub-keys of an open key.
    const reg::RegKey a = Open("A", reg::kRead);
    EXPECT_EQ(key.Open(a.Handle(), "b", reg::kQueryValue), 0);
}

TEST_F(RegistryTest, KeysCloseThemselvesAndKeepTheirKeyWhenACallFails) {
    CreateUserRegKey(Path("Own"));
    reg::RegKey key;
    EXPECT_FALSE(key.Valid());
    ASSERT_EQ(key.Open(reg::kCurrentUser, Path("Own"), reg::kAllAccess), 0);
    const reg::Key own = key.Handle();
    EXPECT_EQ(key.Open(reg::kCurrentUser, Path("Missing"), reg::kAllAccess), reg::kFileNotFound);
    EXPECT_EQ(key.Handle(), own);
    reg::RegKey moved = std::move(key);
    EXPECT_FALSE(key.Valid());
    EXPECT_EQ(moved.Handle(), own);
    // A sub-key opened through the key's own object replaces it, and only
    // then is the parent closed.
    ASSERT_EQ(moved.Create(moved.Handle(), "Child", reg::kAllAccess), 0);
    EXPECT_EQ(reg::CloseKey(own), reg::kInvalidHandle);
    reg::Key child = 0;
    {
        const reg::RegKey scoped = Open("Own\\child", reg::kQueryValue);
        child = scoped.Handle();
    }
    EXPECT_EQ(reg::CloseKey(child), reg::kInvalidHandle);

    // DWORDs are stored little-endian on both targets.
    ASSERT_EQ(moved.WriteDword("n", 0x8000000a), 0);
    std::uint32_t type = 0, n = 0;
    std::string bytes;
    ASSERT_EQ(moved.ReadValue("n", type, bytes), 0);
    EXPECT_EQ(type, reg::kDword);
    EXPECT_EQ(bytes, std::string("\x0a\0\0\x80", 4));
    EXPECT_EQ(moved.ReadDword("N", n), 0);
    EXPECT_EQ(n, 0x8000000au);
    ASSERT_EQ(SetRegString(moved.Handle(), "four", "abc"), 0);
    ASSERT_EQ(SetRegString(moved.Handle(), "long", "abcdefgh"), 0);
    EXPECT_EQ(moved.ReadDword("four", n), reg::kCantRead);
    EXPECT_EQ(moved.ReadDword("long", n), reg::kCantRead);
    EXPECT_EQ(moved.ReadDword("missing", n), reg::kFileNotFound);
    EXPECT_EQ(n, 0x8000000au);
}

TEST_F(RegistryTest, QueryValueReportsSizesAndStoredBytes) {
    CreateUserRegKey(sandbox_.Base());
    const reg::RegKey opened = Open("", reg::kAllAccess);
    const reg::Key key = opened.Handle();
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
    // A read after a size probe sees a change made in between through
    // another handle.
    ASSERT_EQ(reg::QueryValue(key, "raw", nullptr, nullptr, &size), 0);
    const reg::RegKey other = Open("", reg::kSetValue);
    ASSERT_EQ(reg::SetValue(other.Handle(), "raw", reg::kBinary, "xy", 2), 0);
    size = sizeof buffer;
    EXPECT_EQ(reg::QueryValue(key, "raw", &type, buffer, &size), 0);
    EXPECT_EQ(std::string(buffer, size), "xy");
    EXPECT_EQ(type, reg::kBinary);
    // A key opened to read answers what is there when it is read: a change
    // made after the open, many values and large ones.
    const std::string big(10000, 'b');
    ASSERT_EQ(reg::SetValue(key, "big", reg::kBinary, big.data(), 10000), 0);
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(SetRegString(key, "v" + std::to_string(i), std::to_string(i)), 0);
    const reg::RegKey reader = Open("", reg::kRead);
    ASSERT_EQ(SetRegString(key, "v1", "changed"), 0);
    std::string text;
    for (const auto& [name, expected] : {std::pair{"v1", "changed"}, {"V19", "19"}, {"v2", "2"}}) {
        EXPECT_EQ(QueryRegString(reader.Handle(), name, text), 0);
        EXPECT_EQ(text, expected);
    }
    EXPECT_EQ(reader.ReadValue("big", type, text), 0);
    EXPECT_EQ(text, big);
    EXPECT_EQ(reader.ReadValue("none", type, text), reg::kFileNotFound);
}

TEST_F(RegistryTest, EnumeratingAndDeletingTrees) {
    CreateUserRegKey(Path("Tree\\Beta"));
    CreateUserRegKey(Path("Tree\\alpha\\Leaf"));
    SaveUserRegString(Path("Tree"), "v", "1", false);
    const reg::RegKey opened = Open("Tree", reg::kAllAccess);
    const reg::Key tree = opened.Handle();
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
    reg::RegKey key;
    EXPECT_EQ(key.Open(reg::kCurrentUser, Path("Tree\\alpha\\Leaf"), reg::kQueryValue),
              reg::kFileNotFound);
    EXPECT_EQ(reg::DeleteTree(reg::kCurrentUser, Path("Tree\\alpha")), reg::kFileNotFound);
    // A handle whose key is gone answers "key deleted".
    ASSERT_EQ(reg::DeleteTree(reg::kCurrentUser, Path("Tree")), 0);
    std::string value;
    EXPECT_EQ(QueryRegString(tree, "v", value), reg::kKeyDeleted);
    EXPECT_EQ(SetRegString(tree, "v", "x"), reg::kKeyDeleted);
}

// Names that alias one another, which coverage cannot see.
TEST_F(RegistryTest, OddTextsDoNotBreakTheStore) {
    SaveUserRegString(Path("Odd"), "Bad", "\xff\xfe bad \xc3", true);
    SaveUserRegString(Path("Odd"), std::string("na\0me", 5), "cut name", true);
    EXPECT_NE(Get("Odd", "Bad"), "");
    // A name ends at its NUL, as a C string does.
    EXPECT_EQ(Get("Odd", "na"), "cut name");
    const std::string long_text(40000, 'x');
    SaveUserRegString(Path("Odd"), "Long", long_text, true);
    EXPECT_EQ(Get("Odd", "Long"), long_text);
    // Bytes that are not UTF-8 (an overlong "\\", an overlong "a") fold into
    // no other name: no key aliases "X\Y", no value aliases "a", and deleting
    // "x" leaves the sibling.
    SaveUserRegString(Path("Odd\\x"), "Level", "x", true);
    SaveUserRegString(Path("Odd\\x\xC1\x9Cy"), "Level", "one level", true);
    SaveUserRegString(Path("Odd\\X\\Y"), "Level", "two levels", true);
    SaveUserRegString(Path("Odd"), "\xC1\xA1", "overlong", true);
    SaveUserRegString(Path("Odd"), "a", "plain", true);
    EXPECT_EQ(Get("Odd", "\xC1\xA1"), "overlong");
    ASSERT_EQ(reg::DeleteTree(reg::kCurrentUser, Path("Odd\\x")), 0);
    EXPECT_EQ(Get("Odd\\x\xC1\x9Cy", "Level"), "one level");
}

} // namespace
