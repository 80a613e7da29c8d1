// The line's frame parser, images and the demo file, without a transport:
// bytes go straight into Line::receive with times chosen by the test.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>

#include "block_layout.h"
#include "memory_map.h"
#include "sim_peer.h"
#include "virtual_controller.h"

using namespace simtest;
using zelsim::Answer;
using zelsim::Clock;
using zelsim::FrameKind;
using zelsim::Line;

namespace {

struct Fed {
    Line line;
    Clock::time_point t = Clock::now();
    // Feeds bytes `gapMs` after the previous ones; returns the answers' bytes.
    // `quietMs`: the transport last saw the line quiet this long after them.
    Bytes feed(const Bytes& b, int gapMs = 1, std::optional<int> quietMs = std::nullopt) {
        const Clock::time_point before = t;
        t += std::chrono::milliseconds(gapMs);
        std::vector<Answer> out;
        std::optional<Clock::time_point> quiet;
        if (quietMs) quiet = before + std::chrono::milliseconds(*quietMs);
        line.receive(b.data(), b.size(), t, out, quiet);
        Bytes all;
        for (auto& a : out)
            all.insert(all.end(), a.bytes.begin(), a.bytes.end());
        return all;
    }
};

Bytes Identity(uint8_t addr, uint8_t type) {
    Bytes a{addr, type, 0x01};
    a.push_back(FrameChecksum(a.data(), 3));
    return a;
}

} // namespace

TEST(SimParser, ResyncsAfterNoiseBadChecksumsAndPauses) {
    Fed f;
    f.line.addController(1);
    // noise, then a command frame with a bad checksum whose third byte starts a real frame
    Bytes in{0x11, 0x22, 0x60, 0x05, 0x60};
    Bytes id = Cmd(1, 0x21);
    in.insert(in.end(), id.begin() + 1, id.end());
    EXPECT_EQ(f.feed(in), Identity(1, 0x21));

    // half a read request, then a pause longer than the resync limit: dropped
    Bytes rd = ReadReq(1, 0x3040, 7);
    EXPECT_TRUE(f.feed(Bytes(rd.begin(), rd.begin() + 6)).empty());
    EXPECT_EQ(f.feed(Cmd(1, 0x21), Line::kResyncPauseMs + 1), Identity(1, 0x21));
    // the same split with a short pause completes the request
    EXPECT_TRUE(f.feed(Bytes(rd.begin(), rd.begin() + 6)).empty());
    EXPECT_EQ(f.feed(Bytes(rd.begin() + 6, rd.end()), 50).size(), 8u);
    // read late by a busy transport, though it last saw the line quiet only
    // 50 ms after the first half: the line was not quiet long enough
    EXPECT_TRUE(f.feed(Bytes(rd.begin(), rd.begin() + 6)).empty());
    EXPECT_EQ(f.feed(Bytes(rd.begin() + 6, rd.end()), Line::kResyncPauseMs + 300, 50).size(), 8u);
    // seen quiet past the limit: dropped, whenever the bytes were read
    EXPECT_TRUE(f.feed(Bytes(rd.begin(), rd.begin() + 6)).empty());
    EXPECT_TRUE(f.feed(Bytes(rd.begin() + 6, rd.end()), Line::kResyncPauseMs + 300, Line::kResyncPauseMs + 1)
                    .empty());

    const auto frames = f.line.frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[0].kind, FrameKind::Skipped);
    EXPECT_EQ(frames[0].bytes, (Bytes{0x11, 0x22, 0x60, 0x05}));
    EXPECT_EQ(frames[1].kind, FrameKind::Command);
    EXPECT_EQ(frames[1].bytes, id);
}

