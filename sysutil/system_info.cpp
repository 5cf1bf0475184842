#include "tamberlin/sysutil/system_info.h"

#include "platform/system.h"

namespace modQFSystemUtilities {

namespace sys = tamberlin::platform::system;

// The standard font object replaces a name that is not installed by a
// substitute; the platform tells which would happen.
bool IsFontInstalled(std::string_view strFontName) {
    return sys::FontInstalled(strFontName);
}

bool IsClearTypeOn() {
    constexpr unsigned kClearType = 2; // FE_FONTSMOOTHINGCLEARTYPE
    return sys::FontSmoothingType() == kClearType && sys::FontSmoothing();
}

} // namespace modQFSystemUtilities
