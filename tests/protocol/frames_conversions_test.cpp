// Checksum, frame layout, code pages and the value conversions.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "block_transfer.h"
#include "codepage.h"
#include "conversions.h"
#include "frames.h"
#include "little_endian.h"

namespace {

std::vector<uint8_t> V(std::initializer_list<int> l) {
    return std::vector<uint8_t>(l.begin(), l.end());
}

template <size_t N> std::vector<uint8_t> V(const std::array<uint8_t, N>& a) {
    return {a.begin(), a.end()};
}

} // namespace

TEST(Checksum, KnownValues) {
    EXPECT_EQ(FrameChecksum(nullptr, 0), 0xFF);
    EXPECT_EQ(FrameChecksum(reinterpret_cast<const uint8_t*>("abc"), 3), 0xBB);
    const uint8_t read[] = {0x60, 0x01, 0x48}, ident[] = {0x60, 0x01, 0x21};
    EXPECT_EQ(FrameChecksum(read, 3), 0x68);
    EXPECT_EQ(FrameChecksum(ident, 3), 0xBA);
}

TEST(Frames, Layout) {
    EXPECT_EQ(V(CommandFrame(1, kCmdRead)), V({0x60, 0x01, 0x48, 0x68}));
    EXPECT_EQ(V(CommandFrame(1, kCmdIdentify)), V({0x60, 0x01, 0x21, 0xBA}));
    // Middle, high, low address byte; byte 5 carries the first data byte of a write.
    auto f = AddressFrame(0x123456, 0xAB, 40);
    EXPECT_EQ(V({f[0], f[1], f[2], f[3], f[4], f[5], f[6]}), V({0x01, 0x00, 0x34, 0x12, 0x56, 0xAB, 40}));
    EXPECT_EQ(f[7], FrameChecksum(f.data(), 7));
    auto r = AddressFrame(kAddrRestart, 0x01, 1);
    EXPECT_EQ(V({r[2], r[3], r[4]}), V({0xFF, 0x88, 0xFF}));
    const uint8_t data[] = {9, 8, 7};
    const uint8_t tail[] = {8, 7};
    EXPECT_EQ(ContinuationFrame(data, 3), V({8, 7, FrameChecksum(tail, 2)}));
    EXPECT_TRUE(ContinuationFrame(data, 1).empty());
    for (int t = 0; t < 256; ++t)
        EXPECT_EQ(IsAcceptedDeviceType(uint8_t(t)), t == 0x21 || t == 0x22 || t == 0x17 || t == 0x27);
}

TEST(CodePage, Cp866To1251ByteByByte) {
    for (int b = 0; b < 256; ++b) {
        int want = b;
        if (b >= 0x80 && b <= 0xAF) want = b + 0x40;
        if (b >= 0xE0 && b <= 0xEF) want = b + 0x10;
        EXPECT_EQ(Cp866ToCp1251ErrorText(uint8_t(b)), want) << b;
        if (b == 0xF0) want = 0xA8;
        if (b == 0xF1) want = 0xB8;
        if (b == 0xFC) want = 0xB9;
        EXPECT_EQ(Cp866ToCp1251(uint8_t(b)), want) << b;
        if (b >= 0x80 && b < 0xF0 && !(b >= 0xB0 && b <= 0xDF)) {
            EXPECT_EQ(Cp1251ToCp866(uint8_t(want)), b);
        }
    }
    // "Привет\r\n" in CP866 with Ё, ё, №.
    const std::string cp866 = "\x8F\xE0\xA8\xA2\xA5\xE2 \xF0\xF1\xFC\r\n";
    EXPECT_EQ(Cp1251ToUtf8(Cp866ToCp1251(cp866)), "Привет Ёё№\r\n");
    EXPECT_EQ(Cp1251ToUtf8(Cp866ToCp1251ErrorText(cp866)).substr(0, 12), "Привет");
    EXPECT_EQ(Cp1251ToCp866(Utf8ToCp1251("Привет Ёё№\r\n")), cp866);
}

TEST(CodePage, Cp1251ToUtf8AndBack) {
    EXPECT_EQ(Cp1251ToUtf8("\x88\x98\xB9\xA8\xB8 ok"), "€\xEF\xBF\xBD№Ёё ok");
    for (int b = 0; b < 256; ++b) {
        if (b == 0x98) continue;
        const std::string one(1, char(b));
        EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(one)), one) << b;
    }
    EXPECT_EQ(Utf8ToCp1251("a\xE4\xB8\xAD"
                           "b\xC3"),
              "a?b?"); // no 1251 byte; cut sequence
}

