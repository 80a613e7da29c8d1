// The deadlines of every exchange, to the millisecond, on a line in virtual
// time: each wait ends exactly when its poll counts and the multiplier say,
// however the answer bytes trickle in.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "block_transfer.h"
#include "error_messages.h"
#include "frames.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "virtual_line.h"

namespace {

class VirtualTime : public ::testing::Test {
protected:
    static void SetUpTestSuite() { PortLayerStart(); }
    static void TearDownTestSuite() { PortLayerStop(); }
    void TearDown() override {
        if (h) PortClose(h);
        vline::Uninstall();
        ResetProtocolState();
    }
    // Runs the exchange on a fresh line with these answer events; returns the
    // virtual milliseconds it took.
    int64_t Time(std::vector<vline::Event> events, const std::function<void()>& exchange) {
        if (h) PortClose(h);
        vline::Install(std::move(events));
        EXPECT_EQ(PortOpen(&h, "STUB"), 0);
        exchange();
        return vline::Now();
    }
    int h = 0;
};

// `bytes` bytes every `everyMs`, never a zero byte, from the first write on.
std::vector<vline::Event> Chatter(int count, int everyMs, int bytes = 1) {
    std::vector<vline::Event> v;
    for (int i = 0; i < count; ++i)
        v.push_back({1, everyMs, std::vector<uint8_t>(size_t(bytes), 'x')});
    return v;
}

} // namespace

TEST_F(VirtualTime, NoAnswerEndsExactlyAtTheDeadline) {
    uint8_t buf[1024];
    int addr = 0;
    struct Case {
        const char* what;
        std::function<int()> run;
        int result;
        int64_t ms1, ms3; // with multiplier 1 and 3
    };
    const std::vector<Case> cases = {
        {"identify: 10 x M + 2 polls of 10 ms", [&] { return Identify(h, 1, buf, &addr); }, -1, 120, 320},
        {"text: 250 x M + 1 idle polls of 1 ms", [&] { return ReadIdentText(h, 1, buf); }, -1, 251, 751},
        {"length query: 200 x M polls of 1 ms",
         [&] { return ReadBlock(h, 1, kAddrParamLength, -1, buf, kBoardMain); }, -1, 200, 600},
        {"read piece: 20 x M + 1 polls of 10 ms", [&] { return ReadBlock(h, 1, 0x1000, 5, buf, kBoardMain); },
         -1, 210, 610},
        {"write piece: 50 ms gap, then 50 x M + 1 polls of 10 ms",
         [&] { return WriteBlock(h, 1, 0x1000, 2, buf, kBoardMain); }, -1, 560, 1560},
        {"image piece: 20 ms gap, then 300 x M + 1 polls of 1 ms",
         [&] { return WriteImageBlock(h, 1, 0x3000, 1, buf); }, -1, 321, 921},
        {"error query: 300 ms", [&] { return RunErrorQuery(h, 1); }, -6, 300, 300},
    };
    for (const Case& c : cases) {
        for (int m : {1, 3}) {
            SetTimeoutMultiplier(m);
            int r = 0;
            EXPECT_EQ(Time({}, [&] { r = c.run(); }), m == 1 ? c.ms1 : c.ms3)
                << c.what << ", multiplier " << m;
            EXPECT_EQ(r, c.result) << c.what;
        }
    }
}

TEST_F(VirtualTime, AnswersTrickleInUpToTheirLimits) {
    uint8_t buf[64] = {};
    // A 40-byte piece whose bytes come 200 ms apart: each byte restarts the
    // 210 ms stall time, so the piece still arrives (after 41 x 200 ms).
    std::vector<vline::Event> slow;
    for (int i = 0; i < 41; ++i)
        slow.push_back({2, i == 0 ? 0 : 200, {uint8_t(i)}});
    int r = 0;
    EXPECT_EQ(Time(slow, [&] { r = ReadBlock(h, 1, 0x1000, 40, buf, kBoardMain); }), 8000);
    EXPECT_EQ(r, 40);
    EXPECT_EQ(buf[39], 39);

    // Chatter on the line ends a piece read once the count has passed what was
    // asked for and the stall time is over: two bytes every 5 ms step from 40
    // (at 100 ms) over the 41 asked for, and the read ends 210 ms later.
    EXPECT_EQ(Time(Chatter(5000, 5, 2), [&] { r = ReadBlock(h, 1, 0x1000, 40, buf, kBoardMain); }), 310);
    EXPECT_EQ(r, -1);

    // The text read under chatter ends once more bytes came than a text has.
    uint8_t text[kIdentTextSize];
    EXPECT_EQ(Time(Chatter(5000, 5), [&] { r = ReadIdentText(h, 1, text); }), 5 * 1024);
    EXPECT_EQ(r, -2);
    // Slower chatter (a byte every 200 ms) meets the overall deadline of the
    // text: 251 ms idle time plus 10 ms for each of the 1024 bytes.
    EXPECT_EQ(Time(Chatter(5000, 200), [&] { r = ReadIdentText(h, 1, text); }), 251 + 10240);
    EXPECT_EQ(r, -2);
}

TEST_F(VirtualTime, ThePiecesOfABlockAndTheirFrames) {
    // A 41-byte read: two pieces, each answered 30 ms after its address frame.
    std::vector<uint8_t> first(41, 0xA1), second{0xB2, 0x77};
    uint8_t buf[41];
    int r = 0;
    const int64_t ms =
        Time({{2, 30, first}, {4, 30, second}}, [&] { r = ReadBlock(h, 1, 0x2000, 41, buf, 0); });
    EXPECT_EQ(r, 41);
    EXPECT_EQ(ms, 60);
    EXPECT_EQ(buf[39], 0xA1);
    EXPECT_EQ(buf[40], 0xB2);
    const auto& sent = vline::St().written;
    ASSERT_EQ(sent.size(), 24u);
    const auto cmd = CommandFrame(1, 0x48);
    EXPECT_TRUE(std::equal(cmd.begin(), cmd.end(), sent.begin()));
}
