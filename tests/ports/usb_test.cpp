// USB converter channels and the USB key through the real loader, against the
// fake USB library named by STARTZEL_LIBUSB (tests/ports/fake_libusb): listing,
// opening, line settings, the worker's data pump, the reconnect, the protocol
// end to end with the virtual controller behind a channel, and no library.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <dlfcn.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "block_transfer.h"
#include "fake_libusb/fake_usb_control.h"
#include "frames.h"
#include "port_layer.h"
#include "port_slot.h"
#include "protocol_state.h"
#include "usb_lib.h"
#include "virtual_controller.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// The control interface of the fake, looked up on the library the port layer loads.
struct FakeUsb {
    void* lib = nullptr;
    decltype(&fake_usb_clear) clear = nullptr;
    decltype(&fake_usb_add) add = nullptr;
    decltype(&fake_usb_plug) plug = nullptr;
    decltype(&fake_usb_fail_transfers) failTransfers = nullptr;
    decltype(&fake_usb_queue_input) queueInput = nullptr;
    decltype(&fake_usb_input_left) inputLeft = nullptr;
    decltype(&fake_usb_take_output) takeOutput = nullptr;
    decltype(&fake_usb_set_hook) setHook = nullptr;
    decltype(&fake_usb_events) eventsFn = nullptr;
    decltype(&fake_usb_clear_events) clearEvents = nullptr;
    decltype(&fake_usb_open_handles) openHandles = nullptr;
    decltype(&fake_usb_init_calls) initCalls = nullptr;

    template <typename F> void bind(F& f, const char* name) { f = reinterpret_cast<F>(dlsym(lib, name)); }

    bool load() {
        const char* path = std::getenv("STARTZEL_LIBUSB");
        if (!path) return false;
        lib = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!lib) return false;
        bind(clear, "fake_usb_clear");
        bind(add, "fake_usb_add");
        bind(plug, "fake_usb_plug");
        bind(failTransfers, "fake_usb_fail_transfers");
        bind(queueInput, "fake_usb_queue_input");
        bind(inputLeft, "fake_usb_input_left");
        bind(takeOutput, "fake_usb_take_output");
        bind(setHook, "fake_usb_set_hook");
        bind(eventsFn, "fake_usb_events");
        bind(clearEvents, "fake_usb_clear_events");
        bind(openHandles, "fake_usb_open_handles");
        bind(initCalls, "fake_usb_init_calls");
        return clear && add && plug && failTransfers && queueInput && inputLeft && takeOutput && setHook &&
               eventsFn && clearEvents && openHandles && initCalls;
    }

    std::vector<FakeUsbEvent> events() const {
        std::vector<FakeUsbEvent> out(eventsFn(nullptr, 0) + 64);
        out.resize(std::min(out.size(), eventsFn(out.data(), out.size())));
        return out;
    }

    // Control requests with the given request code (all of them for -1).
    std::vector<FakeUsbEvent> controls(int request = -1, int device = -1) const {
        std::vector<FakeUsbEvent> out;
        for (const auto& e : events())
            if (e.kind == kFakeUsbControl && (request < 0 || e.request == request) &&
                (device < 0 || e.device == device))
                out.push_back(e);
        return out;
    }

    Bytes output(int device, int channel) const {
        Bytes out(20000);
        out.resize(takeOutput(device, channel, out.data(), out.size()));
        return out;
    }
};

FakeUsb& Fake() {
    static FakeUsb fake;
    static const bool loaded = fake.load();
    EXPECT_TRUE(loaded) << "STARTZEL_LIBUSB must name the fake USB library";
    return fake;
}

bool WaitFor(const std::function<bool()>& done, int boundMs = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

FakeUsbDeviceConfig Converter(const char* serial, uint32_t number, int channels) {
    FakeUsbDeviceConfig s;
    s.manufacturer = ManufacturerString;
    s.product = "Birch";
    s.serial = serial;
    s.deviceNumber = number;
    s.channels = channels;
    return s;
}

FakeUsbDeviceConfig Key(const char* serial, uint32_t number) {
    FakeUsbDeviceConfig s = Converter(serial, number, 0);
    s.product = "Alder";
    return s;
}

std::vector<std::string> ListedNames() {
    std::vector<std::string> names;
    for (int i = 0; i < PortList.count; ++i)
        names.emplace_back(PortList.names[i]);
    return names;
}

class Usb : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Fake().lib);
        Fake().clear();
        fs::create_directories(sysfs / "class" / "tty");
        PortSetSysfsRoot(sysfs.string()); // no serial ports: the list holds USB names only
        TraceMask = 0;
        PortLayerStart();
    }
    void TearDown() override {
        PortLayerStop();
        PortSetSysfsRoot("/sys");
        EXPECT_EQ(Fake().openHandles(), 0) << "every device handle is closed again";
    }

    int Open(const char* name) {
        int h = 0;
        EXPECT_EQ(PortOpen(&h, name), 0) << name;
        return h;
    }

    const fs::path sysfs = fs::absolute("sysfs-empty");
};

} // namespace

