// The channel cores' rules at edges no tab test reaches: the channel list for
// odd side and hose counts, the side dates, the leading digits of a count,
// the texts after a write of both sides.
#include "channel_blocks.h"
#include "sides_core.h"

#include <gtest/gtest.h>

using namespace settings;

TEST(ChannelCores, ListDatesAndCounts) {
    for (auto [sides, hoses, count, last] : {std::tuple{2, 5, 10, "Сторона Б. Рукав 5"},
                                             {3, 2, 4, "Сторона Б. Рукав 2"},
                                             {2, 12, 10, "Сторона А. Рукав 10"},
                                             {0, 1, 1, "Сторона А. Рукав 1"},
                                             {2, 255, 10, "Сторона А. Рукав 10"},
                                             {2, 0, 0, ""}}) {
        const auto items = ChannelListItems(sides, hoses);
        ASSERT_EQ(items.size(), static_cast<size_t>(count)) << sides << "x" << hoses;
        EXPECT_EQ(count ? items.back() : "", last);
    }
    using D = std::array<uint8_t, 3>;
    for (auto [text, date] : {std::pair{"7.3.24", D{7, 3, 24}},
                              {" 7. 3.24", D{7, 3, 24}},
                              {"00.00.00", D{0, 0, 0}},
                              {"29.02.24", D{29, 2, 24}},
                              {"31.12.99", D{31, 12, 99}}})
        EXPECT_EQ(ParseSideDate(text), date) << text;
    for (const char* bad :
         {"", "..", "1.2", "1.2.3.4", "31.04.24", "01.00.24", "01.01.100", "0.0.1", "-1.1.24", "1 2.1.24"})
        EXPECT_FALSE(ParseSideDate(bad).has_value()) << bad;
    EXPECT_EQ(LeadingDigitsValue("x12") + LeadingDigitsValue(""), 0u);
    EXPECT_EQ(LeadingDigitsValue("12x3"), 12u);
    EXPECT_EQ(LeadingDigitsValue("99999999999"), 4294967295u);
    // A write of both sides names each failed side; one side alone keeps its own text.
    for (auto [result, text] : {std::pair{11, "Состояния первой и второй стороны записаны"},
                                {-11, "Состояния первой и второй стороны не записаны!"},
                                {-9, "Состояние первой стороны не записано!"},
                                {9, "Состояние второй стороны не записано!"}})
        EXPECT_STREQ(SidesWrittenText(result), text) << result;
    for (int one : {1, -1, 0})
        EXPECT_EQ(SidesWrittenText(one), nullptr) << one;
}
