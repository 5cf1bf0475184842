// Folders, drives and file search against the real file system, in
// temporary folders.
#include "platform/files.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/sysutil/folders.h"
#include "tests/support/app_state.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <filesystem>
#include <gmock/gmock.h>

namespace {

using ::testing::Property;
using ::testing::Throws;
using namespace modQFSystemUtilities;
using tamberlin::testing::kSep;
using tamberlin::testing::TempFolder;
namespace fs = std::filesystem;

const char kListSep = tamberlin::platform::NativePathStyle().list_separator;

// The folders' texts: values coverage cannot see. (The executable's path:
// long_path.cmake, with and without /proc.)
TEST(SystemFolders, EndWithTheSeparatorAndExist) {
    for (const std::string& folder : {GetWindowsPath(), GetSystemPath()}) {
        ASSERT_FALSE(folder.empty());
        EXPECT_EQ(folder.back(), kSep[0]) << folder;
        EXPECT_TRUE(EnsureFolder(folder, false)) << folder;
    }
}

TEST(Drives, APathOnAnAvailableDriveIsAvailable) {
    TempFolder temp;
    std::string lower = temp.Text();
    lower[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(lower[0])));
    EXPECT_TRUE(IsDriveAvailable(temp.Text()));
    EXPECT_TRUE(IsDriveAvailable(lower)); // "c:\..." as "C:\..."
    EXPECT_FALSE(IsDriveAvailable(""));
    EXPECT_FALSE(IsDriveAvailable(std::string("temp") + kSep + "x"));
    // A path starting with two separators is a network path: it must exist.
    const std::string network = kSep + kSep + "no-such-server" + kSep + "share";
    EXPECT_FALSE(IsDriveAvailable(network));
}

TEST(EnsureFolder, FindsOrCreatesOneLevelAndRefusesBadTexts) {
    TempFolder temp;
    const std::string missing = temp.Text() + "new";
    EXPECT_TRUE(EnsureFolder(temp.Text(), false));
    EXPECT_FALSE(EnsureFolder(missing, false));
    EXPECT_FALSE(fs::exists(temp.path() / "new"));
    EXPECT_TRUE(EnsureFolder(missing + kSep, true));
    EXPECT_TRUE(fs::is_directory(temp.path() / "new"));
    EXPECT_TRUE(EnsureFolder(missing, false));
    // One level only: a missing parent is a failure, not a tree.
    EXPECT_FALSE(EnsureFolder(temp.Text() + "a" + kSep + "b", true));
    EXPECT_FALSE(fs::exists(temp.path() / "a"));
    // Texts that are no path.
    EXPECT_FALSE(EnsureFolder(temp.Text() + std::string(40000, 'x'), true));
    EXPECT_FALSE(EnsureFolder(temp.Text() + std::string("a\0b", 3), true));
    EXPECT_FALSE(EnsureFolder("", true));
}

TEST(FindFileInFolder, FindsFilesWithOrWithoutATrailingSeparatorEvenReadOnly) {
    TempFolder temp;
    const std::string file = temp.MakeFile("target.txt");
    fs::permissions(tamberlin::testing::FsPath(file), fs::perms::owner_read);
    std::string without = temp.Text();
    without.pop_back();
    const auto find = [](const std::string& name, const std::string& folder) {
        std::string full = "stale";
        return FindFileInFolder(name, folder, full) ? full : "not found, left \"" + full + "\"";
    };
    EXPECT_EQ(find("target.txt", temp.Text()), file);
    EXPECT_EQ(find("target.txt", without), file);
    EXPECT_EQ(find("absent.txt", temp.Text()), "not found, left \"\"");
    // A folder is not a file.
    fs::create_directory(temp.path() / "sub");
    EXPECT_EQ(find("sub", temp.Text()), "not found, left \"\"");
    // An invalid name raises "bad file name".
    std::string full;
    EXPECT_THAT([&] { FindFileInFolder(std::string("a\0b", 3), temp.Text(), full); },
                Throws<tamberlin::runtime::RuntimeError>(
                    Property(&tamberlin::runtime::RuntimeError::Number, 52)));
    // A pattern without a folder lists the current one.
    namespace files = tamberlin::platform::files;
    const fs::path before = fs::current_path();
    fs::current_path(temp.path());
    EXPECT_EQ(files::FirstEntry("targ*.txt", files::kNormal), files::Listing::kEntry);
    EXPECT_EQ(files::FirstEntry("absent*", files::kNormal), files::Listing::kNoEntry);
    fs::current_path(before);
}

// FindFile reads the program folder from the application-wide data.
class FindFileTest : public tamberlin::testing::AppStateTest {};

TEST_F(FindFileTest, SearchesTheGivenOrProgramFolderThenTheSearchPathInOrder) {
    TempFolder first, a, b;
    first.MakeFile("both.txt");
    b.MakeFile("both.txt");
    b.MakeFile("only-b.txt");
    // An empty entry between the folders does not end the search.
    tamberlin::testing::EnvironmentOverride path("PATH", a.Text() + kListSep + kListSep + b.Text());
    const auto find = [&](const std::string& name) {
        std::string where = first.Text();
        return FindFile(name, where) ? where : "not found, left \"" + where + "\"";
    };
    EXPECT_EQ(find("both.txt"), first.Text() + "both.txt");
    EXPECT_EQ(find("only-b.txt"), b.Text() + "only-b.txt");
    EXPECT_EQ(find("nowhere-tamberlin.txt"), "not found, left \"\"");
    EXPECT_EQ(find(std::string(40000, 'n')), "not found, left \"\"");
    // An empty start searches the program folder, before the search path.
    TempFolder program;
    program.MakeFile("both.txt");
    modQFAllData::strAppPath = program.Text();
    std::string where;
    EXPECT_TRUE(FindFile("both.txt", where));
    EXPECT_EQ(where, program.Text() + "both.txt");
}

} // namespace
