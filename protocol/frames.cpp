#include "frames.h"

#include <cstring>

#include "codepage.h"
#include "line_wait.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "transfer_result.h"

using namespace zel::line;

namespace {

constexpr int kSingleWriteGapMs = 50; // before the continuation frame
constexpr int kIdentPollMs = 10;
constexpr int kIdentTextByteMs = 10; // the text read allows this much per byte of the text

// 1; -1 the port refused the bytes; -2 they went out but the adapter's echo of
// them was wrong or missing (a line fault: the exchange has a bad answer).
int WriteAll(int port, const uint8_t* bytes, int count) {
    const int r = PortWrite(port, bytes, count);
    return r == 1 ? kTransferDone : (r == kWriteEchoFault ? kTransferBadAnswer : kTransferFailed);
}

// Whether the previous frame of this request left so long ago that the
// controller may have dropped the request.
bool Overslept(int port) {
    return PortMsSinceSent(port) > kLateFrameMs;
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

std::string LineName(int port) {
    return PortNameOf(port);
}

int SetLineSettings(int port, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode) {
    return U_xxx(port, baud, dataBits, parity, stopCode);
}

int SendCmd(int port, int ctrl, uint8_t command) {
    if (BadHandle(port)) return kTransferBadHandle;
    PortPurge(port);
    const auto f = CommandFrame(static_cast<uint8_t>(ctrl), command);
    return WriteAll(port, f.data(), static_cast<int>(f.size()));
}

int SendAddressFrame(int port, uint32_t address, int length) {
    if (BadHandle(port)) return kTransferBadHandle;
    PortPurge(port);
    if (Overslept(port)) return kFrameLate;
    const auto f = AddressFrame(address, 0, static_cast<uint8_t>(length));
    return WriteAll(port, f.data(), static_cast<int>(f.size()));
}

int SendWriteFrames(int port, uint32_t address, int count, const uint8_t* data) {
    if (BadHandle(port)) return kTransferBadHandle;
    if (count < 1 || count > kMaxWriteFrameData || !data) return kTransferBadCount;
    PortPurge(port);
    if (Overslept(port)) return kFrameLate;
    const auto f = AddressFrame(address, data[0], static_cast<uint8_t>(count));
    if (WriteAll(port, f.data(), static_cast<int>(f.size())) != 1) return kTransferFailed;
    if (count >= 2) {
        const auto c = ContinuationFrame(data, count);
        PauseAfterSent(port, kSingleWriteGapMs);
        if (Overslept(port)) return kFrameLate;
        if (WriteAll(port, c.data(), static_cast<int>(c.size())) != 1) return kTransferFailed;
    }
    return 1;
}

namespace {

// Everything still waiting after an answer is read and dropped with it.
void TakeTheRest(int port) {
    int n = port_avail(port);
    if (n > kRingSize) n = kRingSize;
    if (n <= 0) return;
    uint8_t rest[kRingSize];
    PortRead(port, rest, n);
}

} // namespace

int Identify(int port, int ctrl, uint8_t* dst4, int* outAddr) {
    if (BadHandle(port)) return kTransferBadHandle;
    // Whatever is waiting already is a late answer to an earlier request.
    PortPurge(port);
    const auto f = CommandFrame(static_cast<uint8_t>(ctrl), kCmdIdentify);
    if (const int w = WriteAll(port, f.data(), static_cast<int>(f.size())); w != kTransferDone)
        return w == kTransferBadAnswer ? kTransferBadAnswer : kTransferFailed;
    AwaitSent(port);

    // Polls of 10 ms; more than 10 x multiplier + 1 short ones give up.
    const int64_t deadline = NowMs() + (Scaled(10, Protocol().timeoutMultiplier) + 2) * kIdentPollMs;
    const uint8_t asked = static_cast<uint8_t>(ctrl);
    for (;;) {
        if (WaitUntil(port, deadline, [](int n) { return n >= kIdentAnswerSize; }) < kIdentAnswerSize)
            return kTransferFailed;
        uint8_t answer[kIdentAnswerSize];
        if (PortRead(port, answer, kIdentAnswerSize) != 1) return kTransferFailed;
        // Our own request coming back is an adapter's echo, never an answer.
        if (std::memcmp(answer, f.data(), kIdentAnswerSize) == 0) {
            TakeTheRest(port);
            return kTransferBadAnswer;
        }
        const bool checksumGood = FrameChecksum(answer, 3) == answer[3];
        // A well-formed answer from another address is not the one asked for
        // (a controller that answered an earlier request late): it is dropped
        // and the wait goes on. At the reserve address any controller answers.
        if (checksumGood && asked != kReserveAddress && answer[0] != asked) continue;
        TakeTheRest(port);
        if (!checksumGood) return kTransferBadAnswer;
        if (asked == kReserveAddress && outAddr) *outAddr = answer[0];
        if (!IsAcceptedDeviceType(answer[1])) return kTransferBadAnswer;
        if (dst4) std::memcpy(dst4, answer, kIdentAnswerSize);
        if (outAddr) *outAddr = answer[0];
        Protocol().deviceType = answer[1];
        return 1;
    }
}

int ReadIdentText(int port, int ctrl, uint8_t* dst) {
    if (BadHandle(port)) return kTransferBadHandle;
    if (!dst) return kTransferFailed;
    dst[0] = 0;
    // Whatever is waiting already is a late answer to an earlier request.
    PortPurge(port);
    const auto f = CommandFrame(static_cast<uint8_t>(ctrl), kCmdIdentText);
    if (const int w = WriteAll(port, f.data(), static_cast<int>(f.size())); w != kTransferDone)
        return w == kTransferBadAnswer ? kTransferBadAnswer : kTransferFailed;
    if (const int w = WriteAll(port, &kIdentTextTrigger, 1); w != kTransferDone)
        return w == kTransferBadAnswer ? kTransferBadAnswer : kTransferFailed;
    AwaitSent(port);

    // Polls of 1 ms: more than 250 x multiplier idle ones in a row end the
    // read. However the text trickles in, it ends after the idle time plus
    // 10 ms for each byte the text may have, or once more bytes came than the
    // text can have.
    const int m = Protocol().timeoutMultiplier;
    const int64_t idleMs = Scaled(250, m) + 1;
    const int64_t start = NowMs();
    const int64_t overall = start + idleMs + Scaled(kIdentTextSize * kIdentTextByteMs, m);
    int64_t idleEnd = start + idleMs;
    int stored = 0; // text bytes kept; at most kIdentTextSize - 1, the zero byte follows
    long received = 0;
    uint8_t chunk[kRingSize];
    for (;;) {
        int n = WaitUntil(port, std::min(idleEnd, overall), [](int k) { return k > 0; });
        if (n <= 0) {
            dst[stored] = 0;
            return received > 0 ? kTransferBadAnswer : kTransferFailed;
        }
        if (n > kRingSize) n = kRingSize;
        if (PortRead(port, chunk, n) != 1) { // the port went away under the read
            dst[stored] = 0;
            return received > 0 ? kTransferBadAnswer : kTransferFailed;
        }
        received += n;
        for (int i = 0; i < n; ++i) {
            // A text longer than the destination is cut; its zero byte still ends the read.
            if (stored < kIdentTextSize - 1) dst[stored++] = Cp866ToCp1251(chunk[i]);
        }
        dst[stored] = 0;
        if (chunk[n - 1] == 0) return 1;
        // More bytes than the text can hold and still no end: it never ends.
        if (received >= kIdentTextSize) return kTransferBadAnswer;
        if (NowMs() >= overall) return kTransferBadAnswer;
        idleEnd = NowMs() + idleMs;
    }
}

int QueryErrorCode(int port, int ctrl) {
    ProtocolState& s = Protocol();
    if (BadHandle(port)) {
        s.errorQueryPhase = 0;
        s.lastErrorCode = kErrorCodeTimeout;
        return kTransferBadHandle;
    }
    if (s.errorQueryPhase == 0) {
        PortPurge(port);
        if (ctrl != 0) {
            const auto f = CommandFrame(static_cast<uint8_t>(ctrl), kCmdErrorQuery);
            // A refused write is not looked at (the wait tells), but a line that
            // returns our own bytes cannot carry the answer either.
            if (PortWrite(port, f.data(), static_cast<int>(f.size())) == kWriteEchoFault) {
                s.lastErrorCode = kErrorCodeTimeout;
                return -6;
            }
            AwaitSent(port);
        }
        s.errorQueryDeadline = NowMs() + kErrorQueryDeadlineMs;
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
    if (NowMs() >= s.errorQueryDeadline) {
        s.lastErrorCode = kErrorCodeTimeout;
        s.errorQueryPhase = 0;
        return -6;
    }
    return 0;
}

int RunErrorQuery(int port, int ctrl) {
    ProtocolState& s = Protocol();
    s.errorQueryPhase = 0; // a query left half-way by anyone starts afresh
    int r = QueryErrorCode(port, ctrl);
    while (r == 0) {
        WaitUntil(port, s.errorQueryDeadline, [](int n) { return n >= kErrorAnswerSize; });
        r = QueryErrorCode(port, ctrl);
    }
    return r;
}
