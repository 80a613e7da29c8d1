// The channel cores' rules that no tab test reaches at their edges: the
// channel list for every side and hose count, the side dates, the leading
// digits of a transaction count, the state codes around their gap.
#include "channel_blocks.h"
#include "noz_regs_core.h"
#include "sides_core.h"

#include <gtest/gtest.h>

using namespace settings;

TEST(ChannelList, TwoSidesAtMostAndNeverMoreThanTenChannels) {
    struct Case {
        int sides, hoses;
        size_t count;
        const char* last;
    };
    const Case cases[] = {
        {1, 4, 4, "Сторона А. Рукав 4"},
        {2, 4, 8, "Сторона Б. Рукав 4"},
        {2, 5, 10, "Сторона Б. Рукав 5"},
        {2, 6, 10, "Сторона Б. Рукав 4"},
        {3, 2, 4, "Сторона Б. Рукав 2"},
        {1, 12, 10, "Сторона А. Рукав 10"},
        {2, 12, 10, "Сторона А. Рукав 10"},
        {0, 1, 1, "Сторона А. Рукав 1"},
        {2, 0, 0, nullptr},
        {2, 255, 10, "Сторона А. Рукав 10"},
    };
    for (const Case& c : cases) {
        const auto items = ChannelListItems(c.sides, c.hoses);
        SCOPED_TRACE(std::to_string(c.sides) + "x" + std::to_string(c.hoses));
        ASSERT_EQ(items.size(), c.count);
        if (c.last) {
            EXPECT_EQ(items.back(), c.last);
        }
    }
}

TEST(StateCodes, TheGapBetweenFifteenAndFortyThreeHasNoItem) {
    for (auto [code, item] :
         {std::pair{0, 0}, {15, 15}, {16, -1}, {42, -1}, {43, 16}, {46, 19}, {47, -1}, {255, -1}})
        EXPECT_EQ(StateItem(code), item) << code;
    for (int item = 0; item < kStateItems; ++item)
        EXPECT_EQ(StateItem(StateCode(item)), item);
}

TEST(SideDates, ThreeNumbersThatMakeADateOrNone) {
    using D = std::array<uint8_t, 3>;
    EXPECT_EQ(ParseSideDate("07.03.24"), (D{7, 3, 24}));
    EXPECT_EQ(ParseSideDate("7.3.24"), (D{7, 3, 24}));
    EXPECT_EQ(ParseSideDate(" 7. 3.24"), (D{7, 3, 24}));
    EXPECT_EQ(ParseSideDate("00.00.00"), (D{0, 0, 0}));
    EXPECT_EQ(ParseSideDate("29.02.24"), (D{29, 2, 24}));
    EXPECT_EQ(ParseSideDate("31.12.99"), (D{31, 12, 99}));
    for (const char* bad : {"", "..", "1.2", "1.2.3.4", "29.02.25", "31.04.24", "00.01.24", "01.13.24",
                            "01.00.24", "01.01.100", "0.0.1", "a.1.24", "-1.1.24", "01.01.", "1 2.1.24"})
        EXPECT_FALSE(ParseSideDate(bad).has_value()) << bad;
    SideBuffer b{};
    b[3] = 7, b[4] = 3, b[5] = 24;
    EXPECT_EQ(SideDateText(b), "07.03.24");
}

TEST(SideCounts, LeadingDigitsWithinThirtyTwoBits) {
    EXPECT_EQ(LeadingDigitsValue(""), 0u);
    EXPECT_EQ(LeadingDigitsValue("x12"), 0u);
    EXPECT_EQ(LeadingDigitsValue("12x3"), 12u);
    EXPECT_EQ(LeadingDigitsValue("4294967295"), 4294967295u);
    EXPECT_EQ(LeadingDigitsValue("99999999999"), 4294967295u);
}

TEST(ChannelWrite, PaddedToTheControllersSize) {
    const uint8_t block[3] = {1, 2, 3};
    EXPECT_EQ(PaddedChannelBuffer(block, 3, 5), (std::vector<uint8_t>{1, 2, 3, 0, 0}));
    EXPECT_EQ(PaddedChannelBuffer(block, 3, 2), (std::vector<uint8_t>{1, 2}));
}