TEST_F(Usb, ListsOurConvertersChannelsAndKeyWithTheirInformation) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig key = Key("5", 5);
    f.add(&key); // first on the bus, so no converter is listed before it
    FakeUsbDeviceConfig two = Converter("1234", 1234, 2);
    const int twoId = f.add(&two);
    FakeUsbDeviceConfig one = Converter("77", 77, 1);
    one.stringSimpleFails = 1; // read through GET_DESCRIPTOR instead
    f.add(&one);
    FakeUsbDeviceConfig foreign = Converter("4321", 4321, 1);
    foreign.manufacturer = "Somebody Else";
    const int foreignId = f.add(&foreign);
    FakeUsbDeviceConfig otherVendor = Converter("4322", 4322, 1);
    otherVendor.vendor = 0x0403;
    f.add(&otherVendor);
    FakeUsbDeviceConfig noNumber = Converter("A17", 17, 1);
    f.add(&noNumber);
    FakeUsbDeviceConfig noCount = Converter("88", 88, -1); // request 0x23 fails
    f.add(&noCount);
    FakeUsbDeviceConfig noClock = Converter("99", 99, 1); // request 0x20 fails
    noClock.clockFails = 1;
    f.add(&noClock);
    FakeUsbDeviceConfig deaf = Converter("66", 66, 1);
    deaf.openFails = 1;
    f.add(&deaf);
    FakeUsbDeviceConfig rfid = Converter("3", 3, 1);
    rfid.product = "Dogwood";
    f.add(&rfid);

    EXPECT_EQ(EnumeratePorts(), 1);
    // "UKEY" sorts first ('K' before '_'); each name keeps its own information.
    EXPECT_EQ(ListedNames(),
              (std::vector<std::string>{"UKEY", "U_1234_1", "U_1234_2", "U_3", "U_77", "U_99"}));
    const PortListEntryInfo* info = PortList.info;
    EXPECT_EQ(info[0].deviceType, 1);
    EXPECT_EQ(info[0].channelCount, 0);
    EXPECT_EQ(info[0].deviceNumber, 5u);
    for (int i : {1, 2}) {
        EXPECT_EQ(info[i].deviceType, 2);
        EXPECT_EQ(info[i].channelCount, 2);
        EXPECT_EQ(info[i].deviceNumber, 1234u);
    }
    EXPECT_EQ(info[3].deviceType, 4);
    EXPECT_EQ(info[4].deviceNumber, 77u);
    EXPECT_EQ(info[5].deviceNumber, 0xFFFFFFFFu) << "the failed clock query leaves all bits set";
    EXPECT_EQ(f.openHandles(), 0) << "every device looked at is closed again";
    EXPECT_GE(f.initCalls(), 1);

    // The device number and channel count requests as the converter expects them.
    const auto info20 = f.controls(0x20, twoId);
    ASSERT_FALSE(info20.empty());
    EXPECT_EQ(info20[0].requestType, 0xC0);
    EXPECT_EQ(info20[0].size, 8);
    const auto count23 = f.controls(0x23, twoId);
    ASSERT_FALSE(count23.empty());
    EXPECT_EQ(count23[0].requestType, 0xC0);
    EXPECT_EQ(count23[0].size, 1);
    for (const auto& e : f.controls())
        EXPECT_NE(e.device, foreignId) << "a device of another manufacturer gets no vendor request";
}

