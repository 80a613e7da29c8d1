#pragma once

#include <cstddef>
#include <cstdint>

// The one 8-bit checksum of frames and of whole blocks: start with 0xFF and for
// every byte rotate (c XOR b) left by one. An empty sequence gives 0xFF.
uint8_t FrameChecksum(const uint8_t* bytes, size_t n);
