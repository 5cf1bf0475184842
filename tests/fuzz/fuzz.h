// The entry point every fuzz target defines. Built with libFuzzer it is
// driven by the fuzzer; otherwise replay_main.cpp runs it over the files of
// a corpus, so the seeds and every mended finding stay regression tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace tamberlin::fuzz {

inline std::string_view Bytes(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// The input read as a script: one byte at a time, texts as a length byte and
// that many bytes. Past its end every byte is 0.
class Script {
public:
    explicit Script(std::string_view bytes) : rest_(bytes) {}
    bool Done() const { return rest_.empty(); }
    unsigned Byte() {
        if (rest_.empty())
            return 0;
        const auto byte = static_cast<unsigned char>(rest_.front());
        rest_.remove_prefix(1);
        return byte;
    }
    std::string Text() {
        const std::string_view text = rest_.substr(0, Byte() % 64);
        rest_.remove_prefix(text.size());
        return std::string(text);
    }

private:
    std::string_view rest_;
};

// A broken invariant: a finding, as a crash the fuzzer records.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// An upper-case hex digit's value (the encoders write no other); -1 for
// anything else.
inline int HexDigit(char c) {
    const std::size_t at = std::string_view("0123456789ABCDEF").find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

// A percent-encoded text decoded; a '%' not followed by two such digits is a
// finding.
inline std::string PercentDecoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        FUZZ_CHECK(i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0);
        out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
        i += 2;
    }
    return out;
}

// The text cut at each separator (empty parts kept).
inline std::vector<std::string> Split(std::string_view text, std::string_view separator) {
    std::vector<std::string> parts;
    for (std::size_t start = 0;;) {
        const std::size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos)
            return parts;
        start = end + separator.size();
    }
}

// The text with each line break (CR LF, CR or LF) as CR LF.
inline std::string CrLf(std::string_view text) {
    std::string out;
    // A CR before an LF is left out: the LF makes that break.
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' || i + 1 == text.size() || text[i + 1] != '\n')
            out +=
                text[i] == '\r' || text[i] == '\n' ? std::string("\r\n") : std::string(1, text[i]);
    return out;
}

} // namespace tamberlin::fuzz