TEST_F(Usb, KeyListedOnlyWithoutAnEarlierConverterAndAtMostOnce) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig conv = Converter("10", 10, 1);
    f.add(&conv);
    FakeUsbDeviceConfig key = Key("5", 5);
    f.add(&key);
    EnumeratePorts();
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"U_10"});

    f.clear();
    FakeUsbDeviceConfig pad1 = Converter("1", 1, 0);
    pad1.product = "Cedar"; // a keyboard: no channel, device type 3
    f.add(&pad1);
    FakeUsbDeviceConfig pad2 = Converter("2", 2, 0);
    pad2.product = "Cedar";
    f.add(&pad2);
    EnumeratePorts();
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"UKEY"});
    EXPECT_EQ(PortList.info[0].deviceType, 3);
}

TEST_F(Usb, ListStopsAtSixteenEntriesWithSerialPortsFirst) {
    for (int i = 0; i < 13; ++i) {
        const fs::path tty = sysfs / "class" / "tty" / ("ttyUSB" + std::to_string(i));
        fs::create_directories(tty / "device");
    }
    FakeUsb& f = Fake();
    const char* serials[] = {"500", "501", "502"};
    for (int i = 0; i < 3; ++i) {
        FakeUsbDeviceConfig c = Converter(serials[i], 500 + i, 2);
        f.add(&c);
    }
    EnumeratePorts();
    ASSERT_EQ(PortList.count, kPortListSize);
    const auto names = ListedNames();
    EXPECT_EQ(std::count(names.begin(), names.end(), "U_500_1"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "U_500_2"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "U_501_1"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "U_501_2"), 0);
    EXPECT_EQ(f.openHandles(), 0);
    for (int i = 0; i < 13; ++i)
        fs::remove_all(sysfs / "class" / "tty" / ("ttyUSB" + std::to_string(i)));

    // With the list already full the buses are not even looked at.
    for (int i = 0; i < 16; ++i)
        fs::create_directories(sysfs / "class" / "tty" / ("ttyS" + std::to_string(i)) / "device");
    f.clearEvents();
    EnumeratePorts();
    EXPECT_EQ(PortList.count, kPortListSize);
    EXPECT_TRUE(f.events().empty());
    for (int i = 0; i < 16; ++i)
        fs::remove_all(sysfs / "class" / "tty" / ("ttyS" + std::to_string(i)));
}

TEST_F(Usb, StringTextFallsBackToTheDescriptorAndMarksWideCharacters) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig d = Converter("42", 42, 1);
    d.product = "Bírch€"; // í has a zero high byte, € does not
    f.add(&d);
    d.stringSimpleFails = 1;
    f.add(&d);
    d.descriptorType = 2;
    f.add(&d);
    UsbInit();
    // by place on the bus
    const int plain = 0, fallback = 1, wrongType = 2;
    auto handleOf = [](int place) -> usb_dev_handle* {
        int n = 0;
        for (struct usb_bus* b = usblib::GetBusses(); b; b = b->next)
            for (struct usb_device* dev = b->devices; dev; dev = dev->next, ++n)
                if (n == place) return usblib::Open(dev);
        return nullptr;
    };
    char buf[64];
    usb_dev_handle* h = handleOf(plain);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(UsbReadStringText(h, 2, buf, sizeof buf), 6);
    EXPECT_STREQ(buf, "B\xEDrch?");
    usblib::Close(h);

    h = handleOf(fallback);
    ASSERT_NE(h, nullptr);
    f.clearEvents();
    EXPECT_EQ(UsbReadStringText(h, 2, buf, sizeof buf), 6);
    EXPECT_STREQ(buf, "B\xEDrch?");
    const auto get = f.controls(USB_REQ_GET_DESCRIPTOR);
    ASSERT_EQ(get.size(), 1u);
    EXPECT_EQ(get[0].requestType, 0x80);
    EXPECT_EQ(get[0].value, 0x302);
    EXPECT_EQ(get[0].index, 0x0409);
    EXPECT_EQ(get[0].size, 256);
    EXPECT_EQ(UsbReadStringText(h, 1, buf, 4), 3) << "cut to the destination";
    EXPECT_STREQ(buf, "Sta");
    EXPECT_LT(UsbReadStringText(h, 7, buf, sizeof buf), 0) << "no such string";
    EXPECT_EQ(UsbReadStringText(h, 2, nullptr, 10), -EINVAL);
    usblib::Close(h);

    h = handleOf(wrongType);
    ASSERT_NE(h, nullptr);
    buf[0] = 'x';
    EXPECT_EQ(UsbReadStringText(h, 2, buf, sizeof buf), 0);
    EXPECT_STREQ(buf, "");
    usblib::Close(h);
}

