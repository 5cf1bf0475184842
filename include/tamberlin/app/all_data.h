// The application-wide data: who the program is, where it keeps its files,
// and the interface settings every window reads.
//
// All of it is filled once by InitAppData, which the application's first
// window calls from its load handler (after setting the title) before anything
// reads these fields; from then on they are read-only. Before InitAppData the
// texts are empty and the numbers 0.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace modQFAllData {

// The standard picture object, created empty.
struct Picture {
    int type = 0; // PICTYPE_NONE: no image
    int width = 0;
    int height = 0;
};

inline std::string strAppTitle;
inline std::string strAppEXEName;
inline std::string strAppPath;     // the program folder, ending with the separator
inline std::string strAppDataPath; // the per-user data folder, ending with the separator
inline std::int16_t intDecimalSeparator = 0;
inline std::string strFontName;
inline double dblFontSize = 0;
inline std::shared_ptr<const Picture> picAppPicture;
inline std::int16_t intLayoutSpacing = 0;
inline std::array<std::int32_t, 16> lngInterfaceColours{}; // indexed 1 to 15
inline std::string strSpacer1;
inline std::string strSpacer2;

void InitAppData();

} // namespace modQFAllData

namespace tamberlin::app {

// The data folder InitAppData names under `base`, the system's per-user data
// folder ending with the separator: "<base>Quillfern<sep>Tamberlin<sep>".
std::string AppDataPathUnder(const std::string& base);

// Called at the end of every InitAppData, once the data folder is known
// (crash capture follows it there). Returns the listener it replaces.
using AppDataListener = void (*)() noexcept;
AppDataListener SetAppDataListener(AppDataListener listener) noexcept;

} // namespace tamberlin::app
