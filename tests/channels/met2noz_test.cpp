// Met2NozSetts against the virtual controller behind a serial server on a
// loopback socket (a pseudo-terminal hands bytes on late on a busy machine, and
// a late answer would be taken for the next attempt's).
#include <gtest/gtest.h>

#include "block_transfer.h"
#include "met2noz_core.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "virtual_controller.h"

using namespace settings;

namespace {

class Met2Noz : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PortLayerStart(); }
    static void TearDownTestSuite() { PortLayerStop(); }
    void SetUp() override {
        ResetProtocolState();
        ctrl = &line.addController(3);
        server = std::make_unique<zelsim::TcpTransport>(line);
        ASSERT_TRUE(server->start());
        const std::string name = "TCPC_127.0.0.1:" + std::to_string(server->port());
        ASSERT_EQ(PortOpen(&h, name.c_str()), 0);
    }
    void TearDown() override {
        PortClose(h);
        server->stop();
    }
    std::vector<uint8_t> channel(int c) const { return ctrl->peek(0, 0x1000 + 0x100 * c, 20); }
    void setChannel(int c, uint32_t w, uint16_t code, uint8_t phase) {
        std::vector<uint8_t> b(20, 0);
        for (int i = 0; i < 4; ++i)
            b[i] = b[5 + i] = static_cast<uint8_t>(w >> (8 * i));
        b[14] = static_cast<uint8_t>(code);
        b[15] = static_cast<uint8_t>(code >> 8);
        b[16] = phase;
        b[19] = 0x5C; // carried
        ctrl->poke(0, 0x1000 + 0x100 * c, b);
    }
    zelsim::Line line;
    zelsim::VirtualController* ctrl = nullptr;
    std::unique_ptr<zelsim::TcpTransport> server;
    int h = 0;
    NozSettsPair work;
};

} // namespace

TEST_F(Met2Noz, RescalesEveryChannelAndRestartsOnce) {
    for (int c = 0; c < 3; ++c)
        setChannel(c, 1u << 30, 200, 0);
    setChannel(3, 1u << 30, 200, 0); // beyond the count: untouched
    const int restarts = ctrl->restartCount();
    EXPECT_EQ(Met2NozSetts(h, 3, MeterCodeOfItem(1), 1, 3, work), 3);
    for (int c = 0; c < 3; ++c) {
        const auto b = channel(c);
        EXPECT_EQ(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24, 419430400u) << c;
        EXPECT_EQ(b[14] | b[15] << 8, 512) << c;
        EXPECT_EQ(b[16], 1) << c;
        EXPECT_EQ(b[19], 0x5C) << c;
    }
    EXPECT_EQ(channel(3)[14], 200);
    EXPECT_EQ(ctrl->restartCount(), restarts + 1);
}

TEST_F(Met2Noz, ManualChoiceAndManualPhasesWriteNothing) {
    for (int c = 0; c < 2; ++c)
        setChannel(c, 1u << 30, 200, 2);
    const int writes = ctrl->writeCount();
    const int restarts = ctrl->restartCount();
    EXPECT_EQ(Met2NozSetts(h, 3, kCodeManual, 3, 2, work), 0);
    EXPECT_EQ(ctrl->writeCount(), writes);
    EXPECT_EQ(ctrl->restartCount(), restarts);
}

TEST_F(Met2Noz, EarlierChannelChangedRestartsEvenWhenTheLastIsUnchanged) {
    setChannel(0, 1u << 30, 200, 2);
    setChannel(1, 1u << 30, 200, 0);
    const int restarts = ctrl->restartCount();
    EXPECT_EQ(Met2NozSetts(h, 3, 200, 0, 2, work), 1);
    EXPECT_EQ(channel(0)[16], 0);
    EXPECT_EQ(ctrl->restartCount(), restarts + 1);
}

TEST_F(Met2Noz, FailuresAndLimits) {
    EXPECT_EQ(Met2NozSetts(h, 3, 200, 0, 11, work), -1);
    zelsim::Faults f;
    f.refuseWrites = true;
    ctrl->setFaults(f);
    setChannel(0, 1u << 30, 400, 0);
    EXPECT_EQ(Met2NozSetts(h, 3, 200, 0, 1, work), 0); // three refused attempts, no message
    EXPECT_EQ(ctrl->refusedWriteCount(), 3);
    f = {};
    f.noAnswer = true;
    ctrl->setFaults(f);
    EXPECT_EQ(Met2NozSetts(h, 3, 200, 0, 1, work), -1);
}
