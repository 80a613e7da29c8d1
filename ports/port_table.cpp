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

// The name alone chooses the kind; the rules are tried in this order, and a
// name no rule takes is a serial port.
struct NameRule {
    const char* text;
    bool prefix; // false: the whole name
    PortKind kind;
};
constexpr NameRule kNameRules[] = {
    {"UKEY", false, KindUsbKey},    {"U_", true, KindUsbChannel},   {"STUB", false, KindStub},
    {"TCPS_", true, KindTcpServer}, {"TCPC_", true, KindTcpClient},
};

uint8_t KindOfName(const char* name) {
    for (const NameRule& r : kNameRules)
        if (r.prefix ? StartsWith(name, r.text) : std::strcmp(name, r.text) == 0) return r.kind;
    return KindCom;
}

// The kinds' operations by kind number (5 is no kind). Tests may put another
// table in place of a kind's own.
const PortBackend* const kBackends[] = {&kSerialBackend,   &kUsbKeyBackend,    &kUsbChannelBackend,
                                        &kStubBackend,     &kTcpServerBackend, nullptr,
                                        &kTcpClientBackend};
constexpr int kKindCount = sizeof kBackends / sizeof kBackends[0];
std::atomic<const PortBackend*> testBackends[kKindCount] = {};

const PortBackend& BackendOf(const PortSlot& s) {
    const PortBackend* b = BackendOfKind(s.kind.load());
    return b ? *b : kStubBackend;
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
    s.txFreeUs = 0;
    s.txBoundUs = 0;
    s.txLastCount = 0;
    s.rxAtWrite = 0;
    s.echo = false;
    s.echoFinding = EchoNotChecked;
    s.lateEchoOf.clear();
    s.lateEchoSeen = 0;
    s.serialFlagsSaved = -1;
    s.rs485Saved = false;
    s.rs485FlagsBefore = 0;
    s.rs485DelayBefore[0] = s.rs485DelayBefore[1] = 0;
}

// Housekeeping and device poll shared by port_avail, PortRead and the waits.
// Returns the waiting count.
int Pump(PortSlot& s) {
    const PortBackend& b = BackendOf(s);
    if (!b.hasInput) return 0;
    if (b.pump && !b.pump(s)) return 0;
    return s.rx.waiting();
}

// The stub swallows everything and never has input.
int StubOpen(PortSlot&, const char*) {
    return 0;
}

} // namespace

int WriteSwallowed(PortSlot&, int handle, const uint8_t* bytes, int n) {
    TraceWritten(handle, bytes, n);
    return 1;
}

const PortBackend kStubBackend = {
    .open = StubOpen,
    .close = nullptr,
    .pump = nullptr,
    .write = WriteSwallowed,
    .purge = nullptr,
    .waitReadable = nullptr,
    .waitInput = nullptr,
    .setLine = nullptr,
    .hasInput = false,
    .transmitRing = false,
    .usesWorker = false,
};

const PortBackend* BackendOfKind(uint8_t kind) {
    if (kind >= kKindCount) return nullptr;
    const PortBackend* t = testBackends[kind].load();
    return t ? t : kBackends[kind];
}

void PortSetBackendForTest(uint8_t kind, const PortBackend* backend) {
    if (kind < kKindCount && kBackends[kind]) testBackends[kind].store(backend);
}

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
    if (std::strlen(name) > static_cast<size_t>(kPortNameMax)) return ENAMETOOLONG;

    PortSlot& s = *slot;
    ResetSlot(s);
    std::strncpy(s.name, name, kPortNameMax);
    const uint8_t kind = KindOfName(name);
    const PortBackend& ops = *BackendOfKind(kind);
    s.kind = kind;
    // The rings exist before the device is opened, so a kind that starts work
    // at open (the TCP client's first connection attempt) may already use them.
    s.rx.allocate();
    if (ops.transmitRing) s.tx.allocate();
    const int rc = ops.open(s, name);
    if (rc != 0) {
        ResetSlot(s); // a failed open leaves the slot free
        return rc;
    }
    s.inUse = 1;
    *handle = HandleOf(s);
    if (ops.usesWorker) {
        WorkerUsbSlotsChanged();
        WorkerRequestPause(false);
    }
    return 0;
}

int PortClose(int handle) {
    PortSlot* s = SlotOf(handle);
    if (!s) return 1;
    const PortBackend& ops = BackendOf(*s);
    // The worker must not be inside this slot's rings or device while they go.
    if (ops.usesWorker) WorkerPauseAndWait();
    if (ops.close) ops.close(*s);
    ResetSlot(*s);
    if (ops.usesWorker) {
        WorkerUsbSlotsChanged();
        WorkerRequestPause(false);
    }
    return 1;
}

int PortWrite(int handle, const uint8_t* bytes, int count) {
    PortSlot* s = SlotOf(handle);
    if (!s) return 0;
    if (count < 0 || (!bytes && count > 0)) return 0;
    if (BackendOf(*s).write(*s, handle, bytes, count) != 1) return 0;
    // Counted from when the write returned: a wire that began earlier only
    // makes the line free sooner than we assume, never later.
    return AfterWrite(*s, handle, bytes, count, SteadyUs());
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
    if (LineRefusesRead(*s)) return 0;
    s->rx.peek(destination, n);
    s->rx.drop(n);
    NoteRead(*s, n);
    TraceRead(handle, destination, n);
    // An answer means the line is ours no longer: whatever we sent has gone
    // (a peer that answers sooner than the wire allows must not let the
    // estimate run ahead of the clock).
    s->txFreeUs = std::min(s->txFreeUs, SteadyUs());
    return 1;
}

void PortPurge(int handle) {
    PortSlot* s = SlotOf(handle);
    if (!s) return;
    const PortBackend& ops = BackendOf(*s);
    if (!ops.hasInput) return;
    const int n = s->rx.waiting();
    if (n > 0) {
        std::vector<uint8_t> bytes(static_cast<size_t>(n));
        s->rx.peek(bytes.data(), n);
        s->rx.drop(n);
        TracePurged(handle, bytes.data(), n);
    }
    // What the device itself still holds is stale as well.
    if (ops.purge) ops.purge(*s, handle);
}

int PortWaitInput(int handle, int timeoutMs) {
    return PortWaitInputAbove(handle, 0, timeoutMs);
}

int PortWaitInputAbove(int handle, int count, int timeoutMs) {
    PortSlot* s = SlotOf(handle);
    if (!s) return 0;
    const PortBackend& ops = BackendOf(*s);
    if (ops.waitInput) return ops.waitInput(*s, count, timeoutMs);
    const int64_t deadline = SteadyMs() + std::max(timeoutMs, 0);
    bool readyWithoutBytes = false;
    for (;;) {
        const int n = Pump(*s);
        if (n > count) return n;
        const int64_t left = deadline - SteadyMs();
        if (left <= 0) return n;
        const int wait = static_cast<int>(std::min<int64_t>(left, 0x7FFFFFFF));
        if (ops.waitReadable && !readyWithoutBytes) {
            readyWithoutBytes = ops.waitReadable(*s, wait);
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
    PortSlot* s = SlotOf(handle);
    if (!s) return 2;
    const PortBackend& ops = BackendOf(*s);
    if (ops.setLine) return ops.setLine(*s, baud, dataBits, parity, stopCode);
    // USB key, stub and TCP have no line to set.
    s->baud = baud;
    s->dataBits = dataBits;
    s->parity = parity;
    s->stopCode = stopCode;
    return 0;
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
