// The advanced settings rules.
#include <gtest/gtest.h>

#include "nara_core.h"

#include <algorithm>
#include <array>

using namespace settings;

TEST(NaraRules, RangesOfEachBox) {
    for (const char* ok : {"0", "3", "180"})
        EXPECT_TRUE(MinSpTimeValid(ok)) << ok;
    for (const char* bad : {"1", "2", "181", "", "x"})
        EXPECT_FALSE(MinSpTimeValid(bad)) << bad;
    for (const char* ok : {"0", "3", "60"})
        EXPECT_TRUE(PcTimeoutValid(ok)) << ok;
    for (const char* bad : {"2", "61"})
        EXPECT_FALSE(PcTimeoutValid(bad)) << bad;
    for (const char* ok : {"0", "10", "500"})
        EXPECT_TRUE(MinVolNaraValid(ok)) << ok;
    for (const char* bad : {"9", "501"})
        EXPECT_FALSE(MinVolNaraValid(bad)) << bad;
    EXPECT_TRUE(ShimDurationValid("0"));
    EXPECT_FALSE(ShimDurationValid("1"));
    EXPECT_TRUE(ShimDurationValid("19"));
    EXPECT_FALSE(ShimDurationValid("20"));
    EXPECT_TRUE(NozzleWaitValid("99"));
    EXPECT_FALSE(NozzleWaitValid("100"));
    EXPECT_TRUE(MinSpeedValid("30"));
    EXPECT_FALSE(MinSpeedValid("31"));
    EXPECT_TRUE(ValveDelayValid("30"));
    EXPECT_FALSE(ValveDelayValid("31"));
    EXPECT_TRUE(StWaitForceValid("99"));
    EXPECT_FALSE(StWaitForceValid("100"));
    EXPECT_TRUE(PbTimeoutNaraValid("100"));
    EXPECT_FALSE(PbTimeoutNaraValid("101"));
    EXPECT_FALSE(PbTimeoutNaraValid("99999999999"));
}

TEST(NaraRules, HydroHitAndTemperatures) {
    EXPECT_TRUE(HydroHitValid(2555));
    EXPECT_EQ(HydroHitByte(2555), 255);
    EXPECT_FALSE(HydroHitValid(2556));
    EXPECT_EQ(HydroHitByte(15), 1);
    EXPECT_FALSE(HydroHitValid(-1));
    EXPECT_TRUE(TempLowValid(-5));
    EXPECT_FALSE(TempLowValid(0));
    EXPECT_FALSE(TempLowValid(5));
    EXPECT_TRUE(TempLowValid(-128));
    EXPECT_FALSE(TempLowValid(-129)); // would wrap round to +127
    EXPECT_TRUE(TempHighValid(5));
    EXPECT_TRUE(TempHighValid(-20));
    EXPECT_FALSE(TempHighValid(128));
}

TEST(NaraRules, PasswordsAtTheThirtyTwoBitLimit) {
    EXPECT_TRUE(BmuPasswordTextValid("4294967295"));
    EXPECT_FALSE(BmuPasswordTextValid("4294967296"));
    EXPECT_FALSE(BmuPasswordTextValid("5000000000"));
    EXPECT_TRUE(BmuPasswordTextValid("999999999"));
    EXPECT_TRUE(BmuPasswordTextValid("3999999999"));
    EXPECT_TRUE(BmuPasswordTextValid(""));
    EXPECT_EQ(BmuPasswordValue("4294967295"), 4294967295u);
    EXPECT_EQ(BmuPasswordValue("4294967296"), 0u);
    EXPECT_EQ(BmuPasswordValue("12"), 12u);
    EXPECT_FALSE(BmuPasswordValue("").has_value());
    EXPECT_FALSE(BmuPasswordValue("1x").has_value());
}

TEST(NaraRules, DotFlagsAndPriceShift) {
    EXPECT_EQ(DotItem(0x06), 1);
    EXPECT_EQ(DotItem(0x02), 2);
    EXPECT_EQ(DotItem(0xF9), 0);
    EXPECT_EQ(FlagsForDotItem(0x06, 2), 0x02);
    EXPECT_EQ(FlagsForDotItem(0xFF, 0), 0xF9);
    EXPECT_EQ(FlagsForDotItem(0x01, 1), 0x05);
    EXPECT_EQ(PrcShiftValue("7"), 7);
    EXPECT_EQ(PrcShiftValue(""), 0);
    EXPECT_EQ(PrcShiftValue("x"), 0);
    uint8_t b[8] = {};
    PutU32(b, 2, 0xA1B2C3D4);
    EXPECT_EQ(b[2], 0xD4);
    EXPECT_EQ(GetU32(b, 2), 0xA1B2C3D4u);
}

// The stores of the hand-checked boxes: a valid value reaches its byte and
// nothing else, a refused one leaves the whole block as it was.
TEST(NaraRules, TheStoresTouchOnlyTheirByte) {
    struct Case {
        bool (*store)(uint8_t*, long);
        int offset;
        long value;
        int byte; // -1: refused
    };
    const Case cases[] = {
        {StoreHydroHit, ctrlrparams::HydroHit.offset, 2555, 255},
        {StoreHydroHit, ctrlrparams::HydroHit.offset, 19, 1},
        {StoreHydroHit, ctrlrparams::HydroHit.offset, 2556, -1},
        {StoreHydroHit, ctrlrparams::HydroHit.offset, -1, -1},
        {StoreTempLow, ctrlrparams::TempHeatLow.offset, -1, 0xFF},
        {StoreTempLow, ctrlrparams::TempHeatLow.offset, -128, 0x80},
        {StoreTempLow, ctrlrparams::TempHeatLow.offset, 0, -1},
        {StoreTempLow, ctrlrparams::TempHeatLow.offset, -129, -1},
        {StoreTempHigh, ctrlrparams::TempHeatHigh.offset, 127, 127},
        {StoreTempHigh, ctrlrparams::TempHeatHigh.offset, -20, 0xEC},
        {StoreTempHigh, ctrlrparams::TempHeatHigh.offset, 128, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        std::array<uint8_t, CtrlrParams.length> p;
        p.fill(0x5A);
        auto want = p;
        if (c.byte >= 0) want[static_cast<size_t>(c.offset)] = static_cast<uint8_t>(c.byte);
        EXPECT_EQ(c.store(p.data(), c.value), c.byte >= 0);
        EXPECT_EQ(p, want);
    }
    std::array<uint8_t, NaraSpecific.length> n{};
    n[kNaraFlags] = 0xF9;
    StoreDotItem(n.data(), 1);
    EXPECT_EQ(n[kNaraFlags], 0xFD);
    EXPECT_EQ(StoredDotItem(n.data()), 1);
    StorePrcShift(n.data(), "3x");
    EXPECT_EQ(n[kPrcShift], 3);
    EXPECT_EQ(std::count(n.begin(), n.end(), 0), NaraSpecific.length - 2);
}
