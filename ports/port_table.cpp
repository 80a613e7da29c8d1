// The port table and the operations common to every kind of port.
#include "port_slot.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

PortSlot table[kPortSlots];
std::atomic<bool> running{false};

// Counters written into port.out by PortLayerStop (see PortErrorCounters).
std::atomic<uint64_t> parityFramingErrors{0};
std::atomic<uint64_t> overrunDropped{0};

std::mutex clockMutex;
std::function<int64_t()> clockSource;

int64_t SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool StartsWith(const char* s, const char* prefix) {
    return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

// The name alone chooses the kind; the tests run in this order.
uint8_t KindOfName(const char* name) {
    if (std::strcmp(name, "UKEY") == 0) return KindUsbKey;
    if (StartsWith(name, "U_")) return KindUsbChannel;
    if (std::strcmp(name, "STUB") == 0) return KindStub;
    if (StartsWith(name, "TCPS_")) return KindTcpServer;
    if (!StartsWith(name, "TCPC_")) return KindCom;
    return KindTcpClient;
}

bool IsTcpKind(uint8_t kind) {
    return kind == KindTcpServer || kind == KindTcpClient;
}

// Back to the state of a zeroed slot. Only for slots nobody else touches: a free
// slot, or a USB slot while the worker is parked.
void ResetSlot(PortSlot& s) {
    s.inUse.store(0);
    s.kind.store(KindCom);
    std::memset(s.name, 0, sizeof s.name);
    s.fd = -1;
    s.rx.release();
    s.tx.release();
    s.usbErrors.store(0);
    s.usbDevice = nullptr;
    s.usbChannel = 0;
    s.usbClock = 0;
    s.usbSerial = 0;
    s.usbPending = 0;
    s.writeErrorNoted = 0;
    s.writeErrorTime = 0;
    s.baud = 0;
    s.dataBits = 0;
    s.parity = 0;
    s.stopCode = 0;
    s.tcp = TcpFields{};
    s.lastErrno = 0;
    s.icountBase = -1;
}

// USB converter channels and the USB key: the buses are scanned afresh for every
// open. Without the USB library nothing is found and the open gives -1.
int UsbOpen(PortSlot& s, const char* name) {
    UsbInit();
    return UsbOpenChannel(s, name);
}

// Housekeeping and device poll shared by port_avail, PortRead and PortWaitInput.
// Returns the waiting count.
int Pump(PortSlot& s) {
    switch (s.kind.load()) {
    case KindStub:
    case KindUsbKey:
        return 0;
    case KindCom:
        ComPoll(s);
        break;
    case KindTcpServer:
    case KindTcpClient:
        TcpHousekeeping(s);
        TcpPoll(s);
        break;
    case KindUsbChannel:
        // The worker thread fills the ring. After a run of failed transfers the
        // channel is reopened; that call reports nothing waiting.
        if (s.usbErrors.load() > kUsbReconnectErrors) {
            UsbReconnect(s);
            return 0;
        }
        break;
    default:
        return 0;
    }
    return s.rx.waiting();
}

} // namespace

PortSlot* SlotOf(int handle) {
    if (handle < 1 || handle > kPortSlots) return nullptr;
    PortSlot& s = table[handle - 1];
    return s.inUse.load() ? &s : nullptr;
}

PortSlot& SlotAt(int index) {
    return table[index];
}

int HandleOf(const PortSlot& slot) {
    return static_cast<int>(&slot - table) + 1;
}

bool IsUsbKind(uint8_t kind) {
    return kind == KindUsbKey || kind == KindUsbChannel;
}

void CountOverrun(int dropped) {
    if (dropped > 0) overrunDropped += static_cast<uint64_t>(dropped);
}

void CountParityFraming(int n) {
    if (n > 0) parityFramingErrors += static_cast<uint64_t>(n);
}

void ReceiveBytes(PortSlot& s, const uint8_t* bytes, int n) {
    CountOverrun(s.rx.put(bytes, n));
}

PortErrorCounters PortLayerCounters() {
    PortErrorCounters c;
    c.parityFraming = parityFramingErrors.load();
    c.overrunDropped = overrunDropped.load();
    return c;
}

