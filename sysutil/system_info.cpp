#include "tamberlin/sysutil/system_info.h"

#include "platform/system.h"

namespace modQFSystemUtilities {

namespace sys = tamberlin::platform::system;

// The standard font object replaces a name that is not installed by a
// substitute; reading the name back tells which happened.
bool IsFontInstalled(std::string_view strFontName) {
    return sys::StandardFontName(strFontName) == strFontName;
}

bool IsClearTypeOn() {
    constexpr unsigned kClearType = 2; // FE_FONTSMOOTHINGCLEARTYPE
    return sys::FontSmoothingType() == kClearType && sys::FontSmoothing();
}

} // namespace modQFSystemUtilities
