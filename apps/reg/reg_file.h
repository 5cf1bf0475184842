// The .reg text format ("Windows Registry Editor Version 5.00"): one
// "[KEY]" line a key, one "NAME"=VALUE line a value.
//
// Value data are the bytes the registry stores (text values in the ANSI code
// page with their NUL); the file holds UTF-8 text here and is written as
// UTF-16LE with a byte-order mark, as the Windows tools write it.
//
// Text values written as hex bytes (hex(1), hex(2), hex(7)) hold UTF-16LE in
// a version 5 file and the ANSI code page in a REGEDIT4 file: they are
// converted to the store's form and back. Other types keep their bytes.
//
// On Linux, bytes that are not UTF-8, in a text value or in a key or value
// name, travel as the UTF-16 units DC80 to DCFF, so that what export writes,
// import restores ("caf\xE9" stays apart from "café"). The Windows tools
// write such a unit only for an unpaired surrogate in the registry, which
// UTF-8 cannot hold: it is read as that byte and written back as that unit.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tamberlin::regtool {

struct ValueLine {
    std::string name;    // empty for the default value ("@")
    bool remove = false; // "NAME"=- deletes the value
    std::uint32_t type = 0;
    std::string data;
};

inline constexpr std::string_view kRegFileHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kRegedit4Header = "REGEDIT4";

enum class FileVersion { kRegedit4, kVersion5 };

// One value as a line of a version 5 file, without the line break.
std::string FormatValueLine(std::string_view name, std::uint32_t type, std::string_view data);
// The value of a line; nullopt when the line is not a value line.
std::optional<ValueLine> ParseValueLine(std::string_view line,
                                        FileVersion version = FileVersion::kVersion5);

// The file's bytes from its UTF-8 text, and back: UTF-16LE with a BOM is
// what is written; UTF-16LE and UTF-8 (with or without a BOM) are read, and a
// REGEDIT4 file without a BOM in the ANSI code page.
std::string EncodeFile(std::string_view utf8);
std::optional<std::string> DecodeFile(std::string_view bytes);

} // namespace tamberlin::regtool
