// The temperature table's arithmetic and texts, and the dump sheet: layout,
// selection, digit editing and the bytes behind the digits.
#include "dump_core.h"
#include "temperature_table.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tools;

namespace {

TEST(TemperatureTable, ThermistorExampleGivesTheKnownReadingsRisingDownTheTable) {
    const RecalcResult r = RecalculateTable(10, 3950, 25);
    ASSERT_EQ(r.status, Recalc::Ok);
    EXPECT_EQ(r.table[0], 11); // -50 °C
    EXPECT_EQ(ReadingText(r.table[0]), "B");
    EXPECT_EQ(EntryDegrees(19), 26);
    EXPECT_EQ(r.table[19], 523);
    EXPECT_EQ(ReadingText(r.table[19]), "20B");
    EXPECT_EQ(EntryDegrees(38), 102);
    EXPECT_EQ(r.table[38], 960);
    EXPECT_EQ(ReadingText(r.table[38]), "3C0");
    for (int i = 1; i < kTableEntries; ++i)
        EXPECT_GT(r.table[static_cast<size_t>(i)], r.table[static_cast<size_t>(i - 1)]) << i;
    // T is t + 273 in whole kelvins: at 25 °C (not a table row) Rt would be Rn;
    // the row of 26 °C lies just below it.
    EXPECT_LT(r.rows[19].rt, 10.0);
    EXPECT_GT(r.rows[18].rt, 10.0);
    EXPECT_EQ(ResistanceText(r.rows[0].rt), "863,121975691635");
}

TEST(TemperatureTable, NominalTemperatureCheckAndResultsThatAreNoNumbers) {
    EXPECT_EQ(RecalculateTable(10, 3950, 0).status, Recalc::Ok);
    EXPECT_EQ(RecalculateTable(10, 3950, -272.5).status, Recalc::Ok);
    EXPECT_EQ(RecalculateTable(10, 3950, -273).status, Recalc::BadTemperature);
    EXPECT_EQ(RecalculateTable(10, 3950, -400).status, Recalc::BadTemperature);
    // Rn = 0 gives 0/0; a B this large overflows exp at -50 °C.
    for (const auto& [rn, b] : {std::pair<double, double>{0, 3950}, {10, 999999999}}) {
        const RecalcResult r = RecalculateTable(rn, b, 25);
        EXPECT_EQ(r.status, Recalc::NotFinite) << rn << " " << b;
        EXPECT_EQ(r.table, TemperatureTable{});
    }
    // exp underflowing to 0 is still a number: Rt 0, the reading 1024.
    const RecalcResult low = RecalculateTable(10, -700000, 25);
    ASSERT_EQ(low.status, Recalc::Ok);
    EXPECT_EQ(ReadingText(low.table[0]), "400");
}

TEST(TemperatureTable, ParameterTextsAndCellTexts) {
    struct Case {
        const char* text;
        double value; // NAN: refused
    };
    for (const Case& c : {Case{"10", 10},
                          {"4,7", 4.7},
                          {"4.7", 4.7},
                          {" 25 ", 25},
                          {"0", 0},
                          {"-273", -273},
                          {"1e3", 1000},
                          {"+5", 5},
                          {"", NAN},
                          {",", NAN},
                          {"1,2,3", NAN},
                          {"12a", NAN},
                          {"inf", NAN},
                          {"nan", NAN},
                          {"-", NAN},
                          {"1e999", NAN},
                          {"0x10", NAN}}) {
        const auto v = ParseParameter(c.text);
        if (std::isnan(c.value)) {
            EXPECT_FALSE(v.has_value()) << c.text;
        } else {
            ASSERT_TRUE(v.has_value()) << c.text;
            EXPECT_DOUBLE_EQ(*v, c.value) << c.text;
        }
    }
    EXPECT_EQ(ResistanceText(10), "10");
    EXPECT_EQ(ResistanceText(0.5), "0,5");
    EXPECT_EQ(ResistanceText(1.0 / 3), "0,333333333333333");
    EXPECT_EQ(ReadingText(0), "0");
    EXPECT_EQ(ReadingText(0x7FFF), "7FFF");
    EXPECT_EQ(ReadingText(0xFFFF), "FFFFFFFF"); // a signed 16-bit entry
    EXPECT_EQ(DegreesText(0), "-50");

    TemperatureTable t{};
    t[0] = 0x1234;
    t[38] = 0xFFFF;
    const auto bytes = TableBytes(t);
    EXPECT_EQ(bytes[0], 0x34);
    EXPECT_EQ(bytes[1], 0x12);
    EXPECT_EQ(bytes[77], 0xFF);
    EXPECT_EQ(TableFromBytes(bytes.data()), t);
}

TEST(DumpBoxes, TextsCountsAndTheBankLimit) {
    for (const char* good : {"0", "ff", "FF", "00012345", "0000000000FF"})
        EXPECT_TRUE(DumpTextValid(good)) << good;
    for (const char* bad : {"", " 1", "0x10", "1g", "-1"})
        EXPECT_FALSE(DumpTextValid(bad)) << bad;
    EXPECT_EQ(DumpHexValue("0000000000FF").value_or(0), 0xFFu);
    EXPECT_EQ(DumpHexValue("FFFFFFFF").value_or(0), 0xFFFFFFFFu);
    EXPECT_FALSE(DumpHexValue("100000000").has_value()); // beyond 32 bits
    EXPECT_EQ(DumpCountLimit(0), 0x10000u);
    EXPECT_EQ(DumpCountLimit(0xFF00), 0x100u);
    EXPECT_EQ(DumpCountLimit(0xFFFF), 1u);
    EXPECT_EQ(DumpCountLimit(0x12345), 0xDCBBu); // bank 1
    EXPECT_EQ(DumpCountLimit(0x1000000), 0u);
    // Nothing is asked of the line for a count of 0 or beyond the bank (the port is not even valid).
    std::vector<uint8_t> bytes{1, 2};
    EXPECT_EQ(ReadDump(0, 1, DumpArea::ER, 0xFF00, 0x101, bytes), -1);
    EXPECT_EQ(ReadDump(0, 1, DumpArea::ER, 0, 0, bytes), -1);
    EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2}));
}

