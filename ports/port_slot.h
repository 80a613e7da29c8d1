// Inside the port layer: the slot of the port table and the interface each
// kind of port (serial, TCP, USB) offers to the common operations.
#pragma once

#include "port_layer.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct usb_dev_handle; // the USB library's device handle (usb.h)

// A single-producer/single-consumer byte ring. The producer advances `write`,
// the consumer advances `read`; both wrap from kRingSize to 0. It holds at most
// kRingSize - 1 unread bytes; what does not fit is dropped and counted, never
// written over unread bytes.
struct ByteRing {
    std::unique_ptr<uint8_t[]> buf;
    std::atomic<uint16_t> write{0};
    std::atomic<uint16_t> read{0};

    void allocate();
    void release();
    int waiting() const;
    int space() const { return kRingSize - 1 - waiting(); }
    // Appends up to n bytes; returns how many did not fit (counted as overrun).
    int put(const uint8_t* bytes, int n);
    // Copies n bytes out without consuming them; n must not exceed waiting().
    void peek(uint8_t* dst, int n) const;
    // Consumes n bytes (n <= waiting()).
    void drop(int n);
    void reset();
};

constexpr int kTcpPeers = 16;

struct TcpFields {
    int mainSock = -1;    // client socket or listening socket
    int peers[kTcpPeers]; // server peers; the client keeps its socket in peers[0]
    int64_t peerDeadline[kTcpPeers] = {};
    // When each server peer was accepted or last sent bytes: a newcomer to a
    // full table takes the place of the peer silent longest.
    int64_t peerHeard[kTcpPeers] = {};
    bool connected = false;
    bool connecting = false;
    int64_t connectDeadline = 0;
    uint32_t ip = 0;   // network byte order
    uint16_t port = 0; // host byte order
    uint32_t connectFailures = 0;
    int nextPeer = 0; // where a crowded receive pass starts (the server's round robin)
    TcpFields() {
        for (int& p : peers)
            p = -1;
    }
};

struct PortSlot {
    std::atomic<uint32_t> inUse{0};
    std::atomic<uint8_t> kind{KindCom};
    char name[kPortNameMax + 1] = {};
    int fd = -1; // serial descriptor
    ByteRing rx;
    ByteRing tx; // USB channels only

    // USB channel data. The handle, channel and clock are set before the slot is
    // marked in use and change later only while the worker is parked (line
    // settings, close, reconnect); usbPending is the worker's own.
    std::atomic<uint32_t> usbErrors{0};
    usb_dev_handle* usbDevice = nullptr;
    uint8_t usbChannel = 0;
    uint32_t usbClock = 0;
    uint32_t usbSerial = 0;
    uint8_t usbPending = 0; // waiting count the poll phase noted for the receive phase

    // a failed write to a serial port that may be USB-attached
    uint8_t writeErrorNoted = 0;
    uint32_t writeErrorTime = 0;

    // last settings applied by U_xxx
    uint32_t baud = 0;
    uint8_t dataBits = 0;
    char parity = 0;
    uint8_t stopCode = 0;

    TcpFields tcp;
    int lastErrno = 0;
    // driver's parity+framing error count when the port was opened (-1: not reported)
    int64_t icountBase = -1;

    // What was written and when it leaves the wire (steady microseconds).
    int64_t txFreeUs = 0;  // the last byte written has left the line by then
    int64_t txBoundUs = 0; // the write time-outs of what was written run out
    int txLastCount = 0;   // bytes of the last write
    int rxAtWrite = 0;     // bytes waiting when it was written (anything more came after)
    // The echo setting and what the first frame after opening showed.
    bool echo = false;
    uint8_t echoFinding = 0; // PortEchoFinding
    // The first frame, kept until the first read: an echo later than the look
    // at it (an adapter's latency timer, a busy machine) is at the head of the
    // input then, before the echoes of the frames sent since and the answer.
    std::vector<uint8_t> lateEchoOf;
    int lateEchoSeen = 0; // of its bytes, read already (a read of less than the frame)
    // Driver settings changed at open, put back at close (serial_driver.cpp).
    int serialFlagsSaved = -1; // ASYNC_* flags before low latency was asked for, -1: untouched
    bool rs485Saved = false;   // the RS-485 settings below are the driver's own from before
    uint32_t rs485FlagsBefore = 0;
    uint32_t rs485DelayBefore[2] = {0, 0};
};

