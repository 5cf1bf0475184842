// What a screen reader says about a dialog as it opens, for the graphical
// hosts; inline, since the GTK module does not link the library.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tamberlin::ui {

// The first sentence of a text, its line breaks and runs of spaces made one
// space.
inline std::string FirstSentence(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        // At most about 300 bytes, never cutting a character in two.
        if (out.size() >= 300 && (static_cast<unsigned char>(c) & 0xC0) != 0x80)
            break;
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
            continue;
        }
        out += c;
        if ((c == '.' || c == '!' || c == '?') && (i + 1 == text.size() || text[i + 1] == ' ' ||
                                                   text[i + 1] == '\r' || text[i + 1] == '\n'))
            break;
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    return out;
}

} // namespace tamberlin::ui
