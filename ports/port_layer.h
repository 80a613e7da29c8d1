// The port layer: one byte-stream interface over serial ports, USB converter
// channels, the USB key, TCP client and server connections, and a stub.
//
// A port is opened by name and addressed by a handle (1 to 32, 0 = no port).
// Received bytes collect in the slot's receive ring; callers ask how many are
// waiting (port_avail), take exactly n (PortRead), send (PortWrite) and drop
// stale input (PortPurge). Traffic of the handles selected by TraceMask is
// traced into port.out in the working directory.
//
// Everything here is called from one thread (the user-interface thread); the
// worker thread started by PortLayerStart only serves USB slots.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

constexpr int kPortSlots = 32;
constexpr int kRingSize = 10000;
constexpr int kPortListSize = 16;
constexpr int kPortNameMax = 255; // bytes; long /dev/serial/by-id paths fit

// Slot kinds, chosen by the name given to PortOpen.
enum PortKind : uint8_t {
    KindCom = 0,
    KindUsbKey = 1,
    KindUsbChannel = 2,
    KindStub = 3,
    KindTcpServer = 4,
    KindTcpClient = 6,
};

// PortOpen results besides 0 (success) and the operating system's error codes
// of a failed serial open.
constexpr int kOpenNotStarted = 9;
constexpr int kOpenNoFreeSlot = 1;
constexpr int kOpenEmptyName = 3;

// Bit (handle - 1) switches tracing on for that handle.
extern std::atomic<uint32_t> TraceMask;

// Starts the layer once (a second call does nothing): clears the table, starts
// the worker thread and opens port.out for appending.
void PortLayerStart();
// Stops the worker thread, writes the error counters when tracing is on and
// closes port.out. Ports still open are closed.
void PortLayerStop();
bool PortLayerRunning();

// 0 with *handle set; 9 before PortLayerStart, 1 with all 32 slots in use, 3 for
// an empty name, ENAMETOOLONG for a name of more than kPortNameMax bytes; serial ports: the errno of the
// failed step (EBUSY when another opener holds the port); TCP: -1; USB names: -1 no such device of ours (or
// no USB library), -2 its clock query failed or it has no such channel, -3 its channel count query failed. A
// failed open leaves no slot in use.
int PortOpen(int* handle, const char* name);
// Always 1; handle 0 or a free slot: nothing to do.
int PortClose(int handle);
// 1 when all bytes went out (or were taken by the stub, the USB key or a USB
// channel's transmit ring), 0 on failure or for a bad handle; never a partial
// send reported as success. A serial write is bounded by 20 ms + 20 ms per byte.
// With the echo setting on, the bytes come back from the adapter first: they are
// taken off the input and compared, and a missing or different echo gives
// kWriteEchoFault (-2) with what came left in the input. The first frame after
// opening also shows whether an adapter echoes with the setting off; such a
// port gives kWriteEchoFault for every write (PortEchoFindingOf says why).
int PortWrite(int handle, const uint8_t* bytes, int count);
constexpr int kWriteEchoFault = -2;
int PortWriteByte(int handle, uint8_t byte);
// Moves what the device holds into the ring and returns the waiting count
// (0 for handle 0, the stub and the USB key).
int port_avail(int handle);
// 1 when exactly n bytes were taken; with fewer waiting nothing is taken and
// the result is 0.
int PortRead(int handle, uint8_t* destination, int n);
// Drops waiting input: the ring, then what the driver (serial ports) or the
// sockets (TCP) hold at that moment. With tracing on, each non-empty batch is
// traced as cleared. (Opening a serial port drops what its driver held, too.)
void PortPurge(int handle);

// Waits until at least one byte is waiting on the port (as port_avail counts
// them) or timeoutMs passes; returns the waiting count (0 on time-out or for a
// bad handle). Bytes are moved exactly as port_avail moves them, so callers may
// poll with either. Serial ports wait in poll(), TCP ports in TcpWaitReadable,
// USB channels and the stub in short sleeps.
int PortWaitInput(int handle, int timeoutMs);
// The same for an answer that has begun: waits until more than `count` bytes are
// waiting or timeoutMs passes, and returns the waiting count then. The device
// is waited on (no spin while part of an answer sits in the ring).
int PortWaitInputAbove(int handle, int count, int timeoutMs);

// Line settings: baud 0 means 4800; parity letter N, O, E, M, S or Z; stop-bit
// code 1 or 2. Other letters or codes leave that setting as the port has it.
// Data bits 7 or 8 (others give EINVAL). Returns 0 on success (nothing to do
// for the stub, USB key and TCP kinds), 2 for handle 0 or a free slot, or the
// errno of the refused setting; a driver that quietly keeps another rate, size
// or parity than asked gives EINVAL. USB channels: 4 when a request to the
// converter failed, EINVAL for a rate its clock cannot make or data bits other
// than 7 or 8. On success the slot keeps the settings.
int U_xxx(int handle, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode);

