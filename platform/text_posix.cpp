// POSIX text boundary: the system takes UTF-8 bytes as they are.
#include "platform/text.h"

namespace tamberlin::platform {

std::string AnsiFromUtf8(std::string_view utf8) {
    return std::string(utf8);
}
std::string Utf8FromAnsi(std::string_view ansi) {
    return std::string(ansi);
}

} // namespace tamberlin::platform
