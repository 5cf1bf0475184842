// The questions the program asks of the operating system: where its folders
// are, which drives exist, where the running program lives, and the user's
// locale and font settings.
//
// Texts are UTF-8. A query that cannot be answered gives the empty text (or
// false / 0), never an error. Folder texts come as the system reports them,
// without a promise of a trailing separator.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamberlin::platform::system {

// The Windows folder and the system folder (GetWindowsDirectoryA,
// GetSystemDirectoryA); on Linux /usr and /usr/lib stand for them.
std::string WindowsDirectory();
std::string SystemDirectory();

// The roots of the available drives, each followed by a NUL, as
// GetLogicalDriveStringsA lists them ("A:\<NUL>C:\<NUL>"); "/<NUL>" on Linux.
std::string LogicalDriveStrings();

// The per-user data folder as the system gives it before any setting is
// read (Windows: CSIDL_APPDATA; Linux: $XDG_DATA_HOME, else
// ~/.local/share), so what runs before the settings store can find it.
std::string DefaultAppDataFolder();

// The full path of the running executable (GetModuleFileNameW; on Linux
// /proc/self/exe), whatever its length.
std::string ExecutablePath();
// For when the executable's path cannot be read: the program as it was
// started (its argv[0]), as a full path where that names a file (directly or
// through the program search path); empty where the system keeps none.
std::string InvocationPath();

// The version of the running executable: its version resource on Windows, the
// build's version elsewhere.
struct Version {
    int major = 0;
    int minor = 0;
    int revision = 0;
};
Version ExecutableVersion();

// The program's command-line arguments after the program name, as UTF-8
// (Windows passes main() the ANSI code page; the wide command line keeps
// every character).
std::vector<std::string> CommandLineArguments(int argc, char** argv);
// Console output in UTF-8, so texts print as they are (Windows consoles
// default to an OEM code page).
void UseUtf8Console();
// Whether standard input is a terminal (a console), which shows what the user
// types, rather than a pipe or a file.
bool StandardInputIsTerminal();

// The user's decimal separator (LOCALE_SDECIMAL of the user's locale).
std::string DecimalSeparator();

// Opens a file in the user's viewer for its type (xdg-open; the shell's
// "open" on Windows). False when no viewer could be started.
bool OpenWithViewer(std::string_view path);

// The user locale's abbreviated name of a month (1 to 12): "Dec", "Dez",
// "déc.".
std::string AbbreviatedMonthName(int month);

// The folders searched for programs: the variable "Path" on Windows, "PATH"
// elsewhere.
std::string ProgramSearchPath();

// The name a standard font object reports after being given `name`: the name
// itself when such a font is installed, a substitute's name otherwise.
std::string StandardFontName(std::string_view name);

// Whether a font of exactly this name is installed: StandardFontName(name)
// == name, answered on Linux by listing that family instead of a full match.
bool FontInstalled(std::string_view name);

// Font smoothing (SPI_GETFONTSMOOTHING) and its type
// (SPI_GETFONTSMOOTHINGTYPE: 1 standard, 2 ClearType). On Linux: fontconfig's
// antialias setting, and ClearType when it renders subpixel (rgba) colour.
bool FontSmoothing();
unsigned FontSmoothingType();

} // namespace tamberlin::platform::system
