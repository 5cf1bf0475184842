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
#include <tuple>

namespace {

using namespace modQFSystemUtilities;
namespace fs = std::filesystem;

constexpr const char* kTahoma = "/usr/share/wine/fonts/tahoma.ttf"; // package fonts-wine

class FontsTest : public tamberlin::testing::AppStateTest {
protected:
    // A fontconfig world of its own, in a new folder, with only the fonts and
    // settings named; a copy of Tahoma stands in for Segoe UI.
    void Use(bool tahoma, bool segoe, bool antialias, const char* rgba) {
        const fs::path root = temp_.path() / std::to_string(worlds_++), fonts = root / "fonts";
        fs::create_directories(fonts);
        if (tahoma)
            fs::copy_file(kTahoma, fonts / "tahoma.ttf");
        if (segoe)
            fs::copy_file(kTahoma, fonts / "segoe.ttf");
        std::ofstream(root / "fonts.conf")
            << "<?xml version=\"1.0\"?>\n<fontconfig>\n"
            << "<dir>" << fonts.string() << "</dir>\n"
            << "<cachedir>" << (root / "cache").string() << "</cachedir>\n"
            << "<match target=\"scan\"><test name=\"file\"><string>"
            << (fonts / "segoe.ttf").string()
            << "</string></test><edit name=\"family\" mode=\"assign\"><string>Segoe UI</string>"
            << "</edit></match>\n"
            << "<match target=\"pattern\"><edit name=\"antialias\" mode=\"assign\"><bool>"
            << (antialias ? "true" : "false") << "</bool></edit>"
            << "<edit name=\"rgba\" mode=\"assign\"><const>" << rgba << "</const></edit></match>\n"
            << "</fontconfig>\n";
        setenv("FONTCONFIG_FILE", (root / "fonts.conf").c_str(), 1);
        ASSERT_TRUE(FcInitReinitialize());
    }
    void TearDown() override {
        unsetenv("FONTCONFIG_FILE");
        FcInitReinitialize();
    }

    tamberlin::testing::RegistrySandbox sandbox_;
    int worlds_ = 0;
};

TEST_F(FontsTest, InstalledMeansExactlyThatName) {
    Use(true, false, false, "none");
    EXPECT_TRUE(IsFontInstalled("Tahoma"));
    EXPECT_FALSE(IsFontInstalled("tahoma"));
    EXPECT_FALSE(IsFontInstalled("Ta homa")); // the family listing ignores blanks; the name may not
    EXPECT_FALSE(IsFontInstalled("Segoe UI"));
    EXPECT_FALSE(IsFontInstalled(""));
}

// ClearType is smoothing with subpixel colour; only then is Segoe UI used.
TEST_F(FontsTest, SegoeUiOnlyWithClearType) {
    // Tahoma present, smoothing, subpixel order; ClearType, font and size.
    const std::tuple<bool, bool, const char*, bool, const char*, double> cases[] = {
        {true, true, "none", false, "Tahoma", 8.25},
        {true, true, "rgb", true, "Segoe UI", 9.0},
        {false, false, "bgr", false, "Arial", 9.0},
    };
    for (const auto& [tahoma, antialias, rgba, clear_type, font, size] : cases) {
        SCOPED_TRACE(rgba);
        Use(tahoma, true, antialias, rgba);
        EXPECT_TRUE(IsFontInstalled("Segoe UI"));
        EXPECT_EQ(tamberlin::platform::system::FontSmoothing(), antialias);
        EXPECT_EQ(IsClearTypeOn(), clear_type);
        modQFAllData::InitAppData();
        EXPECT_EQ(modQFAllData::strFontName, font);
        EXPECT_EQ(modQFAllData::dblFontSize, size);
    }
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

// (A comma and a point from the user's locale: demo_info.cmake, in de_DE and
// C.) A locale that is not installed falls back to C, as setlocale does.
TEST_F(LocaleTest, DecimalSeparatorComesFromTheUsersLocale) {
    EXPECT_EQ(SeparatorIn("de_DE.UTF-8"), 44);
    EXPECT_EQ(SeparatorIn("xx_NOWHERE.UTF-8"), 46);
    // The process's own locale is left alone.
    EXPECT_STREQ(setlocale(LC_NUMERIC, nullptr), "C");
}

} // namespace
