// The port table, the rings, the stub, the trace and the worker's start and stop.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "cp866.h"
#include "port_layer.h"
#include "port_slot.h"
#include "pty_helper.h"
#include "trace_helper.h"

#include <sys/stat.h>

namespace {

class PortTable : public ::testing::Test {
protected:
    void SetUp() override {
        std::remove("port.out");
        TraceMask = 0;
        PortLayerStart();
    }
    void TearDown() override {
        PortLayerStop();
        TraceMask = 0;
    }
};

TEST(PortLayerLifecycle, OpenBeforeStartGives9AndStartStopRepeat) {
    int h = 5;
    EXPECT_EQ(PortOpen(&h, "STUB"), 9);
    EXPECT_EQ(h, 0);
    for (int round = 0; round < 3; ++round) {
        PortLayerStart();
        PortLayerStart(); // a second start does nothing
        EXPECT_TRUE(PortLayerRunning());
        ASSERT_EQ(PortOpen(&h, "STUB"), 0);
        EXPECT_EQ(h, 1) << "the table starts empty every time";
        PortLayerStop(); // closes what is still open
        PortLayerStop();
        EXPECT_FALSE(PortLayerRunning());
        EXPECT_EQ(PortKindOf(1), -1);
    }
}

TEST_F(PortTable, HandlesAndTableLimits) {
    int h = -1;
    EXPECT_EQ(PortOpen(&h, ""), 3);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(PortOpen(&h, nullptr), 3);

    std::vector<int> handles;
    for (int i = 0; i < kPortSlots; ++i) {
        ASSERT_EQ(PortOpen(&h, "STUB"), 0);
        handles.push_back(h);
    }
    for (int i = 0; i < kPortSlots; ++i)
        EXPECT_EQ(handles[static_cast<size_t>(i)], i + 1);
    h = 77;
    EXPECT_EQ(PortOpen(&h, "STUB"), 1) << "33rd open";
    EXPECT_EQ(h, 0);

    // A closed slot is the first free one again.
    EXPECT_EQ(PortClose(7), 1);
    EXPECT_EQ(PortKindOf(7), -1);
    ASSERT_EQ(PortOpen(&h, "STUB"), 0);
    EXPECT_EQ(h, 7);
    EXPECT_EQ(PortClose(7), 1);
    EXPECT_EQ(PortClose(7), 1) << "closing a free slot does nothing";
}

TEST_F(PortTable, HandleZeroAndBadHandlesDoNothing) {
    uint8_t buf[4] = {1, 2, 3, 4};
    for (int bad : {0, -1, 33, 1000, 5 /* free slot */}) {
        EXPECT_EQ(PortClose(bad), 1);
        EXPECT_EQ(PortWrite(bad, buf, 4), 0);
        EXPECT_EQ(PortWriteByte(bad, 0x31), 0);
        EXPECT_EQ(port_avail(bad), 0);
        EXPECT_EQ(PortRead(bad, buf, 1), 0);
        EXPECT_EQ(PortWaitInput(bad, 50), 0);
        PortPurge(bad);
        EXPECT_EQ(U_xxx(bad, 9600, 8, 'N', 1), 2);
        EXPECT_EQ(PortKindOf(bad), -1);
        EXPECT_EQ(PortNameOf(bad), "");
    }
}

TEST_F(PortTable, KindsChosenByName) {
    int h = 0;
    ASSERT_EQ(PortOpen(&h, "STUB"), 0);
    EXPECT_EQ(PortKindOf(h), KindStub);
    EXPECT_EQ(PortNameOf(h), "STUB");

    // Without the USB library a USB name fails with -1 and leaves no slot in use.
    EXPECT_EQ(PortOpen(&h, "UKEY"), -1);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(PortOpen(&h, "U_1234_2"), -1);
    EXPECT_EQ(PortKindOf(2), -1);

    // Anything else that is not a TCP name is a serial port: the OS error of the
    // failed open comes back and the slot stays free.
    EXPECT_EQ(PortOpen(&h, "/nonexistent/ttyX"), ENOENT);
    EXPECT_EQ(PortOpen(&h, "STUBS"), ENOENT) << "only exactly STUB is the stub";
    EXPECT_EQ(PortKindOf(2), -1);
    ASSERT_EQ(PortOpen(&h, "STUB"), 0);
    EXPECT_EQ(h, 2);

    // A name longer than the slot keeps is still opened by its full path.
    const std::string longName = "/" + std::string(300, 'x');
    EXPECT_EQ(PortOpen(&h, longName.c_str()), ENAMETOOLONG);
}

TEST_F(PortTable, StubSwallowsEverythingAndNeverHasInput) {
    int h = 0;
    ASSERT_EQ(PortOpen(&h, "STUB"), 0);
    const uint8_t frame[4] = {0x60, 0x01, 0x48, 0x68};
    EXPECT_EQ(PortWrite(h, frame, 4), 1);
    EXPECT_EQ(PortWriteByte(h, 0x31), 1);
    EXPECT_EQ(PortWrite(h, frame, 0), 1);
    EXPECT_EQ(PortWrite(h, nullptr, 3), 0) << "no bytes to send";
    EXPECT_EQ(PortWrite(h, frame, -1), 0);
    EXPECT_EQ(port_avail(h), 0);
    uint8_t b = 0;
    EXPECT_EQ(PortRead(h, &b, 1), 0);
    EXPECT_EQ(PortWaitInput(h, 20), 0);
    PortPurge(h);
    EXPECT_EQ(U_xxx(h, 9600, 8, 'E', 2), 0);
}

TEST(ByteRingTest, WrapsAndKeepsOrder) {
    ByteRing ring;
    ring.allocate();
    uint8_t out[777];
    // 30 passes of 777 bytes take the indexes round the 10000-byte ring twice.
    uint32_t next = 0, expect = 0;
    for (int pass = 0; pass < 30; ++pass) {
        uint8_t in[777];
        for (uint8_t& x : in)
            x = static_cast<uint8_t>(next++ % 253);
        ASSERT_EQ(ring.put(in, 777), 0);
        ASSERT_EQ(ring.waiting(), 777);
        ring.peek(out, 777);
        ring.drop(777);
        for (uint8_t x : out)
            ASSERT_EQ(x, expect++ % 253);
        ASSERT_EQ(ring.waiting(), 0);
        ASSERT_LT(ring.write.load(), kRingSize);
    }
}

TEST(ByteRingTest, OverrunDropsNewBytesAndKeepsUnreadOnes) {
    ByteRing ring;
    ring.allocate();
    std::vector<uint8_t> in(10005);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<uint8_t>(i);
    EXPECT_EQ(ring.put(in.data(), 10005), 6);
    EXPECT_EQ(ring.waiting(), kRingSize - 1);
    EXPECT_EQ(ring.space(), 0);
    EXPECT_EQ(ring.put(in.data(), 1), 1);
    std::vector<uint8_t> out(kRingSize - 1);
    ring.peek(out.data(), kRingSize - 1);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), in.begin())) << "the oldest bytes survive";
    // Asking for more than waits is clamped, never reads stale memory.
    ring.drop(20000);
    EXPECT_EQ(ring.waiting(), 0);
}

