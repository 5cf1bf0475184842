#include "ui/gif.h"

#include <array>
#include <cstddef>

namespace tamberlin::ui {
namespace {

// Larger pictures are refused rather than allocated: forms carry icons.
constexpr std::size_t kMaxPixels = std::size_t{1} << 24;
constexpr int kMaxCodes = 4096; // LZW codes are at most 12 bits wide

class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    bool Has(std::size_t count) const { return count <= bytes_.size() - pos_; }
    // 0 past the end; callers check Has() first where it matters, and a
    // failed read marks the reader.
    std::uint8_t Byte() {
        if (!Has(1)) {
            failed_ = true;
            return 0;
        }
        return static_cast<std::uint8_t>(bytes_[pos_++]);
    }
    int U16() {
        const int low = Byte();
        return low | Byte() << 8;
    }
    std::string_view Take(std::size_t count) {
        if (!Has(count)) {
            failed_ = true;
            pos_ = bytes_.size();
            return {};
        }
        const std::string_view part = bytes_.substr(pos_, count);
        pos_ += count;
        return part;
    }
    // Data sub-blocks up to their empty terminator, appended to `out` when
    // given. False when the input ends first.
    bool SubBlocks(std::vector<std::uint8_t>* out) {
        for (;;) {
            const std::size_t length = Byte();
            if (failed_)
                return false;
            if (length == 0)
                return true;
            const std::string_view block = Take(length);
            if (failed_)
                return false;
            if (out)
                out->insert(out->end(), block.begin(), block.end());
        }
    }
    bool Failed() const { return failed_; }

private:
    std::string_view bytes_;
    std::size_t pos_ = 0;
    bool failed_ = false;
};

// Decodes `count` colour indices from GIF LZW data (codes packed least
// significant bit first). Nothing when the data ends early or holds a code
// that is not yet defined.
std::optional<std::vector<std::uint8_t>> DecodeLzw(const std::vector<std::uint8_t>& data,
                                                   int min_code_size, std::size_t count) {
    if (min_code_size < 2 || min_code_size > 8)
        return std::nullopt;
    const int clear = 1 << min_code_size;
    const int end = clear + 1;
    // Each entry is its prefix entry plus one index; `first` is the first
    // index of the entry's string. A prefix is always an older entry, so
    // chains end.
    std::array<std::uint16_t, kMaxCodes> prefix{};
    std::array<std::uint8_t, kMaxCodes> suffix{};
    std::array<std::uint8_t, kMaxCodes> first{};
    for (int i = 0; i < clear; ++i)
        suffix[i] = first[i] = static_cast<std::uint8_t>(i);
    std::array<std::uint8_t, kMaxCodes> stack{};

    std::vector<std::uint8_t> out;
    out.reserve(count);
    auto emit = [&](int code) {
        std::size_t depth = 0;
        while (code >= clear) {
            stack[depth++] = suffix[code];
            code = prefix[code];
        }
        stack[depth++] = static_cast<std::uint8_t>(code);
        while (depth > 0)
            out.push_back(stack[--depth]);
    };

    const std::size_t total_bits = data.size() * 8;
    std::size_t bit = 0;
    int width = min_code_size + 1;
    int next = end + 1;
    int previous = -1;
    while (out.size() < count) {
        if (total_bits - bit < static_cast<std::size_t>(width))
            return std::nullopt;
        int code = 0;
        for (int i = 0; i < width; ++i, ++bit)
            code |= ((data[bit / 8] >> (bit % 8)) & 1) << i;
        if (code == clear) {
            width = min_code_size + 1;
            next = end + 1;
            previous = -1;
            continue;
        }
        if (code == end)
            break;
        if (previous < 0) {
            if (code > clear)
                return std::nullopt;
            emit(code);
            previous = code;
            continue;
        }
        std::uint8_t head;
        if (code < clear || (code > end && code < next)) {
            emit(code);
            head = first[code];
        } else if (code == next) {
            // The entry being defined: the previous string plus its own first index.
            emit(previous);
            out.push_back(first[previous]);
            head = first[previous];
        } else {
            return std::nullopt;
        }
        if (next < kMaxCodes) {
            prefix[next] = static_cast<std::uint16_t>(previous);
            suffix[next] = head;
            first[next] = first[previous];
            ++next;
            if (next == (1 << width) && width < 12)
                ++width;
        }
        previous = code;
    }
    if (out.size() < count)
        return std::nullopt;
    out.resize(count);
    return out;
}

std::vector<std::uint8_t> ColourTable(Reader& in, int flags) {
    if (!(flags & 0x80))
        return {};
    const std::string_view table = in.Take(std::size_t{3} << ((flags & 7) + 1));
    return {table.begin(), table.end()};
}

} // namespace