TEST(Conversions, CheckNumberText) {
    EXPECT_EQ(CheckNumberText("", 10, 0), -3);
    EXPECT_EQ(CheckNumberText("12a", 1000, 0), -1);
    EXPECT_EQ(CheckNumberText("-1", 1000, 0), -1);
    EXPECT_EQ(CheckNumberText(" 1", 1000, 0), -1);
    EXPECT_EQ(CheckNumberText("1F", 31, kCheckHex), 1);
    EXPECT_EQ(CheckNumberText("1f", 31, kCheckHex), 1);
    EXPECT_EQ(CheckNumberText("20", 31, kCheckHex), -2);
    EXPECT_EQ(CheckNumberText("1G", 31, kCheckHex), -1);
    EXPECT_EQ(CheckNumberText("99999", 10, kCheckNoMaximum), 1);
    EXPECT_EQ(CheckNumberText("4294967295", 0xFFFFFFFF, 0), 1);
    // Beyond 32 bits never wraps into range.
    EXPECT_EQ(CheckNumberText("4294967296", 0xFFFFFFFF, 0), -2);
    EXPECT_EQ(CheckNumberText("100000000", 0xFFFFFFFF, kCheckHex), -2);
    EXPECT_EQ(CheckNumberText("255", 255, 0), 1);
    EXPECT_EQ(CheckNumberText("256", 255, 0), -2);
}

TEST(Conversions, HexTexts) {
    char text[] = "abc";
    EXPECT_EQ(HexTextToNumber(text), 2748u);
    EXPECT_STREQ(text, "ABC");
    std::string s = "0100";
    EXPECT_EQ(HexTextToNumber(s), 256u);
    std::string nine = "123456789";
    EXPECT_EQ(HexTextToNumber(nine), 0x23456789u); // overflow keeps the low 32 bits
    EXPECT_EQ(NumberToHexText(255), "FF");
    EXPECT_EQ(NumberToHexText(256), "0100");
    EXPECT_EQ(NumberToHexText(0), "00");
    EXPECT_EQ(NumberToHexText(0x10000), "010000");
    EXPECT_EQ(NumberToHexText(0xFFFFFFFF), "FFFFFFFF");
    char buf[9];
    EXPECT_EQ(NumberToHexText(0x1ABCD, buf), 1);
    EXPECT_STREQ(buf, "01ABCD");
    EXPECT_EQ(ByteToHexDigits(0x0A), "0A");
    EXPECT_EQ(ByteToHexDigits(0xF0), "F0");
}

TEST(Conversions, ScalePulseWeights) {
    auto make = [](uint64_t w, uint64_t wk) {
        std::vector<uint8_t> r(kPulseRecordSize, 0);
        for (int i = 0; i < 5; ++i)
            r[i] = uint8_t(w >> (8 * i)), r[5 + i] = uint8_t(wk >> (8 * i));
        return r;
    };
    auto weight = [](const std::vector<uint8_t>& r, int at) {
        uint64_t v = 0;
        for (int i = 4; i >= 0; --i)
            v = v << 8 | r[at + i];
        return v;
    };
    auto diff = [](const std::vector<uint8_t>& r) {
        return int32_t(uint32_t(r[10]) | uint32_t(r[11]) << 8 | uint32_t(r[12]) << 16 |
                       uint32_t(r[13]) << 24);
    };
    auto r = make(0x100000001ull, 3); // bits above 32 take part
    EXPECT_EQ(ScalePulseWeights(r.data(), 100, 200), 1);
    EXPECT_EQ(weight(r, 0), 0x80000001ull); // 0x80000000.5 rounds up
    EXPECT_EQ(weight(r, 5), 2u);            // 1.5 rounds up
    EXPECT_EQ(diff(r), int32_t(2 - 0x80000001ll));
    r = make(5, 7);
    EXPECT_EQ(ScalePulseWeights(r.data(), 0, 50), 1); // 2^31 / 0.5
    EXPECT_EQ(weight(r, 0), 4294967296ull);
    EXPECT_EQ(weight(r, 5), 4294967296ull);
    EXPECT_EQ(diff(r), 0);
    // A new code of 0, or a weight that no longer fits 40 bits, changes nothing.
    const auto before = make(1000, 2000);
    r = before;
    EXPECT_EQ(ScalePulseWeights(r.data(), 100, 0), -1);
    EXPECT_EQ(r, before);
    r = make(0xFFFFFFFFFFull, 1);
    const auto big = r;
    EXPECT_EQ(ScalePulseWeights(r.data(), 200, 100), -2);
    EXPECT_EQ(r, big);
}

