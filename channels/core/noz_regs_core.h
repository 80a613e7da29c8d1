// The channel state registers: one NozRegs block of 69 bytes a channel at
// 0x2000 + n * 0x100 (its layout in block_layout.h), the status word the
// controller could not read, and the read and the save of a channel.
#pragma once

#include "block_layout.h"
#include "block_pair.h"
#include "channel_blocks.h"
#include "memory_map.h"

#include <cstdint>
#include <functional>
#include <string>

namespace settings {

using NozRegsPair = BlockPair<NozRegs.length>;

// The word a controller gives when it could not read the status.
constexpr uint16_t kBitStatUnread = 0xFFFF;
// A status word the controller could not read is cleared in the working copy;
// the as-read copy keeps FFFF, so the block counts as changed and a save
// writes the cleared word. True when the word was unread.
bool ClearUnreadBitStat(NozRegsPair& pair);

// Reads channel `channel` into both copies: 1, or -1 (see ReadChannelBlock).
int ReadNozRegs(int port, int ctrl, int channel, NozRegsPair& pair);
// Writes the working copy when changed: three attempts, each reading the
// sizes record and writing BlockSizes[5] bytes (zero beyond the block).
ChannelSave SaveNozzleRegs(int port, int ctrl, int channel, NozRegsPair& pair,
                           const std::function<void()>& attemptFailed);

} // namespace settings
