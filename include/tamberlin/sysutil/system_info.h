// Font queries.
#pragma once

#include <string_view>

namespace modQFSystemUtilities {

// A font of exactly this name (letter case included) is installed.
bool IsFontInstalled(std::string_view strFontName);
// Font smoothing is on and its type is ClearType (subpixel rendering).
bool IsClearTypeOn();

} // namespace modQFSystemUtilities
