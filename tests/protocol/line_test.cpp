// Frames and transfers over a real pseudo-terminal: the port layer opens the
// slave, a scripted peer plays the controller on the master side. Frames are
// asserted byte for byte.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>
#include <thread>

#include "block_layout.h"
#include "block_transfer.h"
#include "codepage.h"
#include "error_messages.h"
#include "frames.h"
#include "memory_map.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "pty_peer.h"

namespace {

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}
template <size_t N> Bytes B(const std::array<uint8_t, N>& a) {
    return Bytes(a.begin(), a.end());
}
Bytes Cmd(uint8_t ctrl, uint8_t code) {
    return B(CommandFrame(ctrl, code));
}
Bytes ReadFrame(uint32_t addr, uint8_t n) {
    return B(AddressFrame(addr, 0, n));
}
Bytes WriteFrames(uint32_t addr, const Bytes& data) {
    return Cat({B(AddressFrame(addr, data[0], uint8_t(data.size()))),
                ContinuationFrame(data.data(), int(data.size()))});
}
Bytes Seq(size_t n, uint8_t start) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(start + i);
    return b;
}
Bytes IdentAnswer(uint8_t addr, uint8_t type, uint8_t extra) {
    Bytes a{addr, type, extra, 0};
    a[3] = FrameChecksum(a.data(), 3);
    return a;
}
Bytes WithTrailer(Bytes b) {
    b.push_back(0x77);
    return b;
}

class LineTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PortLayerStart(); }
    static void TearDownTestSuite() { PortLayerStop(); }
    void SetUp() override {
        ResetProtocolState();
        peer = std::make_unique<PtyPeer>();
        ASSERT_TRUE(peer->ok());
        ASSERT_EQ(PortOpen(&h, peer->slavePath().c_str()), 0);
    }
    void TearDown() override {
        PortClose(h);
        peer.reset();
        ResetProtocolState();
    }
    // Proves that nothing reached the line before now: a marker written after
    // the call must be the first thing the peer sees.
    void ExpectNoTraffic() {
        const size_t before = peer->ReceivedCount();
        const uint8_t marker = 0xA5;
        ASSERT_EQ(PortWrite(h, &marker, 1), 1);
        ASSERT_TRUE(peer->WaitReceived(before + 1));
        EXPECT_EQ(peer->Received().back(), marker);
        EXPECT_EQ(peer->ReceivedCount(), before + 1);
    }
    // Waits (bounded) until n bytes wait on the port.
    bool WaitAvail(int n) {
        for (int i = 0; i < 500 && port_avail(h) < n; ++i)
            PortWaitInput(h, 10);
        return port_avail(h) >= n;
    }
    std::unique_ptr<PtyPeer> peer;
    int h = 0;
};

} // namespace

TEST_F(LineTest, WriteOfOneByteSendsOnlyTheAddressFrameAndWantsTwoBytes) {
    peer->Answer(12, {0x00, 0x00});
    const uint8_t b = 0x5C;
    EXPECT_EQ(WriteBlock(h, 1, kRegSimulator, 1, &b, kBoardRegisters), 1);
    EXPECT_EQ(peer->Received(), Cat({Cmd(1, 0x42), B(AddressFrame(0x24, 0x5C, 1))}));

    peer->ClearReceived();
    peer->Answer(12, {0x00, 0x05}); // the status is the second byte
    EXPECT_EQ(WriteBlock(h, 1, kRegSimulator, 1, &b, kBoardRegisters), -1);
}

TEST_F(LineTest, WriteFramesUpTo64Bytes) {
    const Bytes data = Seq(64, 1);
    EXPECT_EQ(SendWriteFrames(h, 0x5100, 64, data.data()), 1);
    ASSERT_TRUE(peer->WaitReceived(8 + 64));
    EXPECT_EQ(peer->Received(), WriteFrames(0x5100, data));

    peer->ClearReceived();
    const Bytes more = Seq(65, 1);
    EXPECT_EQ(SendWriteFrames(h, 0x5100, 65, more.data()), -4);
    ExpectNoTraffic();
}

