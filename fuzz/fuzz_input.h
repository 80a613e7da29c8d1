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
