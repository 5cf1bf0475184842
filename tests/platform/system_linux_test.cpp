// Fonts through fontconfig with a configuration of the test's own, and the
// decimal separator from real locales (package locales-all).
#include "platform/system.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/sysutil/system_info.h"
#include "tests/support/app_state.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_env.h"

#include <cstdlib>
#include <filesystem>
#include <fontconfig/fontconfig.h>
#include <fstream>
#include <gtest/gtest.h>

namespace {

using namespace modQFSystemUtilities;
namespace fs = std::filesystem;

constexpr const char* kTahoma = "/usr/share/wine/fonts/tahoma.ttf"; // package fonts-wine

// A fontconfig world with only the fonts and settings a case names; a copy of
// Tahoma stands in for Segoe UI.
class FontsTest : public tamberlin::testing::AppStateTest {
protected:
    void Use(bool tahoma, bool segoe, bool antialias, const char* rgba) {
        const fs::path fonts = temp_.path() / "fonts";
        fs::create_directories(fonts);
        if (tahoma)
            fs::copy_file(kTahoma, fonts / "tahoma.ttf");
        if (segoe)
            fs::copy_file(kTahoma, fonts / "segoe.ttf");
        std::ofstream(temp_.path() / "fonts.conf")
            << "<?xml version=\"1.0\"?>\n<fontconfig>\n"
            << "<dir>" << fonts.string() << "</dir>\n"
            << "<cachedir>" << (temp_.path() / "cache").string() << "</cachedir>\n"
            << "<match target=\"scan\"><test name=\"file\"><string>"
            << (fonts / "segoe.ttf").string()
            << "</string></test><edit name=\"family\" mode=\"assign\"><string>Segoe UI</string>"
            << "</edit></match>\n"
            << "<match target=\"pattern\"><edit name=\"antialias\" mode=\"assign\"><bool>"
            << (antialias ? "true" : "false") << "</bool></edit>"
            << "<edit name=\"rgba\" mode=\"assign\"><const>" << rgba << "</const></edit></match>\n"
            << "</fontconfig>\n";
        setenv("FONTCONFIG_FILE", (temp_.path() / "fonts.conf").c_str(), 1);
        ASSERT_TRUE(FcInitReinitialize());
    }
    void TearDown() override {
        unsetenv("FONTCONFIG_FILE");
        FcInitReinitialize();
    }

    tamberlin::testing::TempFolder temp_;
    tamberlin::testing::RegistrySandbox sandbox_;
};

TEST_F(FontsTest, InstalledMeansExactlyThatName) {
    Use(true, false, false, "none");
    EXPECT_TRUE(IsFontInstalled("Tahoma"));
    EXPECT_FALSE(IsFontInstalled("tahoma"));
    EXPECT_FALSE(IsFontInstalled("Ta homa")); // the family listing ignores blanks; the name may not
    EXPECT_FALSE(IsFontInstalled("Segoe UI"));
    EXPECT_FALSE(IsFontInstalled(""));
    modQFAllData::InitAppData();
    EXPECT_EQ(modQFAllData::strFontName, "Tahoma");
    EXPECT_EQ(modQFAllData::dblFontSize, 8.25);
}

TEST_F(FontsTest, SegoeUiNeedsClearType) {
    Use(true, true, true, "none");
    EXPECT_TRUE(IsFontInstalled("Segoe UI"));
    EXPECT_TRUE(tamberlin::platform::system::FontSmoothing());
    EXPECT_FALSE(IsClearTypeOn()); // smoothing without subpixel colour
    modQFAllData::InitAppData();
    EXPECT_EQ(modQFAllData::strFontName, "Tahoma");
}

TEST_F(FontsTest, SegoeUiWithClearType) {
    Use(true, true, true, "rgb");
    EXPECT_TRUE(IsClearTypeOn());
    modQFAllData::InitAppData();
    EXPECT_EQ(modQFAllData::strFontName, "Segoe UI");
    EXPECT_EQ(modQFAllData::dblFontSize, 9.0);
}

TEST_F(FontsTest, SubpixelWithoutSmoothingIsNotClearType) {
    Use(false, true, false, "bgr");
    EXPECT_FALSE(IsClearTypeOn());
    modQFAllData::InitAppData();
    EXPECT_EQ(modQFAllData::strFontName, "Arial");
    EXPECT_EQ(modQFAllData::dblFontSize, 9.0);
}

class LocaleTest : public tamberlin::testing::AppStateTest {
protected:
    static std::int16_t SeparatorIn(const char* locale) {
        setenv("LC_ALL", locale, 1);
        modQFAllData::InitAppData();
        return modQFAllData::intDecimalSeparator;
    }
    tamberlin::testing::EnvironmentOverride locale_{"LC_ALL", std::nullopt};
    tamberlin::testing::RegistrySandbox sandbox_;
};

TEST_F(LocaleTest, DecimalSeparatorComesFromTheUsersLocale) {
    EXPECT_EQ(SeparatorIn("de_DE.UTF-8"), 44);
    EXPECT_EQ(SeparatorIn("fr_FR.UTF-8"), 44);
    EXPECT_EQ(SeparatorIn("en_US.UTF-8"), 46);
    EXPECT_EQ(SeparatorIn("C"), 46);
    // A locale that is not installed falls back to C, as setlocale does.
    EXPECT_EQ(SeparatorIn("xx_NOWHERE.UTF-8"), 46);
    // The process's own locale is left alone.
    EXPECT_STREQ(setlocale(LC_NUMERIC, nullptr), "C");
}

} // namespace
