// Serial ports on real pseudo-terminals, and the port list built from sysfs.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>

#include "cp866.h"
#include "port_layer.h"
#include "port_slot.h"
#include "pty_helper.h"
#include "trace_helper.h"

namespace {

namespace fs = std::filesystem;

const char* const kStart = "\r\nВход в программу\r\n";

class Serial : public ::testing::Test {
protected:
    void SetUp() override {
        std::remove("port.out");
        TraceMask = 0;
        PortLayerStart();
        ASSERT_FALSE(pty.slave.empty());
        ASSERT_EQ(PortOpen(&h, pty.slave.c_str()), 0);
        ASSERT_EQ(h, 1);
    }
    void TearDown() override {
        PortLayerStop();
        TraceMask = 0;
    }

    // The line as the tty has it, read through a second descriptor (root passes
    // the exclusive flag; the lock is advisory and not asked for here).
    termios Line() {
        termios t{};
        const int fd = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(tcgetattr(fd, &t), 0);
        close(fd);
        return t;
    }

    // Bytes the tty holds that the port layer has not taken yet.
    int DriverHolds() {
        const int fd = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        int n = -1;
        ioctl(fd, FIONREAD, &n);
        close(fd);
        return n;
    }

    Pty pty;
    int h = 0;
};

TEST_F(Serial, OpenSetsRaw4800EightNoneOne) {
    const termios t = Line();
    EXPECT_EQ(cfgetospeed(&t), B4800);
    EXPECT_EQ(cfgetispeed(&t), B4800);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CMSPAR), 0u);
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(PortKindOf(h), KindCom);
    EXPECT_EQ(PortNameOf(h), pty.slave);
}

// What the line delivered while nobody had the port open (a late answer to
// the program that used it last) is dropped when the port is opened.
TEST_F(Serial, OpeningDropsWhatTheDriverHeldBefore) {
    PortClose(h);
    // The other end keeps the line up, as the simulator does.
    const int keeper = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(keeper, 0);
    termios raw{};
    tcgetattr(keeper, &raw);
    cfmakeraw(&raw);
    tcsetattr(keeper, TCSANOW, &raw);
    ASSERT_TRUE(pty.send({0x00, 0x00, 0x41}));
    int held = 0;
    for (int i = 0; i < 500 && held < 3; ++i) {
        pollfd p{keeper, POLLIN, 0};
        poll(&p, 1, 10);
        ioctl(keeper, FIONREAD, &held);
    }
    ASSERT_EQ(held, 3);
    ASSERT_EQ(PortOpen(&h, pty.slave.c_str()), 0);
    EXPECT_EQ(port_avail(h), 0);
    ASSERT_TRUE(pty.send({0x7E}));
    EXPECT_EQ(WaitAvail(h, 1), 1);
    uint8_t b = 0;
    ASSERT_EQ(PortRead(h, &b, 1), 1);
    EXPECT_EQ(b, 0x7E);
    close(keeper);
}

TEST_F(Serial, LineSettingsAppliedAndKept) {
    // A pty keeps every setting except the character size and the parity
    // enable, which the kernel always reports as 8 bits without parity; the
    // letters are told apart by PARODD and CMSPAR.
    ASSERT_EQ(U_xxx(h, 9600, 7, 'E', 2), 0);
    termios t = Line();
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR | CSTOPB), static_cast<tcflag_t>(CSTOPB));
    PortSlot* s = SlotOf(h);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->baud, 9600u);
    EXPECT_EQ(s->dataBits, 7);
    EXPECT_EQ(s->parity, 'E');
    EXPECT_EQ(s->stopCode, 2);

    // Stop code 3 and an unknown letter leave what the line has.
    ASSERT_EQ(U_xxx(h, 0, 8, 'X', 3), 0);
    t = Line();
    EXPECT_EQ(cfgetospeed(&t), B4800) << "baud 0 means 4800";
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR | CSTOPB), static_cast<tcflag_t>(CSTOPB));
    ASSERT_EQ(U_xxx(h, 0, 8, 'M', 3), 0);
    ASSERT_EQ(U_xxx(h, 0, 8, '?', 0), 0);
    t = Line();
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR | CSTOPB), static_cast<tcflag_t>(PARODD | CMSPAR | CSTOPB));

    struct Case {
        char letter;
        tcflag_t bits;
    };
    for (const Case c : {Case{'O', PARODD}, Case{'Z', CMSPAR}, Case{'M', PARODD | CMSPAR}, Case{'S', CMSPAR},
                         Case{'E', 0}, Case{'M', PARODD | CMSPAR}, Case{'N', 0}}) {
        ASSERT_EQ(U_xxx(h, 19200, 8, c.letter, 1), 0) << c.letter;
        t = Line();
        EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR), c.bits) << c.letter;
        EXPECT_EQ(t.c_cflag & CSTOPB, 0u) << c.letter;
    }

    // Data bits other than 7 or 8 are refused and change nothing.
    EXPECT_EQ(U_xxx(h, 1200, 5, 'E', 2), EINVAL);
    EXPECT_EQ(U_xxx(h, 1200, 0, 'E', 2), EINVAL);
    t = Line();
    EXPECT_EQ(cfgetospeed(&t), B19200);
    EXPECT_EQ(t.c_cflag & (PARODD | CMSPAR | CSTOPB), 0u);
    EXPECT_EQ(s->baud, 19200u);
    EXPECT_EQ(s->parity, 'N');
}

