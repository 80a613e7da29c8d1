// The worker thread moves bytes between USB converter channels and their slots'
// rings. Serial and TCP slots never see it.
//
// It does not tick while there is nothing to do: with no USB channel open, or
// while the pause request is raised, it parks on a condition variable and is
// woken by the port operations that change either. While parked it reports
// state kParked, which the USB reconnect and PortClose wait for before touching
// a slot the worker may be pumping.
#include "port_slot.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

constexpr uint8_t kParked = 255;
constexpr uint8_t kPumping = 0;

std::mutex workerMutex;
std::condition_variable workerCv;
std::thread workerThread;
bool runFlag = false;                 // guarded by workerMutex
std::atomic<uint8_t> pauseRequest{0}; // raised by the user-interface thread
std::atomic<uint8_t> workerState{kParked};
std::atomic<uint64_t> wakeups{0};

bool AnyUsbChannelOpen() {
    for (int i = 0; i < kPortSlots; ++i) {
        PortSlot& s = SlotAt(i);
        if (s.inUse.load() && s.kind.load() == KindUsbChannel) return true;
    }
    return false;
}

void Run() {
    std::unique_lock<std::mutex> lock(workerMutex);
    while (runFlag) {
        if (pauseRequest.load() || !AnyUsbChannelOpen()) {
            workerState = kParked;
            workerCv.notify_all();
            workerCv.wait(lock, [] { return !runFlag || (!pauseRequest.load() && AnyUsbChannelOpen()); });
            ++wakeups;
            continue;
        }
        workerState = kPumping; // under the lock: a pause raised from now on is waited for
        lock.unlock();
        UsbPumpPass();
        lock.lock();
    }
    workerState = kParked;
    workerCv.notify_all();
}

} // namespace

void WorkerStart() {
    std::lock_guard<std::mutex> lock(workerMutex);
    if (runFlag) return;
    runFlag = true;
    workerState = kPumping;
    workerThread = std::thread(Run);
}

void WorkerStop() {
    {
        std::lock_guard<std::mutex> lock(workerMutex);
        runFlag = false;
    }
    workerCv.notify_all();
    if (workerThread.joinable()) workerThread.join();
}

void WorkerRequestPause(bool raise) {
    {
        std::lock_guard<std::mutex> lock(workerMutex);
        pauseRequest = raise ? 1 : 0;
    }
    workerCv.notify_all();
}

bool WorkerPauseRequested() {
    return pauseRequest.load() != 0;
}

void WorkerPauseAndWait() {
    WorkerRequestPause(true);
    // The pump looks at the request between transfers, so this takes at most
    // one transfer's time-out.
    while (!WorkerWaitParked(1000)) {
    }
}

bool WorkerWaitParked(int timeoutMs) {
    std::unique_lock<std::mutex> lock(workerMutex);
    return workerCv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [] { return !runFlag || workerState.load() == kParked; });
}

uint64_t WorkerWakeups() {
    return wakeups.load();
}

void WorkerUsbSlotsChanged() {
    { std::lock_guard<std::mutex> lock(workerMutex); }
    workerCv.notify_all();
}