TEST(SimParser, FollowsFrameLengthsForOtherAddresses) {
    Fed f;
    f.line.addController(1);
    // A write to controller 9 whose data looks like an identify frame for 1:
    // the parser must take it as data, not answer it.
    Bytes data{0x00};
    Bytes fake = Cmd(1, 0x21);
    data.insert(data.end(), fake.begin(), fake.end());
    EXPECT_TRUE(f.feed(WriteReq(9, 0x5000, data)).empty());
    EXPECT_TRUE(f.feed(ReadReq(9, 0x3040, 7)).empty());
    EXPECT_EQ(f.feed(Cmd(1, 0x21)), Identity(1, 0x21));

    // A bad address-frame checksum: no answer, the error is noted.
    Bytes bad = ReadReq(1, 0x3040, 7);
    bad.back() ^= 1;
    EXPECT_TRUE(f.feed(bad).empty());
    EXPECT_EQ(f.line.front().lastErrorCode(), zelsim::kErrBadChecksum);
    // A bad continuation checksum: no answer, memory unchanged.
    const Bytes before = f.line.front().peek(0, 0x5000, 3);
    Bytes w = WriteReq(1, 0x5000, {1, 2, 3});
    w.back() ^= 1;
    EXPECT_TRUE(f.feed(w).empty());
    EXPECT_EQ(f.line.front().peek(0, 0x5000, 3), before);
    // An identification-text request followed by something other than 0x31.
    Bytes t = Cmd(1, 0x00);
    Bytes id = Cmd(1, 0x21);
    t.insert(t.end(), id.begin(), id.end());
    EXPECT_EQ(f.feed(t), Identity(1, 0x21));
}

TEST(SimParser, FaultShapesOfAnswers) {
    Fed f;
    auto& c = f.line.addController(3, 0x17);
    zelsim::Faults fl;
    fl.answerDelayMs = 40;
    fl.chunkSize = 2;
    fl.chunkPauseMs = 15;
    c.setFaults(fl);
    std::vector<Answer> out;
    const Bytes id = Cmd(3, 0x21);
    f.line.receive(id.data(), id.size(), Clock::now(), out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].bytes, Identity(3, 0x17));
    EXPECT_EQ(out[0].delayMs, 40);
    EXPECT_EQ(out[0].chunkSize, 2);
    EXPECT_EQ(out[0].chunkPauseMs, 15);
}

TEST(SimParser, RandomBytesNeverCrashOrAnswerGarbage) {
    std::mt19937 rng(12345);
    Fed f;
    f.line.addController(1);
    f.line.addController(2, 0x22);
    f.line.front().setPasswords(1234, 0);
    for (int round = 0; round < 3000; ++round) {
        Bytes b(rng() % 40);
        for (auto& x : b)
            x = uint8_t(rng() % 4 == 0 ? 0x60 : rng());
        if (rng() % 3 == 0 && !b.empty()) b[rng() % b.size()] = uint8_t(rng() % 2 ? 0x48 : 0x40);
        f.feed(b, int(rng() % 300));
    }
    // Still in step afterwards: after a pause, a plain request is answered.
    EXPECT_EQ(f.feed(Cmd(2, 0x21), 1000), Identity(2, 0x22));
}