TEST_F(Serial, EveryDialogRateWorks) {
    const std::pair<uint32_t, speed_t> rates[] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                                  {9600, B9600},   {19200, B19200},  {38400, B38400},
                                                  {57600, B57600}, {115200, B115200}};
    for (const auto& [baud, speed] : rates) {
        ASSERT_EQ(U_xxx(h, baud, 8, 'N', 1), 0) << baud;
        const termios t = Line();
        EXPECT_EQ(cfgetospeed(&t), speed) << baud;
    }
    // 256000 has no B constant and goes through BOTHER.
    EXPECT_EQ(U_xxx(h, 256000, 8, 'N', 1), 0);
    EXPECT_EQ(SlotOf(h)->baud, 256000u);
    // Back to a standard rate from a custom one.
    ASSERT_EQ(U_xxx(h, 9600, 8, 'N', 1), 0);
    const termios t = Line();
    EXPECT_EQ(cfgetospeed(&t), B9600);
}

TEST_F(Serial, BytesBothWaysAndWaitingCount) {
    const uint8_t frame[4] = {0x60, 0x01, 0x48, 0x68};
    ASSERT_EQ(PortWrite(h, frame, 4), 1);
    ASSERT_EQ(PortWriteByte(h, 0x31), 1);
    EXPECT_EQ(pty.receive(5), (std::vector<uint8_t>{0x60, 0x01, 0x48, 0x68, 0x31}));

    // Every byte value passes untouched (raw line: no CR/LF mapping, no flow control).
    std::vector<uint8_t> all(256);
    for (int i = 0; i < 256; ++i)
        all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
    ASSERT_EQ(PortWrite(h, all.data(), 256), 1);
    EXPECT_EQ(pty.receive(256), all);
    ASSERT_TRUE(pty.send(all));
    ASSERT_EQ(WaitAvail(h, 256), 256);
    std::vector<uint8_t> got(256);
    ASSERT_EQ(PortRead(h, got.data(), 256), 1);
    EXPECT_EQ(got, all);

    ASSERT_TRUE(pty.send({9, 8, 7}));
    EXPECT_EQ(WaitAvail(h, 3), 3);
    EXPECT_EQ(port_avail(h), 3) << "asking again moves nothing";
    uint8_t two[2];
    ASSERT_EQ(PortRead(h, two, 2), 1);
    EXPECT_EQ(port_avail(h), 1);
    EXPECT_EQ(two[0], 9);
}

TEST_F(Serial, WaitInputWakesOnBytesAndReturnsZeroAfterItsBound) {
    EXPECT_EQ(PortWaitInput(h, 30), 0);
    std::thread sender([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        pty.send({1, 2, 3});
    });
    int n = PortWaitInput(h, 20000);
    sender.join();
    // The tty may hand the bytes over in pieces; the first wake sees at least one.
    ASSERT_GE(n, 1);
    n = WaitAvail(h, 3);
    EXPECT_EQ(n, 3);
    EXPECT_EQ(PortWaitInput(h, 0), 3) << "bytes already waiting: no wait";
    uint8_t buf[3];
    ASSERT_EQ(PortRead(h, buf, 3), 1);
    EXPECT_EQ(PortWaitInput(h, -5), 0);

    // A hung-up line (the other end gone) must not make the wait spin or hang.
    pty.closeMaster();
    EXPECT_EQ(PortWaitInput(h, 50), 0);
    EXPECT_EQ(port_avail(h), 0);
}

