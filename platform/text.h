// Text at the operating-system boundary, and the few operations on UTF-8 text
// that both the platform layer and the logic above it need.
//
// Inside the program every text is UTF-8. The system's ANSI functions (the
// registry's ...A calls) take the ANSI code page; AnsiFromUtf8 and
// Utf8FromAnsi are the only place that knows it. On Windows they go through
// UTF-16 and the active code page, replacing what the target cannot hold; on
// POSIX systems the "ANSI" form is the UTF-8 text itself.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tamberlin::platform {

std::string AnsiFromUtf8(std::string_view utf8);
std::string Utf8FromAnsi(std::string_view ansi);

// Upper case of the letters of the Latin, Greek and Cyrillic blocks; other
// characters, and bytes that are not UTF-8, stay as they are.
std::string UpperCase(std::string_view utf8);
void AppendUpperCase(std::string& out, std::string_view utf8);

// The text's length in UTF-16 code units: the characters a wide-character
// text of the Windows API would hold. A byte that is not UTF-8 counts as one.
std::size_t Utf16Length(std::string_view utf8);

// The character at `i`, moving `i` past it; a byte that is not UTF-8 comes
// back as itself. `i` must be inside the text.
// The text with every byte sequence that is not UTF-8 replaced by U+FFFD,
// one for each maximal ill-formed part (as Unicode recommends and most
// decoders do), so a text labelled UTF-8 is what it says.
std::string ValidUtf8(std::string_view bytes);

char32_t NextCodePoint(std::string_view utf8, std::size_t& i);
void AppendUtf8(std::string& out, char32_t c);

} // namespace tamberlin::platform
