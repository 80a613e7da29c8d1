// The parameter block: read repairs, the number box rules, the mode mask and
// the write buffer.
#include <gtest/gtest.h>

#include "checksum.h"
#include "ctrl_params_core.h"
#include "search_core.h"

using namespace settings;

namespace {

ParamsPair Block(int length, std::initializer_list<std::pair<int, uint8_t>> bytes) {
    ParamsPair p;
    p.working[kNozzlesPerSide] = 4;
    p.working[kSideCount] = 2;
    for (auto [at, v] : bytes)
        p.working[static_cast<size_t>(at)] = v;
    p.working[static_cast<size_t>(length - 1)] =
        FrameChecksum(p.working.data(), static_cast<size_t>(length - 1));
    p.loaded(length);
    return p;
}

} // namespace

TEST(ParamsRead, GoodBlockShowsItsValuesWithoutWarnings) {
    auto p = Block(CtrlrParams.length, {{kSpeed1, 1},
                                        {kSpeed2, 2},
                                        {kMeterType, 3},
                                        {kMeterPhase, 2},
                                        {kSlowStart, 7},
                                        {kSlowLoad, 3},
                                        {kNozzleFat, 30},
                                        {kMetTOut, 15},
                                        {kTempHeatLow, 0xFB},
                                        {kHydroHit, 255},
                                        {kDisplayTypes, 0x52},
                                        {kModeMask, 0x01},
                                        {kModeMask + 1, 0x14}});
    const ParamsView v = InspectReadParams(p);
    EXPECT_TRUE(v.warnings.empty());
    EXPECT_EQ(v.speed1Item, 1);
    EXPECT_EQ(v.speed2Item, 2);
    EXPECT_EQ(v.meterItem, 3);
    EXPECT_EQ(v.phaseItem, 2);
    EXPECT_EQ(v.slowStart, 700);
    EXPECT_FALSE(v.slowStartBoth);
    EXPECT_EQ(v.slowLoad, 300);
    EXPECT_EQ(v.nozzleFat, 300);
    EXPECT_EQ(v.tempLow, -5);
    EXPECT_EQ(v.hydroHit, 2550);
    EXPECT_EQ(v.tableA, 2);
    EXPECT_EQ(v.tableB, 5);
    EXPECT_EQ(v.mask, 0x1401);
    EXPECT_EQ(v.nozzleItem, 3);
    EXPECT_EQ(v.sideItem, 1);
    EXPECT_FALSE(p.changed());
}

TEST(ParamsRead, RepairsEachAnomalyWithItsWarningAndMarksTheBlockChanged) {
    auto p = Block(CtrlrParams.length, {{kSpeed1, 4},
                                        {kSpeed2, 9},
                                        {kMeterType, 7},
                                        {kMeterPhase, 4},
                                        {kModeMask, 0xFF},
                                        {kModeMask + 1, 0xFF}});
    p.asRead[CtrlrParams.length - 1] ^= 1; // and a wrong checksum as received
    p.working[CtrlrParams.length - 1] ^= 1;
    const ParamsView v = InspectReadParams(p);
    ASSERT_EQ(v.warnings.size(), 6u);
    EXPECT_EQ(v.warnings[0], kSpeedWarning);
    EXPECT_EQ(v.warnings[1], kSpeedWarning);
    EXPECT_EQ(v.warnings[2], kMeterWarning);
    EXPECT_EQ(v.warnings[3], kPhaseWarning);
    EXPECT_EQ(v.warnings[4], kMaskWarning);
    EXPECT_EQ(v.warnings[5], kChecksumWarning);
    EXPECT_EQ(p.working[kSpeed1], 3);
    EXPECT_EQ(p.working[kSpeed2], 3);
    EXPECT_EQ(p.working[kMeterType], 0);
    EXPECT_EQ(p.working[kMeterPhase], 1);
    EXPECT_FALSE(v.maskRead);
    EXPECT_EQ(p.working[CtrlrParams.length - 1], FrameChecksum(p.working.data(), CtrlrParams.length - 1));
    EXPECT_TRUE(p.changed());
}

TEST(ParamsRead, RepairedFieldDoesNotAlsoReportTheChecksum) {
    auto p = Block(CtrlrParams.length, {{kSpeed1, 4}});
    const ParamsView v = InspectReadParams(p);
    ASSERT_EQ(v.warnings.size(), 1u);
    EXPECT_EQ(v.warnings[0], kSpeedWarning);
}

TEST(ParamsRead, OtherLengthsWarnAndKeepTheirLength) {
    for (int len : {57, 59}) {
        auto p = Block(len, {});
        const ParamsView v = InspectReadParams(p);
        ASSERT_EQ(v.warnings.size(), 1u) << len;
        EXPECT_EQ(v.warnings[0], kSizeWarning);
        EXPECT_EQ(WriteBuffer(p).size(), static_cast<size_t>(len));
        EXPECT_EQ(WriteBuffer(p).back(), FrameChecksum(p.working.data(), static_cast<size_t>(len - 1)));
    }
}

