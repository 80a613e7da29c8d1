// Reading a fuzz input as a little program: bytes, small numbers and pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Ends a run on a broken property; the fuzzer keeps the input that did it.
#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) __builtin_trap();                                                                       \
    } while (0)

class FuzzInput {
public:
    FuzzInput(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool more() const { return p_ < end_; }
    size_t left() const { return static_cast<size_t>(end_ - p_); }
    uint8_t u8() { return more() ? *p_++ : 0; }
    uint16_t u16() { return static_cast<uint16_t>(u8() | (u8() << 8)); }
    uint32_t u32() { return u16() | (static_cast<uint32_t>(u16()) << 16); }
    std::vector<uint8_t> bytes(size_t n) {
        n = n < left() ? n : left();
        std::vector<uint8_t> out(p_, p_ + n);
        p_ += n;
        return out;
    }
    std::string text(size_t n) {
        const std::vector<uint8_t> b = bytes(n);
        return std::string(b.begin(), b.end());
    }
    std::vector<uint8_t> rest() { return bytes(left()); }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// True when the text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
inline bool ValidUtf8(const std::string& s) {
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = 0;
        uint32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if ((c & 0xE0) == 0xC0)
            n = 1, cp = c & 0x1Fu;
        else if ((c & 0xF0) == 0xE0)
            n = 2, cp = c & 0x0Fu;
        else if ((c & 0xF8) == 0xF0)
            n = 3, cp = c & 0x07u;
        else
            return false;
        if (s.size() - i <= n) return false;
        for (size_t k = 1; k <= n; ++k) {
            const unsigned char d = static_cast<unsigned char>(s[i + k]);
            if ((d & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (d & 0x3Fu);
        }
        if ((n == 1 && cp < 0x80) || (n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n + 1;
    }
    return true;
}