TEST(Conversions, ImageHeaderAndFiles) {
    auto write = [](const char* name, std::vector<uint8_t> bytes) {
        std::ofstream(name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    write("h_ok.bin", {58, 1, 1, 20, 0, 69, 12, 0});
    write("h_sixth0.bin", {58, 1, 1, 20, 0, 0, 12});
    write("h_short.bin", {58, 1, 1, 20, 0, 69});
    EXPECT_EQ(CheckImageFileHeader("h_ok.bin"), 1);
    EXPECT_EQ(CheckImageFileHeader("h_sixth0.bin"), -1);
    // The header a controller with the usual sizes writes: 0 at 1, 2 and 4 is fine.
    write("h_usual.bin", {58, 0, 0, 20, 0, 69, 12});
    EXPECT_EQ(CheckImageFileHeader("h_usual.bin"), 1);
    for (int zero : {0, 3, 5, 6}) {
        std::vector<uint8_t> h = {58, 0, 0, 20, 16, 69, 12};
        h[size_t(zero)] = 0;
        write("h_zero.bin", h);
        EXPECT_EQ(CheckImageFileHeader("h_zero.bin"), -1) << zero;
    }
    EXPECT_EQ(CheckImageFileHeader("h_short.bin"), -2);
    EXPECT_EQ(CheckImageFileHeader("no_such.bin"), -3);

    uint8_t dst[8];
    std::memset(dst, 0xEE, sizeof dst);
    size_t count = 99;
    std::FILE* f = std::fopen("h_ok.bin", "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ReadWholeFile(dst, 8, &count, f), 8);
    EXPECT_EQ(count, 8u);
    std::fclose(f);
    f = std::fopen("h_ok.bin", "rb");
    EXPECT_EQ(ReadWholeFile(dst, 5, &count, f), -1); // longer than the destination: stops at its size
    EXPECT_EQ(count, 5u);
    std::fclose(f);

    const uint8_t same[] = {7, 7, 7}, other[] = {7, 7, 6};
    EXPECT_EQ(AllBytesEqual(same, 3, 7), 1);
    EXPECT_EQ(AllBytesEqual(other, 3, 7), 0);
    EXPECT_EQ(AllBytesEqual(nullptr, 0, 7), 1);
}

TEST(Conversions, TimeoutMultiplierText) {
    EXPECT_EQ(TimeoutMultiplierFromText("3"), 3);
    EXPECT_EQ(TimeoutMultiplierFromText("1"), 1);
    for (const char* t : {"0", "-2", "abc", "", "3a", " ", "99999999999"})
        EXPECT_EQ(TimeoutMultiplierFromText(t), 1) << t;
    SetTimeoutMultiplier(0);
    EXPECT_EQ(TimeoutMultiplier(), 1);
    SetTimeoutMultiplier(4);
    EXPECT_EQ(TimeoutMultiplier(), 4);
    SetTimeoutMultiplier(1);
}

// A field is read and written in its own width only: a 3-byte date at the
// end of a block neither reads past it nor overwrites the next field.
TEST(LittleEndian, FieldsTouchOnlyTheirWidth) {
    for (int width = 1; width <= 4; ++width) {
        SCOPED_TRACE(width);
        std::vector<uint8_t> b(6, 0xEE);
        PutUInt(b.data(), 1, width, 0x04030201u);
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(b[i], i >= 1 && i <= width ? i : 0xEE) << i;
        const uint32_t mask = width == 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
        EXPECT_EQ(GetUInt(b.data(), 1, width), 0x04030201u & mask);
    }
    std::vector<uint8_t> date{3, 11, 24}; // exactly the field: nothing after it to read
    EXPECT_EQ(GetUInt(date.data(), 0, 3), 0x180B03u);
}
