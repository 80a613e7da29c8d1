// A controller line in virtual time, for tests and fuzz targets: the stub port
// kind is given operations that deliver scripted answer bytes, and the line
// clock only moves when the code under test waits or pauses. An exchange that
// takes seconds on a real line runs in microseconds, and its deadlines can be
// checked to the millisecond.
//
// Not thread-safe: one line at a time, on the thread that runs the protocol.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "line_wait.h"
#include "port_slot.h"

namespace vline {

// Bytes the line delivers once `afterWrites` writes have gone out, `delayMs`
// after the later of that write and the previous event.
struct Event {
    int afterWrites = 0;
    int64_t delayMs = 0;
    std::vector<uint8_t> bytes;
};

struct State {
    int64_t now = 0;
    std::vector<Event> events;
    size_t next = 0;
    int64_t lastDue = 0;
    std::vector<int64_t> writeTimes;
    std::vector<uint8_t> written; // every byte the code under test sent
    int failWrite = 0;            // this write (1, 2, ...) fails; 0: none does
    long waits = 0;               // calls of the wait, to catch a wait that never ends
};

inline State& St() {
    static State s;
    return s;
}

// Due time of the next event, or -1 when its write has not gone out yet.
inline int64_t NextDue() {
    State& st = St();
    if (st.next >= st.events.size()) return -1;
    const Event& e = st.events[st.next];
    if (static_cast<int>(st.writeTimes.size()) < e.afterWrites) return -1;
    const int64_t trigger = e.afterWrites > 0 ? st.writeTimes[static_cast<size_t>(e.afterWrites - 1)] : 0;
    return std::max(trigger, st.lastDue) + e.delayMs;
}

inline void Deliver(PortSlot& s) {
    State& st = St();
    for (int64_t due = NextDue(); due >= 0 && due <= st.now; due = NextDue()) {
        const Event& e = st.events[st.next++];
        st.lastDue = due;
        if (!e.bytes.empty()) ReceiveBytes(s, e.bytes.data(), static_cast<int>(e.bytes.size()));
    }
}

inline int Open(PortSlot&, const char*) {
    return 0;
}

inline bool Pump(PortSlot& s) {
    Deliver(s);
    return true;
}

inline int Write(PortSlot& s, int handle, const uint8_t* bytes, int n) {
    State& st = St();
    if (static_cast<int>(st.writeTimes.size()) + 1 == st.failWrite) {
        st.failWrite = 0;
        TraceWriteFailure(handle, 5);
        return 0;
    }
    st.writeTimes.push_back(st.now);
    st.written.insert(st.written.end(), bytes, bytes + n);
    TraceWritten(handle, bytes, n);
    Deliver(s);
    return 1;
}

// The wait moves the clock to the next answer bytes, or by the whole time.
inline int WaitInput(PortSlot& s, int count, int timeoutMs) {
    State& st = St();
    if (++st.waits > 10'000'000) std::abort(); // a wait that never ends
    Deliver(s);
    if (s.rx.waiting() > count || timeoutMs <= 0) return s.rx.waiting();
    const int64_t end = st.now + timeoutMs;
    const int64_t due = NextDue();
    st.now = due >= 0 && due < end ? std::max(due, st.now) : end;
    Deliver(s);
    return s.rx.waiting();
}

inline int64_t Now() {
    return St().now;
}

inline void Sleep(int ms) {
    if (ms > 0) St().now += ms;
}

inline const PortBackend kBackend = {
    .open = Open,
    .close = nullptr,
    .pump = Pump,
    .write = Write,
    .purge = nullptr,
    .waitReadable = nullptr,
    .waitInput = WaitInput,
    .setLine = nullptr,
    .hasInput = true,
    .transmitRing = false,
    .usesWorker = false,
};
inline const zel::line::LineTime kTime{Now, Sleep};

// Puts the virtual line in place of the stub kind and the line clock; ports
// named "STUB" opened from now on play the script. The clock starts at 0.
inline void Install(std::vector<Event> events, int failWrite = 0) {
    State& st = St();
    st = State{};
    st.events = std::move(events);
    st.failWrite = failWrite;
    PortSetBackendForTest(KindStub, &kBackend);
    zel::line::SetLineTime(&kTime);
}

inline void Uninstall() {
    PortSetBackendForTest(KindStub, nullptr);
    zel::line::SetLineTime(nullptr);
}

} // namespace vline
