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
#include <gmock/gmock.h>
#include <map>
#include <sqlite3.h>
#include <sstream>
#include <sys/stat.h>

namespace {

using ::testing::HasSubstr;
using namespace modQFSystemUtilities;
namespace reg = tamberlin::platform::registry;
namespace fs = std::filesystem;

class SqliteStoreTest : public ::testing::Test {
protected:
    std::string UserDb() const { return sandbox_.Folder("config") + "/Quillfern/registry.db"; }
    std::string MachineDb() const { return sandbox_.Folder("etc") + "/Quillfern/registry.db"; }
    static unsigned Mode(const std::string& path) {
        return static_cast<unsigned>(fs::status(path).permissions());
    }

    tamberlin::testing::RegistrySandbox sandbox_;
};

TEST_F(SqliteStoreTest, TheStoresAreWhereXdgSaysAndTheUserStoreIsPrivateAndSeeded) {
    EXPECT_EQ(reg::StorePath(reg::kCurrentUser), UserDb());
    EXPECT_EQ(reg::StorePath(reg::kLocalMachine), MachineDb());
    EXPECT_EQ(GetAppDataPath(), sandbox_.Folder("data") + "/");
    EXPECT_EQ(Mode(UserDb()), 0600u);
    EXPECT_EQ(Mode(sandbox_.Folder("config") + "/Quillfern"), 0700u);
    // A machine store that does not exist answers as a new one would, and
    // neither reading nor deleting what it lacks creates it.
    std::string value = "kept";
    EXPECT_FALSE(GetMachineRegString("Software\\Anything", "", value));
    EXPECT_EQ(value, "kept");
    tamberlin::testing::ScriptedHost host;
    EXPECT_EQ(GetCommonFilesPath(), "/usr/share/");
    EXPECT_TRUE(host.Boxes().empty());
    EXPECT_EQ(reg::DeleteTree(reg::kLocalMachine, "Software\\Anything"), reg::kFileNotFound);
    reg::RegKey key;
    ASSERT_EQ(key.Open(reg::kLocalMachine, "software\\microsoft\\windows\\currentversion",
                       reg::kAllAccess),
              0);
    EXPECT_EQ(reg::DeleteValue(key.Handle(), "Other"), reg::kFileNotFound);
    EXPECT_FALSE(fs::exists(MachineDb()));
    // Deleting a seeded value has to be recorded: only that makes the store.
    EXPECT_EQ(reg::DeleteValue(key.Handle(), "CommonFilesDir"), 0);
    EXPECT_TRUE(fs::exists(MachineDb()));
    EXPECT_FALSE(GetMachineRegString("Software\\Microsoft\\Windows\\CurrentVersion",
                                     "CommonFilesDir", value));
    // Other XDG settings: the first absolute entry; the defaults.
    setenv("XDG_CONFIG_DIRS",
           ("relative/ignored:" + sandbox_.Folder("etc") + "/first:/second").c_str(), 1);
    EXPECT_EQ(reg::StorePath(reg::kLocalMachine),
              sandbox_.Folder("etc") + "/first/Quillfern/registry.db");
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
    // Without its seed the Common Files folder is reported missing.
    ASSERT_EQ(reg::DeleteTree(reg::kLocalMachine, "Software\\Microsoft"), 0);
    EXPECT_EQ(GetCommonFilesPath(), "");
    EXPECT_EQ(host.OnlyBox(), (tamberlin::testing::ShownBox{"Cannot find [Common Files] directory.",
                                                            "Error", tamberlin::ui::Buttons::kOK,
                                                            tamberlin::ui::Icon::kWarning}));
}

// Reads that cannot get through (a damaged file, or a folder where the file
// should be) still answer what the store is seeded with, so that the data
// folder never degrades into a relative path; the damaged file is left as it was.
TEST_F(SqliteStoreTest, AStoreThatCannotBeReadFailsReadsButItsSeedAndIsLeftAsItWas) {
    const std::string garbage(8192, '\x5a');
    for (const long expected : {reg::kIoFailed, reg::kBadDb}) {
        SCOPED_TRACE(expected);
        reg::CloseStores();
        fs::remove_all(UserDb());
        fs::create_directories(expected == reg::kBadDb ? sandbox_.Folder("config") + "/Quillfern"
                                                       : UserDb());
        if (expected == reg::kBadDb)
            std::ofstream(UserDb(), std::ios::binary) << garbage;
        std::string value = "stale";
        GetUserRegString("Software", "x", value);
        EXPECT_EQ(value, "");
        reg::RegKey key;
        EXPECT_EQ(key.Open(reg::kCurrentUser, "Software\\X", reg::kQueryValue), expected);
        SaveUserRegString("Software\\X", "v", "lost?", true);
        CreateUserRegKey("Software\\Y");
        EXPECT_EQ(GetAppDataPath(), sandbox_.Folder("data") + "/");
    }
    EXPECT_EQ(tamberlin::testing::ReadFile(UserDb()), garbage);
    std::ostringstream out, err;
    std::istringstream in;
    EXPECT_EQ(tamberlin::regtool::Run({"query", "HKCU\\Software"}, in, out, err), 1);
    EXPECT_EQ(err.str(), "ERROR: The configuration registry database is corrupt.\n");
}

// Output of a shell command running one of the programs, with this
// process's environment.
std::string Output(const std::string& command) {
    return tamberlin::testing::RunProgram({"/bin/sh", "-c", command}).output;
}

// A store file left empty is built again, in WAL mode: readers (other
// processes here) go through while a writer holds the store.
TEST_F(SqliteStoreTest, AnEmptyStoreIsBuiltAgainAndReadersGoThroughWhileAnotherProcessWrites) {
    fs::create_directories(sandbox_.Folder("config") + "/Quillfern");
    std::ofstream(UserDb()).close();
    SaveUserRegString("Software\\Held", "v", "before", true);
    reg::CloseStores();
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(UserDb().c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer,
                           "BEGIN IMMEDIATE; DELETE FROM reg_values WHERE fold = 'V'; "
                           "CREATE TABLE other(x);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_TRUE(fs::exists(UserDb() + "-wal")); // a rollback journal would be "-journal"
    const std::string data = sandbox_.Folder("data") + "/Quillfern/Tamberlin/";
    EXPECT_THAT(Output(TAMBERLIN_DEMO " info"), HasSubstr("strAppDataPath: " + data + "\n"));
    EXPECT_THAT(Output(TAMBERLIN_REG " query 'HKCU\\Software\\Held'"), HasSubstr("before"));
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);
}

// A disk that fills up: SQLite's own file layer, except that every write from
// the n-th on fails as it does on a full disk. A real small disk (tmpfs)
// needs root to mount; this reaches every write the same way.
struct FillingDisk {
    // SQLite's file layer has methods of its own for each kind of file.
    struct Methods {
        sqlite3_io_methods ours; // first: the file's pMethods points here
        const sqlite3_io_methods* real;
    };
    static inline int writes_left = 0;
    static inline std::map<const sqlite3_io_methods*, Methods> methods;
    static inline sqlite3_vfs vfs;
    static int Write(sqlite3_file* f, const void* data, int n, sqlite3_int64 offset) {
        const auto* real = reinterpret_cast<const Methods*>(f->pMethods)->real;
        return --writes_left < 0 ? SQLITE_FULL : real->xWrite(f, data, n, offset);
    }
    static int Open(sqlite3_vfs* self, const char* name, sqlite3_file* f, int flags, int* out) {
        auto* base = static_cast<sqlite3_vfs*>(self->pAppData);
        const int rc = base->xOpen(base, name, f, flags, out);
        if (f->pMethods) {
            Methods& m =
                methods.try_emplace(f->pMethods, Methods{*f->pMethods, f->pMethods}).first->second;
            m.ours.xWrite = Write;
            f->pMethods = &m.ours;
        }
        return rc;
    }
    explicit FillingDisk(int writes) {
        writes_left = writes;
        vfs = *sqlite3_vfs_find(nullptr);
        vfs.pAppData = sqlite3_vfs_find(nullptr);
        vfs.zName = "filling";
        vfs.xOpen = Open;
        sqlite3_vfs_register(&vfs, 1);
    }
    ~FillingDisk() {
        reg::CloseStores();
        sqlite3_vfs_register(static_cast<sqlite3_vfs*>(vfs.pAppData), 1);
        sqlite3_vfs_unregister(&vfs);
    }
};

// A store is made whole or not at all, and so are the tables of a database
// made by other hands: whichever write the disk fills at, a later call with
// room makes them, and none finds the store corrupt or a staging file left.
TEST_F(SqliteStoreTest, ADiskThatFillsWhileTheStoreIsMadeLeavesNoBrokenStore) {
    const std::string folder = sandbox_.Folder("config") + "/Quillfern";
    for (const bool foreign : {false, true})
        for (int writes = 0;; ++writes) {
            SCOPED_TRACE(std::to_string(writes) +
                         (foreign ? " writes, a foreign file" : " writes"));
            reg::CloseStores();
            fs::remove_all(folder);
            if (foreign) {
                fs::create_directories(folder);
                sqlite3* db = nullptr;
                sqlite3_open(UserDb().c_str(), &db);
                sqlite3_exec(db, "CREATE TABLE other(x)", nullptr, nullptr, nullptr);
                sqlite3_close(db);
            }
            reg::RegKey key;
            {
                FillingDisk disk(writes);
                EXPECT_NE(key.Create(reg::kCurrentUser, "Software\\X", reg::kAllAccess),
                          reg::kBadDb);
                key.Close();
                if (FillingDisk::writes_left >= 0)
                    break; // the disk never filled: every write has been failed once
            }
            ASSERT_EQ(key.Create(reg::kCurrentUser, "Software\\X", reg::kAllAccess), 0);
            EXPECT_EQ(SetRegString(key.Handle(), "v", "kept"), 0);
            key.Close();
            reg::CloseStores();
            std::string value;
            GetUserRegString("Software\\X", "v", value);
            EXPECT_EQ(value, "kept");
            for (const auto& file : fs::directory_iterator(folder))
                EXPECT_EQ(file.path().filename().string().find(".new-"), std::string::npos);
        }
}

// A file in the folder's way; past SQLite's path limit the reason is the
// name's length.
TEST_F(SqliteStoreTest, AConfigFolderThatCannotBeMadeIsRefusedAccess) {
    const std::string file = sandbox_.Folder("config") + "-file";
    std::ofstream(file) << "a file, not a folder";
    for (const auto& [config, refused] :
         {std::pair{file + "/config", reg::kAccessDenied},
          {sandbox_.Folder("config") + "/" + std::string(500, 'p'), reg::kFilenameTooLong}}) {
        setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        reg::CloseStores();
        reg::RegKey key;
        EXPECT_EQ(key.Create(reg::kCurrentUser, "Software\\X", reg::kAllAccess), refused);
        EXPECT_EQ(GetAppDataPath(), sandbox_.Folder("data") + "/");
    }
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

TEST_F(SqliteStoreTest, TheRegistrysLimitsAreKept) {
    const auto create = [](const std::string& path) {
        reg::RegKey key;
        return key.Create(reg::kCurrentUser, path, reg::kAllAccess);
    };
    EXPECT_EQ(create("Software\\" + std::string(255, 'k')), 0);
    EXPECT_EQ(create("Software\\" + std::string(256, 'k')), reg::kInvalidParameter);
    std::string deep = "Software";
    for (int level = 1; level < 512; ++level)
        deep += "\\k";
    EXPECT_EQ(create(deep), 0);
    EXPECT_EQ(create(deep + "\\k"), reg::kInvalidParameter);
    reg::RegKey key;
    ASSERT_EQ(key.Create(reg::kCurrentUser, "Software", reg::kAllAccess), 0);
    EXPECT_EQ(SetRegString(key.Handle(), std::string(16383, 'n'), "x"), 0);
    EXPECT_EQ(SetRegString(key.Handle(), std::string(16384, 'n'), "x"), reg::kInvalidParameter);
}

// An import is one transaction: cut short by the file size limit (the tool
// must say so, not die of SIGXFSZ) or by kill -9, it leaves all or nothing.
TEST_F(SqliteStoreTest, AnImportLandsWholeOrNotAtAll) {
    constexpr int kKeys = 2000;
    tamberlin::testing::TempFolder temp;
    std::string text = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (int i = 0; i < kKeys; ++i)
        text += "[HKEY_CURRENT_USER\\Software\\Big\\" + std::to_string(i) + "]\r\n\"v\"=\"" +
                std::string(200, 'd') + "\"\r\n\r\n";
    const std::string file = temp.MakeFile("big.reg", text);
    GetAppDataPath(); // the store exists before the limit is set
    reg::CloseStores();
    const auto keys = [] {
        reg::CloseStores();
        reg::RegKey key;
        if (key.Open(reg::kCurrentUser, "Software\\Big", reg::kRead) != 0)
            return 0;
        std::string name;
        int n = 0;
        while (reg::EnumKey(key.Handle(), static_cast<std::uint32_t>(n), name) == 0)
            ++n;
        return n;
    };
    const std::string out =
        Output("ulimit -f 100; exec " TAMBERLIN_REG " import '" + file + "' 2>&1");
    EXPECT_THAT(out, HasSubstr("ERROR: "));
    EXPECT_EQ(keys(), 0);
    for (const double seconds : {0.005, 0.02, 0.06}) {
        reg::CloseStores();
        tamberlin::testing::RunProgram({TAMBERLIN_REG, "import", file}, "", seconds); // then -9
        const int found = keys();
        EXPECT_TRUE(found == 0 || found == kKeys) << found << " after " << seconds << " s";
    }
}

// Short of memory from their first allocation (the copy of long arguments),
// both programs end with a message, never with abort's signal.
TEST_F(SqliteStoreTest, ProgramsShortOfMemoryEndWithAMessage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer's shadow memory does not fit under a small ulimit -v";
#endif
    const tamberlin::testing::EnvironmentOverride a("A", std::string(100000, 'a'));
    for (const std::string program : {TAMBERLIN_REG " query", TAMBERLIN_DEMO " info"})
        for (int kb = 9000; kb <= 16000; kb += 500) {
            const std::string command = "ulimit -v " + std::to_string(kb) + "; exec " + program +
                                        " $A $A $A $A $A $A $A $A $A $A $A $A 2>/dev/null";
            EXPECT_EQ(tamberlin::testing::RunProgram({"/bin/sh", "-c", command}).signal, 0)
                << program << " under " << kb << " KB";
        }
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
