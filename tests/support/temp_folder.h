// A fresh folder for one test, removed again when the test ends.
#pragma once

#include "tamberlin/platform/path_style.h"

#include <filesystem>
#include <string>
#include <vector>

namespace tamberlin::testing {

class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as UTF-8 text with the platform's separators and a trailing
    // separator, the way the folder operations return folders.
    std::string Text() const;
    // Creates a file (and its folders) below the folder; returns its UTF-8 path.
    std::string MakeFile(const std::string& relative, const std::string& content = "x") const;

private:
    std::filesystem::path path_;
};

// A file's bytes (UTF-8 path), empty when it cannot be read.
std::string ReadFile(const std::string& utf8_path);

// The files in a folder with that extension (".rec"), as sorted UTF-8 paths;
// none when the folder is missing.
std::vector<std::string> FilesIn(const std::filesystem::path& folder, const std::string& extension);

// UTF-8 text of a path with the platform's separators, and back.
std::string PathText(const std::filesystem::path& path);
std::filesystem::path FsPath(const std::string& utf8);

// The platform's path separator.
inline const std::string kSep(1, platform::NativePathStyle().separator);

// The parts of a text between separators (none after a last separator).
std::vector<std::string> Split(const std::string& text, char separator);

} // namespace tamberlin::testing