TEST(SimImage, RoundTripOptionalBlocksAndShortFiles) {
    zelsim::VirtualController a(5);
    a.poke(0, 0x1300, {0xAA, 0xBB});
    a.poke(0, 0x3000 + 56, {0x77});
    Bytes img = a.imageBytes();
    EXPECT_EQ(img.size(), 1292u); // 7 + 58 + 200 + 24 + 690 + 256 + 57
    EXPECT_EQ(Bytes(img.begin(), img.begin() + 7), (Bytes{58, 0, 0, 20, 0, 69, 12}));

    zelsim::VirtualController b(7);
    ASSERT_EQ(b.loadImageBytes(img), zelsim::kImageOk);
    EXPECT_EQ(b.peek(0, 0x1300, 2), (Bytes{0xAA, 0xBB}));
    EXPECT_EQ(b.peek(0, 0x3000 + 56, 1), Bytes{0x77});
    // the side A address follows the controller, with a fresh checksum
    const Bytes p = b.peek(0, CtrlrParams.address, CtrlrParams.length);
    EXPECT_EQ(p[ctrlrparams::AddrSideA.offset], 7);
    EXPECT_EQ(p[ctrlrparams::Checksum.offset], FrameChecksum(p.data(), ctrlrparams::Checksum.offset));

    // sizes[4] != 0: two blocks for 0x0 and 0x100 after the channel settings
    img[4] = 3;
    img.insert(img.begin() + 7 + 58 + 200, {1, 2, 3, 4, 5, 6});
    ASSERT_EQ(b.loadImageBytes(img), zelsim::kImageOk);
    EXPECT_EQ(b.peek(0, 0x0, 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(b.peek(0, 0x100, 3), (Bytes{4, 5, 6}));
    EXPECT_EQ(b.peek(0, 0x3040, 7), (Bytes{58, 0, 0, 20, 3, 69, 12}));
    const Bytes back = b.imageBytes();
    ASSERT_EQ(back.size(), img.size());
    EXPECT_EQ(Bytes(back.begin() + 65, back.end()), Bytes(img.begin() + 65, img.end()));

    // one byte short, or no header: refused, nothing changed
    img.pop_back();
    EXPECT_EQ(b.loadImageBytes(img), zelsim::kImageBad);
    EXPECT_EQ(b.loadImageBytes({58, 0}), zelsim::kImageBad);
    EXPECT_EQ(b.peek(0, 0x0, 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(b.loadImage("no-such-image.bin"), zelsim::kImageCannotOpen);

    std::mt19937 rng(7);
    for (int i = 0; i < 500; ++i) {
        Bytes r(rng() % 3000);
        for (auto& x : r)
            x = uint8_t(rng());
        const int res = b.loadImageBytes(r);
        EXPECT_TRUE(res == zelsim::kImageOk || res == zelsim::kImageBad);
    }
}

TEST(SimImage, DemoLayoutAndGeneratedFile) {
    zelsim::VirtualController c;
    c.poke(0, 0x1300, Bytes(20, 0x33));
    const Bytes d = c.demoImageBytes();
    ASSERT_EQ(d.size(), zelsim::kDemoImageSize);
    EXPECT_EQ(Bytes(d.begin(), d.begin() + 7), (Bytes{58, 0, 0, 20, 0, 69, 12}));
    EXPECT_EQ(Bytes(d.begin() + 7, d.begin() + 65), c.peek(0, 0x3101, 58));
    EXPECT_EQ(Bytes(d.begin() + 125, d.begin() + 145), Bytes(20, 0x33));
    EXPECT_EQ(Bytes(d.begin() + 265, d.begin() + 277), c.peek(0, 0x4000, 12));
    EXPECT_EQ(Bytes(d.begin() + 289, d.begin() + 417), c.peek(0, 0x5100, 128));
    EXPECT_EQ(Bytes(d.begin() + 417 + 69 * 9, d.begin() + 1107), c.peek(0, 0x2900, 69));
    EXPECT_EQ(Bytes(d.begin() + 1107, d.end()), Bytes(1235 - 1107, 0));

    const char* bin = std::getenv("ZEL_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    std::ifstream f(std::string(bin) + "/data/demo_trk.bin", std::ios::binary);
    const Bytes file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    EXPECT_EQ(file, zelsim::VirtualController().demoImageBytes());
}

// A controller busy writing its memory ignores what comes too soon after the
// previous frame: a continuation frame, and a command after a frame that got
// no answer. Frames after an answer, and address frames, are not held back.
TEST(SimParser, MinimumGapRefusesFramesThatComeTooSoon) {
    Fed f;
    zelsim::VirtualController& c = f.line.addController(1);
    zelsim::Faults busy;
    busy.minGapMs = 45;
    c.setFaults(busy);
    const Bytes data{0x11, 0x22, 0x33};
    const Bytes cont{0x22, 0x33, FrameChecksum(data.data() + 1, 2)};

    // Continuation 30 ms after its address frame: lost, nothing written or answered.
    EXPECT_TRUE(f.feed(Cmd(1, 0x40)).empty());
    EXPECT_TRUE(f.feed(AddrFrame(0x1000, 0x11, 3), 0).empty());
    EXPECT_TRUE(f.feed(cont, 30).empty());
    EXPECT_NE(c.peek(0, 0x1000, 3), data);
    auto frames = f.line.frames();
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames.back().kind, FrameKind::Continuation);
    EXPECT_TRUE(frames.back().refused);
    EXPECT_NEAR(frames.back().gapMs, 30.0, 0.5);

    // The command after that unanswered frame, 20 ms on: ignored as well ...
    EXPECT_TRUE(f.feed(Cmd(1, 0x21), 20).empty());
    EXPECT_TRUE(f.line.frames().back().refused);
    // ... 50 ms on it is answered, and the next command at once after the answer too.
    EXPECT_EQ(f.feed(Cmd(1, 0x21), 50), Identity(1, 0x21));
    EXPECT_EQ(f.feed(Cmd(1, 0x21), 1), Identity(1, 0x21));

    // The same write with the continuation 50 ms after its address frame is taken.
    EXPECT_TRUE(f.feed(Cmd(1, 0x40), 1).empty());
    EXPECT_TRUE(f.feed(AddrFrame(0x1000, 0x11, 3), 0).empty());
    EXPECT_EQ(f.feed(cont, 50), Bytes{0x00});
    EXPECT_EQ(c.peek(0, 0x1000, 3), data);
    frames = f.line.frames();
    EXPECT_FALSE(frames.back().refused);
    EXPECT_NEAR(frames.back().gapMs, 50.0, 0.5);

    // Without the switch the hurried continuation is written.
    c.setFaults({});
    EXPECT_TRUE(f.feed(Cmd(1, 0x40), 1).empty());
    EXPECT_TRUE(f.feed(AddrFrame(0x1100, 0x11, 3), 0).empty());
    EXPECT_EQ(f.feed(cont, 1), Bytes{0x00});
    EXPECT_EQ(c.peek(0, 0x1100, 3), data);
}

// The gap is measured from the end of one frame to the start of the next: on a
// paced line a frame starts one byte time before its first byte is in.
TEST(SimParser, GapsCountFromTheStartOfTheFirstByte) {
    Fed f;
    f.line.addController(1);
    f.line.setByteTime(std::chrono::milliseconds(2));
    const Bytes id = Cmd(1, 0x21);
    for (uint8_t b : id)
        f.feed({b}, 2);
    f.feed({id[0]}, 52); // 50 ms of quiet line, then a byte of 2 ms
    for (size_t i = 1; i < id.size(); ++i)
        f.feed({id[i]}, 2);
    const auto frames = f.line.frames();
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_LT(frames[0].gapMs, 0); // nothing before the first frame
    EXPECT_NEAR(frames[1].gapMs, 50.0, 0.5);
}

TEST(SimParser, SilentRestartRestartsWithoutAnAnswer) {
    Fed f;
    zelsim::VirtualController& c = f.line.addController(1);
    zelsim::Faults silent;
    silent.silentRestart = true;
    c.setFaults(silent);
    EXPECT_TRUE(f.feed(WriteReq(1, 0x88FFFF, {0x01})).empty());
    EXPECT_EQ(c.restartCount(), 1);
    // Nothing is left waiting: the next request is answered at once.
    EXPECT_EQ(f.feed(Cmd(1, 0x21), 1), Identity(1, 0x21));
    // Other 1-byte writes are still answered.
    EXPECT_EQ(f.feed(WriteReq(1, 0x1000, {0x05})), (Bytes{0x00, 0x00}));
}