void PortLayerStart() {
    if (running.load()) return;
    for (PortSlot& s : table)
        ResetSlot(s);
    parityFramingErrors = 0;
    overrunDropped = 0;
    // The worker starts parked; opening a USB port releases it.
    WorkerRequestPause(true);
    WorkerStart();
    TraceOpen();
    running = true;
}

void PortLayerStop() {
    if (!running.load()) return;
    for (int h = 1; h <= kPortSlots; ++h)
        PortClose(h);
    running = false;
    WorkerStop();
    TraceClose(TraceMask.load() != 0, PortLayerCounters());
}

bool PortLayerRunning() {
    return running.load();
}

int PortOpen(int* handle, const char* name) {
    if (handle) *handle = 0;
    if (!running.load()) return kOpenNotStarted;
    PortSlot* slot = nullptr;
    for (PortSlot& s : table) {
        if (!s.inUse.load()) {
            slot = &s;
            break;
        }
    }
    if (!slot) return kOpenNoFreeSlot;
    if (!name || !*name) return kOpenEmptyName;
    if (!handle) return EINVAL;

    PortSlot& s = *slot;
    ResetSlot(s);
    std::strncpy(s.name, name, kPortNameMax);
    const uint8_t kind = KindOfName(name);
    s.kind = kind;
    // The rings exist before the device is opened, so a kind that starts work
    // at open (the TCP client's first connection attempt) may already use them.
    s.rx.allocate();
    if (kind == KindUsbChannel) s.tx.allocate();

    int rc;
    switch (kind) {
    case KindUsbKey:
    case KindUsbChannel:
        rc = UsbOpen(s, name);
        break;
    case KindStub:
        rc = 0;
        break;
    case KindTcpServer:
        rc = TcpServerOpen(s, name);
        break;
    case KindTcpClient:
        rc = TcpClientOpen(s, name);
        break;
    default:
        rc = ComOpen(s, name);
        break;
    }
    if (rc != 0) {
        ResetSlot(s); // a failed open leaves the slot free
        return rc;
    }
    s.inUse = 1;
    *handle = HandleOf(s);
    if (IsUsbKind(kind)) {
        WorkerUsbSlotsChanged();
        WorkerRequestPause(false);
    }
    return 0;
}

int PortClose(int handle) {
    PortSlot* s = SlotOf(handle);
    if (!s) return 1;
    const uint8_t kind = s->kind.load();
    const bool usb = IsUsbKind(kind);
    if (usb) {
        // The worker must not be inside this slot's rings or device while they go.
        WorkerPauseAndWait();
    }
    switch (kind) {
    case KindCom:
        ComClose(*s);
        break;
    case KindUsbChannel:
        UsbCloseChannel(*s);
        break;
    case KindTcpServer:
    case KindTcpClient:
        TcpClose(*s);
        break;
    default:
        break;
    }
    ResetSlot(*s);
    if (usb) {
        WorkerUsbSlotsChanged();
        WorkerRequestPause(false);
    }
    return 1;
}

int PortWrite(int handle, const uint8_t* bytes, int count) {
    PortSlot* s = SlotOf(handle);
    if (!s) return 0;
    if (count < 0 || (!bytes && count > 0)) return 0;
    switch (s->kind.load()) {
    case KindStub:
    case KindUsbKey:
        TraceWritten(handle, bytes, count);
        return 1;
    case KindUsbChannel:
        // A channel whose device was lost and not found again takes nothing:
        // queued bytes would never go out.
        if (!s->usbDevice) {
            s->lastErrno = ENODEV;
            TraceWriteFailure(handle, ENODEV);
            return 0;
        }
        // All or nothing: a frame cut short by a full ring would be worse than
        // a failed write the caller can see.
        if (s->tx.space() < count) {
            s->lastErrno = ENOBUFS;
            TraceWriteFailure(handle, ENOBUFS);
            return 0;
        }
        s->tx.put(bytes, count);
        TraceWritten(handle, bytes, count);
        return 1;
    case KindTcpServer:
    case KindTcpClient:
        return TcpWrite(*s, handle, bytes, count);
    default:
        break;
    }
    TraceWritten(handle, bytes, count);
    if (ComWrite(*s, bytes, count)) return 1;
    if (!s->writeErrorNoted) {
        s->writeErrorNoted = 1;
        s->writeErrorTime = static_cast<uint32_t>(PortClockMs());
    }
    TraceWriteFailure(handle, s->lastErrno);
    return 0;
}

