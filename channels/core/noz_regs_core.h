// The channel state registers: one NozRegs block of 69 bytes a channel at
// 0x2000 + n * 0x100 (its layout in block_layout.h), the state codes and status bits the
// tab shows, and the read and the save of a channel.
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

// The status-bit list. Items 6 and 7 both stand for bit 2; bits without an
// item are carried.
constexpr int kBitItems = 10;
extern const char* const kBitTexts[kBitItems];
extern const uint16_t kBitMasks[kBitItems];
// The word a controller gives when it could not read the status.
constexpr uint16_t kBitStatUnread = 0xFFFF;
bool BitItemTicked(uint16_t word, int item);
// The word with each item's bit set or cleared, items 0 to 9 in order (so bit
// 2 ends as item 7 has it).
uint16_t BitStatFromItems(uint16_t word, const bool ticked[kBitItems]);
// Four upper-case hexadecimal digits, as the box shows a word the list built.
std::string BitStatFourDigits(uint16_t word);

// Reads channel `channel` into both copies: 1, or -1 (see ReadChannelBlock).
int ReadNozRegs(int port, int ctrl, int channel, NozRegsPair& pair);
// Writes the working copy when changed: three attempts, each reading the
// sizes record and writing BlockSizes[5] bytes (zero beyond the block).
ChannelSave SaveNozzleRegs(int port, int ctrl, int channel, NozRegsPair& pair,
                           const std::function<void()>& attemptFailed);

} // namespace settings
