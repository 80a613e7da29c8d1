// The virtual controller seen through a real pseudo-terminal by a raw byte peer.
#include <gtest/gtest.h>

#include "block_layout.h"
#include "memory_map.h"
#include "sim_peer.h"
#include "virtual_controller.h"

using namespace simtest;
using zelsim::Faults;

namespace {

class SimPty : public ::testing::Test {
protected:
    void start(int baud = 0) {
        pty = std::make_unique<zelsim::PtyTransport>(line, baud);
        std::string err;
        ASSERT_TRUE(pty->start(&err)) << err;
        peer = std::make_unique<Peer>(Peer::OpenPty(pty->slavePath()));
        ASSERT_TRUE(peer->ok());
    }
    void SetUp() override {
        c1 = &line.addController(1, 0x21);
        start();
    }
    void TearDown() override { pty->stop(); }

    // Identify answer of controller `addr`: proves everything sent before it
    // was answered or left unanswered.
    Bytes identify(uint8_t addr) const { return peer->ask(Cmd(addr, 0x21), 4); }
    Bytes read(uint32_t addr, uint8_t n, uint8_t board = 0) const {
        Bytes a = peer->ask(ReadReq(1, addr, n, board), n + 1u);
        if (a.size() == n + 1u) a.pop_back();
        return a;
    }
    // Status byte of a write (the second of two for a 1-byte write).
    int write(uint32_t addr, const Bytes& d, uint8_t board = 0, uint8_t ctrl = 1) const {
        const Bytes a = peer->ask(WriteReq(ctrl, addr, d, board), d.size() == 1 ? 2 : 1);
        return a.size() == (d.size() == 1 ? 2u : 1u) ? a.back() : -1;
    }
    int errorCode() const {
        const Bytes a = peer->ask(Cmd(1, 0xF0), 16);
        return a.size() == 16 ? a[7] : -1;
    }

    zelsim::Line line;
    zelsim::VirtualController* c1 = nullptr;
    std::unique_ptr<zelsim::PtyTransport> pty;
    std::unique_ptr<Peer> peer;
};

} // namespace

TEST_F(SimPty, ReadsWritesAndTheirAnswerSizes) {
    EXPECT_EQ(identify(1), (Bytes{1, 0x21, 0x01, 0x71}));
    EXPECT_EQ(read(0x3040, 7), (Bytes{58, 0, 0, 20, 0, 69, 12}));
    EXPECT_EQ(read(0x3100, 1), Bytes{58});
    const Bytes params = read(0x3101, 58);
    ASSERT_EQ(params.size(), 58u);
    EXPECT_EQ(params[ctrlrparams::AddrSideA.offset], 1);
    EXPECT_EQ(params[ctrlrparams::Checksum.offset],
              FrameChecksum(params.data(), ctrlrparams::Checksum.offset));
    // the trailing byte of a read answer is the data checksum
    EXPECT_EQ(peer->ask(ReadReq(1, 0x3040, 2), 3), (Bytes{58, 0, FrameChecksum(Bytes{58, 0}.data(), 2)}));

    // 1-byte write: address frame only, two answer bytes
    EXPECT_EQ(peer->ask(WriteReq(1, 0x5000, {0x42}), 2), (Bytes{0, 0}));
    EXPECT_EQ(peer->ask(WriteReq(1, 0x3040, {0x42}, 2), 2),
              (Bytes{zelsim::kErrBadAddress, zelsim::kErrBadAddress}));
    Bytes d64(64);
    for (size_t i = 0; i < d64.size(); ++i)
        d64[i] = uint8_t(i * 3);
    EXPECT_EQ(write(0x5000, d64), 0);
    EXPECT_EQ(read(0x5000, 40), Bytes(d64.begin(), d64.begin() + 40));
    EXPECT_EQ(errorCode(), zelsim::kErrNone);
    // 65 bytes: the frames are followed, the write refused
    Bytes d65(65, 0x60);
    EXPECT_EQ(peer->ask(WriteReq(1, 0x5000, d65), 1), Bytes{zelsim::kErrBadLength});
    EXPECT_EQ(errorCode(), zelsim::kErrBadLength);
    EXPECT_EQ(read(0x5000, 1), Bytes{0});

    // outside memory: no answer to the read, bad address for the write
    peer->send(ReadReq(1, 0xFFF0, 40));
    EXPECT_EQ(identify(1).size(), 4u);
    EXPECT_EQ(errorCode(), zelsim::kErrBadAddress);
    EXPECT_EQ(write(0x12345, {1, 2}), zelsim::kErrBadAddress);

    // board 4 is memory of its own
    EXPECT_EQ(write(0x10, {9, 8, 7}, 4), 0);
    EXPECT_EQ(read(0x10, 3, 4), (Bytes{9, 8, 7}));
    EXPECT_EQ(read(0x10, 3, 0), c1->peek(0, 0x10, 3));

    // identification text: CP866, ends with a zero byte
    c1->setIdentTextUtf8("Тест stm32");
    peer->send(Cmd(1, 0x00));
    peer->send({0x31});
    EXPECT_EQ(peer->read(11), (Bytes{0x92, 0xA5, 0xE1, 0xE2, ' ', 's', 't', 'm', '3', '2', 0}));
}

