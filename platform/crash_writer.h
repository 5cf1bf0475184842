// The crash record's text, written from inside a crash handler: into a fixed
// buffer, with no allocation, lock or C library formatting, and flushed to
// the record's file by the target's own write call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tamberlin::platform::crash {

template <class File, void (*WriteAll)(File file, const char* bytes, std::size_t size)>
class RecordWriter {
public:
    explicit RecordWriter(File file) : file_(file) {}
    ~RecordWriter() { Flush(); }
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void Put(const char* text, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            if (size_ == sizeof buffer_)
                Flush();
            buffer_[size_++] = text[i];
        }
    }
    void Put(const char* text) { Put(text, std::strlen(text)); }
    void Decimal(std::uint64_t value, int width = 0) {
        char digits[24];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
        for (int i = n; i < width; ++i)
            Put("0", 1);
        while (n)
            Put(&digits[--n], 1);
    }
    void Hex(std::uint64_t value, int digits = 16) {
        Put("0x", 2);
        for (int i = digits - 1; i >= 0; --i)
            Put(&"0123456789abcdef"[(value >> (4 * i)) & 0xf], 1);
    }
    // A text on one line: line breaks become spaces.
    void Line(const char* text, std::size_t limit) {
        for (std::size_t i = 0; i < limit && text[i]; ++i)
            Put(text[i] == '\n' || text[i] == '\r' ? " " : &text[i], 1);
    }
    void Flush() {
        if (size_)
            WriteAll(file_, buffer_, size_);
        size_ = 0;
    }

private:
    File file_;
    char buffer_[2048];
    std::size_t size_ = 0;
};

} // namespace tamberlin::platform::crash
