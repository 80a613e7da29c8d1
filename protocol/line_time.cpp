#include <atomic>
#include <chrono>
#include <thread>

#include "line_wait.h"

namespace zel::line {

namespace {

int64_t RealNow() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void RealSleep(int ms) {
    if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

constexpr LineTime kRealTime{RealNow, RealSleep};
std::atomic<const LineTime*> current{&kRealTime};

} // namespace

void SetLineTime(const LineTime* time) {
    current.store(time ? time : &kRealTime);
}

int64_t NowMs() {
    return current.load()->now();
}

void LinePause(int ms) {
    current.load()->sleep(ms);
}

void PauseAfterSent(int port, int ms) {
    PortWaitSent(port);
    // Counted from the moment the bytes left, not from when the wait woke.
    LinePause(ms - PortMsSinceSent(port));
}

} // namespace zel::line