TEST_F(LineTest, WriteBlockOf41BytesIs40Plus1) {
    const Bytes data = Seq(41, 0x10);
    peer->Script({PeerStep{4 + 8 + 40, {{0x00}}}, PeerStep{4 + 8 + 40 + 12, {{0x00, 0x00}}}});
    EXPECT_EQ(WriteBlock(h, 3, 0x1000, 41, data.data(), kBoardMain), 1);
    const Bytes first(data.begin(), data.begin() + 40);
    EXPECT_EQ(peer->Received(), Cat({Cmd(3, 0x40), WriteFrames(0x1000, first), Cmd(3, 0x40),
                                     B(AddressFrame(0x1028, data[40], 1))}));
    // A refusal of the first piece ends the write there.
    peer->ClearReceived();
    peer->Answer(52, {0x04});
    EXPECT_EQ(WriteBlock(h, 3, 0x1000, 41, data.data(), kBoardMain), -1);
    EXPECT_EQ(peer->ReceivedCount(), 52u);
    EXPECT_EQ(WriteBlock(h, 3, 0x1000, 0, data.data(), kBoardMain), 1);
}

TEST_F(LineTest, Identify) {
    uint8_t ans[4] = {};
    int addr = -1;
    peer->Answer(4, IdentAnswer(0x01, 0x21, 0x33));
    EXPECT_EQ(Identify(h, 1, ans, &addr), 1);
    EXPECT_EQ(peer->Received(), Cmd(1, 0x21));
    EXPECT_EQ(Bytes(ans, ans + 4), IdentAnswer(0x01, 0x21, 0x33));
    EXPECT_EQ(addr, 1);
    EXPECT_EQ(Protocol().deviceType, 0x21);

    peer->ClearReceived();
    addr = -1;
    peer->Answer(4, IdentAnswer(0x01, 0x20, 0x00)); // correct checksum, unknown type
    EXPECT_EQ(Identify(h, 1, ans, &addr), -2);
    EXPECT_EQ(addr, -1);
    EXPECT_EQ(Protocol().deviceType, 0x21);

    peer->ClearReceived();
    Bytes bad = IdentAnswer(0x01, 0x22, 0x00);
    bad[3] ^= 1;
    peer->Answer(4, bad);
    EXPECT_EQ(Identify(h, 1, ans, &addr), -2);

    // The reserve address: the answering controller's address comes back, even when its type is refused.
    peer->ClearReceived();
    peer->Answer(4, IdentAnswer(0x07, 0x17, 0x00));
    EXPECT_EQ(Identify(h, kReserveAddress, ans, &addr), 1);
    EXPECT_EQ(peer->Received(), Cmd(0xF0, 0x21));
    EXPECT_EQ(addr, 7);
    EXPECT_EQ(Protocol().deviceType, 0x17);
    peer->ClearReceived();
    peer->Answer(4, IdentAnswer(0x09, 0x20, 0x00));
    EXPECT_EQ(Identify(h, kReserveAddress, ans, &addr), -2);
    EXPECT_EQ(addr, 9);

    peer->ClearReceived();
    EXPECT_EQ(Identify(h, 1, ans, &addr), -1); // nobody answers
}

// An answer that comes late belongs to the request before: what is waiting
// when a request goes out is dropped, and an identify answer from another
// address than the one asked is not taken for it.
TEST_F(LineTest, LateAnswersAreNotTakenForNewOnes) {
    uint8_t ans[4] = {};
    int addr = -1;
    peer->Send(IdentAnswer(0x01, 0x22, 0x00)); // late, to an earlier identify
    ASSERT_TRUE(WaitAvail(4));
    peer->Answer(4, IdentAnswer(0x01, 0x21, 0x33));
    EXPECT_EQ(Identify(h, 1, ans, &addr), 1);
    EXPECT_EQ(ans[1], 0x21) << "the answer to this request, not the late one";

    // Asking controller 2 while controller 1's late answer comes in: not found.
    peer->ClearReceived();
    addr = -1;
    peer->Answer(4, IdentAnswer(0x01, 0x21, 0x00));
    EXPECT_EQ(Identify(h, 2, ans, &addr), -1);
    EXPECT_EQ(addr, -1);
    // ... and when controller 2 answers after it, its answer is the one taken.
    peer->ClearReceived();
    peer->Answer(4, Cat({IdentAnswer(0x01, 0x21, 0x00), IdentAnswer(0x02, 0x27, 0x05)}));
    EXPECT_EQ(Identify(h, 2, ans, &addr), 1);
    EXPECT_EQ(addr, 2);
    EXPECT_EQ(Bytes(ans, ans + 4), IdentAnswer(0x02, 0x27, 0x05));

    // The text request drops what is waiting, too.
    peer->ClearReceived();
    peer->Send({0x01, 0x21, 0x00, 0x9C});
    ASSERT_TRUE(WaitAvail(4));
    peer->Answer(5, {'o', 'k', 0x00});
    uint8_t text[kIdentTextSize];
    EXPECT_EQ(ReadIdentText(h, 1, text), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(text), "ok");
}

