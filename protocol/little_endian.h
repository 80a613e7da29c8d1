// Multi-byte fields of controller blocks are little-endian.
#pragma once

#include <cstdint>

inline uint16_t GetU16(const uint8_t* b, int at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
inline uint32_t GetU32(const uint8_t* b, int at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
inline void PutU16(uint8_t* b, int at, uint16_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* b, int at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
// A field of 1 to 4 bytes as an unsigned value, and back. Only the width is
// read or written: a 3-byte field (a date) leaves the byte after it alone.
inline uint32_t GetUInt(const uint8_t* b, int at, int width) {
    uint32_t v = 0;
    for (int i = (width < 4 ? width : 4) - 1; i >= 0; --i)
        v = v << 8 | b[at + i];
    return v;
}
inline void PutUInt(uint8_t* b, int at, int width, uint32_t v) {
    for (int i = 0; i < width && i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
