// Bringing every channel's metrology block in line with the controller-wide
// meter type and phase mode, as the controller settings save does.
#pragma once

#include <cstdint>

#include "memory_map.h"
#include "noz_setts_core.h"

namespace settings {

constexpr int kCodeManual = 255; // every channel keeps its own meter type

// The code a meter type item stands for: 2 x pulses per litre, 255 for the
// manual item (index 4).
int MeterCodeOfItem(int item);

// For channels 0..count-1: reads the 20-byte block at 0x1000 + c * 0x100 into
// the working copy of the channel settings model (its as-read copy is left
// alone, so the model then holds the last channel handled), rescales the
// pulse weights to the new code (unless it is 255), takes the phase mode
// (unless it is 3), writes a changed block with up to three attempts. A
// rescaling that cannot be done (the weights would not fit) leaves that
// channel's code and weights as they were. The controller is restarted once
// after the loop when any block was written.
// Returns -1 when count is above 10 or a block cannot be read whole (the
// channels before it keep what was written); otherwise the number of channels
// written.
int Met2NozSetts(int port, int ctrl, int newCode, int phaseMode, int count, NozSettsPair& model);

} // namespace settings