TEST_F(Usb, OpeningChannelsAndTheKey) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig two = Converter("1234", 1234, 2);
    two.clock = 24000000;
    f.add(&two);
    FakeUsbDeviceConfig foreign = Converter("4321", 4321, 1);
    foreign.manufacturer = "Somebody Else";
    f.add(&foreign);
    FakeUsbDeviceConfig noCount = Converter("88", 88, -1);
    f.add(&noCount);
    FakeUsbDeviceConfig noClock = Converter("99", 99, 1);
    noClock.clockFails = 1;
    f.add(&noClock);

    int h = 0;
    ASSERT_EQ(PortOpen(&h, "U_1234_2"), 0);
    EXPECT_EQ(PortKindOf(h), KindUsbChannel);
    EXPECT_EQ(SlotOf(h)->usbChannel, 1);
    EXPECT_EQ(SlotOf(h)->usbClock, 24000000u);
    EXPECT_EQ(SlotOf(h)->usbSerial, 1234u);
    int h1 = 0;
    ASSERT_EQ(PortOpen(&h1, "U_1234_1"), 0);
    EXPECT_EQ(SlotOf(h1)->usbChannel, 0);
    int h0 = 0;
    ASSERT_EQ(PortOpen(&h0, "U_1234"), 0) << "no channel number: the first channel";
    EXPECT_EQ(SlotOf(h0)->usbChannel, 0);
    EXPECT_EQ(f.openHandles(), 3);

    int bad = 7;
    EXPECT_EQ(PortOpen(&bad, "U_1234_3"), -2);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(PortOpen(&bad, "U_1234_0"), -2);
    EXPECT_EQ(PortOpen(&bad, "U_1234_x"), -2);
    EXPECT_EQ(PortOpen(&bad, "U_99"), -2) << "clock query fails";
    EXPECT_EQ(PortOpen(&bad, "U_88"), -3) << "channel count query fails";
    EXPECT_EQ(PortOpen(&bad, "U_4321"), -1) << "another manufacturer's device";
    EXPECT_EQ(PortOpen(&bad, "U_5"), -1);
    EXPECT_EQ(PortOpen(&bad, "U_"), -1);
    EXPECT_EQ(PortOpen(&bad, "U_99999999999"), -1);
    EXPECT_EQ(f.openHandles(), 3) << "refused opens keep no handle";
    EXPECT_EQ(PortKindOf(4), -1) << "refused opens leave no slot in use";

    PortClose(h);
    PortClose(h1);
    EXPECT_EQ(f.openHandles(), 1) << "closing a channel closes its device handle";
    PortClose(h0);

    // The key: any of our devices answers for it; it keeps no handle and has no line.
    int k = 0;
    ASSERT_EQ(PortOpen(&k, "UKEY"), 0);
    EXPECT_EQ(PortKindOf(k), KindUsbKey);
    EXPECT_EQ(SlotOf(k)->usbDevice, nullptr);
    EXPECT_EQ(SlotOf(k)->usbClock, 16000000u);
    EXPECT_EQ(SlotOf(k)->usbSerial, 1234u);
    EXPECT_EQ(f.openHandles(), 0);
    const uint8_t b[3] = {1, 2, 3};
    EXPECT_EQ(PortWrite(k, b, 3), 1);
    EXPECT_EQ(port_avail(k), 0);
    EXPECT_EQ(U_xxx(k, 9600, 8, 'N', 1), 0);
    PortClose(k);

    f.clear();
    EXPECT_EQ(PortOpen(&k, "UKEY"), -1) << "none of our devices present";
}

