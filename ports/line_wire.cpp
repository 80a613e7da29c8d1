// What happens on the wire after a write: how long the bytes take to leave the
// port, and the echo of two-wire adapters that hear everything sent.
//
// A write returns once the bytes are with the driver (or the converter's
// transmit ring, or the socket); the line is still busy with them for their
// wire time. Pauses the controller needs count from when the last byte has
// gone, so PortWaitSent waits for the driver to report its queue empty where it
// can, and for the wire time in any case.
#include "port_slot.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// How late an echo may come after its bytes left: a USB adapter holds received
// bytes up to its latency timer (16 ms unless lowered), a TCP serial server adds
// its round trip. With the setting off the first frame is looked at this long.
constexpr int64_t kEchoLookUs = 30'000;
// With the setting on a missing echo is a fault, so it is given more time.
constexpr int64_t kEchoWaitUs = 120'000;
// Frames are at most 64 bytes; a longer write is no frame to look at.
constexpr int kLookMaxBytes = 80;
constexpr int kWriteConstantMs = 20; // the write time-outs: 20 ms + 20 ms a byte
constexpr int kWritePerByteMs = 20;

const PortBackend& KindOps(const PortSlot& s) {
    const PortBackend* b = BackendOfKind(s.kind.load());
    return b ? *b : kStubBackend;
}

void SleepUntilUs(int64_t t) {
    const int64_t left = t - SteadyUs();
    if (left > 0) std::this_thread::sleep_for(std::chrono::microseconds(left));
}

// Waits until n bytes are waiting or the deadline passes; the waiting count.
int WaitForBytes(int handle, int n, int64_t deadlineUs) {
    int waiting = port_avail(handle);
    while (waiting < n) {
        const int64_t left = deadlineUs - SteadyUs();
        if (left <= 0) break;
        const int ms = static_cast<int>(std::min<int64_t>((left + 999) / 1000, 1000));
        waiting = PortWaitInputAbove(handle, waiting, ms);
    }
    return waiting;
}

bool HeadEquals(const PortSlot& s, const uint8_t* bytes, int n) {
    if (s.rx.waiting() < n) return false;
    std::vector<uint8_t> head(static_cast<size_t>(n));
    s.rx.peek(head.data(), n);
    return std::memcmp(head.data(), bytes, static_cast<size_t>(n)) == 0;
}

// Takes the echo of the n bytes just sent off the input. It must be first in
// line: every frame but a continuation is sent after the input was dropped,
// and nothing answers a frame before it is whole.
int TakeEcho(PortSlot& s, int handle, const uint8_t* bytes, int n) {
    const int64_t deadline = std::max(s.txFreeUs, SteadyUs()) + kEchoWaitUs;
    const int waiting = WaitForBytes(handle, n, deadline);
    if (waiting < n) {
        s.echoFinding = EchoMissing;
        s.lastErrno = ETIMEDOUT;
        return kWriteEchoFault;
    }
    if (!HeadEquals(s, bytes, n)) {
        // A line fault: what came stays in the input and reads as a bad answer.
        s.echoFinding = EchoMismatch;
        s.lastErrno = EPROTO;
        return kWriteEchoFault;
    }
    std::vector<uint8_t> echo(static_cast<size_t>(n));
    s.rx.peek(echo.data(), n);
    s.rx.drop(n);
    TraceRead(handle, echo.data(), n);
    s.echoFinding = EchoMatched;
    return 1;
}

// With the setting off, the first frame after opening: does it come back? A
// controller never answers with the very frame it was sent (an identify answer
// starts with the controller's address, never 0x60 followed by it), so the
// frame itself coming back is the adapter's echo.
PortEchoFinding LookForEcho(PortSlot& s, int handle, const uint8_t* bytes, int n) {
    const int64_t deadline = std::max(s.txFreeUs, SteadyUs()) + kEchoLookUs;
    WaitForBytes(handle, n, deadline);
    if (!HeadEquals(s, bytes, n)) return EchoAbsent;
    std::vector<uint8_t> echo(static_cast<size_t>(n));
    s.rx.peek(echo.data(), n);
    s.rx.drop(n);
    TraceRead(handle, echo.data(), n);
    return EchoDetected;
}

} // namespace

int64_t SteadyUs() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t WireTimeUs(const PortSlot& s, int n) {
    const int64_t baud = s.baud ? s.baud : 4800;
    const int data = s.dataBits == 7 ? 7 : 8;
    const int parity = (s.parity == 0 || s.parity == 'N') ? 0 : 1;
    const int stop = s.stopCode == 2 ? 2 : 1;
    const int64_t bits = static_cast<int64_t>(n) * (1 + data + parity + stop);
    return (bits * 1'000'000 + baud - 1) / baud;
}

