// What the two per-channel blocks (state registers at 0x2000 + n * 0x100,
// settings at 0x1000 + n * 0x100) share: the channel list of both channel
// tabs, the read into the working and as-read copies, and the save that
// writes as many bytes as the controller reports for the block, restarts the
// controller and takes the written block as read.
#pragma once

#include "block_pair.h"
#include "block_transfer.h"
#include "memory_map.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace settings {

// Channel numbers a channel block may be read or written at (the list shows 0..9).
constexpr int kMaxChannelNumber = 10;
inline bool ChannelNumberValid(int channel) {
    return channel >= 0 && channel <= kMaxChannelNumber;
}

// The items of the channel lists ("Сторона А. Рукав 1", UTF-8): side A, and
// side B when the controller has two or more sides; hoses 1 .. min(hoses, 10)
// a side; an item's index is its channel number, side * hoses + hose, and no
// channel beyond 9 is listed. `sides` and `hosesPerSide` are the parameter
// block's bytes as they are.
std::vector<std::string> ChannelListItems(int sides, int hosesPerSide);

// The size the controller gives a block kind (a BlockSizes index): its sizes
// record, read afresh. A demo image has no sizes record; its header, which
// every demo read copies into BlockSizes, stands for it there. -1 when the
// record cannot be read or the size is not a usable length.
int ControllerBlockSize(int port, int ctrl, int sizeIndex);

// `size` bytes for the write: the block's bytes, zero beyond them (only the
// first `size` when the controller's block is shorter).
std::vector<uint8_t> PaddedChannelBuffer(const uint8_t* block, int length, int size);

// Reads the channel's block. On success both copies hold it: 1. On failure -1,
// and the pair keeps no block at all (working copy back to the as-read copy,
// length 0): edits made after a failed read can never be written to the
// channel that failed, as another channel's block.
template <std::size_t N>
int ReadChannelBlock(int port, int ctrl, const MemBlock& block, int channel, BlockPair<N>& pair) {
    std::array<uint8_t, N> in{};
    const int r = ReadBlock(port, ctrl, ChannelAddress(block, channel), block.length, in.data(), kBoardMain);
    if (r < block.length) {
        pair.restore();
        pair.loaded(0);
        return -1;
    }
    pair.working = in;
    pair.loaded(block.length);
    return 1;
}

enum class ChannelSave { Written, Unchanged, BadChannel, SizesUnreadable, WriteFailed };
// The words of a result for the status line (none for Written: the tab words
// its own), and whether a message box shows them first.
struct ChannelSaveWords {
    const char* text;
    bool messageBox;
};
ChannelSaveWords SaveWords(ChannelSave result);

// Writes the working copy when it differs from the as-read copy: up to
// `attempts` times the controller's size (sizes record), the padded buffer,
// one write; `attemptFailed` runs after each failed write. A write that went
// through makes the working copy the as-read copy and restarts the controller.
template <std::size_t N>
ChannelSave SaveChannelBlock(int port, int ctrl, const MemBlock& block, int sizeIndex, int channel,
                             BlockPair<N>& pair, int attempts, const std::function<void()>& attemptFailed) {
    if (!ChannelNumberValid(channel)) return ChannelSave::BadChannel;
    if (!pair.changed()) return ChannelSave::Unchanged;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        const int size = ControllerBlockSize(port, ctrl, sizeIndex);
        if (size < 1) return ChannelSave::SizesUnreadable;
        const std::vector<uint8_t> out = PaddedChannelBuffer(pair.working.data(), block.length, size);
        if (WriteBlock(port, ctrl, ChannelAddress(block, channel), size, out.data(), kBoardMain) == 1) {
            pair.accept();
            RestartController(port, ctrl);
            return ChannelSave::Written;
        }
        if (attemptFailed) attemptFailed();
    }
    return ChannelSave::WriteFailed;
}

} // namespace settings
