// Waiting for answer bytes. Every wait of an exchange has one deadline, worked
// out from the poll counts the exchange has always had (polls of 1 or 10 ms,
// times the timeout multiplier), and it ends at that deadline however the
// bytes trickle in. In between the port itself is waited on, so an answer
// wakes the wait at once and a half-arrived answer costs no CPU.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>

#include "port_layer.h"

namespace zel::line {

// The clock of the line: milliseconds of a monotonic clock and the pauses the
// line needs. Tests and fuzz targets that play the controller in virtual time
// put their own in place (and their port answers PortWaitInputAbove on it).
struct LineTime {
    int64_t (*now)();
    void (*sleep)(int ms);
};
// nullptr: the real clock again.
void SetLineTime(const LineTime* time);
int64_t NowMs();
// A pause the line itself needs (before a continuation frame, after an image
// command frame).
void LinePause(int ms);
// A pause the controller needs after a frame: it counts from when the frame's
// last byte has left the port, not from when the port took the bytes.
void PauseAfterSent(int port, int ms);
// Before an answer's wait starts: the request must have left the port first, as
// a blocking write would have it (at 1200 baud a 40-byte frame takes 333 ms,
// more than some answer waits).
inline void AwaitSent(int port) {
    PortWaitSent(port);
}

// Poll limits scaled by the multiplier, without overflow.
inline int64_t Scaled(int base, int multiplier) {
    return int64_t(base) * (multiplier < 1 ? 1 : multiplier);
}

inline bool BadHandle(int port) {
    return port > 4 || port < 0;
}

// Watches the port until done(waiting) holds or the deadline passes; returns
// the waiting count last seen.
template <typename Done> int WaitUntil(int port, int64_t deadline, Done done) {
    for (;;) {
        const int n = port_avail(port);
        if (done(n)) return n;
        const int64_t left = deadline - NowMs();
        if (left <= 0) return n;
        const int ms = static_cast<int>(std::min<int64_t>(left, INT_MAX));
        if (PortKindOf(port) < 0) {
            LinePause(ms); // no port: nothing will come, but the time is the caller's
            return n;
        }
        PortWaitInputAbove(port, n, ms);
    }
}

} // namespace zel::line
