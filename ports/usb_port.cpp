// USB converter channels and the USB key.
//
// Our converters (vendor 0x16C0, manufacturer ManufacturerString) carry one or
// two RS-485 channels and are driven entirely by vendor control transfers: the
// worker thread sends up to 4 bytes per transfer, asks each channel how many
// bytes it holds and takes them 8 at a time. The key is only looked for; it has
// no line.
#include "port_slot.h"
#include "usb_lib.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr int kVendorIn = 0xC0;
constexpr int kVendorOut = 0x40;
constexpr int kTransferTimeoutMs = 1000;
constexpr int kDescriptorTimeoutMs = 5000;
constexpr int kLanguageEnUs = 0x0409;
constexpr uint32_t kKeyClock = 16000000;
constexpr uint32_t kNoDeviceNumber = 0xFFFFFFFF;

// Vendor requests of the converter.
constexpr int kReqInfo = 0x20;     // IN 8 bytes: device number, clock frequency (little-endian)
constexpr int kReqWaiting = 0x21;  // IN 1 byte: received bytes waiting in the channel
constexpr int kReqTake = 0x22;     // IN count bytes, value count * 256 + channel
constexpr int kReqChannels = 0x23; // IN 1 byte: number of serial channels
constexpr int kReqBaud = 0x24;     // OUT value channel, index divisor
constexpr int kReqFormat = 0x25;   // OUT value channel, index format bits
constexpr int kReqSend = 0x30;     // IN, + channel, + length bits; the bytes ride in value and index
constexpr int kMaxSend = 4;
constexpr int kMaxTake = 8;

constexpr auto kGap = std::chrono::milliseconds(2);
constexpr auto kIdle = std::chrono::milliseconds(5);

uint32_t Le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// A device number written as decimal digits only, as our devices report it.
bool ParseNumber(const char* text, const char** end, uint32_t* out) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    errno = 0;
    char* e = nullptr;
    const unsigned long long v = std::strtoull(text, &e, 10);
    if (errno == ERANGE || v > 0xFFFFFFFFull) return false;
    *out = static_cast<uint32_t>(v);
    if (end) *end = e;
    return true;
}

bool ParseWholeNumber(const std::string& text, uint32_t* out) {
    const char* end = nullptr;
    return ParseNumber(text.c_str(), &end, out) && *end == '\0';
}

// A string descriptor's text; false when the device has no such string or the
// read failed.
bool ReadText(usb_dev_handle* h, int index, std::string& out) {
    if (index == 0) return false;
    char buf[256];
    if (UsbReadStringText(h, index, buf, sizeof buf) < 0) return false;
    out = buf;
    return true;
}

bool IsOurs(usb_dev_handle* h, const struct usb_device* dev) {
    std::string maker;
    return ReadText(h, dev->descriptor.iManufacturer, maker) && maker == ManufacturerString;
}

uint8_t DeviceTypeOf(const std::string& product) {
    if (product == "Alder") return 1;   // "USB-Ключ"
    if (product == "Birch") return 2;   // "Преобразователь USB-RS485"
    if (product == "Cedar") return 3;   // "Клавиатура"
    if (product == "Dogwood") return 4; // "Rfid считыватель"
    return 255;
}

int Control(usb_dev_handle* h, int type, int request, int value, int index, unsigned char* data, int size) {
    return usblib::ControlMsg(h, type, request, value, index, reinterpret_cast<char*>(data), size,
                              kTransferTimeoutMs);
}

// Request 0x20: device number and clock frequency.
bool QueryInfo(usb_dev_handle* h, uint32_t* number, uint32_t* clock) {
    unsigned char b[8] = {};
    if (Control(h, kVendorIn, kReqInfo, 0, 0, b, sizeof b) != static_cast<int>(sizeof b)) return false;
    *number = Le32(b);
    *clock = Le32(b + 4);
    return true;
}

// Request 0x23: number of serial channels.
bool QueryChannels(usb_dev_handle* h, uint8_t* count) {
    unsigned char c = 0;
    if (Control(h, kVendorIn, kReqChannels, 0, 0, &c, 1) != 1) return false;
    *count = c;
    return true;
}

