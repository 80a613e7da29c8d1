#include "params_model.h"

#include "block_transfer.h"
#include "frames.h"
#include "side_addressing_core.h"
#include "write_journal.h"

#include <algorithm>

namespace settings {

int ParamsModel::sides() const {
    return SidesOf(working());
}

int ParamsModel::nozzlesPerSide() const {
    return NozzlesOf(working());
}

int ParamsModel::sideAddress(int side) const {
    return working()[side == 0 ? kAddrSideA : kAddrSideB];
}

int ReadParams(int port, int ctrl, ParamsModel& model) {
    ParamsPair& p = model.pair;
    p.working[0] = 0;
    int r = 0;
    for (int attempt = 0; attempt < 3 && r == 0; ++attempt) {
        r = ReadBlock(port, ctrl, kAddrParamLength, 0, p.working.data(), kBoardMain);
        if (r < 0) return -1;
    }
    if (r <= 0) return -1;
    p.loaded(r);
    BlockSizes()[kSizeParams] = r;
    return r;
}

std::vector<uint8_t> PaddedWriteBuffer(const ParamsPair& pair, int size) {
    if (size <= 0) size = pair.length;
    if (size <= 0) return {};
    std::vector<uint8_t> out(static_cast<size_t>(size), 0);
    std::copy_n(pair.working.begin(), std::min(size, pair.length), out.begin());
    out.back() = FrameChecksum(out.data(), out.size() - 1);
    return out;
}

int WriteParams(int port, int ctrl, ParamsPair& pair, const std::vector<uint8_t>& out) {
    if (out.empty()) return -1;
    const journal::KnownContent before(kBoardMain, CtrlrParams.address, pair.asRead.data(), pair.length);
    if (WriteBlock(port, ctrl, CtrlrParams.address, static_cast<int>(out.size()), out.data(), kBoardMain) !=
        1)
        return -1;
    if (static_cast<int>(out.size()) <= pair.capacity()) pair.working[out.size() - 1] = out.back();
    pair.accept();
    RestartController(port, ctrl);
    return 1;
}

bool AddressAnswers(int port, int newAddress, int sideBAddress) {
    uint8_t ans[kIdentAnswerSize];
    int addr = 0;
    if (Identify(port, newAddress, ans, &addr) >= 1) return true;
    if (Identify(port, newAddress, ans, &addr) >= 1) return true;
    return Identify(port, sideBAddress, ans, &addr) >= 1;
}

int ApplyPortSpeed(int port, int speedCode, int dataBits, char parity, int stopCode) {
    return SetLineSettings(port, static_cast<uint32_t>(SpeedBaud(speedCode)), static_cast<uint8_t>(dataBits),
                           parity, static_cast<uint8_t>(stopCode));
}

} // namespace settings
