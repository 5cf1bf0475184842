// UTF-8 <-> UTF-16 and ANSI conversions for the Win32 implementation files.
// Not part of the portable interface: only *_win32.cpp files include it.
#pragma once

#include <string>
#include <string_view>

namespace tamberlin::platform::win32 {

std::wstring WideFromUtf8(std::string_view utf8);
std::string Utf8FromWide(std::wstring_view wide);

} // namespace tamberlin::platform::win32