void AddName(PortListTable& list, const char* name, const PortListEntryInfo& info) {
    if (list.count >= kPortListSize) return;
    std::snprintf(list.names[list.count], sizeof list.names[0], "%s", name);
    list.info[list.count] = info;
    ++list.count;
}

bool KeyMayBeListed(const PortListTable& list) {
    for (int i = 0; i < list.count; ++i) {
        if (list.info[i].deviceType == 1 || list.info[i].deviceType == 2) return false;
        if (std::strcmp(list.names[i], "UKEY") == 0) return false; // one key entry is enough
    }
    return true;
}

// What the name given to PortOpen asks for.
struct WantedPort {
    bool key = false;
    uint32_t number = 0; // device number after "U_"
    bool channelGiven = false;
    bool channelValid = true; // a channel suffix that names no channel is refused like a missing one
    uint32_t channelIndex = 0;
};

bool ParsePortName(const char* name, WantedPort* w) {
    if (std::strcmp(name, "UKEY") == 0) {
        w->key = true;
        return true;
    }
    if (std::strncmp(name, "U_", 2) != 0) return false;
    const char* end = nullptr;
    if (!ParseNumber(name + 2, &end, &w->number)) return false;
    if (*end == '\0') return true;
    if (*end != '_') return false;
    w->channelGiven = true;
    uint32_t channel = 0;
    const char* tail = nullptr;
    if (!ParseNumber(end + 1, &tail, &channel) || *tail != '\0' || channel == 0)
        w->channelValid = false;
    else
        w->channelIndex = channel - 1;
    return true;
}

bool ValidParity(char p) {
    return p == 'N' || p == 'O' || p == 'E' || p == 'M' || p == 'S' || p == 'Z';
}

uint8_t ParityBits(char p) {
    switch (p) {
    case 'E':
        return 0x02;
    case 'M':
        return 0x06;
    case 'O':
        return 0x04;
    case 'S':
    case 'Z':
        return 0x08;
    default:
        return 0;
    }
}

// The baud divisor and format requests, without touching the worker (the
// caller has parked it).
int SetLineRequests(PortSlot& s, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode) {
    if (dataBits != 7 && dataBits != 8) return EINVAL;
    const uint32_t rate = baud ? baud : 4800;
    // The converter divides its clock by 16 * (divisor + 1); a rate it cannot
    // make is refused rather than sent as a wrapped divisor.
    const int64_t divisor = int64_t(s.usbClock) / 16 / rate - 1;
    if (divisor < 0 || divisor > 0xFFFF) return EINVAL;
    // Other letters and stop-bit codes keep what the channel has now.
    const char p = ValidParity(parity) ? parity : (ValidParity(s.parity) ? s.parity : 'N');
    const uint8_t stop = (stopCode == 1 || stopCode == 2) ? stopCode : (s.stopCode == 2 ? 2 : 1);
    const int format = (dataBits == 7 ? 0x01 : 0) | ParityBits(p) | (stop == 2 ? 0x10 : 0);
    if (!s.usbDevice) return 4;
    if (Control(s.usbDevice, kVendorOut, kReqBaud, s.usbChannel, static_cast<int>(divisor), nullptr, 0) < 0)
        return 4;
    if (Control(s.usbDevice, kVendorOut, kReqFormat, s.usbChannel, format, nullptr, 0) < 0) return 4;
    s.baud = baud;
    s.dataBits = dataBits;
    s.parity = p;
    s.stopCode = stop;
    return 0;
}

// --- the worker's data pump ---

enum class Phase { Send, Poll, Receive };
Phase phase = Phase::Send; // the worker thread's own

bool Pumped(PortSlot& s) {
    return s.inUse.load() && s.kind.load() == KindUsbChannel && s.usbDevice;
}

// One transfer of the pump: failures count, a success clears the count.
int PumpTransfer(PortSlot& s, int type, int request, int value, int index, unsigned char* data, int size) {
    const int r = Control(s.usbDevice, type, request, value, index, data, size);
    const bool ok = r >= 0 && (size == 0 || r > 0);
    if (ok)
        s.usbErrors.store(0);
    else
        s.usbErrors.fetch_add(1);
    return ok ? r : -1;
}

