// The GIF decoder on the Application Error symbol and on damaged files.
#include "ui/gif.h"

#include <gtest/gtest.h>
#include <string>

extern const unsigned char kErrorSymbolGif[];
extern const std::size_t kErrorSymbolGifSize;

namespace {

using tamberlin::ui::DecodeGif;
using tamberlin::ui::RgbaImage;

std::string Symbol() {
    return std::string(reinterpret_cast<const char*>(kErrorSymbolGif), kErrorSymbolGifSize);
}

struct Rgba {
    int r, g, b, a;
    bool operator==(const Rgba&) const = default;
};

Rgba At(const RgbaImage& image, int x, int y) {
    const std::uint8_t* p = &image.pixels[(std::size_t(y) * image.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

void PrintTo(const Rgba& c, std::ostream* os) {
    *os << '(' << c.r << ',' << c.g << ',' << c.b << ',' << c.a << ')';
}

TEST(Gif, DecodesTheErrorSymbol) {
    const auto image = DecodeGif(Symbol());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 32);
    EXPECT_EQ(image->height, 32);
    ASSERT_EQ(image->pixels.size(), 32u * 32u * 4u);
    EXPECT_EQ(At(*image, 0, 0).a, 0);                          // transparent corner
    EXPECT_EQ(At(*image, 31, 31).a, 0);                        // the last pixel too
    EXPECT_EQ(At(*image, 15, 8), (Rgba{220, 30, 30, 255}));    // red disc
    EXPECT_EQ(At(*image, 15, 1), (Rgba{128, 0, 0, 255}));      // dark rim
    EXPECT_EQ(At(*image, 10, 10), (Rgba{255, 255, 255, 255})); // white cross
    EXPECT_EQ(At(*image, 21, 10), (Rgba{255, 255, 255, 255}));
}

// A 4 x 4 frame written with real LZW compression (codes growing past their
// first width, a code that defines itself), interlaced, with a local colour
// table, placed at (1, 1) on a 6 x 5 screen.
TEST(Gif, DecodesCompressedInterlacedFramesOnTheScreen) {
    std::string gif = "GIF89a";
    gif += std::string("\x06\x00\x05\x00\x00\x00\x00", 7);              // screen, no global table
    gif += std::string("\x2C\x01\x00\x01\x00\x04\x00\x04\x00\xC0", 10); // local table, interlaced
    gif += std::string("\x00\x00\xFF\x00\xFF\x00", 6);                  // 0 blue, 1 green
    // Rows in file order 0, 2, 1, 3: indices 1111 1111 0000 1111, as the
    // codes clear 1 6 7 6 0 10 0 8 end (3 bits, then 4).
    gif += std::string("\x02\x05\x8C\x6F\xA0\x80\x05\x00\x3B", 9);
    const auto image = DecodeGif(gif);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width, 6);
    EXPECT_EQ(image->height, 5);
    EXPECT_EQ(At(*image, 0, 0).a, 0); // outside the frame
    EXPECT_EQ(At(*image, 5, 4).a, 0);
    const Rgba blue{0, 0, 255, 255}, green{0, 255, 0, 255};
    for (int x = 1; x <= 4; ++x) {
        EXPECT_EQ(At(*image, x, 1), green) << x;
        EXPECT_EQ(At(*image, x, 2), blue) << x; // frame row 1, third in the file
        EXPECT_EQ(At(*image, x, 3), green) << x;
        EXPECT_EQ(At(*image, x, 4), green) << x;
    }
}

TEST(Gif, RejectsEveryCutOffCopyOfAFile) {
    const std::string symbol = Symbol();
    // Everything up to the end of the image data is needed; only the
    // trailer after it may be missing.
    for (std::size_t length = 0; length + 1 < symbol.size(); ++length)
        EXPECT_FALSE(DecodeGif(std::string_view(symbol).substr(0, length))) << length;
}

TEST(Gif, RejectsGarbage) {
    EXPECT_FALSE(DecodeGif(""));
    EXPECT_FALSE(DecodeGif("GIF89a"));
    EXPECT_FALSE(DecodeGif("PNG\x0D\x0A\x1A\x0A and more bytes than a header"));
    std::string symbol = Symbol();
    // An undefined LZW code: the first code after a clear must be an index.
    std::string broken = symbol;
    const std::size_t data = broken.find(std::string("\x2C\x00\x00\x00\x00", 5)) + 10 + 2;
    broken[data] = '\xFF';
    EXPECT_FALSE(DecodeGif(broken));
    // Flipped bytes anywhere must not crash (under the sanitizers, not read
    // out of bounds); the result may or may not be an image.
    for (std::size_t i = 0; i < symbol.size(); ++i) {
        std::string damaged = symbol;
        damaged[i] = static_cast<char>(damaged[i] ^ 0xA5);
        (void)DecodeGif(damaged);
    }
    // A screen too large to allocate is refused.
    std::string huge = symbol;
    huge[6] = huge[7] = huge[8] = huge[9] = '\xFF';
    EXPECT_FALSE(DecodeGif(huge));
}

} // namespace
