// A stand-in for libusb 0.1 with our converters and keys on one bus: it exports
// the library functions the port layer calls, answers the converters' vendor
// requests from per-device state, records every control request, and hands the
// bytes of send requests to a hook (the tests put the virtual controller there).
//
// Like the Linux library it has no usb_reset_ex; usb_reset clears a device that
// was told to fail its transfers until reset.
#include <usb.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "fake_usb_control.h"

// usb.h declares it outside its extern "C" block.
struct usb_bus* usb_busses = nullptr;

struct usb_dev_handle {
    int device;
};

namespace {

constexpr int kChannels = 2;

struct FakeDevice {
    int id = 0;
    struct usb_device dev {};
    FakeUsbDeviceConfig config{};
    std::string strings[4]; // 1 manufacturer, 2 product, 3 serial
    bool plugged = true;
    bool removed = false;
    int failLeft = 0;
    std::deque<uint8_t> input[kChannels];
    std::vector<uint8_t> output[kChannels];
    FakeUsbLineHook hook[kChannels] = {};
    void* hookContext[kChannels] = {};
};

std::mutex m;
std::deque<std::unique_ptr<FakeDevice>> devices; // never freed: usb_device records stay valid
std::vector<FakeUsbEvent> events;
usb_bus bus{};
int openHandles = 0;
int initCalls = 0;

FakeDevice* Find(int id) {
    for (auto& d : devices)
        if (d->id == id && !d->removed) return d.get();
    return nullptr;
}

FakeDevice* OfHandle(usb_dev_handle* h) {
    FakeDevice* d = h ? Find(h->device) : nullptr;
    return d && d->plugged ? d : nullptr;
}

void Record(int kind, int device, int type = 0, int request = 0, int value = 0, int index = 0, int size = 0,
            int result = 0) {
    FakeUsbEvent e;
    e.kind = kind;
    e.device = device;
    e.requestType = type;
    e.request = request;
    e.value = value;
    e.index = index;
    e.size = size;
    e.result = result;
    events.push_back(e);
}

// UTF-8 to UTF-16 code units (enough for the texts the tests use).
std::u16string Utf16(const std::string& s) {
    std::u16string out;
    for (size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        char32_t cp = c;
        int extra = 0;
        if (c >= 0xF0) {
            cp = c & 0x07;
            extra = 3;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            extra = 2;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            extra = 1;
        }
        ++i;
        for (int k = 0; k < extra && i < s.size(); ++k, ++i)
            cp = cp << 6 | (static_cast<unsigned char>(s[i]) & 0x3F);
        out.push_back(static_cast<char16_t>(cp));
    }
    return out;
}

int ControlLocked(FakeDevice& d, int type, int request, int value, int index, char* bytes, int size,
                  int* sendChannel, std::vector<uint8_t>* sent) {
    if (d.failLeft != 0) {
        if (d.failLeft > 0) --d.failLeft;
        return -ETIMEDOUT;
    }
    auto* b = reinterpret_cast<unsigned char*>(bytes);
    const int channels = d.config.channels;
    if (type == USB_ENDPOINT_IN && request == USB_REQ_GET_DESCRIPTOR && (value >> 8) == USB_DT_STRING) {
        const int i = value & 0xFF;
        if (i < 1 || i > 3 || d.strings[i].empty() || !b) return -EPIPE;
        const std::u16string text = Utf16(d.strings[i]);
        std::vector<unsigned char> desc{
            static_cast<unsigned char>(std::min<size_t>(255, 2 + 2 * text.size())),
            static_cast<unsigned char>(d.config.descriptorType)};
        for (char16_t ch : text) {
            desc.push_back(static_cast<unsigned char>(ch & 0xFF));
            desc.push_back(static_cast<unsigned char>(ch >> 8));
        }
        const int n = std::min<int>(size, static_cast<int>(desc.size()));
        std::memcpy(b, desc.data(), static_cast<size_t>(n));
        return n;
    }
    if (type == 0xC0 && request == 0x20) {
        if (d.config.clockFails || size < 8 || !b) return -EPIPE;
        for (int k = 0; k < 4; ++k) {
            b[k] = static_cast<unsigned char>(d.config.deviceNumber >> (8 * k));
            b[4 + k] = static_cast<unsigned char>(d.config.clock >> (8 * k));
        }
        return 8;
    }
    if (type == 0xC0 && request == 0x23) {
        if (channels < 0 || size < 1 || !b) return -EPIPE;
        b[0] = static_cast<unsigned char>(channels);
        return 1;
    }
    if (type == 0x40 && (request == 0x24 || request == 0x25))
        return value >= 0 && value < channels ? 0 : -EPIPE;
    if (type == 0xC0 && request == 0x21) {
        if (value < 0 || value >= channels || value >= kChannels || size < 1 || !b) return -EPIPE;
        b[0] = static_cast<unsigned char>(std::min<size_t>(255, d.input[value].size()));
        return 1;
    }
    if (type == 0xC0 && request == 0x22) {
        const int ch = value & 0xFF;
        const int count = value >> 8;
        if (ch >= channels || ch >= kChannels || count < 1 || count > 8 || size < count || !b) return -EPIPE;
        const int n = std::min<int>(count, static_cast<int>(d.input[ch].size()));
        for (int k = 0; k < n; ++k) {
            b[k] = d.input[ch].front();
            d.input[ch].pop_front();
        }
        return n;
    }
    if (type == 0xC0 && (request & 0xF0) == 0x30) {
        const int ch = request & 0x01;
        int length = 0;
        switch (request & 0x0E) {
        case 0x00:
            length = 1;
            break;
        case 0x08:
            length = 2;
            break;
        case 0x04:
            length = 3;
            break;
        case 0x02:
            length = 4;
            break;
        default:
            return -EPIPE;
        }
        if (ch >= channels || size != 0) return -EPIPE;
        const uint8_t carried[4] = {
            static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8 & 0xFF),
            static_cast<uint8_t>(index & 0xFF), static_cast<uint8_t>(index >> 8 & 0xFF)};
        d.output[ch].insert(d.output[ch].end(), carried, carried + length);
        sent->assign(carried, carried + length);
        *sendChannel = ch;
        return 0;
    }
    return -EPIPE;
}

} // namespace

