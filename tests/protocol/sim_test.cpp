// The protocol end to end through the real port layer against the virtual
// controller, in-process, on a pseudo-terminal and on TCP loopback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <thread>

#include "block_layout.h"
#include "block_transfer.h"
#include "codepage.h"
#include "error_messages.h"
#include "frames.h"
#include "line_wait.h"
#include "memory_map.h"
#include "port_layer.h"
#include "port_slot.h"
#include "protocol_state.h"
#include "virtual_controller.h"

namespace {

using Bytes = std::vector<uint8_t>;

class SimTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PortLayerStart(); }
    static void TearDownTestSuite() { PortLayerStop(); }
    void SetUp() override {
        ResetProtocolState();
        const char* src = std::getenv("ZEL_SOURCE_DIR");
        ASSERT_NE(src, nullptr);
        ASSERT_TRUE(Protocol().errorMessages.Load(std::string(src) + "/data/don.msg"));
        ctrl = &line.addController(3, 0x22);
        transport = std::make_unique<zelsim::PtyTransport>(line);
        ASSERT_TRUE(transport->start());
        ASSERT_EQ(PortOpen(&h, transport->slavePath().c_str()), 0);
    }
    void TearDown() override {
        PortClose(h);
        transport->stop();
        ResetProtocolState();
    }
    zelsim::Line line;
    zelsim::VirtualController* ctrl = nullptr;
    std::unique_ptr<zelsim::PtyTransport> transport;
    int h = 0;
};

} // namespace

TEST_F(SimTest, IdentifyAndIdentText) {
    ctrl->setIdentText(Cp1251ToCp866(Utf8ToCp1251("ТРК Ёлка №5"))); // CP866, № is 0xFC
    uint8_t ans[4];
    int addr = 0;
    EXPECT_EQ(Identify(h, 3, ans, &addr), 1);
    EXPECT_EQ(addr, 3);
    EXPECT_EQ(Protocol().deviceType, 0x22);
    EXPECT_EQ(Identify(h, kReserveAddress, ans, &addr), 1); // the only controller answers 0xF0
    EXPECT_EQ(addr, 3);
    EXPECT_EQ(Identify(h, 4, ans, &addr), -1); // nobody there
    uint8_t text[kIdentTextSize];
    EXPECT_EQ(ReadIdentText(h, 3, text), 1);
    EXPECT_EQ(Cp1251ToUtf8(reinterpret_cast<const char*>(text)), "ТРК Ёлка №5");
}

TEST_F(SimTest, BlocksReadAndWritten) {
    ASSERT_EQ(ReadBlockSizes(h, 3), 1);
    const int sizes[7] = {58, 0, 0, 20, 0, 69, 12};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(BlockSizes()[i], sizes[i]);
    uint8_t buf[256];
    ASSERT_EQ(ReadBlock(h, 3, kAddrParamLength, -1, buf, kBoardMain), 58);
    EXPECT_EQ(buf[ctrlrparams::Checksum.offset], FrameChecksum(buf, ctrlrparams::Checksum.offset));

    Bytes regs(69);
    for (size_t i = 0; i < regs.size(); ++i)
        regs[i] = uint8_t(i * 3 + 1);
    ASSERT_EQ(WriteBlock(h, 3, NozRegs.address + 4 * kChannelStride, 69, regs.data(), kBoardMain), 1);
    EXPECT_EQ(ctrl->peek(0, 0x2400, 69), regs);
    std::memset(buf, 0, sizeof buf);
    ASSERT_EQ(ReadBlock(h, 3, 0x2400, 69, buf, kBoardMain), 69);
    EXPECT_EQ(Bytes(buf, buf + 69), regs);

    const Bytes odd(41, 0x3C); // 40 + 1
    ASSERT_EQ(WriteBlock(h, 3, NaraSpecific.address, 41, odd.data(), kBoardMain), 1);
    EXPECT_EQ(ctrl->peek(0, 0x5100, 41), odd);
    ASSERT_EQ(ReadBlock(h, 3, NaraSpecific.address, NaraSpecific.length, buf, kBoardMain), 128);

    ASSERT_EQ(SetSimulator(h, 3, true), 1);
    EXPECT_TRUE(ctrl->simulatorOn());
    EXPECT_EQ(ReadSimulator(h, 3), 1);
    ASSERT_EQ(SetSimulator(h, 3, false), 1);
    EXPECT_EQ(ReadSimulator(h, 3), 0);
    uint8_t t[3];
    EXPECT_EQ(ReadTemperatureRaw(h, 3, t), 1);
    EXPECT_EQ(RestartController(h, 3), 1);
    EXPECT_EQ(ctrl->restartCount(), 1);
}

