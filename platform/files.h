// Files and folders: the directory listing the folder tests use, and
// one-level folder creation.
//
// Paths are UTF-8 in the platform's own form. Nothing here throws; failures
// come back as results for the caller to turn into its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tamberlin::platform::files {

// Attribute filter of a directory listing.
enum Attribute : unsigned {
    kNormal = 0,
    kReadOnly = 1,
    kHidden = 2,
    kSystem = 4,
    kDirectory = 16,
};

enum class Listing {
    kEntry,       // the listing yields at least one entry
    kNoEntry,     // nothing matches (no such file or folder)
    kBadName,     // the path text is not a valid path (a NUL, too long, ...)
    kAccessError, // the folder exists but cannot be listed
};

// Whether a directory listing of `pattern` yields an entry that passes the
// filter: files always pass, folders only with kDirectory, and on Windows
// hidden and system entries only with kHidden and kSystem (other systems have
// no such attributes). A pattern ending with the separator lists the folder's
// own entries, so a folder with kDirectory always yields "."; "*" and "?" in
// the last level are wildcards.
Listing FirstEntry(std::string_view pattern, unsigned attributes);

// Creates one folder; the parent must exist. True when the folder is there
// afterwards, also when another process made it at the same moment; false when
// it cannot be made or a file has the name.
bool CreateFolder(std::string_view path);

// A file about to be appended to, in one look: kNone when a listing for
// ordinary files (read-only ones included) would not find it, else whether its
// read-only attribute is set; kUnknown when the look itself fails.
enum class Existing { kNone, kWritable, kReadOnly, kUnknown };
Existing ExistingFile(std::string_view path);

// The file's read-only attribute: 1 set, 0 not set, -1 when it cannot be
// read. On POSIX systems a file is read-only when its mode has no write bit
// (which holds for root too, who could write it anyway).
int ReadOnlyAttribute(std::string_view path);

// Appends `bytes` to the file, creating it when missing, in one write while
// the file is open for this call only; other processes may append at the same
// time without their lines mixing. False when it could not be opened,
// written whole or closed; a write cut short (a full disk) is taken back, so
// the bytes land whole or not at all.
bool AppendToFile(std::string_view path, std::string_view bytes);

// Creates the file, which must not exist yet, with `bytes` as its content,
// readable by this user only where the system has such permissions. False
// when it exists or could not be written whole (nothing is left behind then).
bool CreateNewFile(std::string_view path, std::string_view bytes);

// The file's whole content into `bytes`; false when it cannot be read.
bool ReadWholeFile(std::string_view path, std::string& bytes);

// The names of the files (not folders) in `folder` whose names match
// `pattern` ("*" and "?" as wildcards), in no particular order.
std::vector<std::string> FileNames(std::string_view folder, std::string_view pattern);

// Deletes the file; false when it could not.
bool RemoveFile(std::string_view path);

// Creates one folder readable by this user only where the system has such
// permissions (0700). True when a real folder (not a link to one) is there
// afterwards.
bool CreatePrivateFolder(std::string_view path);

// Gives the file `from` the name `to` in one step, replacing a file of that
// name, so a reader sees the old file or the new one, never a part.
bool RenameFile(std::string_view from, std::string_view to);

} // namespace tamberlin::platform::files
