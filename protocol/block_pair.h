// A controller block as the program keeps it: the working copy the controls
// edit, the copy as last read or written, and the length of the last read.
// Change detection and the write-back buffer come from here, so every tab
// treats its block the same way.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "checksum.h"

template <std::size_t Capacity> struct BlockPair {
    std::array<uint8_t, Capacity> working{};
    std::array<uint8_t, Capacity> asRead{};
    int length = 0; // bytes of the last read; also the write length

    static constexpr int capacity() { return static_cast<int>(Capacity); }

    // A read placed `len` bytes into the working copy: remember them as read.
    void loaded(int len) {
        length = std::clamp(len, 0, capacity());
        asRead = working;
    }
    // True when the working copy differs from the as-read copy over the length.
    bool changed() const {
        return length > 0 &&
               std::memcmp(working.data(), asRead.data(), static_cast<std::size_t>(length)) != 0;
    }
    // The write went through: what was written is now what the controller holds.
    void accept() { asRead = working; }
    // Throws the edits away.
    void restore() { working = asRead; }
    // Stores FrameChecksum of the first length - 1 bytes into the last byte of
    // the working copy (nothing for a length of 0).
    void sealChecksum() {
        if (length > 0)
            working[static_cast<std::size_t>(length - 1)] =
                FrameChecksum(working.data(), static_cast<std::size_t>(length - 1));
    }
    // True when the as-read copy's last byte is the checksum of the bytes before it.
    bool readChecksumGood() const {
        return length > 0 && asRead[static_cast<std::size_t>(length - 1)] ==
                                 FrameChecksum(asRead.data(), static_cast<std::size_t>(length - 1));
    }
};
