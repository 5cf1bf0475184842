// Win32 system queries under Wine: fonts from the prefix's Fonts folder, font
// smoothing set through SystemParametersInfo, the extra drive letters of the
// test prefix, and file attributes.
#include <windows.h>

#include "platform/registry.h"
#include "platform/system.h"
#include "platform/text_win32.h"
#include "tamberlin/sysutil/folders.h"
#include "tamberlin/sysutil/registry.h"
#include "tamberlin/sysutil/system_info.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <gtest/gtest.h>

namespace {

using namespace modQFSystemUtilities;

TEST(Win32System, FontsComeFromTheSystem) {
    EXPECT_TRUE(IsFontInstalled("Tahoma")) << "copy Wine's fonts into the prefix";
    EXPECT_FALSE(IsFontInstalled("Segoe UI"));
    EXPECT_FALSE(IsFontInstalled("No Such Font"));
}

// Smoothing set for this process only (no fWinIni flags), then put back.
TEST(Win32System, ClearTypeNeedsSmoothingAndTheClearTypeKind) {
    BOOL on = FALSE;
    UINT type = 0;
    SystemParametersInfoA(SPI_GETFONTSMOOTHING, 0, &on, 0);
    SystemParametersInfoA(SPI_GETFONTSMOOTHINGTYPE, 0, &type, 0);
    const auto set = [](BOOL smoothing, UINT kind) {
        SystemParametersInfoA(SPI_SETFONTSMOOTHING, smoothing, nullptr, 0);
        SystemParametersInfoA(SPI_SETFONTSMOOTHINGTYPE, 0, reinterpret_cast<void*>(kind), 0);
        return IsClearTypeOn();
    };
    EXPECT_FALSE(set(TRUE, FE_FONTSMOOTHINGSTANDARD));
    EXPECT_TRUE(set(TRUE, FE_FONTSMOOTHINGCLEARTYPE));
    EXPECT_FALSE(set(FALSE, FE_FONTSMOOTHINGCLEARTYPE));
    set(on, type);
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
    // A letter the list does not hold has no folders and takes none.
    char absent[] = "A:\\new\\";
    while (roots.find(std::string(absent, 3)) != std::string::npos)
        ++absent[0];
    EXPECT_FALSE(IsDriveAvailable(absent));
    EXPECT_FALSE(EnsureFolder(absent, true));
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

// The test runs with the German user locale (see tests/CMakeLists.txt).
TEST(Win32System, TheUsersLocaleAndTextAnotherProgramWroteInUtf16) {
    EXPECT_EQ(tamberlin::platform::system::AbbreviatedMonthName(3), "Mär");
    // The AppData folder of a user named Jürgen, as Windows itself writes it.
    tamberlin::testing::RegistrySandbox sandbox;
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER,
                              tamberlin::platform::win32::WideFromUtf8(sandbox.Base()).c_str(), 0,
                              nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const std::wstring folder = L"C:\\users\\J\u00fcrgen\\AppData\\Roaming";
    const LONG rc =
        RegSetValueExW(key, L"AppData", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                       static_cast<DWORD>((folder.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    ASSERT_EQ(rc, ERROR_SUCCESS);
    std::string value;
    GetUserRegString(sandbox.Base(), "AppData", value);
    EXPECT_EQ(value, "C:\\users\\Jürgen\\AppData\\Roaming");
}

} // namespace
