// The channel settings: one NozSetts block of 20 bytes a channel at
// 0x1000 + n * 0x100 (the meter's pulse weights, its pulses-per-litre code
// and phase mode, the adjustment count), and the read and the save of a
// channel.
#pragma once

#include "block_layout.h"
#include "block_pair.h"
#include "channel_blocks.h"
#include "memory_map.h"

#include <cstdint>
#include <functional>

namespace settings {

using NozSettsPair = BlockPair<NozSetts.length>;

// The pulses-per-litre list ("100", "256", "132", "200").
constexpr int kImpLitItems = 4;
extern const char* const kImpLitTexts[kImpLitItems];
// The item whose text is ImpLit / 2, or -1 when none is.
int ImpLitItem(uint16_t impLit);
// The code of an item: twice its number.
int ImpLitCode(int item);
// The pulses-per-litre code the block holds.
int StoredImpLit(const uint8_t* block);
// A new pulses-per-litre code for the block: the weights are rescaled from the
// old code to the new one and the code stored. False when the weights cannot
// be rescaled (they would not fit 40 bits); the block is then unchanged.
bool ChangeImpLit(uint8_t* block, int newCode);

// A phase mode the list has no item for (above 2) is set to one phase (0) in
// the working copy; the as-read copy keeps the stored mode, so a save writes
// the repair. True when the mode was repaired.
bool RepairMeterPhase(NozSettsPair& pair);

// Reads channel `channel` into both copies: 1, or -1 (see ReadChannelBlock).
int ReadNozSetts(int port, int ctrl, int channel, NozSettsPair& pair);
// Writes the working copy when changed: one attempt of BlockSizes[3] bytes
// read from the sizes record (zero beyond the block).
ChannelSave SaveNozSetts(int port, int ctrl, int channel, NozSettsPair& pair,
                         const std::function<void()>& attemptFailed);

} // namespace settings
