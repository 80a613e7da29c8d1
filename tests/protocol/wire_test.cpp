// The protocol on a line that behaves like the wire: the virtual controller
// paced at a real baud rate and busy for a while after each frame, an adapter
// that echoes, a controller that restarts without a word.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "block_transfer.h"
#include "frames.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "virtual_controller.h"

namespace {

using WireBytes = std::vector<uint8_t>;

class Wire : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PortLayerStart(); }
    static void TearDownTestSuite() { PortLayerStop(); }
    void SetUp() override {
        ResetProtocolState();
        ctrl = &line.addController(1);
    }
    void TearDown() override {
        if (h) PortClose(h);
        if (pty) pty->stop();
        ResetProtocolState();
    }
    void open(int baud) {
        pty = std::make_unique<zelsim::PtyTransport>(line, baud);
        ASSERT_TRUE(pty->start());
        ASSERT_EQ(PortOpen(&h, pty->slavePath().c_str()), 0);
        ASSERT_EQ(U_xxx(h, static_cast<uint32_t>(baud ? baud : 4800), 8, 'N', 1), 0);
    }
    void busy(int ms) {
        zelsim::Faults f;
        f.minGapMs = ms;
        ctrl->setFaults(f);
    }
    static WireBytes Pattern(size_t n, uint8_t seed) {
        WireBytes b(n);
        for (size_t i = 0; i < n; ++i)
            b[i] = static_cast<uint8_t>(seed + i * 7);
        return b;
    }

    zelsim::Line line;
    zelsim::VirtualController* ctrl = nullptr;
    std::unique_ptr<zelsim::PtyTransport> pty;
    int h = 0;
};

} // namespace

// A controller that needs 45 ms after a frame before the next: the 50 ms before
// each continuation and the 20 ms after each image command count from when the
// frame has left the wire, so the writes go through at 4800 baud.
TEST_F(Wire, PausesCountFromWhenTheFrameHasLeftTheWire) {
    open(4800);
    busy(45);
    const WireBytes settings = Pattern(20, 3);
    ASSERT_EQ(WriteBlock(h, 1, 0x1000, 20, settings.data(), kBoardMain), 1);
    EXPECT_EQ(ctrl->peek(0, 0x1000, 20), settings);
    const WireBytes regs = Pattern(69, 11); // 40 + 29 bytes: two continuations
    ASSERT_EQ(WriteImageBlock(h, 1, 0x2000, 69, regs.data()), 1);
    EXPECT_EQ(ctrl->peek(0, 0x2000, 69), regs);
    int continuations = 0;
    for (const zelsim::ReceivedFrame& f : line.frames()) {
        if (f.kind != zelsim::FrameKind::Continuation) continue;
        ++continuations;
        EXPECT_FALSE(f.refused);
    }
    EXPECT_EQ(continuations, 3);

    // Counted from the write instead, the continuation comes while the address
    // frame is still on the wire, and the busy controller drops it.
    line.clearFrames();
    const auto cmd = CommandFrame(1, kCmdWrite);
    const auto addr = AddressFrame(0x1100, 0x42, 3);
    const WireBytes data{0x42, 0x43, 0x44};
    const WireBytes cont = ContinuationFrame(data.data(), 3);
    ASSERT_EQ(PortWrite(h, cmd.data(), 4), 1);
    ASSERT_EQ(PortWrite(h, addr.data(), 8), 1);
    ASSERT_EQ(PortWrite(h, cont.data(), 3), 1);
    ASSERT_TRUE(line.waitForFrames(3, std::chrono::seconds(5)));
    EXPECT_TRUE(line.frames().back().refused);
    EXPECT_EQ(PortWaitInput(h, 300), 0); // no answer
    EXPECT_NE(ctrl->peek(0, 0x1100, 3), data);
}

// Two-wire adapters return every byte sent. With the echo setting on, every
// exchange works as on a quiet line; with it off, none reports a false success.
TEST_F(Wire, EchoingAdapterWithAndWithoutTheSetting) {
    line.setEcho(true);
    ctrl->setIdentText("TRK");
    for (int baud : {0, 9600}) {
        SCOPED_TRACE(baud);
        open(baud);
        PortSetEcho(h, true);
        uint8_t id[4];
        int addr = 0;
        EXPECT_EQ(Identify(h, 1, id, &addr), 1);
        uint8_t text[kIdentTextSize];
        EXPECT_EQ(ReadIdentText(h, 1, text), 1);
        EXPECT_STREQ(reinterpret_cast<const char*>(text), "TRK");
        EXPECT_EQ(ReadBlockSizes(h, 1), 1);
        EXPECT_EQ(BlockSizes()[3], 20);
        const WireBytes block = Pattern(41, static_cast<uint8_t>(baud)); // 40 + 1: both answer shapes
        ASSERT_EQ(WriteBlock(h, 1, 0x5000, 41, block.data(), kBoardMain), 1);
        EXPECT_EQ(ctrl->peek(0, 0x5000, 41), block);
        uint8_t back[41] = {};
        ASSERT_EQ(ReadBlock(h, 1, 0x5000, 41, back, kBoardMain), 41);
        EXPECT_EQ(WireBytes(back, back + 41), block);
        EXPECT_EQ(RunErrorQuery(h, 1), 1);
        EXPECT_EQ(PortEchoFindingOf(h), EchoMatched);
        PortClose(h);
        h = 0;
        pty->stop();
    }

    open(0);
    uint8_t id[4];
    int addr = 0;
    EXPECT_EQ(Identify(h, 1, id, &addr), -2); // the request came back: a bad answer
    EXPECT_EQ(PortEchoFindingOf(h), EchoDetected);
    uint8_t buf[8];
    EXPECT_EQ(ReadBlock(h, 1, 0x3040, 7, buf, kBoardMain), -1);
    const WireBytes before = ctrl->peek(0, 0x5000, 4);
    const WireBytes other{9, 9, 9, 9};
    EXPECT_EQ(WriteBlock(h, 1, 0x5000, 4, other.data(), kBoardMain), -1);
    EXPECT_EQ(ctrl->peek(0, 0x5000, 4), before);
}

// The setting on, but the adapter does not echo: every exchange fails as with a
// bad answer rather than taking the controller's answer for the echo.
TEST_F(Wire, EchoSettingOnAQuietLine) {
    open(0);
    PortSetEcho(h, true);
    uint8_t id[4];
    int addr = 0;
    EXPECT_EQ(Identify(h, 1, id, &addr), -2);
    EXPECT_EQ(PortEchoFindingOf(h), EchoMismatch); // the answer came where the echo was due
    uint8_t buf[8];
    EXPECT_EQ(ReadBlock(h, 1, 0x3040, 7, buf, kBoardMain), -1);
    EXPECT_EQ(PortEchoFindingOf(h), EchoMissing);
}

// A controller that restarts without answering the restart leaves nothing
// waiting: the restart times out, and the next exchange works at once.
TEST_F(Wire, SilentRestartLeavesNoExchangeWaiting) {
    open(0);
    zelsim::Faults f;
    f.silentRestart = true;
    ctrl->setFaults(f);
    EXPECT_EQ(RestartController(h, 1), -1);
    EXPECT_EQ(ctrl->restartCount(), 1);
    uint8_t id[4];
    int addr = 0;
    EXPECT_EQ(Identify(h, 1, id, &addr), 1);
    EXPECT_EQ(ReadBlockSizes(h, 1), 1);
}