// The machine running the program is held up in a pause before a frame (it
// oversleeps): by then the controller has dropped the request, so the rest of
// it must not follow as if it were frames. The request starts again from its
// command frame; a machine held up every time gives up, never having sent
// data bytes into a dropped request.
TEST_F(SimTest, AnOversleptPauseStartsTheRequestAgain) {
    static std::atomic<int> stalls{0};
    static const zel::line::LineTime oversleeping{
        [] {
            using namespace std::chrono;
            return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
        },
        [](int ms) {
            if (stalls.fetch_sub(1) > 0) ms += 150;
            if (ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        }};
    zel::line::SetLineTime(&oversleeping);
    struct Case {
        const char* what;
        bool image;
        int stalls;
        int result;
    };
    const Case cases[] = {
        {"the pause before the continuation frame", false, 1, 1},
        {"the pause after an image command frame", true, 1, 1},
        {"every pause", false, 1000, -1},
        {"every pause, image", true, 1000, -1},
    };
    uint8_t fill = 0x11;
    for (const Case& c : cases) {
        const Bytes data(5, fill++);
        const Bytes before = ctrl->peek(0, 0x1200, 5);
        line.clearFrames();
        stalls = c.stalls;
        const int r = c.image ? WriteImageBlock(h, 3, 0x1200, 5, data.data())
                              : WriteBlock(h, 3, 0x1200, 5, data.data(), kBoardMain);
        stalls = 0;
        EXPECT_EQ(r, c.result) << c.what;
        EXPECT_EQ(ctrl->peek(0, 0x1200, 5), c.result == 1 ? data : before) << c.what;
        int continuations = 0;
        for (const auto& f : line.frames()) {
            EXPECT_NE(f.kind, zelsim::FrameKind::Skipped) << c.what;
            continuations += f.kind == zelsim::FrameKind::Continuation;
        }
        EXPECT_EQ(continuations, c.result == 1 ? 1 : 0) << c.what;
    }
    zel::line::SetLineTime(nullptr);
}

TEST_F(SimTest, RefusalsAndErrorTexts) {
    std::vector<std::string> shown;
    Protocol().controllerErrorSink = [&](const std::string& t) {
        shown.push_back(ControllerErrorMessageUtf8(t));
    };
    ctrl->setPasswords(1234, 0);
    EXPECT_EQ(PresentAdminPassword(h, 3, 4321), -1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "Ошибка! Неверный пароль");
    EXPECT_EQ(PresentAdminPassword(h, 3, 1234), 1);
    EXPECT_TRUE(ctrl->adminPresented());
    EXPECT_EQ(shown.size(), 1u);

    zelsim::Faults f;
    f.refuseWrites = true;
    ctrl->setFaults(f);
    const uint8_t b[2] = {1, 2};
    EXPECT_EQ(WriteBlock(h, 3, 0x4000, 2, b, kBoardMain), -1);
    EXPECT_EQ(Cp1251ToUtf8(ControllerErrorText(h, 3)), "Контроллер отказал в записи");
    EXPECT_EQ(Protocol().lastErrorCode, 1);
}

TEST_F(SimTest, FaultsGiveTheirResultCodes) {
    uint8_t buf[128];
    int addr = 0;
    zelsim::Faults f;
    f.extraByte = true;
    ctrl->setFaults(f);
    EXPECT_EQ(ReadBlock(h, 3, 0x4000, 12, buf, kBoardMain), -1);
    f = {};
    f.badType = true;
    ctrl->setFaults(f);
    EXPECT_EQ(Identify(h, 3, buf, &addr), -2);
    f = {};
    f.badIdentChecksum = true;
    ctrl->setFaults(f);
    EXPECT_EQ(Identify(h, 3, buf, &addr), -2);
    f = {};
    f.chunkSize = 7;
    f.chunkPauseMs = 30;
    ctrl->setFaults(f);
    EXPECT_EQ(ReadBlock(h, 3, 0x2000, 69, buf, kBoardMain), 69);
    f = {};
    f.noAnswer = true;
    ctrl->setFaults(f);
    EXPECT_EQ(Identify(h, 3, buf, &addr), -1);
    EXPECT_EQ(ControllerErrorText(h, 3), "");
    EXPECT_EQ(Protocol().lastErrorCode, 254);
}

TEST_F(SimTest, WholeImageWritten) {
    Bytes image = ctrl->imageBytes();
    ASSERT_EQ(long(image.size()), ImageLength(reinterpret_cast<const int8_t*>(image.data())));
    for (size_t i = 7 + 58; i < image.size(); ++i)
        image[i] = uint8_t(i * 5);
    ASSERT_EQ(WriteImage(h, 3, image.data(), image.size()), 1);
    EXPECT_EQ(ctrl->imageBytes(), image);

    // A controller that reports size 0 for the parameter block and the sides:
    // those groups are left out (nothing is copied for them) and the blocks
    // after them still come from their own place in the image.
    ctrl->resetToDefaults();
    ctrl->poke(0, 0x3040, {0});
    ctrl->poke(0, 0x3040 + 6, {0});
    const Bytes paramsBefore = ctrl->peek(0, 0x3101, 58);
    const Bytes sidesBefore = ctrl->peek(0, 0x4000, 12);
    ASSERT_EQ(WriteImage(h, 3, image.data(), image.size()), 1);
    EXPECT_EQ(ctrl->peek(0, 0x3101, 58), paramsBefore);
    EXPECT_EQ(ctrl->peek(0, 0x4000, 12), sidesBefore);
    EXPECT_EQ(ctrl->peek(0, 0x1000, 20), Bytes(image.begin() + 65, image.begin() + 85));
    const size_t regsAt = 7 + 58 + 10 * 20 + 2 * 12;
    EXPECT_EQ(ctrl->peek(0, 0x2000, 69),
              Bytes(image.begin() + long(regsAt), image.begin() + long(regsAt) + 69));
    EXPECT_EQ(ctrl->peek(0, 0x3000, 57), Bytes(image.end() - 57, image.end()));
}

// A write that timed out gets its answer late; the answer sits in the socket
// until the next request, which must not take it for its own.
TEST(SimTcp, LateAnswerInTheSocketIsNotTheNextAnswer) {
    PortLayerStart();
    ResetProtocolState();
    zelsim::Line line;
    zelsim::VirtualController& c = line.addController(1, 0x21);
    zelsim::TcpTransport tcp(line);
    ASSERT_TRUE(tcp.start());
    int h = 0;
    ASSERT_EQ(PortOpen(&h, ("TCPC_127.0.0.1:" + std::to_string(tcp.port())).c_str()), 0);
    uint8_t ans[4];
    int addr = 0, r = -1;
    for (int i = 0; i < 20 && r != 1; ++i)
        r = Identify(h, 1, ans, &addr); // the connection may still be coming up
    ASSERT_EQ(r, 1);

    zelsim::Faults f;
    f.answerDelayMs = 600; // the write waits 510 ms
    c.setFaults(f);
    const uint8_t value = 0x41;
    EXPECT_EQ(WriteBlock(h, 1, kRegSimulator, 1, &value, kBoardRegisters), -1);
    EXPECT_EQ(c.peek(2, kRegSimulator, 1)[0], 0x41);
    // The late status bytes (00 00) reach the socket; nobody takes them yet.
    pollfd p{SlotOf(h)->tcp.mainSock, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 5000), 1);
    c.setFaults({});
    uint8_t reg = 0;
    EXPECT_EQ(ReadBlock(h, 1, kRegSimulator, 1, &reg, kBoardRegisters), 1);
    EXPECT_EQ(reg, 0x41);
    PortClose(h);
    tcp.stop();
    PortLayerStop();
}

TEST(SimTcp, IdentifyAndReadOverLoopback) {
    PortLayerStart();
    zelsim::Line line;
    line.addController(1, 0x27);
    zelsim::TcpTransport tcp(line);
    ASSERT_TRUE(tcp.start());
    int h = 0;
    ASSERT_EQ(PortOpen(&h, ("TCPC_127.0.0.1:" + std::to_string(tcp.port())).c_str()), 0);
    uint8_t ans[4];
    int addr = 0;
    int r = -1;
    for (int i = 0; i < 20 && r != 1; ++i)
        r = Identify(h, 1, ans, &addr); // the connection may still be coming up
    EXPECT_EQ(r, 1);
    EXPECT_EQ(ans[1], 0x27);
    EXPECT_EQ(ReadBlockSizes(h, 1), 1);
    EXPECT_EQ(BlockSizes()[5], 69);
    PortClose(h);
    tcp.stop();
    PortLayerStop();
}
