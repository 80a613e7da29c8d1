#include "checksum.h"

uint8_t FrameChecksum(const uint8_t* bytes, size_t n) {
    unsigned c = 0xFF;
    for (size_t i = 0; i < n; ++i) {
        unsigned t = (c ^ bytes[i]) << 1;
        c = t > 0xFF ? (t + 1) & 0xFF : t;
    }
    return static_cast<uint8_t>(c);
}