// What a kind of port does for the common operations. The port table keeps one
// of these per kind (serial, USB key, USB channel, stub, TCP server, TCP client)
// and every common operation goes through the slot's table; an empty entry
// means the kind has nothing to do there.
struct PortBackend {
    // Opens the device for the name: 0, or the kind's error code.
    int (*open)(PortSlot& s, const char* name);
    void (*close)(PortSlot& s);
    // Housekeeping, then whatever the device holds into the receive ring. false
    // when the kind reports nothing waiting this time (a USB channel reconnecting).
    bool (*pump)(PortSlot& s);
    // 1 when every byte went out (never a partial send), 0 otherwise; traces the
    // bytes or the failure itself.
    int (*write)(PortSlot& s, int handle, const uint8_t* bytes, int n);
    // After the ring was emptied: drops (and traces as cleared) what the device
    // itself still holds.
    void (*purge)(PortSlot& s, int handle);
    // Blocks until the device has something to read or the time passes. Empty:
    // the wait looks again after short sleeps (rings filled by the worker).
    bool (*waitReadable)(PortSlot& s, int timeoutMs);
    // Replaces the whole of PortWaitInputAbove for the kind (test ports with a
    // clock of their own); empty for every real kind.
    int (*waitInput)(PortSlot& s, int count, int timeoutMs);
    // Line settings: 0 or an error code; stores what it applied. Empty: nothing
    // to set, the settings are kept as given.
    int (*setLine)(PortSlot& s, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode);
    bool hasInput;     // false: nothing ever waits (port_avail 0, PortPurge does nothing)
    bool transmitRing; // the worker sends from the slot's transmit ring
    bool usesWorker;   // the worker thread serves the slot (parked around close)
    // Waits until the device reports its output gone (false when it still held
    // bytes at the bound, steady microseconds). Empty: the device cannot say,
    // and the frame's wire time alone tells when it has left.
    bool (*drain)(PortSlot& s, int64_t boundUs) = nullptr;
    // The kind drives a line at a speed: frames take wire time and an adapter
    // may echo them. False for the stub, the USB key and test kinds.
    bool hasLine = false;
};

// The kinds' tables (serial_port.cpp, usb_port.cpp, tcp_port.cpp, port_table.cpp).
extern const PortBackend kSerialBackend;
extern const PortBackend kUsbKeyBackend;
extern const PortBackend kUsbChannelBackend;
extern const PortBackend kStubBackend;
extern const PortBackend kTcpServerBackend;
extern const PortBackend kTcpClientBackend;

// The table of a kind (nullptr for a value that is no kind).
const PortBackend* BackendOfKind(uint8_t kind);
// Test seam: ports of this kind opened from now on (and those open) use these
// operations instead; nullptr puts the kind's own table back.
void PortSetBackendForTest(uint8_t kind, const PortBackend* backend);

// Steady clock in microseconds (frame wire times are a few of them a byte).
int64_t SteadyUs();
// The time n bytes take on the slot's line at its settings (start bit, data
// bits, parity bit, stop bits); 4800 8N1 until the settings were given.
int64_t WireTimeUs(const PortSlot& s, int n);
// After a write that went out: notes its wire time and, for kinds with a line,
// takes off or looks for the echo. PortWrite's result.
int AfterWrite(PortSlot& s, int handle, const uint8_t* bytes, int n, int64_t startUs);
// Before a read: is the first frame, looked at in vain after it was written,
// at the head of the input after all? Then the adapter echoes (EchoDetected).
// True when the read must fail: an echoing adapter with the setting off
// delivers our own frames, never an answer.
bool LineRefusesRead(PortSlot& s);
// After a read of n bytes (the late look follows the first frame's bytes).
void NoteRead(PortSlot& s, int n);

// The table and helpers shared by the kinds.
PortSlot* SlotOf(int handle); // nullptr for 0, out of range or a free slot
int HandleOf(const PortSlot& slot);
void CountOverrun(int dropped);
void CountParityFraming(int n);
// Appends to the slot's receive ring and counts what did not fit.
void ReceiveBytes(PortSlot& s, const uint8_t* bytes, int n);
// Walks every slot (in use or not), for the worker's USB pass.
PortSlot& SlotAt(int index); // index 0 .. kPortSlots - 1
// The write of kinds without a line (stub, USB key): traced and taken, 1.
int WriteSwallowed(PortSlot& s, int handle, const uint8_t* bytes, int n);

// port.out: opened by PortLayerStart, closed by PortLayerStop.
void TraceOpen();
void TraceClose(bool writeCounters, const PortErrorCounters& counters);