TEST(ParamsRead, SpecialValues) {
    auto p = Block(CtrlrParams.length,
                   {{kSlowStart, 255}, {kMeterType, 255}, {kNozzlesPerSide, 8}, {kSideCount, 0}});
    const ParamsView v = InspectReadParams(p);
    EXPECT_TRUE(v.slowStartBoth);
    EXPECT_EQ(v.slowStart, 255);
    EXPECT_EQ(v.meterItem, 4);
    EXPECT_EQ(v.nozzleItem, 0); // only five nozzles exist
    EXPECT_EQ(v.sideItem, 0);
    EXPECT_TRUE(v.warnings.empty());
}

TEST(ParamsRules, NumberBoxesTakeValuesBelowTheirBound) {
    int v = -1;
    EXPECT_TRUE(NumberBelow("255", kBoundMetTOut, &v));
    EXPECT_EQ(v, 255);
    EXPECT_TRUE(NumberBelow("0", kBoundMetTOut));
    EXPECT_FALSE(NumberBelow("256", kBoundMetTOut));
    EXPECT_TRUE(NumberBelow("25599", kBoundSlowLoad));
    EXPECT_FALSE(NumberBelow("25600", kBoundSlowLoad));
    EXPECT_TRUE(NumberBelow("2559", kBoundNozzleFat));
    EXPECT_FALSE(NumberBelow("2560", kBoundNozzleFat));
    EXPECT_FALSE(NumberBelow("", kBoundMetTOut));
    EXPECT_FALSE(NumberBelow("1a", kBoundMetTOut));
    EXPECT_FALSE(NumberBelow("-1", kBoundMetTOut));
    EXPECT_FALSE(NumberBelow("99999999999", kBoundSlowLoad));
}

TEST(ParamsRules, SlowStartAndDisplayBytes) {
    EXPECT_EQ(SlowStartByte(150, false), 1);
    EXPECT_EQ(SlowStartByte(25500, false), 255);
    EXPECT_EQ(SlowStartByte(25599, false), 255);
    EXPECT_EQ(SlowStartByte(100, true), 255);
    EXPECT_EQ(DisplayByte(0x52, 7, false), 0x57);
    EXPECT_EQ(DisplayByte(0x52, 14, true), 0xE2);
    EXPECT_EQ(DisplayByte(0x06, 6, true), 0x06); // both sides show 6 already
    EXPECT_EQ(DisplayByte(0x06, 5, true), 0x56);
    EXPECT_EQ(DisplayByte(0x06, 6, false), 0x06);
}

TEST(ParamsRules, ModeMaskSkipsBitEight) {
    bool items[kModeItemCount] = {};
    items[7] = items[8] = items[14] = true;
    EXPECT_EQ(ModeMaskFromItems(items), 0x8280);
    EXPECT_TRUE(ModeItemChecked(0x0200, 8));
    EXPECT_FALSE(ModeItemChecked(0x0100, 8));
    bool all[kModeItemCount];
    std::fill(std::begin(all), std::end(all), true);
    EXPECT_EQ(ModeMaskFromItems(all), 0xFEFF);
    EXPECT_TRUE(NozzleListSingle(0x8000, 0x21));
    EXPECT_FALSE(NozzleListSingle(0x8000, 39));
    EXPECT_FALSE(NozzleListSingle(0x7FFF, 0x21));
}

TEST(ParamsRules, SpeedsAndChannels) {
    EXPECT_EQ(SpeedBaud(0), 38400);
    EXPECT_EQ(SpeedBaud(3), 4800);
    EXPECT_EQ(SpeedBaud(9), 4800);
    ParamsPair p;
    p.working[kNozzlesPerSide] = 5;
    p.working[kSideCount] = 2;
    EXPECT_EQ(ChannelCount(p), 10);
    p.working[kNozzlesPerSide] = 3;
    p.working[kSideCount] = 1;
    EXPECT_EQ(ChannelCount(p), 3);
}

TEST(BlockPairTest, ChangeAcceptRestore) {
    BlockPair<8> b;
    b.working = {1, 2, 3, 4, 5, 6, 7, 8};
    b.loaded(4);
    EXPECT_FALSE(b.changed());
    b.working[5] = 0; // beyond the length: not a change
    EXPECT_FALSE(b.changed());
    b.working[2] = 9;
    EXPECT_TRUE(b.changed());
    b.restore();
    EXPECT_EQ(b.working[2], 3);
    b.working[2] = 9;
    b.accept();
    EXPECT_FALSE(b.changed());
    b.loaded(500);
    EXPECT_EQ(b.length, 8);
}

TEST(SearchCore, PollsOneToThirtyOneOnly) {
    std::vector<int> polled;
    SearchRun run([&](int a) {
        polled.push_back(a);
        return a == 5 ? 1 : -1;
    });
    EXPECT_TRUE(run.done());
    run.start();
    std::vector<std::string> lines;
    for (std::string l = run.tick(); !l.empty(); l = run.tick())
        lines.push_back(l);
    ASSERT_EQ(lines.size(), 31u);
    EXPECT_EQ(polled.front(), 1);
    EXPECT_EQ(polled.back(), 31);
    EXPECT_EQ(lines[4], "Трк №5 найдено.");
    EXPECT_EQ(lines[0], "Трк №1 не найдено.");
    EXPECT_TRUE(run.done());
}