TEST_F(Usb, LineSettingsBecomeDivisorAndFormatRequests) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig two = Converter("1234", 1234, 2);
    const int dev = f.add(&two);
    const int h = Open("U_1234_2");
    f.clearEvents();

    struct Case {
        uint32_t baud;
        uint8_t bits;
        char parity;
        uint8_t stop;
        int divisor, format;
    } cases[] = {
        {9600, 8, 'E', 2, 103, 0x12}, // 16 MHz / 16 / 9600 - 1
        {0, 7, 'M', 1, 207, 0x07},    // baud 0 is 4800
        {19200, 8, 'O', 1, 51, 0x04}, {4800, 8, 'Z', 2, 207, 0x18}, {4800, 8, 'S', 1, 207, 0x08},
        {115200, 8, 'N', 1, 7, 0x00}, {115200, 8, 'X', 3, 7, 0x00}, // other letter and code keep the
                                                                    // channel's: N, one stop bit
    };
    for (const Case& c : cases) {
        f.clearEvents();
        ASSERT_EQ(U_xxx(h, c.baud, c.bits, c.parity, c.stop), 0) << c.baud << c.parity;
        // The worker polls the same device; pick out the two line requests.
        std::vector<FakeUsbEvent> line;
        for (const auto& e : f.controls(-1, dev))
            if (e.request == 0x24 || e.request == 0x25) line.push_back(e);
        ASSERT_EQ(line.size(), 2u);
        EXPECT_EQ(line[0].request, 0x24);
        EXPECT_EQ(line[0].requestType, 0x40);
        EXPECT_EQ(line[0].value, 1) << "channel index";
        EXPECT_EQ(line[0].index, c.divisor) << c.baud;
        EXPECT_EQ(line[1].request, 0x25);
        EXPECT_EQ(line[1].value, 1);
        EXPECT_EQ(line[1].index, c.format) << c.parity;
    }
    ASSERT_EQ(U_xxx(h, 9600, 8, 'E', 2), 0);
    ASSERT_EQ(U_xxx(h, 9600, 8, '?', 0), 0);
    EXPECT_EQ(SlotOf(h)->parity, 'E') << "an unknown letter keeps even parity";
    EXPECT_EQ(SlotOf(h)->stopCode, 2);
    const auto last = f.controls(0x25, dev);
    EXPECT_EQ(last.back().index, 0x12);

    // Settings the converter cannot make are refused without a request.
    f.clearEvents();
    EXPECT_EQ(U_xxx(h, 2000000, 8, 'N', 1), EINVAL) << "above clock / 16";
    EXPECT_EQ(U_xxx(h, 10, 8, 'N', 1), EINVAL) << "divisor beyond 16 bits";
    EXPECT_EQ(U_xxx(h, 9600, 6, 'N', 1), EINVAL);
    EXPECT_TRUE(f.controls(0x24, dev).empty());

    // A failing request gives 4 and the kept settings stay as they were.
    f.plug(dev, 0);
    EXPECT_EQ(U_xxx(h, 1200, 8, 'O', 1), 4);
    EXPECT_EQ(SlotOf(h)->baud, 9600u);
    EXPECT_EQ(SlotOf(h)->parity, 'E');
    f.plug(dev, 1);
    EXPECT_EQ(U_xxx(h, 1200, 8, 'O', 1), 0);
    EXPECT_EQ(SlotOf(h)->baud, 1200u);
}

TEST_F(Usb, FiveBytesGoOutAsFourAndOne) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig two = Converter("1234", 1234, 2);
    const int dev = f.add(&two);
    const int h1 = Open("U_1234_1");
    const int h2 = Open("U_1234_2");
    const uint8_t five[5] = {0x60, 0x01, 0x21, 0x82, 0x7F};
    const uint8_t three[3] = {0xA1, 0xA2, 0xA3};
    const uint8_t two2[2] = {0xB1, 0xB2};
    ASSERT_EQ(PortWrite(h1, five, 5), 1);
    ASSERT_EQ(PortWrite(h2, five, 5), 1);
    Bytes out0, out1;
    ASSERT_TRUE(WaitFor([&] {
        const Bytes a = f.output(dev, 0), b = f.output(dev, 1);
        out0.insert(out0.end(), a.begin(), a.end());
        out1.insert(out1.end(), b.begin(), b.end());
        return out0.size() >= 5 && out1.size() >= 5;
    }));
    EXPECT_EQ(out0, Bytes(five, five + 5));
    EXPECT_EQ(out1, Bytes(five, five + 5));
    // Per channel (the pass may reach either channel's bytes first): 4 bytes, then 1.
    std::vector<FakeUsbEvent> perChannel[2];
    for (const auto& e : f.controls(-1, dev))
        if ((e.request & 0xF0) == 0x30) perChannel[e.request & 1].push_back(e);
    for (int ch = 0; ch < 2; ++ch) {
        const auto& sends = perChannel[ch];
        ASSERT_EQ(sends.size(), 2u) << ch;
        EXPECT_EQ(sends[0].request, 0x32 + ch);
        EXPECT_EQ(sends[0].requestType, 0xC0);
        EXPECT_EQ(sends[0].value, 0x0160);
        EXPECT_EQ(sends[0].index, 0x8221);
        EXPECT_EQ(sends[0].size, 0);
        EXPECT_EQ(sends[1].request, 0x30 + ch);
        EXPECT_EQ(sends[1].requestType, 0xC0);
        EXPECT_EQ(sends[1].value, 0x7F);
        EXPECT_EQ(sends[1].index, 0);
    }
    std::vector<FakeUsbEvent> sends;

    // Three and two bytes use their own length bits.
    for (const Bytes& chunk : {Bytes(three, three + 3), Bytes(two2, two2 + 2)}) {
        f.clearEvents();
        ASSERT_EQ(PortWrite(h2, chunk.data(), static_cast<int>(chunk.size())), 1);
        Bytes got;
        ASSERT_TRUE(WaitFor([&] {
            const Bytes o = f.output(dev, 1);
            got.insert(got.end(), o.begin(), o.end());
            return got.size() >= chunk.size();
        }));
        EXPECT_EQ(got, chunk);
        sends.clear();
        for (const auto& e : f.controls(-1, dev))
            if ((e.request & 0xF0) == 0x30) sends.push_back(e);
        ASSERT_EQ(sends.size(), 1u);
        if (chunk.size() == 3) {
            EXPECT_EQ(sends[0].request, 0x35);
            EXPECT_EQ(sends[0].value, 0xA2A1);
            EXPECT_EQ(sends[0].index, 0x00A3);
        } else {
            EXPECT_EQ(sends[0].request, 0x39);
            EXPECT_EQ(sends[0].value, 0xB2B1);
            EXPECT_EQ(sends[0].index, 0);
        }
    }
}