TEST_F(Serial, SecondOpenIsBusyAndLeavesNoSlotInUse) {
    int h2 = 99;
    EXPECT_EQ(PortOpen(&h2, pty.slave.c_str()), EBUSY);
    EXPECT_EQ(h2, 0);
    EXPECT_EQ(PortKindOf(2), -1);
    int stub = 0;
    ASSERT_EQ(PortOpen(&stub, "STUB"), 0);
    EXPECT_EQ(stub, 2) << "the failed open used no slot";

    // Another process-level opener is kept out by the lock as well.
    const int other = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    EXPECT_NE(flock(other, LOCK_EX | LOCK_NB), 0);
    close(other);

    // Closing the port lets it be opened again.
    EXPECT_EQ(PortClose(h), 1);
    ASSERT_EQ(PortOpen(&h2, pty.slave.c_str()), 0);
    EXPECT_EQ(h2, 1);
}

TEST_F(Serial, PurgeDropsRingAndDriverBytesWithoutTracing) {
    ASSERT_TRUE(pty.send({1, 2, 3}));
    ASSERT_EQ(WaitAvail(h, 3), 3);
    ASSERT_TRUE(pty.send({4, 5}));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (DriverHolds() < 2 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    ASSERT_EQ(DriverHolds(), 2);

    PortPurge(h);
    EXPECT_EQ(DriverHolds(), 0);
    EXPECT_EQ(port_avail(h), 0);
    PortLayerStop();
    EXPECT_EQ(ReadTrace(), kStart);
}

TEST_F(Serial, TraceRecordsByteForByte) {
    TraceMask = 1;
    // purge: ring first, then what the driver still held
    ASSERT_TRUE(pty.send({0x01, 0x02, 0x03}));
    ASSERT_EQ(WaitAvail(h, 3), 3);
    ASSERT_TRUE(pty.send({0xFE}));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (DriverHolds() < 1 && std::chrono::steady_clock::now() < end)
        std::this_thread::yield();
    PortPurge(h);
    PortPurge(h); // nothing waiting: nothing written

    const uint8_t frame[4] = {0x60, 0x01, 0x48, 0x68};
    ASSERT_EQ(PortWrite(h, frame, 4), 1);
    ASSERT_TRUE(pty.send({0xA5, 0x0F}));
    ASSERT_EQ(WaitAvail(h, 2), 2);
    uint8_t buf[2];
    ASSERT_EQ(PortRead(h, buf, 2), 1);

    // A failed write (the other end hung up) is traced with the errno as its code.
    pty.closeMaster();
    EXPECT_EQ(PortWriteByte(h, 0x31), 0);
    PortSlot* s = SlotOf(h);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->writeErrorNoted, 1);
    EXPECT_EQ(PortLastError(h), EIO);
    EXPECT_EQ(PortWriteByte(h, 0x32), 0);
    PortLayerStop();

    EXPECT_EQ(ReadTrace(), std::string(kStart) +
                               "\n DD.MM.YY (hh:mm:ss:mmm) Очистка буфера порта 1<> 01 02 03 \n"
                               "\n DD.MM.YY (hh:mm:ss:mmm) Очистка буфера порта 1<> FE \n"
                               "\n\n DD.MM.YY (hh:mm:ss:mmm) Запись (порт 1)-> 60 01 48 68 \n"
                               "\n DD.MM.YY (hh:mm:ss:mmm) Чтение  порта 1<- A5 0F \n"
                               "\n\n DD.MM.YY (hh:mm:ss:mmm) Запись (порт 1)-> 31 \n"
                               "\r\n DD.MM.YY (hh:mm:ss:mmm) Ошибка записи в порт 1<> (код 5)"
                               "\n\n DD.MM.YY (hh:mm:ss:mmm) Запись (порт 1)-> 32 \n"
                               "\r\n DD.MM.YY (hh:mm:ss:mmm) Ошибка записи в порт 1<> (код 5)"
                               "\r\nОшибок паритета=0, пакетов( стоп-бит)=0\r\n");
}