TEST_F(SimPty, Board2Registers) {
    c1->setTemperature(0x0234, -7);
    c1->setFirmwareCrc(0xBEEF);
    EXPECT_EQ(read(0x25, 3, 2), (Bytes{0x34, 0x02, 0xF9}));
    EXPECT_EQ(read(0x36, 2, 2), (Bytes{0xEF, 0xBE}));
    const uint8_t r24 = read(0x24, 1, 2).at(0);
    EXPECT_EQ(write(0x24, {uint8_t(r24 | 0x40)}, 2), 0);
    EXPECT_TRUE(c1->simulatorOn());
    EXPECT_EQ(read(0x24, 1, 2), Bytes{uint8_t(r24 | 0x40)});
    EXPECT_EQ(write(0x25, {2}, 2), 0);
    EXPECT_EQ(c1->displayMode(), 2);
    EXPECT_EQ(read(0x25, 3, 2), (Bytes{0x34, 0x02, 0xF9})); // display mode does not touch the reading
    EXPECT_EQ(write(0x27, {1}, 2), 0);
    EXPECT_EQ(c1->relayTestCount(), 1);
    EXPECT_EQ(write(0x28, {0x80, 5}, 2), 0);
    EXPECT_EQ(c1->lastFitting(), (Bytes{0x80, 5}));
    EXPECT_EQ(read(0x28, 6, 2).size(), 6u);
    EXPECT_EQ(write(0xFF, {1, 2}, 2), zelsim::kErrBadAddress);
}

TEST_F(SimPty, ReserveAddressOnlyWithOneController) {
    EXPECT_EQ(identify(0xF0), (Bytes{1, 0x21, 0x01, 0x71}));
    auto& c2 = line.addController(2, 0x27);
    peer->send(Cmd(0xF0, 0x21));
    EXPECT_EQ(identify(2)[1], 0x27); // the reserve request went unanswered
    EXPECT_EQ(identify(1)[1], 0x21);
    c2.setFaults({.noAnswer = true});
    peer->send(ReadReq(2, 0x3040, 7));
    EXPECT_EQ(identify(1).size(), 4u);
}

TEST_F(SimPty, PasswordsProtectBlocksAndBlockAfterSevenWrongEntries) {
    EXPECT_EQ(read(0x5300, 16), Bytes(16, 0));
    EXPECT_EQ(write(0x3101, {3, 3}), 0); // no password: open
    c1->setPasswords(1234, 5678);
    EXPECT_EQ(read(0x5300, 2), (Bytes{0x03, 0x00}));
    EXPECT_EQ(write(0x3101, {3, 3}), zelsim::kErrProtected);
    EXPECT_EQ(errorCode(), zelsim::kErrProtected);
    EXPECT_EQ(write(0x1000, {1, 2}), zelsim::kErrProtected);

    // adjustment password alone does not open anything while an administrator password is set
    EXPECT_EQ(write(0x5302, {56, 78}), 0);
    EXPECT_EQ(write(0x1000, {1, 2}), zelsim::kErrProtected);
    EXPECT_EQ(write(0x5300, {12, 35}), zelsim::kErrWrongPassword);
    EXPECT_EQ(read(0x5300, 2), (Bytes{0x03, 0x01}));
    EXPECT_EQ(write(0x5300, {12, 34}), 0);
    EXPECT_EQ(read(0x5300, 2), (Bytes{0x03, 0x00}));
    EXPECT_EQ(write(0x3101, {3, 3}), 0);
    EXPECT_EQ(write(0x1000, {1, 2}), 0);

    // reset the adjustment password with the administrator's, change the administrator's
    EXPECT_EQ(write(0x5402, {0, 0}), 0);
    EXPECT_EQ(read(0x5300, 1), Bytes{0x01});
    EXPECT_EQ(write(0x5400, {0, 99}), 0);

    // restart: counted, presented passwords forgotten
    EXPECT_EQ(write(0x88FFFF, {0x01}), 0);
    EXPECT_EQ(c1->restartCount(), 1);
    EXPECT_EQ(write(0x3101, {3, 3}), zelsim::kErrProtected);
    EXPECT_EQ(write(0x5400, {1, 1}), zelsim::kErrProtected);

    for (int i = 1; i <= 7; ++i) {
        EXPECT_EQ(write(0x5300, {0, 98}), zelsim::kErrWrongPassword);
        EXPECT_EQ(read(0x5300, 2).at(1), i);
    }
    EXPECT_EQ(write(0x5300, {0, 99}), zelsim::kErrPasswordBlocked);
    EXPECT_EQ(errorCode(), zelsim::kErrPasswordBlocked);
    EXPECT_FALSE(c1->adminPresented());

    c1->setPasswordsSupported(false);
    EXPECT_EQ(read(0x5300, 16), Bytes(16, 0x11));
    EXPECT_EQ(write(0x3101, {3, 3}), 0);
    EXPECT_EQ(write(0x5300, {0, 99}), zelsim::kErrBadAddress);
}