TEST_F(Usb, ClosingAChannelWhileItsBytesGoOutStopsThePumpFirst) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig one = Converter("31", 31, 1);
    const int dev = f.add(&one);
    Bytes big(4000, 0x55);
    for (int round = 0; round < 3; ++round) {
        const int h = Open("U_31");
        ASSERT_EQ(PortWrite(h, big.data(), static_cast<int>(big.size())), 1);
        ASSERT_TRUE(WaitFor([&] { return !f.controls(0x30 + 0x02, dev).empty(); }));
        PortClose(h); // the worker is in the middle of 1000 send requests
        EXPECT_EQ(f.openHandles(), 0);
        f.clearEvents();
    }
    EXPECT_LT(f.output(dev, 0).size(), 3 * big.size()) << "the rest of the queue went with the port";
}

TEST_F(Usb, TwentyWaitingBytesAreTakenAsEightEightFour) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig two = Converter("1234", 1234, 2);
    const int dev = f.add(&two);
    const int h1 = Open("U_1234_1");
    const int h2 = Open("U_1234_2");
    Bytes in(20), other{0xEE, 0xEF};
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<uint8_t>(0x40 + i);
    f.clearEvents();
    f.queueInput(dev, 0, other.data(), other.size());
    f.queueInput(dev, 1, in.data(), in.size());
    ASSERT_TRUE(WaitFor([&] { return port_avail(h2) == 20 && port_avail(h1) == 2; }));
    Bytes got(20);
    ASSERT_EQ(PortRead(h2, got.data(), 20), 1);
    EXPECT_EQ(got, in);
    Bytes got1(2);
    ASSERT_EQ(PortRead(h1, got1.data(), 2), 1);
    EXPECT_EQ(got1, other);

    // Per channel: count * 256 + channel, the size asked for as the length.
    std::vector<int> values[2];
    for (const auto& e : f.controls(0x22, dev)) {
        values[e.value & 0xFF].push_back(e.value);
        EXPECT_EQ(e.size, e.value >> 8);
    }
    EXPECT_EQ(values[0], (std::vector<int>{0x200}));
    EXPECT_EQ(values[1], (std::vector<int>{0x801, 0x801, 0x401}));
    const auto polls = f.controls(0x21, dev);
    ASSERT_FALSE(polls.empty());
    EXPECT_EQ(polls[0].requestType, 0xC0);
    EXPECT_EQ(polls[0].size, 1);
}

