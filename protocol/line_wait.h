// Waiting for answer bytes. Every wait of the protocol is a number of polls of
// a fixed interval; instead of sleeping out an interval, a wait wakes as soon
// as the bytes it is after are there, so only idle latency goes.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

#include "port_layer.h"

namespace zel::line {

using Clock = std::chrono::steady_clock;

// Watches the port for one poll interval. Returns as soon as done(waiting)
// holds, otherwise at the end of the interval; the result is the waiting count
// last seen (what a poll at that moment finds).
template <typename Done> int WaitPoll(int port, int intervalMs, Done done) {
    const auto end = Clock::now() + std::chrono::milliseconds(intervalMs);
    for (;;) {
        const int n = port_avail(port);
        if (done(n)) return n;
        const auto now = Clock::now();
        if (now >= end) return n;
        const auto remaining = end - now;
        if (n == 0) {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(remaining).count();
            if (PortWaitInput(port, static_cast<int>(ms)) > 0) continue;
        }
        // Part of an answer is there (or the port cannot be waited on): look again shortly.
        std::this_thread::sleep_for(std::min<Clock::duration>(remaining, std::chrono::microseconds(200)));
    }
}

// A pause the line itself needs (before a continuation frame, after an image
// command frame); these stay as they are.
inline void LinePause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Poll limits scaled by the multiplier, without overflow.
inline int64_t Scaled(int base, int multiplier) {
    return int64_t(base) * (multiplier < 1 ? 1 : multiplier);
}

inline bool BadHandle(int port) {
    return port > 4 || port < 0;
}

} // namespace zel::line
