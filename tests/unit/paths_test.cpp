#include "tamberlin/runtime/error.h"
#include "tamberlin/sysutil/paths.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <tuple>

namespace {

using namespace modQFSystemUtilities;
using tamberlin::platform::kPosixPaths;
using tamberlin::platform::kWindowsPaths;

// Path, file name, folder and base name in the Windows form; the POSIX form
// swaps every "\" for "/".
constexpr std::tuple<const char*, const char*, const char*, const char*> kCases[] = {
    {"C:\\a\\b.txt", "b.txt", "C:\\a\\", "b"},
    {"b.txt", "b.txt", "", "b"},
    {"C:\\a\\", "", "C:\\a\\", ""},
    {"", "", "", ""},
    {"C:\\a\\b.tar.gz", "b.tar.gz", "C:\\a\\", "b.tar"},
    {"C:\\a\\README", "README", "C:\\a\\", ""},
    {"C:\\a\\.profile", ".profile", "C:\\a\\", ""},
    {"C:\\a\\.b.c", ".b.c", "C:\\a\\", ".b"},
    {"a.b", "a.b", "", "a"},
    {"C:\\a.d\\file", "file", "C:\\a.d\\", ""},
    {"\\\\server\\share\\x.y", "x.y", "\\\\server\\share\\", "x"},
    {"C:\\", "", "C:\\", ""},
    {"C:\\Ördner\\bäume.txt", "bäume.txt", "C:\\Ördner\\", "bäume"},
};

std::string Posix(std::string text) {
    std::replace(text.begin(), text.end(), '\\', '/');
    return text;
}

TEST(PathTexts, SplitWithEitherSeparator) {
    for (const auto& [path, file_name, folder, base_name] : kCases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(GetFileName(path, kWindowsPaths), file_name);
        EXPECT_EQ(GetFolderPath(path, kWindowsPaths), folder);
        EXPECT_EQ(GetFileBaseName(path, kWindowsPaths), base_name);
        EXPECT_EQ(GetFileName(Posix(path), kPosixPaths), Posix(file_name));
        EXPECT_EQ(GetFolderPath(Posix(path), kPosixPaths), Posix(folder));
        EXPECT_EQ(GetFileBaseName(Posix(path), kPosixPaths), Posix(base_name));
    }
    // The other separator is an ordinary character.
    EXPECT_EQ(GetFileName("C:/a/b.txt", kWindowsPaths), "C:/a/b.txt");
    EXPECT_EQ(GetFolderPath("C:/a/b.txt", kWindowsPaths), "");
    EXPECT_EQ(GetFileBaseName("a\\b.txt", kPosixPaths), "a\\b");
}

int OverflowNumber(const std::string& text) {
    try {
        GetFileName(text, kWindowsPaths);
    } catch (const tamberlin::runtime::RuntimeError& e) {
        return e.Number();
    }
    return 0;
}

TEST(PathTexts, TextsLongerThan32767CharactersOverflow) {
    EXPECT_EQ(OverflowNumber(std::string(32767, 'a')), 0);
    EXPECT_EQ(OverflowNumber(std::string(32768, 'a')), 6);
    EXPECT_EQ(OverflowNumber("C:\\" + std::string(40000, 'a')), 6);
    // Characters are counted as the wide text holds them: one outside the
    // basic plane takes two, one of several UTF-8 bytes inside it takes one.
    const auto times = [](std::string_view text, int n) {
        std::string out;
        while (n-- > 0)
            out += text;
        return out;
    };
    EXPECT_EQ(OverflowNumber(times("\xF0\x9F\x98\x80", 16384)), 6); // U+1F600
    EXPECT_EQ(OverflowNumber(times("\xC3\xA4", 32767)), 0);
    // Bytes that are not UTF-8 count one each: overlong forms and surrogates.
    EXPECT_EQ(OverflowNumber(times("\xED\xA0\x80\xC0\xF0\x80\x80\x80", 4096)), 6);
    EXPECT_THROW(GetFolderPath(std::string(40000, 'a')), tamberlin::runtime::RuntimeError);
    EXPECT_THROW(GetFileBaseName(std::string(40000, 'a')), tamberlin::runtime::RuntimeError);
}

} // namespace