int SendCode(int channel, int n) {
    static const int kLengthBits[kMaxSend + 1] = {0, 0x00, 0x08, 0x04, 0x02};
    return kReqSend + channel + kLengthBits[n];
}

// Returns false when the pass was cut short by a pause request.
bool SendPhase(bool* anyChannel) {
    *anyChannel = false;
    for (int i = 0; i < kPortSlots; ++i) {
        PortSlot& s = SlotAt(i);
        if (!Pumped(s)) continue;
        *anyChannel = true;
        while (s.tx.waiting() > 0) {
            if (WorkerPauseRequested()) return false;
            unsigned char b[kMaxSend] = {};
            const int n = std::min(s.tx.waiting(), kMaxSend);
            s.tx.peek(b, n);
            s.tx.drop(n);
            // bytes 1 and 2 in the value, 3 and 4 in the index, the first of each pair low
            const int value = b[0] | b[1] << 8;
            const int index = b[2] | b[3] << 8;
            PumpTransfer(s, kVendorIn, SendCode(s.usbChannel, n), value, index, nullptr, 0);
            std::this_thread::sleep_for(kGap);
        }
        std::this_thread::sleep_for(kGap);
    }
    return true;
}

void PollPhase() {
    for (int i = 0; i < kPortSlots; ++i) {
        PortSlot& s = SlotAt(i);
        if (!Pumped(s)) continue;
        unsigned char count = 0;
        s.usbPending = PumpTransfer(s, kVendorIn, kReqWaiting, s.usbChannel, 0, &count, 1) == 1 ? count : 0;
    }
    std::this_thread::sleep_for(kGap);
}

void ReceivePhase() {
    for (int i = 0; i < kPortSlots; ++i) {
        PortSlot& s = SlotAt(i);
        if (!Pumped(s)) continue;
        while (s.usbPending > 0) {
            if (WorkerPauseRequested()) return;
            const int size = std::min<int>(s.usbPending, kMaxTake);
            unsigned char b[kMaxTake];
            const int r = PumpTransfer(s, kVendorIn, kReqTake, size * 256 + s.usbChannel, 0, b, size);
            if (r > 0) ReceiveBytes(s, b, std::min(r, size));
            s.usbPending = static_cast<uint8_t>(s.usbPending - size); // also when the transfer failed
            std::this_thread::sleep_for(kGap);
        }
    }
}

} // namespace

int UsbInit() {
    usblib::Load();
    usblib::FindBusses();
    usblib::FindDevices();
    return 1;
}

int UsbReadStringText(usb_dev_handle* dev, int index, char* dst, int size) {
    if (!dst || size <= 0) return -EINVAL;
    dst[0] = '\0';
    int r = usblib::GetStringSimple(dev, index, dst, static_cast<size_t>(size));
    if (r >= 0) {
        r = std::min(r, size - 1);
        dst[r] = '\0';
        return r;
    }
    // Ask for the string descriptor itself and keep one byte per character.
    unsigned char buf[256] = {};
    r = usblib::ControlMsg(dev, USB_ENDPOINT_IN, USB_REQ_GET_DESCRIPTOR, (USB_DT_STRING << 8) + index,
                           kLanguageEnUs, reinterpret_cast<char*>(buf), sizeof buf, kDescriptorTimeoutMs);
    if (r < 0) return r;
    if (r < 2 || buf[1] != USB_DT_STRING) return 0;
    const int length = std::min<int>({r, buf[0], static_cast<int>(sizeof buf)});
    int n = 0;
    for (int i = 2; i + 1 < length && n < size - 1; i += 2)
        dst[n++] = buf[i + 1] ? '?' : static_cast<char>(buf[i]);
    dst[n] = '\0';
    return n;
}