TEST(DumpSheet, CodePage866AsTheOemFontDrawsIt) {
    // The ends of each range of the table.
    const std::u16string expected = u" ☺▼A⌂АЯапряЁ░▀№\u00A0";
    const uint8_t bytes[] = {0x00, 0x01, 0x1F, 0x41, 0x7F, 0x80, 0x9F, 0xA0,
                             0xAF, 0xE0, 0xEF, 0xF0, 0xB0, 0xDF, 0xFC, 0xFF};
    for (size_t i = 0; i < sizeof bytes; ++i)
        EXPECT_EQ(OemChar(bytes[i]), expected[i]) << int(bytes[i]);
    // One character a byte, no line breaks or tabs that would break the column.
    std::u16string all;
    for (int b = 1; b < 256; ++b) {
        const char16_t c = OemChar(static_cast<uint8_t>(b));
        EXPECT_GE(c, u' ') << b;
        EXPECT_EQ(all.find(c), std::u16string::npos) << b;
        all.push_back(c);
    }
}

std::u16string U(const char* ascii) {
    return std::u16string(ascii, ascii + std::char_traits<char>::length(ascii));
}

TEST(DumpSheet, SelectionEditingAndTheBytesBehindTheDigits) {
    DumpSheet s;
    std::vector<uint8_t> bytes(0x31, 0x00);
    bytes[0] = 0xAB;
    s.show(0, DumpArea::ER, bytes);
    ASSERT_EQ(s.rows(), 4);
    // Never selectable: the fixed address column, the last spacer, the characters, rows beyond.
    for (auto [c, r] : {std::pair{0, 0}, {48, 0}, {49, 1}, {1, 4}})
        EXPECT_FALSE(s.select(c, r)) << c << "," << r;
    EXPECT_EQ(s.savedColumn(), 1);
    // Spacers and the empty cells of the last row can be selected but not edited.
    EXPECT_TRUE(s.select(3, 0));
    EXPECT_FALSE(s.editingAllowed());
    EXPECT_FALSE(s.editText(3, 0, u"1").has_value());
    EXPECT_TRUE(s.select(4, 3));
    EXPECT_FALSE(s.editingAllowed());
    EXPECT_EQ(s.pointerText(3), "100%");
    EXPECT_EQ(s.pointerText(1), "33%");

    // The high digit of byte 0: "5" makes it 5B; the character follows.
    ASSERT_TRUE(s.select(1, 0));
    ASSERT_TRUE(s.editingAllowed());
    EXPECT_EQ(s.editText(1, 0, u"5").value(), U("5"));
    EXPECT_EQ(s.bytes()[0], 0x5B);
    EXPECT_EQ(s.cell(kDumpCharColumn, 0)[0], u'[');
    // A second character is refused: the digit saved at selection comes back,
    // and the byte with it, so the bytes always match the digits shown.
    EXPECT_EQ(s.editText(1, 0, u"57").value(), U("A"));
    EXPECT_EQ(s.bytes()[0], 0xAB);
    EXPECT_EQ(s.editText(1, 0, u"g").value(), U("A"));
    // An edit of a cell other than the selected one is ignored.
    EXPECT_FALSE(s.editText(2, 0, u"1").has_value());

    // The low digit of byte 1 (columns 4, 5): to 0F, then Enter rebuilds the same.
    ASSERT_TRUE(s.select(5, 0));
    EXPECT_EQ(s.editText(5, 0, u"f").value(), U("f"));
    EXPECT_EQ(s.bytes()[1], 0x0F);
    EXPECT_TRUE(s.enter(5, 0));
    EXPECT_EQ(s.bytes()[1], 0x0F);
    EXPECT_EQ(s.cell(kDumpCharColumn, 0)[1], u'\u263C');

    // A digit cleared and left gets its old digit back; the byte is the old one.
    ASSERT_TRUE(s.select(7, 0)); // high digit of byte 2 ("0")
    EXPECT_EQ(s.editText(7, 0, u"").value(), U(""));
    EXPECT_EQ(s.bytes()[2], 0x00);
    EXPECT_TRUE(s.enter(7, 0)); // "" + "0" gives 0
    ASSERT_TRUE(s.select(10, 1));
    EXPECT_EQ(s.cell(7, 0), U("0"));
    EXPECT_EQ(s.bytes()[2], 0x00);
    // The last byte (row 3, byte 0) is reachable; nothing beyond it is.
    ASSERT_TRUE(s.select(2, 3));
    EXPECT_EQ(s.editText(2, 3, u"7").value(), U("7"));
    EXPECT_EQ(s.bytes()[0x30], 0x07);
    EXPECT_EQ(s.bytes().size(), 0x31u);
}

} // namespace