TEST_F(SimPty, RestartMovesToTheSideAAddress) {
    EXPECT_EQ(write(CtrlrParams.address + ctrlrparams::AddrSideA.offset, {7}), 0);
    EXPECT_EQ(write(0x88FFFF, {0x01}), 0);
    EXPECT_EQ(identify(7), (Bytes{7, 0x21, 0x01, FrameChecksum(Bytes{7, 0x21, 1}.data(), 3)}));
    c1->setAdoptAddressOnRestart(false);
    EXPECT_EQ(write(CtrlrParams.address + ctrlrparams::AddrSideA.offset, {9}, 0, 7), 0);
    EXPECT_EQ(write(0x88FFFF, {0x01}, 0, 7), 0);
    EXPECT_EQ(identify(7).size(), 4u);
}

TEST_F(SimPty, FaultSwitches) {
    c1->setFaults({.extraByte = true});
    EXPECT_EQ(peer->ask(ReadReq(1, 0x3040, 1), 3), (Bytes{58, FrameChecksum(Bytes{58}.data(), 1), 0}));
    c1->setFaults({.badIdentChecksum = true});
    EXPECT_EQ(identify(1), (Bytes{1, 0x21, 0x01, 0x70}));
    c1->setFaults({.badType = true});
    EXPECT_EQ(identify(1), (Bytes{1, 0x20, 0x01, FrameChecksum(Bytes{1, 0x20, 1}.data(), 3)}));
    c1->setFaults({.corruptAnswers = true});
    const Bytes bad = identify(1);
    ASSERT_EQ(bad.size(), 4u);
    EXPECT_EQ(bad[0], 1 ^ 0x5A);
    EXPECT_NE(FrameChecksum(bad.data(), 3), bad[3]);

    c1->setFaults({.refuseWrites = true});
    const Bytes before = c1->peek(0, 0x5000, 2);
    EXPECT_EQ(write(0x5000, {5, 6}), zelsim::kErrWriteRefused);
    EXPECT_EQ(errorCode(), zelsim::kErrWriteRefused);
    EXPECT_EQ(c1->peek(0, 0x5000, 2), before);

    c1->setFaults({.noAnswer = true});
    const size_t n0 = line.frameCount();
    peer->send(Cmd(1, 0x21));
    peer->send(WriteReq(1, 0x5000, {5, 6}));
    ASSERT_TRUE(line.waitForFrames(n0 + 4, std::chrono::seconds(5)));
    c1->setFaults({});
    EXPECT_EQ(identify(1), (Bytes{1, 0x21, 0x01, 0x71})); // nothing came before it
    EXPECT_EQ(c1->peek(0, 0x5000, 2), before);

    // delayed and split answers arrive whole
    c1->setFaults({.answerDelayMs = 30, .chunkSize = 3, .chunkPauseMs = 10});
    EXPECT_EQ(read(0x3040, 7), (Bytes{58, 0, 0, 20, 0, 69, 12}));
}

TEST_F(SimPty, PacedLineAnswersTheSame) {
    pty->stop();
    start(9600);
    EXPECT_EQ(identify(1), (Bytes{1, 0x21, 0x01, 0x71}));
    EXPECT_EQ(read(0x3040, 7), (Bytes{58, 0, 0, 20, 0, 69, 12}));
    EXPECT_EQ(write(0x5000, Bytes(40, 0x11)), 0);
    // stopping with a long answer still queued returns at once
    c1->setFaults({.answerDelayMs = 60000});
    const size_t n0 = line.frameCount();
    peer->send(Cmd(1, 0x21));
    ASSERT_TRUE(line.waitForFrames(n0 + 1, std::chrono::seconds(5)));
    pty->stop();
}

// An echoing adapter: every byte comes back before the answer, on a paced line too.
TEST_F(SimPty, EchoReturnsEveryByteBeforeTheAnswer) {
    line.setEcho(true);
    for (int baud : {0, 9600}) {
        if (baud) {
            pty->stop();
            start(baud);
        }
        const Bytes req = Cmd(1, 0x21);
        Bytes want = req;
        const Bytes id{1, 0x21, 0x01, 0x71};
        want.insert(want.end(), id.begin(), id.end());
        EXPECT_EQ(peer->ask(req, want.size()), want) << baud;
        const Bytes rd = ReadReq(1, 0x3040, 7);
        const Bytes got = peer->ask(rd, rd.size() + 8);
        ASSERT_EQ(got.size(), rd.size() + 8) << baud;
        EXPECT_EQ(Bytes(got.begin(), got.begin() + long(rd.size())), rd);
        EXPECT_EQ(Bytes(got.begin() + long(rd.size()), got.end() - 1), (Bytes{58, 0, 0, 20, 0, 69, 12}));
    }
}
