// Win32 system queries under Wine: fonts from the prefix's Fonts folder, font
// smoothing set through SystemParametersInfo, the extra drive letters of the
// test prefix, and file attributes.
#include <windows.h>

#include "platform/registry.h"
#include "platform/system.h"
#include "tamberlin/sysutil/folders.h"
#include "tamberlin/sysutil/system_info.h"
#include "tests/support/temp_folder.h"

#include <gtest/gtest.h>

namespace {

using namespace modQFSystemUtilities;

TEST(Win32System, FontsComeFromTheSystem) {
    EXPECT_TRUE(IsFontInstalled("Tahoma")) << "copy Wine's fonts into the prefix";
    EXPECT_FALSE(IsFontInstalled("Segoe UI"));
    EXPECT_FALSE(IsFontInstalled("No Such Font"));
}

// Smoothing settings changed for this process only (no fWinIni flags).
class SmoothingTest : public ::testing::Test {
protected:
    void SetUp() override {
        SystemParametersInfoA(SPI_GETFONTSMOOTHING, 0, &on_, 0);
        SystemParametersInfoA(SPI_GETFONTSMOOTHINGTYPE, 0, &type_, 0);
    }
    void TearDown() override { Set(on_, type_); }
    static void Set(BOOL on, UINT type) {
        SystemParametersInfoA(SPI_SETFONTSMOOTHING, on, nullptr, 0);
        SystemParametersInfoA(SPI_SETFONTSMOOTHINGTYPE, 0, reinterpret_cast<void*>(type), 0);
    }
    BOOL on_ = FALSE;
    UINT type_ = 0;
};

TEST_F(SmoothingTest, ClearTypeNeedsSmoothingAndTheClearTypeKind) {
    Set(TRUE, FE_FONTSMOOTHINGSTANDARD);
    EXPECT_FALSE(IsClearTypeOn());
    Set(TRUE, FE_FONTSMOOTHINGCLEARTYPE);
    EXPECT_TRUE(IsClearTypeOn());
    Set(FALSE, FE_FONTSMOOTHINGCLEARTYPE);
    EXPECT_FALSE(IsClearTypeOn());
}

// The test prefix is 64-bit: a 32-bit process sees two machine trees, a
// 64-bit one only its own.
TEST(Win32System, OnlyA32BitProcessSeesASeparate64BitMachineRoot) {
    EXPECT_EQ(tamberlin::platform::registry::HasSeparate64BitView(), sizeof(void*) == 4);
}

TEST(Win32System, SystemFolders) {
    EXPECT_EQ(lstrcmpiA(GetWindowsPath().c_str(), "C:\\windows\\"), 0) << GetWindowsPath();
    EXPECT_EQ(lstrcmpiA(GetSystemPath().c_str(), "C:\\windows\\system32\\"), 0) << GetSystemPath();
}

TEST(Win32System, EveryDriveIsSeenWhenThereAreMoreThanSixteen) {
    const std::string roots = tamberlin::platform::system::LogicalDriveStrings();
    const size_t drives = roots.size() / 4;
    ASSERT_GE(drives, 17u) << "the test prefix needs its extra drive letters";
    const std::string last = roots.substr(roots.size() - 4, 3);
    EXPECT_TRUE(IsDriveAvailable(last + "folder"));
    char lower[] = {static_cast<char>(last[0] | 0x20), ':', '\\', 0};
    EXPECT_TRUE(IsDriveAvailable(lower));
    EXPECT_TRUE(EnsureFolder(last, false));
}

TEST(Win32System, HiddenAndSystemFilesAreFound) {
    tamberlin::testing::TempFolder temp;
    const std::string file = temp.MakeFile("hidden.txt");
    ASSERT_TRUE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                     FILE_ATTRIBUTE_READONLY));
    std::string full;
    EXPECT_TRUE(FindFileInFolder("hidden.txt", temp.Text(), full));
    EXPECT_EQ(full, file);
    SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL);
}

} // namespace