std::optional<RgbaImage> DecodeGif(std::string_view bytes) {
    Reader in(bytes);
    const std::string_view signature = in.Take(6);
    if (signature != "GIF87a" && signature != "GIF89a")
        return std::nullopt;
    int screen_width = in.U16();
    int screen_height = in.U16();
    const int screen_flags = in.Byte();
    in.Take(2); // background colour, aspect ratio
    const std::vector<std::uint8_t> global = ColourTable(in, screen_flags);
    int transparent = -1;

    while (!in.Failed()) {
        const int introducer = in.Byte();
        if (in.Failed() || introducer == 0x3B)
            return std::nullopt; // no image before the end
        if (introducer == 0x21) {
            const int label = in.Byte();
            std::vector<std::uint8_t> extension;
            if (!in.SubBlocks(&extension))
                return std::nullopt;
            // Graphic control: flags, delay (2 bytes), transparent index.
            if (label == 0xF9 && extension.size() >= 4)
                transparent = (extension[0] & 1) ? extension[3] : -1;
            continue;
        }
        if (introducer != 0x2C)
            return std::nullopt;

        const int left = in.U16();
        const int top = in.U16();
        const int width = in.U16();
        const int height = in.U16();
        const int flags = in.Byte();
        const std::vector<std::uint8_t> local = ColourTable(in, flags);
        const std::vector<std::uint8_t>& table = local.empty() ? global : local;
        const int min_code_size = in.Byte();
        std::vector<std::uint8_t> data;
        if (in.Failed() || !in.SubBlocks(&data) || width == 0 || height == 0)
            return std::nullopt;
        // Some writers leave the logical screen at 0 x 0.
        if (screen_width == 0 || screen_height == 0) {
            screen_width = left + width;
            screen_height = top + height;
        }
        const std::size_t frame_pixels = std::size_t(width) * std::size_t(height);
        const std::size_t screen_pixels = std::size_t(screen_width) * std::size_t(screen_height);
        if (frame_pixels > kMaxPixels || screen_pixels > kMaxPixels)
            return std::nullopt;
        const std::optional<std::vector<std::uint8_t>> indices =
            DecodeLzw(data, min_code_size, frame_pixels);
        if (!indices)
            return std::nullopt;

        RgbaImage image;
        image.width = screen_width;
        image.height = screen_height;
        image.pixels.assign(screen_pixels * 4, 0); // transparent outside the frame
        const bool interlaced = flags & 0x40;
        // Interlaced rows come in four passes: every 8th row from 0, from 4,
        // every 4th from 2, every 2nd from 1.
        static constexpr int kStart[] = {0, 4, 2, 1};
        static constexpr int kStep[] = {8, 8, 4, 2};
        int pass = 0;
        int row = 0;
        for (int i = 0; i < height; ++i) {
            const int y = top + (interlaced ? row : i);
            if (interlaced) {
                row += kStep[pass];
                while (pass < 3 && row >= height)
                    row = kStart[++pass];
            }
            if (y >= screen_height)
                continue;
            for (int x = 0; x < width && left + x < screen_width; ++x) {
                const std::uint8_t index = (*indices)[std::size_t(i) * width + x];
                std::uint8_t* p = &image.pixels[(std::size_t(y) * screen_width + left + x) * 4];
                if (index == transparent)
                    continue;
                if (std::size_t(index) * 3 + 2 < table.size()) {
                    p[0] = table[index * 3];
                    p[1] = table[index * 3 + 1];
                    p[2] = table[index * 3 + 2];
                }
                p[3] = 255; // an index past the table is opaque black
            }
        }
        return image;
    }
    return std::nullopt;
}

} // namespace tamberlin::ui
