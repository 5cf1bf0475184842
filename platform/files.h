// Files and folders: the directory listing the folder tests use, and
// one-level folder creation.
//
// Paths are UTF-8 in the platform's own form. Nothing here throws; failures
// come back as results for the caller to turn into its own.
#pragma once

#include <cstddef>
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
// The system's words for why the last call here failed (CreateNewFile keeps
// them through its clean-up), e.g. "No space left on device".
std::string LastErrorText();

// The file's whole content into `bytes`; false when it cannot be read.
bool ReadWholeFile(std::string_view path, std::string& bytes);

// Reads at most `limit` bytes of a file that is trusted no further than
// this: it must be a regular file owned by this user (where the system has
// owners), and a symbolic link or other reparse point at its last level is
// not followed.
enum class OwnRead {
    kWhole,   // the whole file is in `bytes`
    kCut,     // it is longer: its first `limit` bytes are in `bytes`
    kRefused, // a link, not a regular file, or another user's
    kFailed,  // it cannot be opened or read
};
OwnRead ReadOwnFile(std::string_view path, std::size_t limit, std::string& bytes);

// The names of the files (not folders) in `folder` whose names match
// `pattern` ("*" and "?" as wildcards), in no particular order.
std::vector<std::string> FileNames(std::string_view folder, std::string_view pattern);

// Deletes the file; false when it could not.
bool RemoveFile(std::string_view path);

// A folder for private files, made when missing. Where the system has owners
// and modes, one that belongs to another user is refused and one of ours is
// narrowed to its owner (0700). A link in its place is refused: what it points
// to is not the folder asked for.
enum class PrivateFolder { kReady, kLink, kNotOurs, kUnusable };
PrivateFolder PreparePrivateFolder(std::string_view path);

// A new file with `bytes`, whole or not at all: written to a hidden temporary
// file beside it (".<name>.tmp", private), flushed, then given its name, which
// is never taken from an existing file. kNameTaken when the name (or its
// temporary file) exists: the only case worth another name. kFailed for any
// other failure (a full disk, no permission); nothing is left behind then.
enum class Publish { kDone, kNameTaken, kFailed };
Publish PublishNewFile(std::string_view path, std::string_view bytes);

// Up to `limit` bytes from the start of an ordinary file (a link is not
// followed); false when it cannot be read.
bool ReadFileStart(std::string_view path, std::size_t limit, std::string& bytes);

// Gives the file `from` the name `to` in one step, replacing a file of that
// name, so a reader sees the old file or the new one, never a part.
bool RenameFile(std::string_view from, std::string_view to);

} // namespace tamberlin::platform::files