TEST_F(PortTable, ReadTakesAllOrNothingAndRingWrapsThroughThePort) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    int h = 0;
    ASSERT_EQ(PortOpen(&h, pty.slave.c_str()), 0);

    ASSERT_TRUE(pty.send({1, 2, 3, 4}));
    ASSERT_EQ(WaitAvail(h, 4), 4);
    uint8_t buf[5] = {};
    EXPECT_EQ(PortRead(h, buf, 5), 0);
    EXPECT_EQ(port_avail(h), 4) << "short input stays waiting";
    ASSERT_TRUE(pty.send({5}));
    ASSERT_EQ(WaitAvail(h, 5), 5);
    ASSERT_EQ(PortRead(h, buf, 5), 1);
    EXPECT_EQ(std::vector<uint8_t>(buf, buf + 5), (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    EXPECT_EQ(port_avail(h), 0);

    // 12 chunks of 1000 bytes: the indexes pass 10000 and restart at 0.
    for (int chunk = 0; chunk < 12; ++chunk) {
        const std::vector<uint8_t> data = Pattern(1000, static_cast<uint8_t>(chunk));
        ASSERT_TRUE(pty.send(data));
        ASSERT_EQ(WaitAvail(h, 1000), 1000) << "chunk " << chunk;
        std::vector<uint8_t> got(1000);
        ASSERT_EQ(PortRead(h, got.data(), 1000), 1);
        ASSERT_EQ(got, data) << "chunk " << chunk;
        EXPECT_EQ(port_avail(h), 0);
    }
    EXPECT_EQ(PortLayerCounters().overrunDropped, 0u);
}

TEST_F(PortTable, OverrunKeepsTheOldestAndCountsTheRest) {
    Pty pty;
    int h = 0;
    ASSERT_EQ(PortOpen(&h, pty.slave.c_str()), 0);
    const std::vector<uint8_t> data = Pattern(12000);
    // Feed in pieces the pty can hold, moving them into the ring as they come.
    size_t sent = 0;
    while (sent < data.size()) {
        const size_t n = std::min<size_t>(2000, data.size() - sent);
        ASSERT_TRUE(pty.send(std::vector<uint8_t>(data.begin() + static_cast<long>(sent),
                                                  data.begin() + static_cast<long>(sent + n))));
        sent += n;
        const int want = static_cast<int>(std::min<size_t>(sent, kRingSize - 1));
        ASSERT_EQ(WaitAvail(h, want), want);
    }
    // Let the pty deliver the rest: the dropped count reaches 2001.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (PortLayerCounters().overrunDropped < 2001 && std::chrono::steady_clock::now() < end)
        PortWaitInput(h, 10);
    EXPECT_EQ(port_avail(h), kRingSize - 1);
    EXPECT_EQ(PortLayerCounters().overrunDropped, 2001u);
    std::vector<uint8_t> got(kRingSize - 1);
    ASSERT_EQ(PortRead(h, got.data(), kRingSize - 1), 1);
    EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin())) << "unread bytes are never overwritten";
    EXPECT_EQ(PortRead(h, got.data(), 10000), 0) << "more than a ring holds can never be read";
}

