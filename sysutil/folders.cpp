// Folders, drives and file search, written once over the platform's files
// and system services.
#include "tamberlin/sysutil/folders.h"

#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "tamberlin/app/all_data.h"
#include "tamberlin/platform/path_style.h"
#include "tamberlin/runtime/error.h"
#include "tamberlin/sysutil/paths.h"
#include "tamberlin/sysutil/registry.h"
#include "tamberlin/ui/host.h"

namespace modQFSystemUtilities {
namespace {

namespace files = tamberlin::platform::files;
namespace sys = tamberlin::platform::system;
using tamberlin::platform::NativePathStyle;
using tamberlin::sysutil::WithTrailingSeparator;

char Separator() {
    return NativePathStyle().separator;
}

// Whether the path starts with a whole drive root ("C:\" or "/") and is not
// a network path.
bool BelowDriveRoot(std::string_view path) {
    const tamberlin::platform::PathStyle& style = NativePathStyle();
    const std::size_t n = style.root_length;
    if (path.size() < n || path[n - 1] != style.separator)
        return false;
    if (n == 1)
        return path.size() < 2 || path[1] != style.separator;
    const auto letter = static_cast<unsigned char>(path[0]);
    return n == 3 && path[1] == ':' && ((letter | 0x20) >= 'a' && (letter | 0x20) <= 'z');
}

} // namespace

std::string GetWindowsPath() {
    return WithTrailingSeparator(sys::WindowsDirectory());
}

std::string GetSystemPath() {
    return WithTrailingSeparator(sys::SystemDirectory());
}

std::string GetCommonFilesPath() {
    std::string folder;
    if (!GetMachineRegString("Software\\Microsoft\\Windows\\CurrentVersion", "CommonFilesDir",
                             folder)) {
        tamberlin::ui::CurrentHost().MsgBox("Cannot find [Common Files] directory.", "Error",
                                            tamberlin::ui::Buttons::kOK,
                                            tamberlin::ui::Icon::kWarning);
        return {};
    }
    return folder.empty() ? folder : folder + Separator();
}

std::string GetAppDataPath() {
    std::string folder;
    GetUserRegString("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                     "AppData", folder);
    return folder.empty() ? folder : folder + Separator();
}

std::string GetExecutablePath() {
    return sys::ExecutablePath();
}

bool IsDriveAvailable(std::string_view strPath) {
    try {
        if (strPath.empty())
            return false;
        const tamberlin::platform::PathStyle& style = NativePathStyle();
        if (strPath.size() >= 2 && strPath[0] == style.separator && strPath[1] == style.separator)
            return files::FirstEntry(strPath, files::kDirectory) == files::Listing::kEntry;
        // The path's first characters, as long as a drive root, somewhere in
        // the list of roots.
        const std::string roots = tamberlin::platform::UpperCase(sys::LogicalDriveStrings());
        const std::string start =
            tamberlin::platform::UpperCase(strPath.substr(0, style.root_length));
        return roots.find(start) != std::string::npos;
    } catch (...) {
        return false;
    }
}

bool EnsureFolder(std::string_view strFolder, bool blnCreate) {
    try {
        // Below a drive root the listing answers alone: a root missing from
        // the drive list holds no folder and takes none, so the list (a slow
        // query on some systems) is asked only about other paths.
        if (!BelowDriveRoot(strFolder) && !IsDriveAvailable(strFolder))
            return false;
        switch (files::FirstEntry(strFolder, files::kDirectory)) {
        case files::Listing::kEntry:
            return true;
        case files::Listing::kNoEntry:
            return blnCreate && files::CreateFolder(strFolder);
        default: // the listing failed: an invalid path or a folder that cannot be read
            return false;
        }
    } catch (...) {
        return false;
    }
}

bool FindFileInFolder(std::string_view strFileName, std::string_view strFolder,
                      std::string& strFullPath) {
    const std::string candidate =
        WithTrailingSeparator(std::string(strFolder)) + std::string(strFileName);
    switch (files::FirstEntry(candidate, files::kReadOnly | files::kHidden | files::kSystem)) {
    case files::Listing::kEntry:
        strFullPath = candidate;
        return true;
    case files::Listing::kNoEntry:
        strFullPath.clear();
        return false;
    case files::Listing::kBadName:
        tamberlin::runtime::Raise(tamberlin::runtime::errors::kBadFileName);
    case files::Listing::kAccessError:
        break;
    }
    tamberlin::runtime::Raise(tamberlin::runtime::errors::kPathFileAccessError);
}

bool FindFile(std::string_view strFileName, std::string& strPath) {
    // A folder whose search fails counts as not holding the file; the path
    // stays empty so that a failed search always ends with the empty text.
    const auto search = [&](std::string_view folder) {
        try {
            return FindFileInFolder(strFileName, folder, strPath);
        } catch (...) {
            strPath.clear();
            return false;
        }
    };
    const std::string first = strPath.empty() ? modQFAllData::strAppPath : strPath;
    if (search(first))
        return true;
    try {
        if (search(GetWindowsPath()) || search(GetSystemPath()))
            return true;
        std::string list = tamberlin::platform::system::ProgramSearchPath();
        if (list.empty())
            return false;
        const char separator = NativePathStyle().list_separator;
        if (list.back() != separator)
            list += separator;
        for (std::size_t start = 0, end; (end = list.find(separator, start)) != std::string::npos;
             start = end + 1) {
            if (search(std::string_view(list).substr(start, end - start)))
                return true;
        }
    } catch (...) {
        strPath.clear();
    }
    return false;
}

} // namespace modQFSystemUtilities