TEST_F(Usb, MoreThanAHundredFailedTransfersReconnectWithTheKeptSettings) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig two = Converter("1234", 1234, 2);
    const int dev = f.add(&two);
    const int h = Open("U_1234_2");
    ASSERT_EQ(U_xxx(h, 9600, 8, 'E', 1), 0);
    f.clearEvents();
    f.failTransfers(dev, -1); // hung until reset

    auto resets = [&] {
        int n = 0;
        for (const auto& e : f.events())
            n += e.kind == kFakeUsbReset;
        return n;
    };
    ASSERT_TRUE(WaitFor([&] { return SlotOf(h)->usbErrors.load() > kUsbReconnectErrors; }));
    EXPECT_EQ(resets(), 0) << "the worker only counts; port_avail reconnects";
    EXPECT_EQ(port_avail(h), 0);
    EXPECT_EQ(resets(), 1);
    EXPECT_EQ(SlotOf(h)->usbErrors.load(), 0u);

    // Reset, close, open again, then the kept line settings once more.
    const auto ev = f.events();
    size_t i = 0;
    while (i < ev.size() && ev[i].kind != kFakeUsbReset)
        ++i;
    ASSERT_LT(i + 1, ev.size());
    EXPECT_EQ(ev[i + 1].kind, kFakeUsbClose);
    std::vector<int> after;
    for (size_t k = i; k < ev.size(); ++k)
        if (ev[k].kind == kFakeUsbControl && (ev[k].request == 0x24 || ev[k].request == 0x25))
            after.push_back(ev[k].request << 16 | ev[k].value << 8 | ev[k].index);
    ASSERT_GE(after.size(), 2u);
    EXPECT_EQ(after[0], 0x24 << 16 | 1 << 8 | 103);
    EXPECT_EQ(after[1], 0x25 << 16 | 1 << 8 | 0x02);
    EXPECT_EQ(f.openHandles(), 1) << "the old handle was closed";

    // The channel carries bytes again.
    const uint8_t b[3] = {7, 8, 9};
    ASSERT_EQ(PortWrite(h, b, 3), 1);
    Bytes got;
    ASSERT_TRUE(WaitFor([&] {
        const Bytes o = f.output(dev, 1);
        got.insert(got.end(), o.begin(), o.end());
        return got.size() >= 3;
    }));
    EXPECT_EQ(got, Bytes(b, b + 3));
}

TEST_F(Usb, AFailedReconnectLeavesTheChannelWithoutDeviceAndIsTriedAgain) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig one = Converter("55", 55, 1);
    const int dev = f.add(&one);
    const int h = Open("U_55");
    ASSERT_EQ(U_xxx(h, 19200, 8, 'N', 1), 0);
    f.plug(dev, 0); // pulled out: every transfer fails
    ASSERT_TRUE(WaitFor([&] { return SlotOf(h)->usbErrors.load() > kUsbReconnectErrors; }));
    EXPECT_EQ(port_avail(h), 0);
    EXPECT_EQ(SlotOf(h)->usbDevice, nullptr);
    EXPECT_EQ(f.openHandles(), 0);
    const uint8_t b[2] = {1, 2};
    EXPECT_EQ(PortWrite(h, b, 2), 0) << "nothing to send through";
    EXPECT_EQ(PortLastError(h), ENODEV);
    EXPECT_EQ(U_xxx(h, 9600, 8, 'N', 1), 4);
    EXPECT_EQ(port_avail(h), 0);

    f.plug(dev, 1);
    f.clearEvents();
    EXPECT_EQ(port_avail(h), 0);
    ASSERT_NE(SlotOf(h)->usbDevice, nullptr) << "plugged back: the next port_avail finds it";
    const auto div = f.controls(0x24, dev);
    ASSERT_EQ(div.size(), 1u);
    EXPECT_EQ(div[0].index, 51) << "19200 restored";
    EXPECT_EQ(PortWrite(h, b, 2), 1);
}

namespace {

// The virtual controller behind a converter channel: what a send request
// carries goes to the line, its answers wait in the device.
struct LineBehindChannel {
    zelsim::Line line;
    FakeUsb* fake = nullptr;
    static void Hook(void* context, int device, int channel, const uint8_t* bytes, size_t n) {
        auto* self = static_cast<LineBehindChannel*>(context);
        std::vector<zelsim::Answer> answers;
        self->line.receive(bytes, n, zelsim::Clock::now(), answers);
        for (const auto& a : answers)
            self->fake->queueInput(device, channel, a.bytes.data(), a.bytes.size());
    }
};

} // namespace

