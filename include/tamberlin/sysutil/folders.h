// Folders, drives and file search.
//
// Folder texts returned here end with the platform's separator whenever they
// are not empty, so a file name can be appended directly. IsDriveAvailable and
// EnsureFolder answer false on any failure and FindFile skips a folder it
// cannot search; FindFileInFolder raises run-time error 52 for a path text
// that is not a valid path and 75 for a folder that cannot be listed.
// GetCommonFilesPath is the only operation that shows a message.
#pragma once

#include <string>
#include <string_view>

namespace modQFSystemUtilities {

std::string GetWindowsPath();
std::string GetSystemPath();
// Empty, after the message "Cannot find [Common Files] directory.", when the
// folder is not registered.
std::string GetCommonFilesPath();
// The user's application-data folder; empty when it is not registered.
std::string GetAppDataPath();
// The full path of the running executable; empty when unavailable.
std::string GetExecutablePath();

// The drive (or, for a path starting with two separators, the network path)
// that the path starts with is available.
bool IsDriveAvailable(std::string_view strPath);
// The folder exists, or has been created (one level) when blnCreate is true.
bool EnsureFolder(std::string_view strFolder, bool blnCreate);
// The file (normal, read-only, hidden or system) is in the folder;
// strFullPath receives folder and name, or the empty text.
bool FindFileInFolder(std::string_view strFileName, std::string_view strFolder,
                      std::string& strFullPath);
// Searches, in order: strPath (or the program folder when it is empty), the
// Windows folder, the system folder, then each folder of the program search
// path. strPath receives the full path found, or the empty text.
bool FindFile(std::string_view strFileName, std::string& strPath);

} // namespace modQFSystemUtilities