extern "C" {

// --- the library functions the port layer calls ---

void usb_init(void) {
    std::lock_guard<std::mutex> lock(m);
    ++initCalls;
}

void usb_set_debug(int) {}

int usb_find_busses(void) {
    std::lock_guard<std::mutex> lock(m);
    const int changes = usb_busses ? 0 : 1;
    std::snprintf(bus.dirname, sizeof bus.dirname, "001");
    usb_busses = &bus;
    return changes;
}

int usb_find_devices(void) {
    std::lock_guard<std::mutex> lock(m);
    struct usb_device* first = nullptr;
    struct usb_device* last = nullptr;
    int count = 0;
    for (auto& d : devices) {
        if (d->removed || !d->plugged) continue;
        d->dev.prev = last;
        d->dev.next = nullptr;
        if (last)
            last->next = &d->dev;
        else
            first = &d->dev;
        last = &d->dev;
        ++count;
    }
    bus.devices = first;
    return count;
}

struct usb_bus* usb_get_busses(void) {
    std::lock_guard<std::mutex> lock(m);
    return usb_busses;
}

usb_dev_handle* usb_open(struct usb_device* dev) {
    std::lock_guard<std::mutex> lock(m);
    auto* d = dev ? static_cast<FakeDevice*>(dev->dev) : nullptr;
    if (!d || d->removed || !d->plugged || d->config.openFails) {
        Record(kFakeUsbOpen, d ? d->id : -1, 0, 0, 0, 0, 0, -1);
        return nullptr;
    }
    Record(kFakeUsbOpen, d->id);
    ++openHandles;
    return new usb_dev_handle{d->id};
}

int usb_close(usb_dev_handle* h) {
    if (!h) return -EINVAL;
    std::lock_guard<std::mutex> lock(m);
    Record(kFakeUsbClose, h->device);
    --openHandles;
    delete h;
    return 0;
}

struct usb_device* usb_device(usb_dev_handle* h) {
    std::lock_guard<std::mutex> lock(m);
    FakeDevice* d = h ? Find(h->device) : nullptr;
    return d ? &d->dev : nullptr;
}

int usb_get_string_simple(usb_dev_handle* h, int index, char* buf, size_t buflen) {
    std::lock_guard<std::mutex> lock(m);
    FakeDevice* d = OfHandle(h);
    if (!d) return -ENODEV;
    if (d->config.stringSimpleFails || index < 1 || index > 3 || d->strings[index].empty() || !buf ||
        buflen == 0)
        return -EIO;
    // As the real library: one byte per character, "?" for anything beyond Latin-1's low half.
    const std::u16string text = Utf16(d->strings[index]);
    size_t n = 0;
    for (char16_t ch : text) {
        if (n + 1 >= buflen) break;
        buf[n++] = (ch >> 8) ? '?' : static_cast<char>(ch & 0xFF);
    }
    buf[n] = '\0';
    return static_cast<int>(n);
}

int usb_control_msg(usb_dev_handle* h, int requesttype, int request, int value, int index, char* bytes,
                    int size, int) {
    int sendChannel = -1;
    std::vector<uint8_t> sent;
    FakeUsbLineHook hook = nullptr;
    void* context = nullptr;
    int id = -1;
    int result;
    {
        std::lock_guard<std::mutex> lock(m);
        FakeDevice* d = OfHandle(h);
        result = d ? ControlLocked(*d, requesttype, request, value, index, bytes, size, &sendChannel, &sent)
                   : -ENODEV;
        Record(kFakeUsbControl, h ? h->device : -1, requesttype, request, value, index, size, result);
        if (d && sendChannel >= 0) {
            hook = d->hook[sendChannel];
            context = d->hookContext[sendChannel];
            id = d->id;
        }
    }
    if (hook) hook(context, id, sendChannel, sent.data(), sent.size());
    return result;
}

int usb_reset(usb_dev_handle* h) {
    std::lock_guard<std::mutex> lock(m);
    FakeDevice* d = h ? Find(h->device) : nullptr;
    Record(kFakeUsbReset, h ? h->device : -1);
    if (!d) return -ENODEV;
    d->failLeft = 0; // a hung device comes back from a reset
    return 0;
}

char* usb_strerror(void) {
    static char text[] = "fake libusb error";
    return text;
}

// --- control interface for the tests ---

void fake_usb_clear(void) {
    std::lock_guard<std::mutex> lock(m);
    for (auto& d : devices)
        d->removed = true;
    events.clear();
    bus.devices = nullptr;
}

int fake_usb_add(const FakeUsbDeviceConfig* config) {
    std::lock_guard<std::mutex> lock(m);
    auto d = std::make_unique<FakeDevice>();
    d->id = static_cast<int>(devices.size());
    d->config = *config;
    const char* texts[4] = {nullptr, config->manufacturer, config->product, config->serial};
    for (int i = 1; i <= 3; ++i)
        if (texts[i]) d->strings[i] = texts[i];
    d->config.manufacturer = d->config.product = d->config.serial = nullptr; // the copies above are used
    d->dev.descriptor.bLength = USB_DT_DEVICE_SIZE;
    d->dev.descriptor.bDescriptorType = USB_DT_DEVICE;
    d->dev.descriptor.idVendor = config->vendor;
    d->dev.descriptor.idProduct = 0x05DC;
    d->dev.descriptor.iManufacturer = texts[1] ? 1 : 0;
    d->dev.descriptor.iProduct = texts[2] ? 2 : 0;
    d->dev.descriptor.iSerialNumber = texts[3] ? 3 : 0;
    d->dev.bus = &bus;
    d->dev.devnum = static_cast<uint8_t>(d->id + 2);
    d->dev.dev = d.get();
    std::snprintf(d->dev.filename, sizeof d->dev.filename, "%03d", d->id + 2);
    devices.push_back(std::move(d));
    return devices.back()->id;
}

void fake_usb_plug(int device, int plugged) {
    std::lock_guard<std::mutex> lock(m);
    if (FakeDevice* d = Find(device)) d->plugged = plugged != 0;
}

void fake_usb_fail_transfers(int device, int count) {
    std::lock_guard<std::mutex> lock(m);
    if (FakeDevice* d = Find(device)) d->failLeft = count;
}

void fake_usb_queue_input(int device, int channel, const uint8_t* bytes, size_t n) {
    std::lock_guard<std::mutex> lock(m);
    FakeDevice* d = Find(device);
    if (!d || channel < 0 || channel >= kChannels) return;
    d->input[channel].insert(d->input[channel].end(), bytes, bytes + n);
}

size_t fake_usb_input_left(int device, int channel) {
    std::lock_guard<std::mutex> lock(m);
    FakeDevice* d = Find(device);
    return d && channel >= 0 && channel < kChannels ? d->input[channel].size() : 0;
}

size_t fake_usb_take_output(int device, int channel, uint8_t* out, size_t max) {
    std::lock_guard<std::mutex> lock(m);
    FakeDevice* d = Find(device);
    if (!d || channel < 0 || channel >= kChannels) return 0;
    std::vector<uint8_t>& o = d->output[channel];
    const size_t n = std::min(max, o.size());
    std::copy(o.begin(), o.begin() + static_cast<std::ptrdiff_t>(n), out);
    o.erase(o.begin(), o.begin() + static_cast<std::ptrdiff_t>(n));
    return n;
}

void fake_usb_set_hook(int device, int channel, FakeUsbLineHook hook, void* context) {
    std::lock_guard<std::mutex> lock(m);
    FakeDevice* d = Find(device);
    if (!d || channel < 0 || channel >= kChannels) return;
    d->hook[channel] = hook;
    d->hookContext[channel] = context;
}

size_t fake_usb_events(FakeUsbEvent* out, size_t max) {
    std::lock_guard<std::mutex> lock(m);
    const size_t n = std::min(max, events.size());
    std::copy(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(n), out);
    return events.size();
}

void fake_usb_clear_events(void) {
    std::lock_guard<std::mutex> lock(m);
    events.clear();
}

int fake_usb_open_handles(void) {
    std::lock_guard<std::mutex> lock(m);
    return openHandles;
}

int fake_usb_init_calls(void) {
    std::lock_guard<std::mutex> lock(m);
    return initCalls;
}

} // extern "C"
