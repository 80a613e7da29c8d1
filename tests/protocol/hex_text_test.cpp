// The hexadecimal texts every listing, command line and journal goes through.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hex_text.h"

namespace {

struct NumberCase {
    const char* text;
    bool digitsOk; // ParseHexDigits
    bool numberOk; // ParseHexNumber (0x allowed)
    uint32_t value;
};

const NumberCase kNumberCases[] = {
    {"", false, false, 0},
    {"0", true, true, 0},
    {"a", true, true, 0x0A},
    {"Ff", true, true, 0xFF},
    {"123", true, true, 0x123}, // an odd count of digits is a number
    {"FFFFFFFF", true, true, 0xFFFFFFFF},
    {"00000000FF", true, true, 0xFF}, // leading zeros do not overflow
    {"100000000", false, false, 0},   // beyond 32 bits
    {"FFFFFFFFFFFFFFFFF", false, false, 0},
    {"0x1F", false, true, 0x1F},
    {"0X1f", false, true, 0x1F},
    {"0x", false, false, 0},
    {"0x0x1", false, false, 0},
    {"1G", false, false, 0},
    {" 1", false, false, 0},
    {"1 ", false, false, 0},
    {"-1", false, false, 0},
    {"+1", false, false, 0},
    {"\xD0\x90", false, false, 0}, // a Cyrillic letter in UTF-8
};

TEST(HexText, ParsesNumbersWholeOrNotAtAll) {
    for (const NumberCase& c : kNumberCases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        uint32_t v = 0xDEADBEEF;
        EXPECT_EQ(ParseHexDigits(c.text, v), c.digitsOk);
        EXPECT_EQ(v, c.digitsOk ? c.value : 0xDEADBEEF); // untouched when refused
        v = 0xDEADBEEF;
        EXPECT_EQ(ParseHexNumber(c.text, v), c.numberOk);
        EXPECT_EQ(v, c.numberOk ? c.value : 0xDEADBEEF);
    }
}

TEST(HexText, ParsesByteStrings) {
    struct Case {
        const char* text;
        bool ok;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"", true, {}},
        {"   ", true, {}},
        {"0A1B2C", true, {0x0A, 0x1B, 0x2C}},
        {"0a 1B\t2c\n", true, {0x0A, 0x1B, 0x2C}},
        {"0 A", true, {0x0A}}, // white space between the digits of a pair is ignored too
        {"0A1", false, {}},    // odd count of digits
        {"A", false, {}},
        {"0X1B", false, {}},
        {"0A,1B", false, {}},
        {"GG", false, {}},
        {"0A\xFF", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        std::vector<uint8_t> bytes{0x55};
        EXPECT_EQ(ParseHexBytes(c.text, bytes), c.ok);
        EXPECT_EQ(bytes, c.ok ? c.bytes : std::vector<uint8_t>{0x55}); // kept when refused
    }
    // A long string: no limit of its own.
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(ParseHexBytes(std::string(2 * 70000, 'F'), bytes));
    EXPECT_EQ(bytes, std::vector<uint8_t>(70000, 0xFF));
}

TEST(HexText, FormatsUpperCasePadded) {
    EXPECT_EQ(HexByte(0), "00");
    EXPECT_EQ(HexByte(0xAB), "AB");
    EXPECT_EQ(HexByte(0x1F0), "F0"); // the low byte only
    EXPECT_EQ(HexNumber(0), "0");
    EXPECT_EQ(HexNumber(0xABC), "ABC");
    EXPECT_EQ(HexNumber(0xA, 4), "000A");
    EXPECT_EQ(HexNumber(0x12345, 4), "12345"); // never cut
    EXPECT_EQ(HexNumber(0xFFFFFFFF, 6), "FFFFFFFF");
    EXPECT_EQ(HexNumber(0x7, 0), "7");
    EXPECT_EQ(HexNumber(0x7, -3), "7");
    const uint8_t bytes[] = {0x00, 0x0F, 0xA0, 0xFF};
    EXPECT_EQ(HexBytes(bytes, 4), "00 0F A0 FF");
    EXPECT_EQ(HexBytes(bytes, 4, ""), "000FA0FF");
    EXPECT_EQ(HexBytes(bytes, 1), "00");
    EXPECT_EQ(HexBytes(bytes, 0), "");
    EXPECT_EQ(HexBytes(nullptr, 3), "");
    for (int c = 0; c < 256; ++c) {
        const int want = c >= '0' && c <= '9'   ? c - '0'
                         : c >= 'A' && c <= 'F' ? c - 'A' + 10
                         : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                : -1;
        EXPECT_EQ(HexDigitValue(static_cast<char>(c)), want) << c;
    }
    // What is formatted reads back.
    for (uint32_t v : {0u, 1u, 0xFFu, 0x100u, 0xFFFFFFu, 0xFFFFFFFFu}) {
        uint32_t back = 0;
        EXPECT_TRUE(ParseHexDigits(HexNumber(v, 6), back));
        EXPECT_EQ(back, v);
    }
}

} // namespace
