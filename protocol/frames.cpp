#include "frames.h"

#include <cstring>

#include "codepage.h"
#include "line_wait.h"
#include "port_layer.h"
#include "protocol_state.h"

using namespace zel::line;

namespace {

constexpr int kSingleWriteGapMs = 50; // before the continuation frame

int WriteAll(int port, const uint8_t* bytes, int count) {
    return PortWrite(port, bytes, count) == 1 ? 1 : -1;
}

} // namespace

bool IsAcceptedDeviceType(uint8_t type) {
    return type == 0x21 || type == 0x22 || type == 0x17 || type == 0x27;
}

std::array<uint8_t, 4> CommandFrame(uint8_t ctrl, uint8_t command) {
    std::array<uint8_t, 4> f{kFrameStart, ctrl, command, 0};
    f[3] = FrameChecksum(f.data(), 3);
    return f;
}

std::array<uint8_t, 8> AddressFrame(uint32_t address, uint8_t byte5, uint8_t length) {
    std::array<uint8_t, 8> f{0x01,
                             0x00,
                             static_cast<uint8_t>(address >> 8),
                             static_cast<uint8_t>(address >> 16),
                             static_cast<uint8_t>(address),
                             byte5,
                             length,
                             0};
    f[7] = FrameChecksum(f.data(), 7);
    return f;
}

std::vector<uint8_t> ContinuationFrame(const uint8_t* data, int count) {
    if (count < 2) return {};
    std::vector<uint8_t> f(data + 1, data + count);
    f.push_back(FrameChecksum(f.data(), f.size()));
    return f;
}

int SendCmd(int port, int ctrl, uint8_t command) {
    if (BadHandle(port)) return -3;
    PortPurge(port);
    const auto f = CommandFrame(static_cast<uint8_t>(ctrl), command);
    return WriteAll(port, f.data(), static_cast<int>(f.size()));
}

int SendAddressFrame(int port, uint32_t address, int length) {
    if (BadHandle(port)) return -3;
    PortPurge(port);
    const auto f = AddressFrame(address, 0, static_cast<uint8_t>(length));
    return WriteAll(port, f.data(), static_cast<int>(f.size()));
}

int SendWriteFrames(int port, uint32_t address, int count, const uint8_t* data) {
    if (BadHandle(port)) return -3;
    if (count < 1 || count > kMaxWriteFrameData || !data) return -4;
    PortPurge(port);
    const auto f = AddressFrame(address, data[0], static_cast<uint8_t>(count));
    if (WriteAll(port, f.data(), static_cast<int>(f.size())) != 1) return -1;
    if (count >= 2) {
        LinePause(kSingleWriteGapMs);
        const auto c = ContinuationFrame(data, count);
        if (WriteAll(port, c.data(), static_cast<int>(c.size())) != 1) return -1;
    }
    return 1;
}

int Identify(int port, int ctrl, uint8_t* dst4, int* outAddr) {
    if (BadHandle(port)) return -3;
    const auto f = CommandFrame(static_cast<uint8_t>(ctrl), kCmdIdentify);
    if (WriteAll(port, f.data(), static_cast<int>(f.size())) != 1) return -1;

    const int64_t limit = Scaled(10, Protocol().timeoutMultiplier) + 1;
    int64_t shortPolls = 0;
    int waiting = 0;
    for (;;) {
        waiting = WaitPoll(port, 10, [](int n) { return n >= kIdentAnswerSize; });
        if (waiting >= kIdentAnswerSize) break;
        if (++shortPolls > limit) return -1;
    }
    uint8_t answer[kRingSize];
    waiting = port_avail(port);
    if (waiting > kRingSize) waiting = kRingSize;
    if (waiting < kIdentAnswerSize || PortRead(port, answer, waiting) != 1) return -1;

    if (FrameChecksum(answer, 3) != answer[3]) return -2;
    if (static_cast<uint8_t>(ctrl) == kReserveAddress && outAddr) *outAddr = answer[0];
    if (!IsAcceptedDeviceType(answer[1])) return -2;
    if (dst4) std::memcpy(dst4, answer, kIdentAnswerSize);
    if (outAddr) *outAddr = answer[0];
    Protocol().deviceType = answer[1];
    return 1;
}

int ReadIdentText(int port, int ctrl, uint8_t* dst) {
    if (BadHandle(port)) return -3;
    if (!dst) return -1;
    dst[0] = 0;
    const auto f = CommandFrame(static_cast<uint8_t>(ctrl), kCmdIdentText);
    if (WriteAll(port, f.data(), static_cast<int>(f.size())) != 1) return -1;
    if (PortWriteByte(port, kIdentTextTrigger) != 1) return -1;

    const int64_t limit = Scaled(250, Protocol().timeoutMultiplier);
    int64_t idle = 0;
    int stored = 0; // text bytes kept; at most kIdentTextSize - 1, the zero byte follows
    bool anything = false;
    uint8_t chunk[kRingSize];
    for (;;) {
        int n = WaitPoll(port, 1, [](int k) { return k > 0; });
        if (n > 0) {
            if (n > kRingSize) n = kRingSize;
            if (PortRead(port, chunk, n) != 1) continue;
            anything = true;
            for (int i = 0; i < n; ++i) {
                // A text longer than the destination is cut; its zero byte still ends the read.
                if (stored < kIdentTextSize - 1) dst[stored++] = Cp866ToCp1251(chunk[i]);
            }
            dst[stored] = 0;
            idle = 0;
            if (chunk[n - 1] == 0) return 1;
        } else if (++idle > limit) {
            dst[stored] = 0;
            return anything ? -2 : -1;
        }
    }
}

int QueryErrorCode(int port, int ctrl) {
    ProtocolState& s = Protocol();
    if (BadHandle(port)) {
        s.errorQueryPhase = 0;
        s.lastErrorCode = kErrorCodeTimeout;
        return -3;
    }
    if (s.errorQueryPhase == 0) {
        PortPurge(port);
        if (ctrl != 0) {
            const auto f = CommandFrame(static_cast<uint8_t>(ctrl), kCmdErrorQuery);
            PortWrite(port, f.data(), static_cast<int>(f.size()));
        }
        s.errorQueryDeadline = Clock::now() + std::chrono::milliseconds(kErrorQueryDeadlineMs);
        s.errorQueryPhase = 1;
        return 0;
    }
    if (port_avail(port) >= kErrorAnswerSize) {
        uint8_t answer[kErrorAnswerSize];
        if (PortRead(port, answer, kErrorAnswerSize) == 1) {
            s.lastErrorCode = answer[kErrorCodeIndex];
            s.errorQueryPhase = 0;
            return 1;
        }
    }
    if (Clock::now() >= s.errorQueryDeadline) {
        s.lastErrorCode = kErrorCodeTimeout;
        s.errorQueryPhase = 0;
        return -6;
    }
    return 0;
}