int PortWriteByte(int handle, uint8_t byte) {
    return PortWrite(handle, &byte, 1);
}

int port_avail(int handle) {
    PortSlot* s = SlotOf(handle);
    return s ? Pump(*s) : 0;
}

int PortRead(int handle, uint8_t* destination, int n) {
    PortSlot* s = SlotOf(handle);
    if (!s || n < 0 || (!destination && n > 0)) return 0;
    const int waiting = Pump(*s);
    if (n == 0) return 1;
    if (waiting < n) return 0; // short input stays in the ring
    s->rx.peek(destination, n);
    s->rx.drop(n);
    TraceRead(handle, destination, n);
    return 1;
}

void PortPurge(int handle) {
    PortSlot* s = SlotOf(handle);
    if (!s) return;
    const uint8_t kind = s->kind.load();
    if (kind == KindStub || kind == KindUsbKey) return;
    if (IsTcpKind(kind)) TcpHousekeeping(*s);
    const int n = s->rx.waiting();
    if (n > 0) {
        std::vector<uint8_t> bytes(static_cast<size_t>(n));
        s->rx.peek(bytes.data(), n);
        s->rx.drop(n);
        TracePurged(handle, bytes.data(), n);
    }
    // What the serial driver still holds is stale as well; a TCP socket's bytes
    // are left alone.
    if (kind == KindCom) ComDrainDriver(*s, handle);
}

int PortWaitInput(int handle, int timeoutMs) {
    PortSlot* s = SlotOf(handle);
    if (!s) return 0;
    const int64_t deadline = SteadyMs() + std::max(timeoutMs, 0);
    const uint8_t kind = s->kind.load();
    const bool pollable = kind == KindCom || IsTcpKind(kind);
    bool readyWithoutBytes = false;
    for (;;) {
        const int n = Pump(*s);
        if (n > 0) return n;
        const int64_t left = deadline - SteadyMs();
        if (left <= 0) return 0;
        const int wait = static_cast<int>(std::min<int64_t>(left, 0x7FFFFFFF));
        if (pollable && !readyWithoutBytes) {
            readyWithoutBytes = kind == KindCom ? ComWaitReadable(*s, wait) : TcpWaitReadable(*s, wait);
        } else {
            // USB rings are filled by the worker and the stub never has input:
            // look again after a short sleep. A descriptor that reported
            // readiness without bringing bytes (a hung-up line) gets the same
            // sleep instead of a spin.
            std::this_thread::sleep_for(std::chrono::milliseconds(std::min(wait, 2)));
            readyWithoutBytes = false;
        }
    }
}

int U_xxx(int handle, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode) {
    if (handle == 0) return 2;
    PortSlot* s = SlotOf(handle);
    if (!s) return 2;
    int rc = 0;
    switch (s->kind.load()) {
    case KindCom:
        rc = ComSetLine(*s, baud, dataBits, parity, stopCode);
        break;
    case KindUsbChannel:
        // Stores what the channel now has (a letter or code it does not take
        // keeps the channel's), so a reconnect restores exactly that.
        return UsbSetLine(*s, baud, dataBits, parity, stopCode);
    default:
        break; // USB key, stub and TCP have no line to set
    }
    if (rc == 0) {
        s->baud = baud;
        s->dataBits = dataBits;
        s->parity = parity;
        s->stopCode = stopCode;
    }
    return rc;
}

int PortKindOf(int handle) {
    PortSlot* s = SlotOf(handle);
    return s ? s->kind.load() : -1;
}

std::string PortNameOf(int handle) {
    PortSlot* s = SlotOf(handle);
    return s ? std::string(s->name) : std::string();
}

int PortLastError(int handle) {
    PortSlot* s = SlotOf(handle);
    return s ? s->lastErrno : 0;
}

void PortSetClock(std::function<int64_t()> clock) {
    std::lock_guard<std::mutex> lock(clockMutex);
    clockSource = std::move(clock);
}

int64_t PortClockMs() {
    std::function<int64_t()> clock;
    {
        std::lock_guard<std::mutex> lock(clockMutex);
        clock = clockSource;
    }
    return clock ? clock() : SteadyMs();
}