// A line that never stops talking (two bytes every 2 ms, never a zero byte)
// cannot keep an exchange going: the text read ends once more bytes came than
// a text can have, a block read once the stall time passes after the expected
// count was exceeded (the even counts step over the 41 bytes asked for).
TEST_F(LineTest, ChatterEndsEveryWait) {
    std::atomic<bool> chatter{true};
    std::thread talker([&] {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (chatter && std::chrono::steady_clock::now() < end) {
            peer->Send({'x', 'y'});
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    uint8_t text[kIdentTextSize];
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadIdentText(h, 1, text), -2);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(8));
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(text)), 1023u);

    uint8_t dst[40];
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ReadBlock(h, 1, 0x1000, 40, dst, kBoardMain), -1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(2));
    chatter = false;
    talker.join();
}

// The waits end at the time their poll counts give, not half as late again:
// no answer to the text request ends after 250 ms, the length query after 200.
TEST_F(LineTest, NoAnswerEndsOnTime) {
    using namespace std::chrono;
    uint8_t text[kIdentTextSize];
    auto t0 = steady_clock::now();
    EXPECT_EQ(ReadIdentText(h, 1, text), -1);
    auto ms = duration_cast<milliseconds>(steady_clock::now() - t0).count();
    EXPECT_GE(ms, 250);
    EXPECT_LE(ms, 300);

    uint8_t dst[255];
    t0 = steady_clock::now();
    EXPECT_EQ(ReadBlock(h, 1, kAddrParamLength, -1, dst, kBoardMain), -1);
    ms = duration_cast<milliseconds>(steady_clock::now() - t0).count();
    EXPECT_GE(ms, 200);
    EXPECT_LE(ms, 240);
}

TEST_F(LineTest, IdentTextInChunks) {
    std::vector<uint8_t> dst(1100, 0xEE);
    // "Привет\r\n" in CP866, in three chunks, the zero byte alone at the end.
    peer->Script({PeerStep{5, {{0x8F, 0xE0, 0xA8}, {0xA2, 0xA5, 0xE2, '\r', '\n'}, {0x00}}, 0, 30}});
    EXPECT_EQ(ReadIdentText(h, 1, dst.data()), 1);
    EXPECT_EQ(peer->Received(), Cat({Cmd(1, 0x00), Bytes{0x31}}));
    EXPECT_EQ(Cp1251ToUtf8(reinterpret_cast<const char*>(dst.data())), "Привет\r\n");

    // A chunk ending with the zero byte ends the read; what follows is not taken.
    peer->ClearReceived();
    peer->Script({PeerStep{5, {{'a', 'b', 0x00}, {'c', 'd'}}, 0, 100}});
    EXPECT_EQ(ReadIdentText(h, 1, dst.data()), 1);
    EXPECT_STREQ(reinterpret_cast<const char*>(dst.data()), "ab");
    ASSERT_TRUE(peer->WaitScriptDone());
    ASSERT_TRUE(peer->WaitReceived(5));
    for (int i = 0; i < 50 && port_avail(h) < 2; ++i)
        PortWaitInput(h, 100);
    EXPECT_EQ(port_avail(h), 2); // "cd" stays waiting: the text request does not purge
    PortPurge(h);

    // An overlong text is cut at 1024 bytes with its zero byte; nothing past that is touched.
    peer->ClearReceived();
    std::fill(dst.begin(), dst.end(), 0xEE);
    Bytes longText(1500, 'L');
    longText.push_back(0);
    peer->Script({PeerStep{
        5,
        {Bytes(longText.begin(), longText.begin() + 700), Bytes(longText.begin() + 700, longText.end())},
        0,
        20}});
    EXPECT_EQ(ReadIdentText(h, 1, dst.data()), 1);
    EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(dst.data())), 1023u);
    EXPECT_EQ(dst[1024], 0xEE);

    peer->ClearReceived();
    peer->Answer(5, {'a', 'b', 'c'});
    EXPECT_EQ(ReadIdentText(h, 1, dst.data()), -2); // stopped before its zero byte
    EXPECT_STREQ(reinterpret_cast<const char*>(dst.data()), "abc");
    peer->ClearReceived();
    EXPECT_EQ(ReadIdentText(h, 1, dst.data()), -1);
    EXPECT_EQ(dst[0], 0);
}

