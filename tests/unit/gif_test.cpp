// What the FLTK host gets from a form's GIF picture: its size, and
// transparency where the file asks for it or the frame does not reach. The
// decoding itself is giflib's.
#include "ui/gif.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <tuple>

extern const unsigned char kErrorSymbolGif[];
extern const std::size_t kErrorSymbolGifSize;

namespace {

using tamberlin::ui::DecodeGif;
using tamberlin::ui::RgbaImage;

std::string Symbol() {
    return std::string(reinterpret_cast<const char*>(kErrorSymbolGif), kErrorSymbolGifSize);
}

using Rgba = std::array<int, 4>;

Rgba At(const RgbaImage& image, int x, int y) {
    const std::uint8_t* p = &image.pixels[(std::size_t(y) * image.width + x) * 4];
    return {p[0], p[1], p[2], p[3]};
}

TEST(Gif, TheErrorSymbolIsOpaqueWhereDrawnAndTransparentAround) {
    const auto image = DecodeGif(Symbol());
    ASSERT_TRUE(image);
    EXPECT_EQ(std::tuple(image->width, image->height), std::tuple(32, 32));
    ASSERT_EQ(image->pixels.size(), 32u * 32u * 4u);
    EXPECT_EQ(At(*image, 0, 0)[3], 0); // the transparent colour
    EXPECT_EQ(At(*image, 31, 31)[3], 0);
    EXPECT_EQ(At(*image, 15, 8), (Rgba{220, 30, 30, 255}));
}

// A 4 x 4 frame at (1, 1) on a 6 x 5 screen: the image is the screen, and
// what the frame leaves uncovered is transparent.
TEST(Gif, AFrameSitsOnItsScreen) {
    std::string gif = "GIF89a";
    gif += std::string("\x06\x00\x05\x00\x00\x00\x00", 7);              // screen, no global table
    gif += std::string("\x2C\x01\x00\x01\x00\x04\x00\x04\x00\xC0", 10); // local table, interlaced
    gif += std::string("\x00\x00\xFF\x00\xFF\x00", 6);                  // 0 blue, 1 green
    gif += std::string("\x02\x05\x8C\x6F\xA0\x80\x05\x00\x3B", 9);      // rows 1111 0000 1111 1111
    const auto image = DecodeGif(gif);
    ASSERT_TRUE(image);
    EXPECT_EQ(std::tuple(image->width, image->height), std::tuple(6, 5));
    EXPECT_EQ(At(*image, 0, 0)[3], 0);
    EXPECT_EQ(At(*image, 5, 4)[3], 0);
    EXPECT_EQ(At(*image, 1, 1), (Rgba{0, 255, 0, 255}));
    EXPECT_EQ(At(*image, 4, 2), (Rgba{0, 0, 255, 255}));
}

TEST(Gif, GivesNoImageForBytesItCannotShow) {
    const std::string symbol = Symbol();
    EXPECT_FALSE(DecodeGif(""));
    EXPECT_FALSE(DecodeGif("PNG\x0D\x0A\x1A\x0A and more bytes than a header"));
    EXPECT_FALSE(DecodeGif(std::string_view(symbol).substr(0, symbol.size() / 2)));
    // A screen too large to allocate.
    std::string huge = symbol;
    huge[6] = huge[7] = huge[8] = huge[9] = '\xFF';
    EXPECT_FALSE(DecodeGif(huge));
}

} // namespace