TEST_F(Usb, IdentifyAndBlockReadOverAConverterChannel) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig two = Converter("1234", 1234, 2);
    const int dev = f.add(&two);
    LineBehindChannel behind;
    behind.fake = &f;
    behind.line.addController(3, 0x22);
    f.setHook(dev, 1, &LineBehindChannel::Hook, &behind);

    ResetProtocolState();
    SetTimeoutMultiplier(5); // sanitizer builds run slowly; waits end as soon as the bytes are there
    const int h = Open("U_1234_2");
    ASSERT_EQ(h, 1);
    ASSERT_EQ(U_xxx(h, 4800, 8, 'N', 1), 0);
    uint8_t answer[4];
    int addr = 0;
    ASSERT_EQ(Identify(h, 3, answer, &addr), 1);
    EXPECT_EQ(addr, 3);
    EXPECT_EQ(answer[1], 0x22);
    ASSERT_EQ(ReadBlockSizes(h, 3), 1);
    EXPECT_EQ(BlockSizes()[5], 69);
    uint8_t buf[256];
    ASSERT_EQ(ReadBlock(h, 3, kAddrParamLength, -1, buf, kBoardMain), 58);
    EXPECT_EQ(buf[57], FrameChecksum(buf, 57));
    EXPECT_EQ(Identify(h, 4, answer, &addr), -1) << "nobody at 4";
    PortClose(h);
    f.setHook(dev, 1, nullptr, nullptr);
    ResetProtocolState();
}

TEST_F(Usb, MissingEntryPointsAnswerMinusTwo) {
    UsbInit();
    ASSERT_TRUE(usblib::Loaded());
    EXPECT_TRUE(usblib::Has("usb_control_msg"));
    EXPECT_FALSE(usblib::Has("usb_reset_ex")) << "as the Linux library, the fake has none";
    EXPECT_EQ(usblib::ResetEx(nullptr, 3), -2);
    EXPECT_EQ(usblib::BulkRead(nullptr, 1, nullptr, 0, 10), -2);
    EXPECT_EQ(usblib::InstallServiceNp(), -2);
    EXPECT_EQ(usblib::GetVersion(), nullptr);
    EXPECT_EQ(usblib::ReapAsync(nullptr, 10), -2);
}

TEST_F(Usb, WithoutTheLibraryUsbIsAbsent) {
    FakeUsb& f = Fake();
    FakeUsbDeviceConfig two = Converter("1234", 1234, 2);
    f.add(&two);
    const std::string fakePath = std::getenv("STARTZEL_LIBUSB");
    setenv("STARTZEL_LIBUSB", (fs::absolute("no-such-dir") / "libusb-0.1.so.4").c_str(), 1);
    usblib::Unload();

    EXPECT_EQ(EnumeratePorts(), 1);
    EXPECT_EQ(PortList.count, 0);
    int h = 9;
    EXPECT_EQ(PortOpen(&h, "U_1234_1"), -1);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(PortOpen(&h, "UKEY"), -1);
    EXPECT_FALSE(usblib::Loaded());
    EXPECT_EQ(usblib::Open(nullptr), nullptr);
    EXPECT_EQ(usblib::GetBusses(), nullptr);
    EXPECT_EQ(usblib::FindDevices(), 0);
    EXPECT_EQ(usblib::FindBusses(), 0);
    EXPECT_EQ(usblib::ControlMsg(nullptr, 0xC0, 0x21, 0, 0, nullptr, 0, 1000), -2);
    EXPECT_EQ(usblib::Strerror(), nullptr);
    usblib::Init(); // nothing to call, nothing happens

    setenv("STARTZEL_LIBUSB", fakePath.c_str(), 1);
    usblib::Unload();
    ASSERT_EQ(PortOpen(&h, "U_1234_1"), 0) << "bound again";
    PortClose(h);
}

TEST(UsbRule, UdevRuleMatchesOurVendorAndManufacturer) {
    const char* src = std::getenv("ZEL_SOURCE_DIR");
    ASSERT_NE(src, nullptr);
    std::ifstream in(std::string(src) + "/data/60-startzel-usb.rules");
    ASSERT_TRUE(in);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("ATTR{idVendor}==\"16c0\""), std::string::npos);
    EXPECT_NE(text.find(std::string("ATTR{manufacturer}==\"") + ManufacturerString + "\""),
              std::string::npos);
    EXPECT_NE(text.find("GROUP=\"dialout\""), std::string::npos);
}