TEST_F(LineTest, ErrorQueryAndTexts) {
    Protocol().errorMessages.Parse("16,12,\x8D\xA5\xA2\xA5\xE0\xAD\xEB\xA9 \xAF\xA0\xE0\xAE\xAB\xEC \xF0\n");
    Bytes answer(16, 0x00);
    answer[7] = 12;
    peer->Answer(4, answer);
    const std::string text = ControllerErrorText(h, 2);
    EXPECT_EQ(peer->Received(), Cmd(2, 0xF0));
    EXPECT_EQ(Protocol().lastErrorCode, 12);
    // The error-text variant keeps 0xF0 as it is.
    EXPECT_EQ(ControllerErrorMessageUtf8(text), "Ошибка! Неверный пароль \xD1\x80");

    peer->ClearReceived();
    answer[7] = 99;
    peer->Answer(4, answer);
    EXPECT_EQ(ControllerErrorMessageUtf8(ControllerErrorText(h, 2)), "Ошибка! ");

    // No answer at all: -6 and code 254 once the deadline has passed.
    peer->ClearReceived();
    EXPECT_EQ(QueryErrorCode(h, 2), 0);
    int r = 0;
    for (int i = 0; i < 2000 && r == 0; ++i) {
        PortWaitInput(h, 1);
        r = QueryErrorCode(h, 2);
    }
    EXPECT_EQ(r, -6);
    EXPECT_EQ(Protocol().lastErrorCode, 254);
    EXPECT_EQ(Protocol().errorQueryPhase, 0);
}

TEST_F(LineTest, RefusedPasswordShowsTheControllerError) {
    Protocol().errorMessages.Parse("16,2,wrong\n");
    std::vector<std::string> shown;
    Protocol().controllerErrorSink = [&](const std::string& t) { shown.push_back(t); };
    Bytes err(16, 0);
    err[7] = 2;
    peer->Script({PeerStep{14, {{0x02}}}, PeerStep{18, {err}}});
    EXPECT_EQ(PresentAdjustPassword(h, 1, 1234), -1);
    EXPECT_EQ(peer->Received(), Cat({Cmd(1, 0x40), WriteFrames(0x5302, {12, 34}), Cmd(1, 0xF0)}));
    EXPECT_EQ(shown, std::vector<std::string>{"wrong"});

    peer->ClearReceived();
    peer->Answer(14, {0x00});
    EXPECT_EQ(PresentAdminPassword(h, 1, 9876), 1);
    EXPECT_EQ(peer->Received(), Cat({Cmd(1, 0x40), WriteFrames(0x5300, {98, 76})}));
    EXPECT_EQ(shown.size(), 1u);
}

