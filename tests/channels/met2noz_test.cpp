// Met2NozSetts against the virtual controller behind a serial server on a
// loopback socket (a pseudo-terminal hands bytes on late on a busy machine, and
// a late answer would be taken for the next attempt's).
#include <gtest/gtest.h>

#include "block_layout.h"
#include "block_transfer.h"
#include "memory_map.h"
#include "met2noz_core.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "virtual_controller.h"

using namespace settings;

namespace {

// The reserved byte after CountKor: carried unchanged by every write.
constexpr int kNozSettsSpare = nozsetts::CountKor.offset + nozsetts::CountKor.width;

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
    std::vector<uint8_t> channel(int c) const {
        return ctrl->peek(0, NozSetts.address + kChannelStride * c, NozSetts.length);
    }
    void setChannel(int c, uint32_t w, uint16_t code, uint8_t phase) {
        std::vector<uint8_t> b(NozSetts.length, 0);
        fields::PutField(nozsetts::ImpWLo, b.data(), w);
        fields::PutField(nozsetts::ImpWkLo, b.data(), w);
        fields::PutField(nozsetts::ImpLit, b.data(), code);
        fields::PutField(nozsetts::MeterPhase, b.data(), phase);
        b[kNozSettsSpare] = 0x5C; // carried
        ctrl->poke(0, NozSetts.address + kChannelStride * c, b);
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
        EXPECT_EQ(fields::GetField(nozsetts::ImpWLo, b.data()), 419430400u) << c;
        EXPECT_EQ(fields::GetField(nozsetts::ImpLit, b.data()), 512u) << c;
        EXPECT_EQ(fields::GetField(nozsetts::MeterPhase, b.data()), 1u) << c;
        EXPECT_EQ(b[kNozSettsSpare], 0x5C) << c;
    }
    EXPECT_EQ(fields::GetField(nozsetts::ImpLit, channel(3).data()), 200u);
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
    EXPECT_EQ(channel(0)[nozsetts::MeterPhase.offset], 0);
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