void UsbAppendPortNames(PortListTable& list) {
    if (list.count >= kPortListSize) return;
    UsbInit();
    for (struct usb_bus* bus = usblib::GetBusses(); bus; bus = bus->next) {
        for (struct usb_device* dev = bus->devices; dev; dev = dev->next) {
            if (dev->descriptor.idVendor != kUsbVendorId) continue;
            usb_dev_handle* h = usblib::Open(dev);
            if (!h) continue;
            std::string product, serial;
            uint32_t serialNumber = 0;
            const bool accepted = IsOurs(h, dev) && ReadText(h, dev->descriptor.iProduct, product) &&
                                  ReadText(h, dev->descriptor.iSerialNumber, serial) &&
                                  ParseWholeNumber(serial, &serialNumber);
            PortListEntryInfo info;
            uint32_t clock = 0;
            bool haveChannels = false;
            if (accepted) {
                info.deviceType = DeviceTypeOf(product);
                if (!QueryInfo(h, &info.deviceNumber, &clock)) info.deviceNumber = kNoDeviceNumber;
                haveChannels = QueryChannels(h, &info.channelCount);
            }
            usblib::Close(h);
            if (!accepted || !haveChannels) continue;

            // Names carry the serial number, which is what opening matches them by.
            char name[20];
            if (info.channelCount == 1) {
                std::snprintf(name, sizeof name, "U_%lu", static_cast<unsigned long>(serialNumber));
                AddName(list, name, info);
            } else if (info.channelCount >= 2) {
                for (int channel = 1; channel <= 2; ++channel) {
                    std::snprintf(name, sizeof name, "U_%lu_%d", static_cast<unsigned long>(serialNumber),
                                  channel);
                    AddName(list, name, info);
                }
            } else if (KeyMayBeListed(list)) {
                AddName(list, "UKEY", info);
            }
            if (list.count >= kPortListSize) return;
        }
    }
}

int UsbOpenChannel(PortSlot& s, const char* name) {
    WantedPort want;
    if (!name || !ParsePortName(name, &want)) return -1;
    for (struct usb_bus* bus = usblib::GetBusses(); bus; bus = bus->next) {
        for (struct usb_device* dev = bus->devices; dev; dev = dev->next) {
            if (dev->descriptor.idVendor != kUsbVendorId) continue;
            usb_dev_handle* h = usblib::Open(dev);
            if (!h) continue;
            std::string serial;
            uint32_t number = 0;
            if (!IsOurs(h, dev) || !ReadText(h, dev->descriptor.iSerialNumber, serial) ||
                !ParseWholeNumber(serial, &number) || (!want.key && number != want.number)) {
                usblib::Close(h);
                continue;
            }
            if (want.key) {
                // The key is only looked for: the slot keeps no handle.
                usblib::Close(h);
                s.usbDevice = nullptr;
                s.usbClock = kKeyClock;
                s.usbSerial = number;
                s.usbChannel = 0;
                return 0;
            }
            uint32_t deviceNumber = 0, clock = 0;
            uint8_t channels = 0;
            if (!QueryInfo(h, &deviceNumber, &clock)) {
                usblib::Close(h);
                return -2;
            }
            if (!QueryChannels(h, &channels)) {
                usblib::Close(h);
                return -3;
            }
            if (!want.channelValid || want.channelIndex >= channels) {
                usblib::Close(h);
                return -2;
            }
            s.usbDevice = h;
            s.usbChannel = static_cast<uint8_t>(want.channelIndex);
            s.usbClock = clock;
            s.usbSerial = deviceNumber;
            s.usbPending = 0;
            return 0;
        }
    }
    return -1;
}

void UsbCloseChannel(PortSlot& s) {
    if (s.usbDevice) usblib::Close(s.usbDevice);
    s.usbDevice = nullptr;
}

int UsbSetLine(PortSlot& s, uint32_t baud, uint8_t dataBits, char parity, uint8_t stopCode) {
    // The worker keeps off the device while its line changes.
    WorkerPauseAndWait();
    const int rc = SetLineRequests(s, baud, dataBits, parity, stopCode);
    WorkerRequestPause(false);
    return rc;
}

