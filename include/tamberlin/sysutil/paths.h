// Path texts: the file-name and folder parts of a path.
//
// Pure text operations; nothing is looked up on disk. The separator is the
// platform's ("\" on Windows, "/" elsewhere) unless a style is given; no other
// character counts as one. Character positions are 16-bit, so a text of more
// than 32,767 characters raises run-time error 6 (Overflow).
#pragma once

#include "tamberlin/platform/path_style.h"

#include <string>
#include <string_view>

namespace modQFSystemUtilities {

using tamberlin::platform::PathStyle;

// The part after the last separator; the whole text when it has none.
std::string GetFileName(std::string_view strPath,
                        const PathStyle& style = tamberlin::platform::NativePathStyle());
// The part up to and including the last separator; empty when it has none.
std::string GetFolderPath(std::string_view strPath,
                          const PathStyle& style = tamberlin::platform::NativePathStyle());
// The file name without its last extension; empty when the name has no
// extension (no ".", or a "." only as its first character).
std::string GetFileBaseName(std::string_view strPath,
                            const PathStyle& style = tamberlin::platform::NativePathStyle());

} // namespace modQFSystemUtilities

namespace tamberlin::sysutil {

// The folder text ending with the separator: one is appended when it is
// missing, so the empty text becomes the separator alone.
std::string WithTrailingSeparator(std::string folder,
                                  const platform::PathStyle& style = platform::NativePathStyle());

} // namespace tamberlin::sysutil
