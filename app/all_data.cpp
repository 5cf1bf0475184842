#include "tamberlin/app/all_data.h"

#include "platform/system.h"
#include "platform/text.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/runtime/application.h"
#include "tamberlin/sysutil/folders.h"
#include "tamberlin/sysutil/paths.h"
#include "tamberlin/sysutil/system_info.h"

namespace modQFAllData {
namespace {

// Red in bits 0-7, green 8-15, blue 16-23.
constexpr std::int32_t kColours[12] = {0,        11184810, 11316396, 12171705, 12171705, 0,
                                       14737632, 0,        16777215, 15790320, 0,        8421504};

tamberlin::app::AppDataListener g_listener = nullptr;

} // namespace

void InitAppData() {
    using namespace modQFSystemUtilities;
    namespace platform = tamberlin::platform;
    const tamberlin::runtime::Application& app = tamberlin::runtime::App();

    strAppEXEName = app.EXEName();
    strAppTitle = app.Title();
    strAppPath = GetExecutablePath();

    // The executable's own folder, unless the file is not the program the
    // run-time names (then the run-time's program folder).
    const std::string base = GetFileBaseName(GetFileName(strAppPath));
    if (platform::UpperCase(base) != platform::UpperCase(strAppEXEName))
        strAppPath = app.Path();
    else
        strAppPath = GetFolderPath(strAppPath);

    strAppDataPath = tamberlin::app::AppDataPathUnder(GetAppDataPath());

    strAppPath = tamberlin::sysutil::WithTrailingSeparator(strAppPath);

    const std::string decimal = platform::system::DecimalSeparator();
    std::size_t first = 0;
    intDecimalSeparator =
        static_cast<std::int16_t>(decimal.empty() ? U'.' : platform::NextCodePoint(decimal, first));

    strFontName = "Arial";
    dblFontSize = 9.0;
    if (IsFontInstalled("Tahoma")) {
        strFontName = "Tahoma";
        dblFontSize = 8.25;
    }
    if (IsFontInstalled("Segoe UI") && IsClearTypeOn()) {
        strFontName = "Segoe UI";
        dblFontSize = 9.0;
    }

    picAppPicture = std::make_shared<const Picture>();
    intLayoutSpacing = 120;

    for (int i = 1; i <= 11; ++i)
        lngInterfaceColours[i] = kColours[i];
    lngInterfaceColours[12] = lngInterfaceColours[6];
    lngInterfaceColours[13] = lngInterfaceColours[9];
    lngInterfaceColours[14] = lngInterfaceColours[10];
    lngInterfaceColours[15] = lngInterfaceColours[11];

    strSpacer1 = "  ";
    strSpacer2 = "  ";
    if (g_listener)
        g_listener();
}

} // namespace modQFAllData

namespace tamberlin::app {

std::string AppDataPathUnder(const std::string& base) {
    const char separator = platform::NativePathStyle().separator;
    return base + "Quillfern" + separator + "Tamberlin" + separator;
}

AppDataListener SetAppDataListener(AppDataListener listener) noexcept {
    const AppDataListener previous = modQFAllData::g_listener;
    modQFAllData::g_listener = listener;
    return previous;
}

} // namespace tamberlin::app