// port.out records (written only when the handle's TraceMask bit is set).
void TraceWritten(int handle, const uint8_t* bytes, int n);
void TraceWriteFailure(int handle, int code);
void TraceRead(int handle, const uint8_t* bytes, int n);
void TracePurged(int handle, const uint8_t* bytes, int n);

// Worker thread (worker.cpp). Started first by PortLayerStart and stopped last
// by PortLayerStop. While the pause request is raised or no USB slot is open it
// sleeps on a condition variable, reporting itself parked.
void WorkerStart();
void WorkerStop();
void WorkerRequestPause(bool raise);
// Waits (bounded) until the worker is parked at its pause point; true when it is.
bool WorkerWaitParked(int timeoutMs);
// Raises the pause request and waits until the worker is parked.
void WorkerPauseAndWait();
// Wakes the worker after a USB slot was opened or closed.
void WorkerUsbSlotsChanged();
// True while the pause request is raised: the pump leaves its pass early.
bool WorkerPauseRequested();
// How often the worker left its parked wait (for tests: idle means no wakeups).
uint64_t WorkerWakeups();
// One pass of the USB data pump (usb_port.cpp): one of its send, poll and
// receive phases, paced with the converters' 2 ms gaps.
void UsbPumpPass();

// USB kinds (usb_port.cpp): converter channels and the USB key.
// More failed transfers in a row than this make port_avail reconnect the channel.
constexpr uint32_t kUsbReconnectErrors = 100;
// Binds the USB library the first time (a missing library leaves USB absent)
// and rescans the buses every time. Always 1.
int UsbInit();
// Text of a string descriptor, one byte per character: the length of the text
// (dst always ends with a zero byte), or a negative error of the library.
int UsbReadStringText(usb_dev_handle* dev, int index, char* dst, int size);
// Appends the names of our converters' channels and of the key ("U_%lu",
// "U_%lu_1"/"U_%lu_2", "UKEY") while the list has room.
void UsbAppendPortNames(PortListTable& list);
// 0; -1 no matching device (or it cannot be opened); -2 the clock query failed
// or the channel is not there; -3 the channel count query failed.
int UsbOpenChannel(PortSlot& s, const char* name);
void UsbCloseChannel(PortSlot& s); // the worker is parked
// U_xxx for a USB channel: 0, 4 when a request failed, EINVAL for settings the
// converter cannot take. Stores the settings on success.
int UsbSetLine(PortSlot& s, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode);
// Reopens a channel after a run of failed transfers (called by port_avail).
void UsbReconnect(PortSlot& s);

// Serial kind (serial_port.cpp)
int ComOpen(PortSlot& s, const char* name); // 0 or errno
void ComClose(PortSlot& s);
void ComPoll(PortSlot& s);                              // moves what the driver holds into rx
void ComDrainDriver(PortSlot& s, int handle);           // PortPurge: read, trace, drop
int ComWrite(PortSlot& s, const uint8_t* bytes, int n); // 1 or 0 (errno kept in s.lastErrno)
int ComSetLine(PortSlot& s, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode);
bool ComWaitReadable(PortSlot& s, int timeoutMs);
// Device path for a serial name: "/..." as is, "COMn" -> /dev/ttyS(n-1), else /dev/NAME.
std::string ComPathOf(const char* name);
// Rates without a B constant go through termios2/BOTHER (serial_driver.cpp).
int ComSetCustomBaud(int fd, uint32_t baud); // 0 or errno
// Low latency asked of the driver at open (quietly nothing where it refuses),
// the driver's flags put back at close.
void ComAskLowLatency(PortSlot& s);
void ComRestoreDriver(PortSlot& s);
// 1 the driver holds no output (transmitter empty where it can tell), 0 it still
// holds some, -1 it cannot say.
int ComOutputGone(int fd);
// Kernel RS-485 mode with RTS on while sending: 0, ENOTTY where the driver has
// no RS-485 support, or the errno of the refused setting.
int ComSetRs485(PortSlot& s, bool on);
int ComRs485Supported(int fd); // 1, 0 (ENOTTY), or -errno of another failure
// Low latency state: 1 on, 0 off, -1 the driver does not say.
int ComLowLatency(int fd);

// TCP kinds (tcp_port.cpp)
int TcpClientOpen(PortSlot& s, const char* name); // 0 or -1
int TcpServerOpen(PortSlot& s, const char* name); // 0 or -1
void TcpClose(PortSlot& s);
// Blocks until a TCP slot has something to receive (or a peer to take in) or the
// time passes.
bool TcpWaitReadable(PortSlot& s, int timeoutMs);
