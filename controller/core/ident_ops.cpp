#include "ident_ops.h"

#include "block_transfer.h"
#include "codepage.h"
#include "frames.h"
#include "ident_core.h"
#include "little_endian.h"
#include "protocol_state.h"

#include <algorithm>

namespace ident {

namespace {

constexpr int kFiscalOffset = 46; // FCount in the channel state registers, then its hundredths

} // namespace

IdentifyAnswer IdentifyAt(int port, int ctrl) {
    IdentifyAnswer a;
    uint8_t answer[kIdentAnswerSize] = {};
    a.result = Identify(port, ctrl, answer, &a.address);
    if (a.result == 1) a.deviceType = Protocol().deviceType;
    return a;
}

std::optional<uint8_t> ReadRegister24(int port, int ctrl) {
    uint8_t reg = 0;
    if (ReadBlock(port, ctrl, kRegSimulator, 1, &reg, kBoardRegisters) < 1) return std::nullopt;
    return reg;
}

std::string ReadIdentTextUtf8(int port, int ctrl) {
    uint8_t text[kIdentTextSize] = {};
    ReadIdentText(port, ctrl, text);
    text[kIdentTextSize - 1] = 0;
    return Cp1251ToUtf8(reinterpret_cast<const char*>(text));
}

RegisterLines ReadRegisterLines(int port, int ctrl) {
    RegisterLines out;
    const std::optional<uint8_t> reg = ReadRegister24(port, ctrl);
    if (!reg) return out;
    out.lines.push_back(RegisterLine(0x24, *reg));
    uint8_t regs[kLenReading] = {};
    if (ReadBlock(port, ctrl, kRegReading, kLenReading, regs, kBoardRegisters) < kLenReading) return out;
    for (int i = 0; i < kLenReading; ++i)
        out.lines.push_back(RegisterLine(0x28 + i, regs[i]));
    out.ok = true;
    return out;
}

std::optional<std::vector<std::string>> ReadFiscalLines(int port, int ctrl) {
    uint8_t params[kLengthQueryCapacity] = {};
    if (ReadBlock(port, ctrl, kAddrParamLength, -1, params, kBoardMain) < 6) return std::nullopt;
    const int hoses = params[4], sides = params[5];
    const int addressA = params[2], addressB = sides == 2 ? params[3] : 0;
    // A controller carries at most ten channels; a damaged block must not
    // send the tool through thousands of reads.
    const int channels = std::min(sides * hoses, kMaxChannels);
    std::vector<std::string> lines;
    for (int i = 0; i < channels; ++i) {
        uint8_t regs[256] = {};
        const int n = ReadBlock(port, ctrl, ChannelAddress(NozRegs, i), NozRegs.length, regs, kBoardMain);
        if (n < kFiscalOffset + 5) return std::nullopt;
        const auto whole = static_cast<int32_t>(GetU32(regs, kFiscalOffset));
        lines.push_back(FiscalLine(i, hoses, addressA, addressB, whole, regs[kFiscalOffset + 4]));
    }
    return lines;
}

std::optional<std::string> ReadCrcText(int port, int ctrl) {
    uint8_t raw[2] = {};
    if (ReadBlock(port, ctrl, kRegCrc16, 2, raw, kBoardRegisters) < 2) return std::nullopt;
    return CrcText(raw);
}

int WriteDisplayMode(int port, int ctrl, int code) {
    const auto byte = static_cast<uint8_t>(code);
    return WriteBlock(port, ctrl, kRegDisplayMode, 1, &byte, kBoardRegisters);
}

int WriteFittingStep(int port, int ctrl, long n) {
    const uint8_t bytes[2] = {0x80, static_cast<uint8_t>(n & 0xFF)};
    return WriteBlock(port, ctrl, kRegFitting, 2, bytes, kBoardRegisters);
}

} // namespace ident
