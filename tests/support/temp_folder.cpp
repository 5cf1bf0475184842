#include "tests/support/temp_folder.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace tamberlin::testing {

namespace fs = std::filesystem;

std::string PathText(const fs::path& path) {
    const std::u8string text = path.lexically_normal().make_preferred().u8string();
    return std::string(text.begin(), text.end());
}

fs::path FsPath(const std::string& utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string ReadFile(const std::string& utf8_path) {
    std::ifstream in(FsPath(utf8_path), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::vector<std::string> FilesIn(const fs::path& folder, const std::string& extension) {
    std::vector<std::string> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().extension() == extension)
            found.push_back(PathText(entry.path()));
    std::sort(found.begin(), found.end());
    return found;
}

TempFolder::TempFolder() {
    static std::atomic<unsigned> counter{0};
    std::random_device seed;
    const std::string name =
        "tamberlin-test-" + std::to_string(seed()) + "-" + std::to_string(counter++);
    path_ = fs::temp_directory_path() / name;
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    // Tests may leave read-only files behind; make them removable first.
    for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
         it.increment(ec))
        fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
    EXPECT_FALSE(ec) << "could not remove " << path_ << ": " << ec.message();
}

std::string TempFolder::Text() const {
    std::string text = PathText(path_);
    text += static_cast<char>(fs::path::preferred_separator);
    return text;
}

std::string TempFolder::MakeFile(const std::string& relative, const std::string& content) const {
    const fs::path file = path_ / FsPath(relative);
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
    return PathText(file);
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream in(text);
    for (std::string part; std::getline(in, part, separator);)
        parts.push_back(part);
    return parts;
}

} // namespace tamberlin::testing