void UsbReconnect(PortSlot& s) {
    WorkerPauseAndWait();
    if (s.usbDevice) {
        // The Windows flavour of the library resets the port the device hangs
        // on; without that entry point the device itself is reset.
        if (usblib::ResetEx(s.usbDevice, 3) == -2 && !usblib::Has("usb_reset_ex")) usblib::Reset(s.usbDevice);
        usblib::Close(s.usbDevice);
    }
    s.usbDevice = nullptr;
    s.usbPending = 0;
    usblib::FindBusses();
    usblib::FindDevices();
    if (UsbOpenChannel(s, s.name) == 0) {
        if (s.dataBits) SetLineRequests(s, s.baud, s.dataBits, s.parity, s.stopCode);
        s.usbErrors.store(0);
    }
    // On failure the slot stays without a device; the next port_avail tries again.
    WorkerRequestPause(false);
}

// One pass of the pump runs one phase: send, then poll, then receive.
void UsbPumpPass() {
    switch (phase) {
    case Phase::Send: {
        bool anyChannel = false;
        if (!SendPhase(&anyChannel)) return; // paused: the rest goes out on a later pass
        if (anyChannel)
            phase = Phase::Poll;
        else
            std::this_thread::sleep_for(kIdle);
        break;
    }
    case Phase::Poll:
        PollPhase();
        phase = Phase::Receive;
        break;
    case Phase::Receive:
        ReceivePhase();
        phase = Phase::Send;
        break;
    }
}

namespace {

// The buses are scanned afresh for every open. Without the USB library nothing
// is found and the open gives -1.
int UsbOpen(PortSlot& s, const char* name) {
    UsbInit();
    return UsbOpenChannel(s, name);
}

// The worker thread fills the ring. After a run of failed transfers the
// channel is reopened; that call reports nothing waiting.
bool UsbPump(PortSlot& s) {
    if (s.usbErrors.load() <= kUsbReconnectErrors) return true;
    UsbReconnect(s);
    return false;
}

int UsbWrite(PortSlot& s, int handle, const uint8_t* bytes, int n) {
    // A channel whose device was lost and not found again takes nothing:
    // queued bytes would never go out.
    if (!s.usbDevice) {
        s.lastErrno = ENODEV;
        TraceWriteFailure(handle, ENODEV);
        return 0;
    }
    // All or nothing: a frame cut short by a full ring would be worse than a
    // failed write the caller can see.
    if (s.tx.space() < n) {
        s.lastErrno = ENOBUFS;
        TraceWriteFailure(handle, ENOBUFS);
        return 0;
    }
    s.tx.put(bytes, n);
    TraceWritten(handle, bytes, n);
    return 1;
}

// The worker hands the transmit ring to the converter four bytes at a time; once
// the ring is empty the converter still has the last of them to send.
bool UsbDrain(PortSlot& s, int64_t boundUs) {
    while (s.tx.waiting() > 0) {
        if (SteadyUs() >= boundUs) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    s.txFreeUs = std::max(s.txFreeUs, SteadyUs() + WireTimeUs(s, std::min(s.txLastCount, kMaxSend)));
    return true;
}

} // namespace

// The key is only looked for: it has no line, takes every write and never answers.
const PortBackend kUsbKeyBackend = {
    .open = UsbOpen,
    .close = nullptr,
    .pump = nullptr,
    .write = WriteSwallowed,
    .purge = nullptr,
    .waitReadable = nullptr,
    .waitInput = nullptr,
    .setLine = nullptr,
    .hasInput = false,
    .transmitRing = false,
    .usesWorker = true,
};

// Stores what the channel now has (a letter or code it does not take keeps the
// channel's), so a reconnect restores exactly that.
const PortBackend kUsbChannelBackend = {
    .open = UsbOpen,
    .close = UsbCloseChannel,
    .pump = UsbPump,
    .write = UsbWrite,
    .purge = nullptr,
    .waitReadable = nullptr,
    .waitInput = nullptr,
    .setLine = UsbSetLine,
    .hasInput = true,
    .transmitRing = true,
    .usesWorker = true,
    .drain = UsbDrain,
    .hasLine = true,
};

bool PortUsbLibraryLoads() {
    return usblib::Load();
}

std::string PortUsbLibraryFile() {
    return usblib::LibraryFile();
}