TEST_F(PortTable, TraceRecordsAndCountersByteForByte) {
    int h1 = 0, h2 = 0;
    ASSERT_EQ(PortOpen(&h1, "STUB"), 0);
    ASSERT_EQ(PortOpen(&h2, "STUB"), 0);
    const uint8_t frame[4] = {0x60, 0x01, 0x48, 0x68};
    EXPECT_EQ(PortWrite(h1, frame, 4), 1); // tracing off: nothing
    TraceMask = 1;                         // handle 1 only
    EXPECT_EQ(PortWrite(h1, frame, 4), 1);
    EXPECT_EQ(PortWriteByte(h1, 0xAB), 1);
    EXPECT_EQ(PortWrite(h2, frame, 4), 1); // handle 2 is not traced
    PortLayerStop();

    EXPECT_EQ(ReadTrace(), "\r\nВход в программу\r\n"
                           "\n\n DD.MM.YY (hh:mm:ss:mmm) Запись (порт 1)-> 60 01 48 68 \n"
                           "\n\n DD.MM.YY (hh:mm:ss:mmm) Запись (порт 1)-> AB \n"
                           "\r\nОшибок паритета=0, пакетов( стоп-бит)=0\r\n");

    // The file is appended to; with tracing off the counters are not written.
    TraceMask = 0;
    PortLayerStart();
    PortLayerStop();
    const std::string again = ReadTrace();
    const std::string tail = "стоп-бит)=0\r\n\r\nВход в программу\r\n";
    ASSERT_GE(again.size(), tail.size());
    EXPECT_EQ(again.substr(again.size() - tail.size()), tail);
}

