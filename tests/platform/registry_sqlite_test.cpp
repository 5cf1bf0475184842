// The Linux registry store as files: where they are, who may read them, what
// happens when they are damaged, and several processes writing at once.
#include "apps/reg/reg_tool.h"
#include "platform/registry_sqlite.h"
#include "tamberlin/sysutil/folders.h"
#include "tamberlin/sysutil/registry.h"
#include "tests/support/scripted_host.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>

namespace {

using namespace modQFSystemUtilities;
namespace reg = tamberlin::platform::registry;
namespace fs = std::filesystem;

class SqliteStoreTest : public ::testing::Test {
protected:
    std::string UserDb() const { return sandbox_.ConfigHome() + "/Quillfern/registry.db"; }
    std::string MachineDb() const { return sandbox_.ConfigDir() + "/Quillfern/registry.db"; }
    static mode_t Mode(const std::string& path) {
        struct stat st {};
        stat(path.c_str(), &st);
        return st.st_mode & 07777;
    }

    tamberlin::testing::RegistrySandbox sandbox_;
};

TEST_F(SqliteStoreTest, TheUserStoreIsPrivateAndSeeded) {
    EXPECT_EQ(reg::StorePath(reg::kCurrentUser), UserDb());
    EXPECT_EQ(reg::StorePath(reg::kLocalMachine), MachineDb());
    EXPECT_EQ(GetAppDataPath(), sandbox_.DataHome() + "/");
    EXPECT_EQ(Mode(UserDb()), 0600u);
    EXPECT_EQ(Mode(sandbox_.ConfigHome() + "/Quillfern"), 0700u);
    // Reading the machine root does not create its store.
    std::string value = "kept";
    EXPECT_FALSE(GetMachineRegString("Software\\Anything", "", value));
    EXPECT_EQ(value, "kept");
    EXPECT_FALSE(fs::exists(MachineDb()));
}

TEST_F(SqliteStoreTest, XdgVariablesChooseTheFolders) {
    setenv("XDG_CONFIG_DIRS",
           ("relative/ignored:" + sandbox_.ConfigDir() + "/first:/second").c_str(), 1);
    EXPECT_EQ(reg::StorePath(reg::kLocalMachine),
              sandbox_.ConfigDir() + "/first/Quillfern/registry.db");
    unsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(reg::StorePath(reg::kLocalMachine), "/etc/xdg/Quillfern/registry.db");
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("XDG_CONFIG_HOME", "not/absolute", 1);
    EXPECT_EQ(reg::StorePath(reg::kCurrentUser), home + "/.config/Quillfern/registry.db");
}

TEST_F(SqliteStoreTest, TheMachineStoreIsCreatedByItsFirstWriteAndSeeded) {
    // The mode asked for, under the usual umask whatever the caller's is.
    const struct Umask {
        mode_t old = umask(022);
        ~Umask() { umask(old); }
    } usual;
    {
        reg::RegKey key;
        ASSERT_EQ(key.Create(reg::kLocalMachine, "SOFTWARE\\Clients\\Mail", reg::kAllAccess), 0);
        EXPECT_EQ(SetRegString(key.Handle(), "", "Recorder"), 0);
    }
    EXPECT_EQ(Mode(MachineDb()), 0644u);
    std::string value;
    GetMachineRegString64("Software\\Clients\\Mail", "", value);
    EXPECT_EQ(value, "Recorder");
    tamberlin::testing::ScriptedHost host;
    EXPECT_EQ(GetCommonFilesPath(), "/usr/share/");
    EXPECT_TRUE(host.Boxes().empty());
}

TEST_F(SqliteStoreTest, AMissingCommonFilesFolderIsReported) {
    tamberlin::testing::ScriptedHost host;
    EXPECT_EQ(GetCommonFilesPath(), "");
    EXPECT_EQ(host.OnlyBox(), (tamberlin::testing::ShownBox{"Cannot find [Common Files] directory.",
                                                            "Error", tamberlin::ui::Buttons::kOK,
                                                            tamberlin::ui::Icon::kWarning}));
}

TEST_F(SqliteStoreTest, ACorruptStoreFailsReadsAndIsLeftAsItWas) {
    fs::create_directories(sandbox_.ConfigHome() + "/Quillfern");
    const std::string garbage(8192, '\x5a');
    std::ofstream(UserDb(), std::ios::binary) << garbage;
    std::string value = "stale";
    GetUserRegString("Software", "x", value);
    EXPECT_EQ(value, "");
    reg::RegKey key;
    EXPECT_EQ(key.Open(reg::kCurrentUser, "Software", reg::kQueryValue), reg::kBadDb);
    SaveUserRegString("Software\\X", "v", "lost?", true);
    CreateUserRegKey("Software\\Y");
    EXPECT_EQ(GetAppDataPath(), "");
    EXPECT_EQ(tamberlin::testing::ReadFile(UserDb()), garbage);

    std::ostringstream out, err;
    std::istringstream in;
    EXPECT_EQ(tamberlin::regtool::Run({"query", "HKCU\\Software"}, in, out, err), 1);
    EXPECT_EQ(err.str(), "ERROR: The configuration registry database is corrupt.\n");
}

TEST_F(SqliteStoreTest, AStoreThatCannotBeReadFailsReads) {
    // A folder where the database should be: nothing can be read from it.
    fs::create_directories(UserDb());
    reg::RegKey key;
    EXPECT_EQ(key.Open(reg::kCurrentUser, "Software", reg::kQueryValue), reg::kIoFailed);
    std::string value = "stale";
    GetUserRegString("Software", "x", value);
    EXPECT_EQ(value, "");
}

TEST_F(SqliteStoreTest, AConfigFolderThatCannotBeMadeIsRefusedAccess) {
    const std::string file = sandbox_.ConfigHome() + "-file";
    std::ofstream(file) << "a file, not a folder";
    setenv("XDG_CONFIG_HOME", (file + "/config").c_str(), 1);
    reg::CloseStores();
    reg::RegKey key;
    EXPECT_EQ(key.Create(reg::kCurrentUser, "Software\\X", reg::kAllAccess), reg::kAccessDenied);
    EXPECT_EQ(GetAppDataPath(), "");
    fs::remove(file);
}

TEST_F(SqliteStoreTest, BytesAreKeptExactly) {
    const std::string bytes = "\xff\xfe bad \xc3 and \xc3\xa4";
    SaveUserRegString("Software\\Odd", "Bad", bytes, true);
    std::string value;
    GetUserRegString("software\\odd", "bad", value);
    EXPECT_EQ(value, bytes);
    // Case folding beyond ASCII.
    SaveUserRegString("Software\\Город", "Ключ", "значение", true);
    GetUserRegString("SOFTWARE\\ГОРОД", "ключ", value);
    EXPECT_EQ(value, "значение");
}

TEST_F(SqliteStoreTest, ConcurrentWritersLoseNothing) {
    constexpr int kWriters = 4;
    constexpr int kEach = 250;
    reg::CloseStores(); // no connection may cross fork()
    EXPECT_TRUE(tamberlin::testing::RunInChildren(kWriters, [](int w) {
        for (int i = 0; i < kEach; ++i) {
            const std::string n = std::to_string(w) + "-" + std::to_string(i);
            SaveUserRegString("Software\\Race\\" + std::to_string(i % 10), n, n, true);
            SaveUserRegString("Software\\Race", "last", n, true);
        }
        return true;
    }));
    int found = 0;
    for (int w = 0; w < kWriters; ++w)
        for (int i = 0; i < kEach; ++i) {
            const std::string n = std::to_string(w) + "-" + std::to_string(i);
            std::string value;
            GetUserRegString("Software\\Race\\" + std::to_string(i % 10), n, value);
            found += value == n;
        }
    EXPECT_EQ(found, kWriters * kEach);
}

} // namespace
