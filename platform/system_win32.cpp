// System queries on Windows: kernel32, user32, the version resource and the
// OLE standard font.
#include <windows.h>

#include "platform/system.h"
#include "platform/text.h"
#include "platform/text_win32.h"

#include <olectl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <vector>

namespace tamberlin::platform::system {
namespace {

// GetWindowsDirectoryA and GetSystemDirectoryA return the count copied, or
// the size needed (terminator included) when the buffer is too small; then
// a buffer of that size is offered instead of reading past the first one.
template <typename Call> std::string Directory(Call call) {
    std::vector<char> buffer(256);
    UINT n = call(buffer.data(), static_cast<UINT>(buffer.size()));
    if (n >= buffer.size()) {
        buffer.resize(n);
        n = call(buffer.data(), static_cast<UINT>(buffer.size()));
        if (n >= buffer.size())
            return {};
    }
    return Utf8FromAnsi(std::string_view(buffer.data(), n));
}

// The OLE standard font; created per call and released before returning.
class StandardFont {
public:
    StandardFont() {
        com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        FONTDESC desc = {sizeof(FONTDESC),
                         const_cast<LPOLESTR>(L"Arial"),
                         {{90000, 0}},
                         FW_NORMAL,
                         ANSI_CHARSET,
                         FALSE,
                         FALSE,
                         FALSE};
        if (FAILED(OleCreateFontIndirect(&desc, IID_IFont, reinterpret_cast<void**>(&font_))))
            font_ = nullptr;
    }
    ~StandardFont() {
        if (font_)
            font_->Release();
        if (com_)
            CoUninitialize();
    }
    StandardFont(const StandardFont&) = delete;
    StandardFont& operator=(const StandardFont&) = delete;

    std::string Select(std::string_view name) {
        if (!font_)
            return {};
        const std::wstring wide = win32::WideFromUtf8(name);
        BSTR requested = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
        font_->put_Name(requested);
        SysFreeString(requested);
        BSTR reported = nullptr;
        std::string result;
        if (SUCCEEDED(font_->get_Name(&reported)) && reported)
            result = win32::Utf8FromWide(std::wstring_view(reported, SysStringLen(reported)));
        SysFreeString(reported);
        return result;
    }

private:
    bool com_ = false;
    IFont* font_ = nullptr;
};

} // namespace

std::string WindowsDirectory() {
    return Directory(GetWindowsDirectoryA);
}
std::string SystemDirectory() {
    return Directory(GetSystemDirectoryA);
}

std::string LogicalDriveStrings() {
    // 4 characters a root: room for all 26 letters and the final NUL, so one
    // call answers (a second only if the system ever lists more).
    std::vector<char> buffer(26 * 4 + 1);
    DWORD n = GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (n > buffer.size()) {
        buffer.resize(n + 1);
        n = GetLogicalDriveStringsA(static_cast<DWORD>(buffer.size()), buffer.data());
        if (n > buffer.size())
            return {};
    }
    return std::string(buffer.data(), n);
}

std::string DefaultAppDataFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder)))
        return {};
    return win32::Utf8FromWide(folder);
}

std::string ExecutablePath() {
    // The count equals the capacity when the path was cut: grow and ask again
    // up to the longest path the system has.
    std::vector<wchar_t> buffer(513);
    for (;;) {
        const DWORD n =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return win32::Utf8FromWide(std::wstring_view(buffer.data(), n));
        if (buffer.size() >= 32768)
            return {};
        buffer.resize(buffer.size() * 2);
    }
}

// GetModuleFileNameW does not fail for a running program.
std::string InvocationPath() {
    return {};
}

std::vector<std::string> CommandLineArguments(int, char**) {
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 1; wide && i < count; ++i)
        arguments.push_back(win32::Utf8FromWide(wide[i]));
    LocalFree(wide);
    return arguments;
}

void UseUtf8Console() {
    SetConsoleOutputCP(CP_UTF8);
}

bool StandardInputIsTerminal() {
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

Version ExecutableVersion() {
    std::vector<wchar_t> path(32768);
    if (GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())) == 0)
        return {};
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.data(), &ignored);
    if (size == 0)
        return {};
    std::vector<char> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.data(), 0, size, info.data()) ||
        !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return {};
    // The resource holds major.minor.0.revision.
    return {static_cast<int>(HIWORD(fixed->dwFileVersionMS)),
            static_cast<int>(LOWORD(fixed->dwFileVersionMS)),
            static_cast<int>(LOWORD(fixed->dwFileVersionLS))};
}

std::string DecimalSeparator() {
    // LOCALE_SDECIMAL holds up to three characters and the terminator; a
    // one-character buffer would be too small for even "." and fail.
    char buffer[4] = {};
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buffer, sizeof buffer);
    return n > 1 ? Utf8FromAnsi(std::string_view(buffer, static_cast<size_t>(n - 1)))
                 : std::string();
}

std::string AbbreviatedMonthName(int month) {
    if (month < 1 || month > 12)
        return {};
    char buffer[80] = {};
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SABBREVMONTHNAME1 + month - 1, buffer,
                                 sizeof buffer);
    return n > 1 ? Utf8FromAnsi(std::string_view(buffer, static_cast<size_t>(n - 1)))
                 : std::string();
}

bool OpenWithViewer(std::string_view path) {
    const std::wstring file = win32::WideFromUtf8(path);
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    return result > 32;
}

std::string ProgramSearchPath() {
    const DWORD n = GetEnvironmentVariableW(L"Path", nullptr, 0);
    if (n == 0)
        return {};
    std::wstring value(n, L'\0');
    const DWORD copied = GetEnvironmentVariableW(L"Path", value.data(), n);
    value.resize(copied < n ? copied : 0);
    return win32::Utf8FromWide(value);
}

std::string StandardFontName(std::string_view name) {
    return StandardFont().Select(name);
}

bool FontInstalled(std::string_view name) {
    return StandardFontName(name) == name;
}

bool FontSmoothing() {
    BOOL on = FALSE;
    return SystemParametersInfoA(SPI_GETFONTSMOOTHING, 0, &on, 0) && on;
}

unsigned FontSmoothingType() {
    UINT type = 0;
    return SystemParametersInfoA(SPI_GETFONTSMOOTHINGTYPE, 0, &type, 0) ? type : 0;
}

} // namespace tamberlin::platform::system