// A trace of any length stays within twice the rotation size: the full file
// moves to port.out.1 (replacing the one before) and a new one begins. A FIFO
// in the trace's place is not written to (opening it would block).
TEST_F(PortTable, TraceRotatesAndRefusesAFifo) {
    PortLayerStop();
    std::remove("port.out.1");
    PortSetTraceRotateBytes(1000);
    PortLayerStart();
    int h = 0;
    ASSERT_EQ(PortOpen(&h, "STUB"), 0);
    TraceMask = 1;
    const uint8_t frame[40] = {};
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(PortWrite(h, frame, 40), 1);
    PortLayerStop();
    PortSetTraceRotateBytes(kTraceRotateBytes);
    TraceMask = 0;
    std::ifstream kept("port.out.1", std::ios::binary | std::ios::ate);
    EXPECT_GE(static_cast<long>(kept.tellg()), 1000);
    EXPECT_LT(static_cast<long>(kept.tellg()), 1200);
    std::ifstream now("port.out", std::ios::binary | std::ios::ate);
    EXPECT_LT(static_cast<long>(now.tellg()), 1200);
    EXPECT_NE(ReadTrace().find("Запись (порт 1)-> 00 00"), std::string::npos);

    std::remove("port.out");
    std::remove("port.out.1");
    ASSERT_EQ(mkfifo("port.out", 0600), 0);
    PortLayerStart(); // returns: the FIFO is left alone
    TraceMask = 1;
    ASSERT_EQ(PortOpen(&h, "STUB"), 0);
    EXPECT_EQ(PortWrite(h, frame, 4), 1);
    PortLayerStop();
    TraceMask = 0;
    std::remove("port.out");
    PortLayerStart();
}

TEST_F(PortTable, TraceFileIsCp866) {
    PortLayerStop();
    std::ifstream f("port.out", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    // "Вход в программу" in code page 866
    EXPECT_EQ(raw, "\r\n\x82\xE5\xAE\xA4 \xA2 \xAF\xE0\xAE\xA3\xE0\xA0\xAC\xAC\xE3\r\n");
}

TEST(Cp866, LettersAsciiAndEverythingElse) {
    EXPECT_EQ(Utf8ToCp866("АЯаяпрЁё"), "\x80\x9F\xA0\xEF\xAF\xE0\xF0\xF1");
    EXPECT_EQ(Utf8ToCp866("Port 1<> (код 5)\r\n"), "Port 1<> (\xAA\xAE\xA4 5)\r\n");
    EXPECT_EQ(Utf8ToCp866("€ü"), "??") << "outside the mapped letters";
    EXPECT_EQ(Utf8ToCp866("\xD0"), "?") << "truncated sequence";
    EXPECT_EQ(Utf8ToCp866("\xD0\x41"), "?A") << "broken sequence resumes at the next byte";
    EXPECT_EQ(Utf8ToCp866("\x80\xFF"), "??");
    EXPECT_EQ(Utf8ToCp866("\xC0\x80"), "?") << "overlong encoding";
    const std::string all = "АБВГДЕЁЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯабвгдеёжзийклмнопрстуфхцчшщъыьэюя 09azAZ";
    EXPECT_EQ(Cp866ToUtf8(Utf8ToCp866(all)), all);
    EXPECT_EQ(Cp866ToUtf8("\xB0\xF2"), "??");
}

TEST_F(PortTable, WorkerParksWhenNoUsbChannelIsOpen) {
    // No USB channel: the worker sleeps on its condition, parked, instead of
    // ticking; a pause request is honoured at once.
    EXPECT_TRUE(WorkerWaitParked(5000));
    const uint64_t before = WorkerWakeups();
    int h = 0;
    ASSERT_EQ(PortOpen(&h, "STUB"), 0);
    EXPECT_EQ(PortWaitInput(h, 60), 0); // the ports are used for a while
    WorkerRequestPause(false);
    WorkerUsbSlotsChanged();
    EXPECT_TRUE(WorkerWaitParked(5000));
    EXPECT_EQ(PortWaitInput(h, 30), 0);
    EXPECT_EQ(WorkerWakeups(), before) << "nothing to pump: the worker stays asleep";
    WorkerRequestPause(true);
    EXPECT_TRUE(WorkerWaitParked(5000));
}

TEST(PortClock, InjectableAndRestorable) {
    int64_t fake = 1000;
    PortSetClock([&] { return fake; });
    EXPECT_EQ(PortClockMs(), 1000);
    fake += 60000;
    EXPECT_EQ(PortClockMs(), 61000);
    PortSetClock(nullptr);
    const int64_t a = PortClockMs();
    const int64_t b = PortClockMs();
    EXPECT_GE(b, a);
}

} // namespace
