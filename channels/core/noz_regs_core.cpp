#include "noz_regs_core.h"

namespace settings {

bool ClearUnreadBitStat(NozRegsPair& pair) {
    if (fields::GetField(nozregs::BitStat, pair.working.data()) != kBitStatUnread) return false;
    fields::PutField(nozregs::BitStat, pair.working.data(), 0);
    return true;
}

int ReadNozRegs(int port, int ctrl, int channel, NozRegsPair& pair) {
    return ReadChannelBlock(port, ctrl, NozRegs, channel, pair);
}

ChannelSave SaveNozzleRegs(int port, int ctrl, int channel, NozRegsPair& pair,
                           const std::function<void()>& attemptFailed) {
    return SaveChannelBlock(port, ctrl, NozRegs, kSizeNozRegs, channel, pair, 3, attemptFailed);
}

} // namespace settings