TEST_F(LineTest, LengthQueryAnd40BytePieces) {
    uint8_t dst[255];
    peer->Script({PeerStep{12, {{3, 0x77}}}, PeerStep{24, {{0xA1, 0xA2, 0xA3, 0x77}}}});
    EXPECT_EQ(ReadBlock(h, 1, kAddrParamLength, -1, dst, kBoardMain), 3);
    EXPECT_EQ(Bytes(dst, dst + 3), (Bytes{0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(peer->Received(),
              Cat({Cmd(1, 0x48), ReadFrame(0x3100, 1), Cmd(1, 0x48), ReadFrame(0x3101, 3)}));

    peer->ClearReceived();
    const Bytes regs = Seq(69, 0x30);
    peer->Script({PeerStep{12, {WithTrailer(Bytes(regs.begin(), regs.begin() + 40))}},
                  PeerStep{24, {WithTrailer(Bytes(regs.begin() + 40, regs.end()))}}});
    EXPECT_EQ(ReadBlock(h, 1, 0x2300, 69, dst, kBoardMain), 69);
    EXPECT_EQ(Bytes(dst, dst + 69), regs);
    EXPECT_EQ(peer->Received(),
              Cat({Cmd(1, 0x48), ReadFrame(0x2300, 40), Cmd(1, 0x48), ReadFrame(0x2328, 29)}));

    // Board 4 and the sizes record.
    peer->ClearReceived();
    peer->Answer(12, {58, 0, 0, 20, 0xFF, 69, 12, 0x77});
    EXPECT_EQ(ReadBlockSizes(h, 1), 1);
    EXPECT_EQ(BlockSizes()[4], -1); // signed bytes
    EXPECT_EQ(BlockSizes()[5], 69);
    peer->ClearReceived();
    peer->Answer(12, {1, 2, 0x77});
    EXPECT_EQ(ReadBlock(h, 1, 0x10, 2, dst, kBoardIm), 2);
    EXPECT_EQ(peer->Received(), Cat({Cmd(1, 0x4C), ReadFrame(0x10, 2)}));
}

TEST_F(LineTest, AnswerWithOneByteTooManyTimesOut) {
    uint8_t dst[8];
    peer->Answer(12, {1, 2, 3, 4, 5, 0x77, 0x00});
    EXPECT_EQ(ReadBlock(h, 1, 0x1000, 5, dst, kBoardMain), -1);
    peer->ClearReceived();
    peer->Answer(12, {0x00, 0x00}); // a 2-byte answer to a 2-byte write
    const uint8_t two[2] = {1, 2};
    EXPECT_EQ(WriteBlock(h, 1, 0x1000, 2, two, kBoardMain), -1);
    peer->ClearReceived();
    EXPECT_EQ(ReadBlockSizes(h, 1), -1); // no answer
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(BlockSizes()[i], 0);
}

TEST_F(LineTest, TimeoutMultiplierStretchesThePieceWait) {
    uint8_t dst[8];
    // About 40 stalled polls of 10 ms: too many for multiplier 1 (21 polls), fine for 3 (61).
    peer->Answer(12, {1, 2, 3, 0x77}, 400);
    EXPECT_EQ(ReadBlock(h, 1, 0x1000, 3, dst, kBoardMain), -1);
    ASSERT_TRUE(peer->WaitScriptDone());
    peer->ClearReceived();
    SetTimeoutMultiplier(TimeoutMultiplierFromText("3"));
    peer->Answer(12, {1, 2, 3, 0x77}, 400);
    EXPECT_EQ(ReadBlock(h, 1, 0x1000, 3, dst, kBoardMain), 3);
    // A slow answer that keeps coming restarts the stall count.
    peer->ClearReceived();
    SetTimeoutMultiplier(1);
    peer->Script({PeerStep{12, {{1}, {2}, {3}, {4}, {5, 0x77}}, 0, 100}});
    EXPECT_EQ(ReadBlock(h, 1, 0x1000, 5, dst, kBoardMain), 5);
}

TEST_F(LineTest, HandleAbove4GivesMinus3WithoutTraffic) {
    // Four more ports in front, so that handle 5 is a real open line.
    PortClose(h);
    std::vector<std::unique_ptr<PtyPeer>> others;
    std::vector<int> handles;
    for (int i = 0; i < 4; ++i) {
        others.push_back(std::make_unique<PtyPeer>());
        int oh = 0;
        ASSERT_EQ(PortOpen(&oh, others.back()->slavePath().c_str()), 0);
        handles.push_back(oh);
    }
    ASSERT_EQ(PortOpen(&h, peer->slavePath().c_str()), 0);
    ASSERT_EQ(h, 5);
    uint8_t buf[64] = {1};
    int addr = 0;
    EXPECT_EQ(ReadBlock(h, 1, 0x1000, 4, buf, kBoardMain), -3);
    EXPECT_EQ(WriteBlock(h, 1, 0x1000, 4, buf, kBoardMain), -3);
    EXPECT_EQ(WriteImageBlock(h, 1, 0x1000, 4, buf), -3);
    EXPECT_EQ(SetSimulator(h, 1, true), -3);
    EXPECT_EQ(RestartController(h, 1), -3);
    EXPECT_EQ(SendCmd(h, 1, 0x48), -3);
    EXPECT_EQ(SendAddressFrame(h, 0x1000, 4), -3);
    EXPECT_EQ(SendWriteFrames(h, 0x1000, 4, buf), -3);
    EXPECT_EQ(Identify(h, 1, buf, &addr), -3);
    EXPECT_EQ(ReadIdentText(h, 1, buf), -3);
    EXPECT_EQ(WriteImage(h, 1, buf, sizeof buf), -1);
    ExpectNoTraffic();
    for (int oh : handles)
        PortClose(oh);
}

TEST_F(LineTest, SimulatorBitKeepsTheOtherBits) {
    peer->Script({PeerStep{12, {{0x85, 0x77}}}, PeerStep{24, {{0x00, 0x00}}}});
    EXPECT_EQ(SetSimulator(h, 1, true), 1);
    EXPECT_EQ(peer->Received(),
              Cat({Cmd(1, 0x4A), ReadFrame(0x24, 1), Cmd(1, 0x42), B(AddressFrame(0x24, 0xC5, 1))}));
    peer->ClearReceived();
    peer->Answer(12, {0xC5, 0x77});
    EXPECT_EQ(ReadSimulator(h, 1), 1);
    peer->ClearReceived();
    peer->Answer(12, {0x21, 0x01, 0x02, 0x77});
    uint8_t t[3];
    EXPECT_EQ(ReadTemperatureRaw(h, 1, t), 1);
    EXPECT_EQ(peer->Received(), Cat({Cmd(1, 0x4A), ReadFrame(0x25, 3)}));
}

TEST_F(LineTest, WriteImageWithZeroChannelSizesStopsAfterTheParameterBlock) {
    const int8_t hdr[7] = {58, 0, 0, 0, 0, 69, 12};
    Bytes image(size_t(ImageLength(hdr)));
    std::memcpy(image.data(), hdr, 7);
    for (size_t i = 7; i < image.size(); ++i)
        image[i] = uint8_t(i);
    // Sizes: 12 bytes out, then each image piece: command, address frame, continuation.
    peer->Script({PeerStep{12, {{58, 0, 0, 0, 0, 69, 12, 0x77}}}, PeerStep{12 + 52, {{0x00}}},
                  PeerStep{12 + 52 + 30, {{0x00}}}});
    EXPECT_EQ(WriteImage(h, 1, image.data(), image.size()), -1);
    Bytes params(image.begin() + 7, image.begin() + 65);
    params[ctrlrparams::Checksum.offset] = FrameChecksum(params.data(), ctrlrparams::Checksum.offset);
    EXPECT_EQ(peer->Received(),
              Cat({Cmd(1, 0x48), ReadFrame(0x3040, 7), Cmd(1, 0x40),
                   WriteFrames(0x3101, Bytes(params.begin(), params.begin() + 40)), Cmd(1, 0x40),
                   WriteFrames(0x3129, Bytes(params.begin() + 40, params.end()))}));
    // Image pieces: the status of a 1-byte piece is the last of its two answer bytes.
    const uint8_t one = 0x01;
    peer->ClearReceived();
    peer->Answer(12, {0x00, 0x04});
    EXPECT_EQ(WriteImageBlock(h, 1, 0x3000, 1, &one), -1);
    peer->ClearReceived();
    peer->Answer(12, {0x00, 0x00});
    EXPECT_EQ(WriteImageBlock(h, 1, 0x3000, 1, &one), 1);
    EXPECT_EQ(peer->Received(), Cat({Cmd(1, 0x40), B(AddressFrame(0x3000, 0x01, 1))}));
    // An image shorter than its header claims goes nowhere.
    peer->ClearReceived();
    EXPECT_EQ(WriteImage(h, 1, image.data(), image.size() - 1), -1);
    ExpectNoTraffic();
}

TEST_F(LineTest, RandomAnswersNeverBreakTheReaders) {
    std::mt19937 rng(4242);
    std::vector<uint8_t> dst(1024 + 64, 0xEE);
    for (int round = 0; round < 8; ++round) {
        Bytes junk(rng() % 60);
        for (auto& b : junk)
            b = uint8_t(rng());
        int addr = 0;
        peer->ClearReceived();
        peer->Answer(4, junk);
        int r = Identify(h, 1, dst.data(), &addr);
        EXPECT_TRUE(r == 1 || r == -1 || r == -2);
        peer->ClearReceived();
        peer->Answer(5, junk);
        r = ReadIdentText(h, 1, dst.data());
        EXPECT_TRUE(r == 1 || r == -1 || r == -2);
        EXPECT_EQ(dst[1024], 0xEE);
        peer->ClearReceived();
        peer->Answer(12, junk);
        r = ReadBlock(h, 1, kAddrParamLength, -1, dst.data(), kBoardMain);
        EXPECT_TRUE(r >= -1 && r <= 255);
        peer->ClearReceived();
        peer->Answer(4, junk);
        ControllerErrorText(h, 1);
        EXPECT_EQ(dst[1024], 0xEE);
    }
}