TEST_F(Serial, StopClosesThePortAndReleasesTheLock) {
    PortLayerStop();
    const int fd = open(pty.slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
    close(fd);
}

TEST(SerialNames, PathsFromNames) {
    EXPECT_EQ(ComPathOf("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ComPathOf("COM10"), "/dev/ttyS9");
    EXPECT_EQ(ComPathOf("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(ComPathOf("/dev/serial/by-id/usb-x"), "/dev/serial/by-id/usb-x");
    EXPECT_EQ(ComPathOf("COM0"), "/dev/COM0");
    EXPECT_EQ(ComPathOf("COM"), "/dev/COM");
    EXPECT_EQ(ComPathOf("COM1a"), "/dev/COM1a");
    EXPECT_EQ(ComPathOf("COM99999999999"), "/dev/COM99999999999") << "no overflow into a small number";
}

class Enumeration : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::current_path() / "fake-sys";
        fs::remove_all(root);
        fs::create_directories(root / "class" / "tty");
        PortSetSysfsRoot(root.string());
    }
    void TearDown() override {
        PortSetSysfsRoot("/sys");
        fs::remove_all(root);
    }
    void AddTty(const std::string& name, bool device = true, const char* type = nullptr) {
        const fs::path dir = root / "class" / "tty" / name;
        fs::create_directories(dir);
        if (device) fs::create_directories(dir / "device");
        if (type) std::ofstream(dir / "type") << type << "\n";
    }
    std::vector<std::string> Listed() {
        std::vector<std::string> names;
        for (int i = 0; i < PortList.count; ++i)
            names.emplace_back(PortList.names[i]);
        return names;
    }
    fs::path root;
};

TEST_F(Enumeration, RealPortsSorted) {
    AddTty("COM10");
    AddTty("COM2");
    AddTty("COM1");
    AddTty("ttyUSB0");
    AddTty("ttyS1", true, "4");
    AddTty("ttyS5", true, "0"); // a legacy slot without a UART
    AddTty("tty0", false);      // a console: no device behind it
    AddTty("ptmx", false);
    EXPECT_EQ(EnumeratePorts(), 1);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"COM1", "COM2", "COM10", "ttyS1", "ttyUSB0"}));
    for (int i = 0; i < PortList.count; ++i)
        EXPECT_EQ(PortList.info[i].deviceType, 0);
}

TEST_F(Enumeration, SixteenEntriesAndNineteenCharacters) {
    for (int i = 1; i <= 20; ++i)
        AddTty("COM" + std::to_string(i));
    EXPECT_EQ(EnumeratePorts(), 1);
    ASSERT_EQ(PortList.count, 16);
    EXPECT_EQ(Listed().front(), "COM1");
    EXPECT_EQ(Listed().back(), "COM16");

    fs::remove_all(root / "class" / "tty");
    fs::create_directories(root / "class" / "tty");
    AddTty("ttyUSB_abcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(EnumeratePorts(), 1);
    EXPECT_EQ(Listed(), (std::vector<std::string>{"ttyUSB_abcdefghijkl"}));
}

TEST_F(Enumeration, MissingTreeGivesAnEmptyList) {
    PortSetSysfsRoot((root / "nowhere").string());
    PortList.count = 3;
    EXPECT_EQ(EnumeratePorts(), 1);
    EXPECT_EQ(PortList.count, 0);
}

} // namespace

namespace {

// The far end of the pty as an adapter that returns what it hears: reads n
// bytes on its own thread and sends back what `reply` makes of them.
std::thread SerialEchoer(Pty& pty, size_t n,
                         std::function<std::vector<uint8_t>(std::vector<uint8_t>)> reply) {
    return std::thread([&pty, n, reply] {
        const std::vector<uint8_t> heard = pty.receive(n);
        pty.send(reply(heard));
    });
}

} // namespace

// With the echo setting on, each write takes its own bytes back off the input;
// a different or missing echo is a fault and what came stays to be read.
TEST_F(Serial, EchoSettingTakesTheEchoOffAndFlagsADifferentOrMissingOne) {
    const std::vector<uint8_t> frame{0x60, 0x01, 0x48, 0x68};
    PortSetEcho(h, true);
    EXPECT_TRUE(PortEchoOf(h));

    std::thread t = SerialEchoer(pty, 4, [](std::vector<uint8_t> b) {
        b.push_back(0x3A); // the answer follows the echo
        return b;
    });
    EXPECT_EQ(PortWrite(h, frame.data(), 4), 1);
    t.join();
    EXPECT_EQ(PortEchoFindingOf(h), EchoMatched);
    ASSERT_EQ(WaitAvail(h, 1), 1);
    uint8_t answer = 0;
    ASSERT_EQ(PortRead(h, &answer, 1), 1);
    EXPECT_EQ(answer, 0x3A);

    t = SerialEchoer(pty, 4, [](std::vector<uint8_t> b) {
        b[2] ^= 0x10; // a byte changed on the line
        return b;
    });
    EXPECT_EQ(PortWrite(h, frame.data(), 4), kWriteEchoFault);
    t.join();
    EXPECT_EQ(PortEchoFindingOf(h), EchoMismatch);
    EXPECT_EQ(PortLastError(h), EPROTO);
    EXPECT_EQ(port_avail(h), 4); // left for the exchange to read as a bad answer
    PortPurge(h);

    // Nothing comes back at all.
    EXPECT_EQ(PortWrite(h, frame.data(), 4), kWriteEchoFault);
    EXPECT_EQ(PortEchoFindingOf(h), EchoMissing);
    EXPECT_EQ(pty.receive(4), frame);
}

