// The controller parameter block as the whole program shares it: its working
// and as-read copies, the values derived from it (sides, nozzles per side,
// side addresses, channels), and the transfer sequences that read and write
// it. The settings tab, the advanced tab, the channel tabs, the primary setup
// and the report all work on the one model the working state holds.
#pragma once

#include "ctrl_params_core.h"

#include <cstdint>
#include <vector>

namespace settings {

struct ParamsModel {
    ParamsPair pair;

    uint8_t* working() { return pair.working.data(); }
    const uint8_t* working() const { return pair.working.data(); }
    // Sides (1 or 2) and nozzles per side (1..5) as the grids show them.
    int sides() const;
    int nozzlesPerSide() const;
    // The side's address byte (side 0 = A, 1 = B).
    int sideAddress(int side) const;
    // Channels of the controller: min(sides x nozzles per side, 10), from the
    // bytes as they are.
    int channelCount() const { return ChannelCount(pair); }
};

// Reads the block with the length query into the working copy: byte 0 is
// cleared first, a read of 0 bytes is tried again (three attempts in all).
// On success the as-read copy and the length are taken, BlockSizes[0] is set
// to the length, and the length is returned; -1 on failure.
int ReadParams(int port, int ctrl, ParamsModel& model);

// The block as written by the advanced tab: `size` bytes (the controller's
// BlockSizes[0], or the length of the last read when that is 0), the working
// copy's bytes up to the length read and zero beyond, the checksum last.
std::vector<uint8_t> PaddedWriteBuffer(const ParamsPair& pair, int size);

// Writes `out` at 0x3101. On success the as-read copy takes the working copy
// (with the checksum written) and the controller is restarted. 1 or -1.
int WriteParams(int port, int ctrl, ParamsPair& pair, const std::vector<uint8_t>& out);

// The probe before a side A address change of a one-sided controller: true
// when anything answers identification at the new address (asked twice) or at
// the side B address.
bool AddressAnswers(int port, int newAddress, int sideBAddress);

// Re-opens the PC side of the port at the speed of a speed code (0 = 38400 ..
// 3 = 4800), the other line settings as given. The port layer's result (0 = done).
int ApplyPortSpeed(int port, int speedCode, int dataBits, char parity, int stopCode);

} // namespace settings
