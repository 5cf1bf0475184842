// Files and folders on Windows: FindFirstFileW and CreateDirectoryW.
#include <windows.h>

#include "platform/files.h"
#include "platform/text_win32.h"

namespace tamberlin::platform::files {
namespace {

Listing FromError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_NO_MORE_FILES:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return Listing::kNoEntry;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
        return Listing::kBadName;
    default:
        return Listing::kAccessError;
    }
}

bool Passes(DWORD found, unsigned attributes) {
    if ((found & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & kDirectory))
        return false;
    if ((found & FILE_ATTRIBUTE_HIDDEN) && !(attributes & kHidden))
        return false;
    return !(found & FILE_ATTRIBUTE_SYSTEM) || (attributes & kSystem);
}

} // namespace

Listing FirstEntry(std::string_view pattern, unsigned attributes) {
    if (pattern.empty())
        return Listing::kNoEntry;
    if (pattern.find('\0') != std::string_view::npos)
        return Listing::kBadName;
    std::wstring wide = win32::WideFromUtf8(pattern);
    // A folder's own listing: FindFirstFileW wants a pattern for its entries.
    if (wide.back() == L'\\' || wide.back() == L'/')
        wide += L'*';
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return FromError(GetLastError());
    Listing result = Listing::kNoEntry;
    do {
        if (Passes(data.dwFileAttributes, attributes)) {
            result = Listing::kEntry;
            break;
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return result;
}

bool CreateFolder(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    const std::wstring wide = win32::WideFromUtf8(path);
    if (CreateDirectoryW(wide.c_str(), nullptr))
        return true;
    // Another process may have made it first: a folder is what was asked for.
    if (GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

Existing ExistingFile(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return Existing::kUnknown;
    const DWORD attributes = GetFileAttributesW(win32::WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FromError(GetLastError()) == Listing::kNoEntry ? Existing::kNone
                                                              : Existing::kUnknown;
    if (!Passes(attributes, kReadOnly))
        return Existing::kNone;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? Existing::kReadOnly : Existing::kWritable;
}

int ReadOnlyAttribute(std::string_view path) {
    if (path.find('\0') != std::string_view::npos)
        return -1;
    const DWORD attributes = GetFileAttributesW(win32::WideFromUtf8(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return -1;
    return (attributes & FILE_ATTRIBUTE_READONLY) ? 1 : 0;
}

bool AppendToFile(std::string_view path, std::string_view bytes) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    // Append-only access: every write goes to the end of the file as a whole;
    // others may read and append meanwhile.
    HANDLE file = CreateFileW(win32::WideFromUtf8(path).c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const BOOL ok =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    const BOOL closed = CloseHandle(file);
    return ok && closed && written == bytes.size();
}

} // namespace tamberlin::platform::files
