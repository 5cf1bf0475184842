// The crash record's text, written from inside a crash handler: into a fixed
// buffer, with no allocation, lock or C library formatting, and flushed to
// the record's file by the target's own write call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace tamberlin::platform::crash {

// The decimal digits of `value`, zero-padded to `width` (at most 20), into
// `to`; answers how many were written (at most 20).
inline std::size_t PutDigits(char* to, std::uint64_t value, int width = 0) {
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value);
    std::size_t k = 0;
    for (int i = n; i < width && i < 20; ++i)
        to[k++] = '0';
    while (n)
        to[k++] = digits[--n];
    return k;
}

// A record's file name: "crash-<seconds>-<nanoseconds>-<process id>" and the
// extension, NUL-terminated; answers its length.
inline std::size_t RecordName(char (&name)[80], std::uint64_t seconds, std::uint64_t nanoseconds,
                              std::uint64_t process, const char* extension) {
    std::size_t k = 0;
    const auto put = [&](const char* s) {
        while (*s && k + 1 < sizeof name)
            name[k++] = *s++;
    };
    put("crash-");
    k += PutDigits(name + k, seconds, 12);
    put("-");
    k += PutDigits(name + k, nanoseconds, 9);
    put("-");
    k += PutDigits(name + k, process); // 68 characters at the most so far
    put(extension);
    name[k] = '\0';
    return k;
}

// A C string into a fixed buffer, cut to fit.
template <std::size_t N> void CopyText(char (&to)[N], const char* from) noexcept {
    std::size_t n = 0;
    if (from)
        for (; from[n] && n + 1 < N; ++n)
            to[n] = from[n];
    to[n] = '\0';
}

// WriteAll answers whether every byte went out. Once a write fails nothing
// more is written: a record is always a beginning of the whole, never a
// middle or an end whose beginning is missing (a disk that fills up and then
// has room again must not leave only the tail).
template <class File, bool (*WriteAll)(File file, const char* bytes, std::size_t size)>
class RecordWriter {
public:
    explicit RecordWriter(File file) : file_(file) {}
    ~RecordWriter() { Flush(); }
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    void Put(const char* text, std::size_t size) {
        if (failed_)
            return;
        for (std::size_t i = 0; i < size; ++i) {
            if (size_ == sizeof buffer_)
                Flush();
            buffer_[size_++] = text[i];
        }
    }
    void Put(const char* text) { Put(text, std::strlen(text)); }
    void Decimal(std::uint64_t value, int width = 0) {
        char digits[20];
        Put(digits, PutDigits(digits, value, width));
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
    // Writes what is buffered; false once any write has failed.
    bool Flush() {
        if (size_ && !failed_) {
            failed_ = !WriteAll(file_, buffer_, size_);
            if (!failed_)
                written_ += size_;
        }
        size_ = 0;
        return !failed_;
    }
    // The bytes written to the file so far.
    std::uint64_t Written() const { return written_; }

private:
    File file_;
    char buffer_[2048];
    std::size_t size_ = 0;
    std::uint64_t written_ = 0;
    bool failed_ = false;
};

} // namespace tamberlin::platform::crash
