#include "met2noz_core.h"

#include "block_transfer.h"
#include "little_endian.h"

namespace settings {

int MeterCodeOfItem(int item) {
    static const int codes[4] = {200, 512, 264, 400};
    return item >= 0 && item < 4 ? codes[item] : kCodeManual;
}

int Met2NozSetts(int port, int ctrl, int newCode, int phaseMode, int count, NozSettsPair& model) {
    if (count > kMaxChannels) return -1;
    uint8_t* work = model.working.data();
    int written = 0;
    for (int c = 0; c < count; ++c) {
        const uint32_t addr = NozSetts.address + static_cast<uint32_t>(c) * kChannelStride;
        if (ReadBlock(port, ctrl, addr, NozSetts.length, work, kBoardMain) < NozSetts.length) return -1;
        bool changed = false;
        const int code = GetU16(work, nozsetts::ImpLit.offset);
        if (newCode != kCodeManual && code != newCode && ChangeImpLit(work, newCode)) changed = true;
        if (phaseMode != 3 && work[nozsetts::MeterPhase.offset] != phaseMode) {
            work[nozsetts::MeterPhase.offset] = static_cast<uint8_t>(phaseMode);
            changed = true;
        }
        if (!changed) continue;
        for (int attempt = 0; attempt < 3; ++attempt)
            if (WriteBlock(port, ctrl, addr, NozSetts.length, work, kBoardMain) == 1) {
                ++written;
                break;
            }
    }
    if (written > 0) RestartController(port, ctrl);
    return written;
}

} // namespace settings
