// Files and folders on Windows: FindFirstFileW and CreateDirectoryW.
#include <windows.h>

#include "platform/files.h"
#include "platform/text_win32.h"

#include <algorithm>

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

namespace {

// Writes all of `bytes` to `file`, a megabyte at a time (WriteFile takes a
// 32-bit count); false on a failure such as a full disk.
bool WriteAll(HANDLE file, std::string_view bytes) {
    for (size_t done = 0; done < bytes.size();) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

bool CreateNewFile(std::string_view path, std::string_view bytes) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    const std::wstring wide = win32::WideFromUtf8(path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = WriteAll(file, bytes);
    if (!CloseHandle(file))
        ok = false;
    if (!ok) {
        const DWORD why = GetLastError();
        DeleteFileW(wide.c_str());
        SetLastError(why);
    }
    return ok;
}

std::string LastErrorText() {
    const DWORD error = GetLastError();
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring words = length ? std::wstring(text, length) : L"";
    LocalFree(text);
    while (!words.empty() &&
           (words.back() == L'\n' || words.back() == L'\r' || words.back() == L'.'))
        words.pop_back();
    return words.empty() ? "system error " + std::to_string(error) : win32::Utf8FromWide(words);
}

bool ReadWholeFile(std::string_view path, std::string& bytes) {
    bytes.clear();
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    HANDLE file = CreateFileW(win32::WideFromUtf8(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    char buffer[65536];
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(file, buffer, sizeof buffer, &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        bytes.append(buffer, got);
    }
    CloseHandle(file);
    return ok;
}

OwnRead ReadOwnFile(std::string_view path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return OwnRead::kFailed;
    // The per-user data folder's permissions stand for the owner check; a
    // reparse point is opened as itself and refused.
    HANDLE file = CreateFileW(win32::WideFromUtf8(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return OwnRead::kFailed;
    BY_HANDLE_FILE_INFORMATION info{};
    OwnRead result = OwnRead::kWhole;
    if (!GetFileInformationByHandle(file, &info))
        result = OwnRead::kFailed;
    else if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY) ||
             GetFileType(file) != FILE_TYPE_DISK)
        result = OwnRead::kRefused;
    char buffer[65536];
    while (result == OwnRead::kWhole) {
        DWORD got = 0;
        const size_t want = std::min(sizeof buffer, limit + 1 - bytes.size());
        if (!ReadFile(file, buffer, static_cast<DWORD>(want), &got, nullptr))
            result = OwnRead::kFailed;
        else if (got == 0)
            break;
        bytes.append(buffer, got);
        if (bytes.size() > limit) {
            bytes.resize(limit);
            result = OwnRead::kCut;
        }
    }
    CloseHandle(file);
    if (result == OwnRead::kRefused || result == OwnRead::kFailed)
        bytes.clear();
    return result;
}

std::vector<std::string> FileNames(std::string_view folder, std::string_view pattern) {
    std::vector<std::string> names;
    if (folder.find('\0') != std::string_view::npos || pattern.find('\0') != std::string_view::npos)
        return names;
    std::wstring wide = win32::WideFromUtf8(folder);
    if (!wide.empty() && wide.back() != L'\\' && wide.back() != L'/')
        wide += L'\\';
    wide += win32::WideFromUtf8(pattern);
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(wide.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(win32::Utf8FromWide(data.cFileName));
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

bool RemoveFile(std::string_view path) {
    return !path.empty() && path.find('\0') == std::string_view::npos &&
           DeleteFileW(win32::WideFromUtf8(path).c_str()) != 0;
}

PrivateFolder PreparePrivateFolder(std::string_view path) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return PrivateFolder::kUnusable;
    // The folder inherits the profile's permissions, which are the user's own.
    const std::wstring wide = win32::WideFromUtf8(path);
    if (!CreateDirectoryW(wide.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return PrivateFolder::kUnusable;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return PrivateFolder::kUnusable;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return PrivateFolder::kLink;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PrivateFolder::kReady
                                                   : PrivateFolder::kUnusable;
}

Publish PublishNewFile(std::string_view path, std::string_view bytes) {
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return Publish::kFailed;
    const std::wstring name = win32::WideFromUtf8(path);
    const std::size_t slash = name.find_last_of(L"\\/");
    const std::wstring temp = name.substr(0, slash + 1) + L"." +
                              name.substr(slash == std::wstring::npos ? 0 : slash + 1) + L".tmp";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_FILE_EXISTS ? Publish::kNameTaken : Publish::kFailed;
    bool ok = WriteAll(file, bytes);
    ok = FlushFileBuffers(file) && ok;
    ok = CloseHandle(file) && ok;
    // Without MOVEFILE_REPLACE_EXISTING an existing file keeps its name.
    if (ok && SetFileAttributesW(temp.c_str(), FILE_ATTRIBUTE_NORMAL) &&
        MoveFileExW(temp.c_str(), name.c_str(), MOVEFILE_WRITE_THROUGH))
        return Publish::kDone;
    const DWORD error = GetLastError();
    DeleteFileW(temp.c_str());
    return ok && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) ? Publish::kNameTaken
                                                                               : Publish::kFailed;
}

bool ReadFileStart(std::string_view path, std::size_t limit, std::string& bytes) {
    bytes.clear();
    if (path.empty() || path.find('\0') != std::string_view::npos)
        return false;
    HANDLE file = CreateFileW(win32::WideFromUtf8(path).c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bytes.resize(limit);
    DWORD got = 0;
    const bool ok = GetFileType(file) == FILE_TYPE_DISK &&
                    ReadFile(file, bytes.data(), static_cast<DWORD>(limit), &got, nullptr);
    bytes.resize(got);
    CloseHandle(file);
    return ok;
}

bool RenameFile(std::string_view from, std::string_view to) {
    if (from.empty() || to.empty() || from.find('\0') != std::string_view::npos ||
        to.find('\0') != std::string_view::npos)
        return false;
    return MoveFileExW(win32::WideFromUtf8(from).c_str(), win32::WideFromUtf8(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

} // namespace tamberlin::platform::files
