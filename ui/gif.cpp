#include "ui/gif.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <gif_lib.h>
#include <memory>

namespace tamberlin::ui {
namespace {

// Larger screens are refused rather than allocated: forms carry icons.
constexpr std::size_t kMaxPixels = std::size_t{1} << 24;

// giflib reads the bytes through this.
struct Source {
    std::string_view bytes;
    std::size_t position = 0;
};

int Read(GifFileType* gif, GifByteType* out, int wanted) {
    auto* source = static_cast<Source*>(gif->UserData);
    const std::size_t count = std::min(static_cast<std::size_t>(std::max(wanted, 0)),
                                       source->bytes.size() - source->position);
    std::memcpy(out, source->bytes.data() + source->position, count);
    source->position += count;
    return static_cast<int>(count);
}

struct Close {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

} // namespace

std::optional<RgbaImage> DecodeGif(std::string_view bytes) {
    Source source{bytes};
    int error = 0;
    const std::unique_ptr<GifFileType, Close> gif(DGifOpen(&source, Read, &error));
    if (!gif || std::size_t(gif->SWidth) * std::size_t(gif->SHeight) > kMaxPixels ||
        DGifSlurp(gif.get()) != GIF_OK || gif->ImageCount < 1)
        return std::nullopt;
    const SavedImage& frame = gif->SavedImages[0];
    const GifImageDesc& at = frame.ImageDesc;
    const ColorMapObject* colours = at.ColorMap ? at.ColorMap : gif->SColorMap;
    if (!colours || !frame.RasterBits)
        return std::nullopt;
    GraphicsControlBlock control{};
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    DGifSavedExtensionToGCB(gif.get(), 0, &control); // leaves it so without one

    RgbaImage image;
    // Some writers leave the logical screen at 0 x 0.
    const bool no_screen = gif->SWidth == 0 || gif->SHeight == 0;
    image.width = no_screen ? at.Left + at.Width : gif->SWidth;
    image.height = no_screen ? at.Top + at.Height : gif->SHeight;
    const std::size_t pixels = std::size_t(image.width) * std::size_t(image.height);
    if (pixels == 0 || pixels > kMaxPixels)
        return std::nullopt;
    image.pixels.assign(pixels * 4, 0); // transparent outside the frame
    // The frame may reach past the screen; what lies outside is cut off.
    for (int y = 0; y < at.Height && at.Top + y < image.height; ++y) {
        for (int x = 0; x < at.Width && at.Left + x < image.width; ++x) {
            const int index = frame.RasterBits[std::size_t(y) * std::size_t(at.Width) + x];
            if (index == control.TransparentColor || index >= colours->ColorCount)
                continue;
            const GifColorType& colour = colours->Colors[index];
            std::uint8_t* p =
                &image.pixels[(std::size_t(at.Top + y) * image.width + at.Left + x) * 4];
            p[0] = colour.Red;
            p[1] = colour.Green;
            p[2] = colour.Blue;
            p[3] = 255;
        }
    }
    return image;
}

} // namespace tamberlin::ui
