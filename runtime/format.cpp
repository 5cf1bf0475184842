#include "runtime/format.h"

namespace tamberlin::runtime {

std::string ZeroPadded(std::int64_t value, int digits) {
    // The magnitude as unsigned, so the most negative value has one too.
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string text = std::to_string(magnitude);
    if (digits > 0 && text.size() < static_cast<std::size_t>(digits))
        text.insert(0, static_cast<std::size_t>(digits) - text.size(), '0');
    return value < 0 ? "-" + text : text;
}

std::string VersionText(const Application& app) {
    return std::to_string(app.Major()) + "." + ZeroPadded(app.Minor(), 2) + "." +
           ZeroPadded(app.Revision(), 4);
}

} // namespace tamberlin::runtime