int AfterWrite(PortSlot& s, int handle, const uint8_t* bytes, int n, int64_t startUs) {
    const PortBackend& ops = KindOps(s);
    if (!ops.hasLine || n <= 0) return 1;
    s.txFreeUs = std::max(startUs, s.txFreeUs) + WireTimeUs(s, n);
    s.txBoundUs = std::max(s.txBoundUs, startUs + (kWriteConstantMs + int64_t(kWritePerByteMs) * n) * 1000);
    s.txLastCount = n;
    s.rxAtWrite = s.rx.waiting();
    if (s.echo) {
        const int r = TakeEcho(s, handle, bytes, n);
        if (r == 1) s.txFreeUs = std::min(s.txFreeUs, SteadyUs()); // the last byte came back: it has left
        s.rxAtWrite = s.rx.waiting();
        return r;
    }
    if (s.echoFinding == EchoNotChecked && n <= kLookMaxBytes) {
        s.echoFinding = LookForEcho(s, handle, bytes, n);
        if (s.echoFinding == EchoAbsent) {
            s.lateEchoOf.assign(bytes, bytes + n);
            s.lateEchoSeen = 0;
        }
    }
    if (s.echoFinding == EchoDetected) {
        // Every answer would come behind our own bytes and be misread: refuse
        // the line until the echo setting is on.
        s.lastErrno = EPROTO;
        return kWriteEchoFault;
    }
    return 1;
}

bool LineRefusesRead(PortSlot& s) {
    if (!s.lateEchoOf.empty()) {
        const int n = static_cast<int>(s.lateEchoOf.size()) - s.lateEchoSeen;
        const int look = std::min(n, s.rx.waiting());
        std::vector<uint8_t> head(static_cast<size_t>(look));
        s.rx.peek(head.data(), look);
        if (std::memcmp(head.data(), s.lateEchoOf.data() + s.lateEchoSeen, static_cast<size_t>(look)) != 0) {
            s.lateEchoOf.clear(); // an answer: no echo
        } else if (look == n) {
            s.lateEchoOf.clear();
            s.echoFinding = EchoDetected;
        }
        // else the start of the frame so far: looked at again on the next read
    }
    if (s.echoFinding == EchoDetected && !s.echo) {
        s.lastErrno = EPROTO;
        return true;
    }
    return false;
}

void NoteRead(PortSlot& s, int n) {
    if (!s.lateEchoOf.empty()) s.lateEchoSeen += n;
}

int PortWaitSent(int handle) {
    PortSlot* s = SlotOf(handle);
    if (!s) return 0;
    const PortBackend& ops = KindOps(*s);
    if (!ops.hasLine) return 1;
    bool gone = true;
    if (ops.drain) gone = ops.drain(*s, s->txBoundUs);
    // The wire time, unless the other end speaks first: an answer means the
    // line is free (a peer that answers sooner than the wire allows, such as an
    // unpaced simulator, is not kept waiting for).
    for (;;) {
        const int64_t left = s->txFreeUs - SteadyUs();
        if (left <= 0) break;
        if (port_avail(handle) > s->rxAtWrite) {
            s->txFreeUs = SteadyUs();
            break;
        }
        if (left < 2000) {
            SleepUntilUs(s->txFreeUs);
            break;
        }
        PortWaitInputAbove(handle, s->rxAtWrite, static_cast<int>(left / 1000));
    }
    if (!gone) s->lastErrno = ETIMEDOUT;
    return gone ? 1 : 0;
}

int PortMsSinceSent(int handle) {
    PortSlot* s = SlotOf(handle);
    if (!s || !KindOps(*s).hasLine || s->txFreeUs <= 0) return 0;
    const int64_t since = (SteadyUs() - s->txFreeUs) / 1000;
    return since > 0 ? static_cast<int>(std::min<int64_t>(since, 1'000'000)) : 0;
}

void PortSetEcho(int handle, bool on) {
    PortSlot* s = SlotOf(handle);
    if (!s) return;
    s->echo = on;
    // A port set to echo is judged by each echo; one set back is looked at again.
    s->echoFinding = EchoNotChecked;
    s->lateEchoOf.clear();
}

bool PortEchoOf(int handle) {
    PortSlot* s = SlotOf(handle);
    return s && s->echo;
}

int PortEchoFindingOf(int handle) {
    PortSlot* s = SlotOf(handle);
    return s ? static_cast<int>(s->echoFinding) : static_cast<int>(EchoNotChecked);
}

int PortSetRs485(int handle, bool on) {
    PortSlot* s = SlotOf(handle);
    if (!s) return 2;
    if (s->kind.load() != KindCom || s->fd < 0) return EINVAL;
    const int rc = ComSetRs485(*s, on);
    if (rc != 0) s->lastErrno = rc;
    return rc;
}

int PortRs485Supported(int handle) {
    PortSlot* s = SlotOf(handle);
    if (!s || s->kind.load() != KindCom || s->fd < 0) return -1;
    const int r = ComRs485Supported(s->fd);
    return r < 0 ? 0 : r;
}

int PortRs485SupportedAt(const char* path) {
    const int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -errno;
    const int r = ComRs485Supported(fd);
    close(fd);
    return r < 0 ? 0 : r;
}

int PortLowLatency(int handle) {
    PortSlot* s = SlotOf(handle);
    if (!s || s->kind.load() != KindCom || s->fd < 0) return -1;
    return ComLowLatency(s->fd);
}
