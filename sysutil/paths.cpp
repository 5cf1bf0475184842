#include "tamberlin/sysutil/paths.h"

#include "platform/text.h"
#include "tamberlin/runtime/error.h"

namespace modQFSystemUtilities {
namespace {

constexpr std::size_t kMaxCharacters = 32767;

// Position just after the last separator (0 when there is none).
std::size_t AfterLastSeparator(std::string_view path, const PathStyle& style) {
    if (tamberlin::platform::Utf16Length(path) > kMaxCharacters)
        tamberlin::runtime::Raise(tamberlin::runtime::errors::kOverflow);
    const std::size_t p = path.rfind(style.separator);
    return p == std::string_view::npos ? 0 : p + 1;
}

} // namespace

std::string GetFileName(std::string_view strPath, const PathStyle& style) {
    return std::string(strPath.substr(AfterLastSeparator(strPath, style)));
}

std::string GetFolderPath(std::string_view strPath, const PathStyle& style) {
    return std::string(strPath.substr(0, AfterLastSeparator(strPath, style)));
}

std::string GetFileBaseName(std::string_view strPath, const PathStyle& style) {
    const std::string name = GetFileName(strPath, style);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {};
    return name.substr(0, dot);
}

} // namespace modQFSystemUtilities

namespace tamberlin::sysutil {

std::string WithTrailingSeparator(std::string folder, const platform::PathStyle& style) {
    if (folder.empty() || folder.back() != style.separator)
        folder += style.separator;
    return folder;
}

} // namespace tamberlin::sysutil