// With the setting off, an adapter that echoes is noticed at the first frame,
// and then no write passes until the setting is on.
TEST_F(Serial, EchoNoticedAtTheFirstFrameWithTheSettingOff) {
    const std::vector<uint8_t> frame{0x60, 0x01, 0x21, 0xBA};
    std::thread t = SerialEchoer(pty, 4, [](std::vector<uint8_t> b) { return b; });
    EXPECT_EQ(PortWrite(h, frame.data(), 4), kWriteEchoFault);
    t.join();
    EXPECT_EQ(PortEchoFindingOf(h), EchoDetected);
    EXPECT_EQ(port_avail(h), 0); // the echo itself is taken off
    EXPECT_EQ(PortWrite(h, frame.data(), 4), kWriteEchoFault);
    EXPECT_EQ(pty.receive(4), frame);

    PortSetEcho(h, true);
    t = SerialEchoer(pty, 4, [](std::vector<uint8_t> b) { return b; });
    EXPECT_EQ(PortWrite(h, frame.data(), 4), 1);
    t.join();

    // A line that does not echo: the first frame is looked at once, then writes go straight out.
    PortClose(h);
    ASSERT_EQ(PortOpen(&h, pty.slave.c_str()), 0);
    EXPECT_EQ(PortWrite(h, frame.data(), 4), 1);
    EXPECT_EQ(PortEchoFindingOf(h), EchoAbsent);
    EXPECT_EQ(PortWrite(h, frame.data(), 4), 1);
    EXPECT_EQ(pty.receive(8).size(), 8u);
}

// A write returns when the driver has the bytes; PortWaitSent returns when they
// have left: on a pty, after their wire time at the line's settings.
TEST_F(Serial, WaitSentLastsAtLeastTheWireTime) {
    ASSERT_EQ(U_xxx(h, 4800, 8, 'N', 2), 0);
    const std::vector<uint8_t> bytes(44, 0x55); // 44 x 11 bits (two stop bits) at 4800 baud: 100.8 ms
    ASSERT_EQ(PortWriteByte(h, 0x00), 1);       // the first frame is looked at for an echo
    EXPECT_EQ(pty.receive(1).size(), 1u);
    const auto t0 = std::chrono::steady_clock::now();
    ASSERT_EQ(PortWrite(h, bytes.data(), 44), 1);
    EXPECT_EQ(PortWaitSent(h), 1);
    const auto waited = std::chrono::steady_clock::now() - t0;
    EXPECT_GE(std::chrono::duration_cast<std::chrono::microseconds>(waited).count(), 100'800);
    EXPECT_EQ(pty.receive(44).size(), 44u);
    EXPECT_EQ(PortWaitSent(0), 0);
}

// Ptys have neither low latency nor kernel RS-485: opening works regardless,
// the refusal is ENOTTY ("not supported"), and other kinds say so too.
TEST_F(Serial, LowLatencyAndRs485WhereThePortHasNone) {
    EXPECT_EQ(PortSetRs485(h, true), ENOTTY);
    EXPECT_EQ(PortRs485Supported(h), 0);
    EXPECT_EQ(PortRs485SupportedAt(pty.slave.c_str()), 0);
    EXPECT_LT(PortRs485SupportedAt("/nonexistent/ttyS99"), 0);
    EXPECT_EQ(PortLowLatency(h), -1);
    PortClose(h); // nothing to put back, nothing goes wrong
    ASSERT_EQ(PortOpen(&h, pty.slave.c_str()), 0);
    int stub = 0;
    ASSERT_EQ(PortOpen(&stub, "STUB"), 0);
    EXPECT_EQ(PortSetRs485(stub, true), EINVAL);
    EXPECT_EQ(PortRs485Supported(stub), -1);
    EXPECT_EQ(PortSetRs485(0, true), 2);
    EXPECT_EQ(PortWaitSent(stub), 1);
}
