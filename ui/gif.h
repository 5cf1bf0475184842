// A GIF decoder for the pictures that forms carry as file bytes.
//
// Reads the first image of a GIF87a/GIF89a file (global or local colour
// table, interlacing, the transparent colour of a graphic control extension)
// onto the file's logical screen. Input is checked throughout: a file that is
// cut short or malformed gives no image, never a crash.
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