// Waits until the bytes written so far have left the port: a serial port's
// driver queue drained (bounded by the write time-outs), and in any case the
// bytes' wire time at the line's settings passed since they were written (ptys,
// USB converter channels and TCP cannot say more). 1, or 0 when the driver still
// held output at the bound. Kinds without a line (stub, USB key): 1 at once.
int PortWaitSent(int handle);
// Milliseconds since the bytes written last had left the port as PortWaitSent
// judged it (0 for kinds without a line): a pause after them has had that much.
int PortMsSinceSent(int handle);

// Port settings beside the line settings.
// The echo setting (off at open): the adapter returns every byte sent.
void PortSetEcho(int handle, bool on);
bool PortEchoOf(int handle);
enum PortEchoFinding : uint8_t {
    EchoNotChecked = 0, // nothing written yet, or a kind without a line
    EchoAbsent = 1,     // the first frame did not come back (setting off)
    EchoDetected = 2,   // the first frame came back although the setting is off
    EchoMatched = 3,    // setting on: the last echo matched
    EchoMismatch = 4,   // setting on: what came back differs from what was sent
    EchoMissing = 5,    // setting on: the echo did not come in time
};
int PortEchoFindingOf(int handle);
// Kernel RS-485 mode (RTS raised while sending) of a serial port: 0 done; ENOTTY
// the port has no RS-485 support (ptys, most USB adapters); EINVAL another kind;
// 2 no such handle; else the errno of the refused setting. The driver's own
// settings come back when the port closes.
int PortSetRs485(int handle, bool on);
// 1 the serial port supports kernel RS-485, 0 it does not, -1 not a serial port.
int PortRs485Supported(int handle);
// The same for a device path not opened as a port (for diagnostics): 1, 0, or
// -errno when it cannot be opened.
int PortRs485SupportedAt(const char* path);
// 1 the driver runs the port with low latency, 0 it does not, -1 it does not say.
int PortLowLatency(int handle);

// The device PortOpen opens for a serial port name: a path as it is, "COMn"
// as /dev/ttyS(n-1), any other name under /dev.
std::string PortDevicePath(const char* name);
// Loads the USB library when it is not loaded yet: true when it is loaded
// (USB converters and the key can be reached). The file it is loaded from
// (STARTZEL_LIBUSB, else "libusb-0.1.so.4").
bool PortUsbLibraryLoads();
std::string PortUsbLibraryFile();

// Diagnostics of a slot: kind, name, the errno of its last failed call.
int PortKindOf(int handle);         // -1 for a free slot or a bad handle
std::string PortNameOf(int handle); // "" for a free slot
int PortLastError(int handle);      // 0 when none

// The two counters written into port.out by PortLayerStop as
// "Ошибок паритета=%d, пакетов( стоп-бит)=%d"; both restart at 0 with the layer.
// - parityFraming: parity and framing errors the serial driver counted
//   (TIOCGICOUNT) while our serial ports were open, added when each port
//   closes. Drivers that keep no such counts (ptys, several USB adapters)
//   add nothing.
// - overrunDropped: received bytes dropped because the slot's receive ring
//   already held 9999 unread bytes. Unread bytes are never written over; the
//   newest ones that do not fit are dropped and counted here.
struct PortErrorCounters {
    uint64_t parityFraming = 0;
    uint64_t overrunDropped = 0;
};
PortErrorCounters PortLayerCounters();

// Port list for the settings dialog, filled by EnumeratePorts: the serial ports
// under <sysfs root>/class/tty that have a device behind them (serial-core ports
// whose type reads 0 have no UART and are left out), listed by their /dev names
// ("ttyS0", "ttyUSB0"), which PortOpen maps to /dev/NAME; at most 16 names of up
// to 19 characters, sorted ("COMn" names by number, others byte by byte).
// A serial port that udev also names under /dev/serial/by-id carries that path
// in byId: it stays the same when a USB adapter comes back as another ttyUSBn.
struct PortListEntryInfo {
    uint8_t deviceType = 0;   // USB device type (0 for serial ports)
    uint8_t channelCount = 0; // USB channel count
    uint32_t deviceNumber = 0;
    std::string byId; // "/dev/serial/by-id/usb-...", empty when the port has none
};
struct PortListTable {
    char names[kPortListSize][20] = {};
    PortListEntryInfo info[kPortListSize] = {};
    int count = 0;
};
extern PortListTable PortList;
int EnumeratePorts();

// Test seams. The sysfs root defaults to "/sys"; the clock returns milliseconds
// of a monotonic clock and drives the TCP deadlines.
void PortSetSysfsRoot(const std::string& root);
// The folder of the stable names, "/dev/serial/by-id" unless set.
void PortSetByIdRoot(const std::string& root);
// The trace file, "port.out" in the working folder unless set; an installed
// program keeps it beside its com.ini. Takes effect at the next PortLayerStart.
void PortSetTraceFile(const std::string& path);
// At this size (16 MiB unless set) the trace moves to "<trace file>.1",
// replacing the one kept before, and a new trace begins: years of tracing, or a
// flooding peer, stay within twice the size. 0 never rotates.
constexpr long kTraceRotateBytes = 16L << 20;
void PortSetTraceRotateBytes(long bytes);
void PortSetClock(std::function<int64_t()> clock);
int64_t PortClockMs();
