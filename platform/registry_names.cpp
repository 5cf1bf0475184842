// The registry's rules for key paths and value names. The Linux store refuses
// what they refuse, with the codes the Windows registry gives; tamberlin-reg
// checks a whole file against them before it changes anything.
#include "platform/registry.h"
#include "platform/text.h"

#include <algorithm>

namespace tamberlin::platform::registry {
namespace {

// The Windows registry's own limits, in UTF-16 characters and levels.
constexpr std::size_t kMaxLevelLength = 255;
constexpr std::size_t kMaxDepth = 512;
constexpr std::size_t kMaxValueNameLength = 16383;

std::string_view CString(std::string_view name) {
    return name.substr(0, name.find('\0'));
}

} // namespace

long SplitKeyPath(std::string_view sub_key, std::size_t depth,
                  std::vector<std::string_view>& levels) {
    // Empty levels (a trailing "\" or two in a row) are skipped; a leading
    // "\" is refused.
    if (!sub_key.empty() && sub_key.front() == '\\')
        return kBadPathname;
    for (size_t start = 0; start <= sub_key.size();) {
        const size_t end = std::min(sub_key.find('\\', start), sub_key.size());
        if (end > start) {
            const std::string_view level = sub_key.substr(start, end - start);
            // UTF-16 never takes more units than UTF-8 takes bytes.
            if (level.size() > kMaxLevelLength && Utf16Length(level) > kMaxLevelLength)
                return kInvalidParameter;
            levels.push_back(level);
        }
        start = end + 1;
    }
    return depth + levels.size() > kMaxDepth ? kInvalidParameter : kSuccess;
}

long CheckKeyPath(std::string_view sub_key) {
    std::vector<std::string_view> levels;
    return SplitKeyPath(CString(sub_key), 0, levels);
}

long CheckValueName(std::string_view value_name) {
    return Utf16Length(CString(value_name)) > kMaxValueNameLength ? kInvalidParameter : kSuccess;
}

} // namespace tamberlin::platform::registry
