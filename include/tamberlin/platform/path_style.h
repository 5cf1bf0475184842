// How the platform writes paths. The path text operations take a style
// instead of assuming one, so Windows path rules are tested on Linux too.
#pragma once

#include <cstddef>

namespace tamberlin::platform {

struct PathStyle {
    char separator;          // between folder levels
    char list_separator;     // between the folders of a search-path variable
    std::size_t root_length; // characters of a drive root ("C:\" or "/")
};

inline constexpr PathStyle kWindowsPaths{'\\', ';', 3};
inline constexpr PathStyle kPosixPaths{'/', ':', 1};

// The style of the platform the program runs on.
const PathStyle& NativePathStyle();

} // namespace tamberlin::platform
