// The pictures that forms carry as GIF file bytes, as RGBA pixels for the FLTK
// host (the Win32 host hands the bytes to OLE).
//
// giflib reads the file; the first image is placed on the file's logical
// screen, with the transparent colour of its graphic control extension fully
// transparent, and so is everything outside it. A file giflib cannot read
// gives no image.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tamberlin::ui {

struct RgbaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // rows top to bottom, 4 bytes (R, G, B, A) a pixel
};

// The first image of the GIF file `bytes`; nothing when the bytes are not a
// complete, well-formed GIF image.
std::optional<RgbaImage> DecodeGif(std::string_view bytes);

} // namespace tamberlin::ui
