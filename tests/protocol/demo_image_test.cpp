// The demo controller image: read table, write-back, bounds, reload.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "block_transfer.h"
#include "demo_image.h"
#include "protocol_state.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n, std::initializer_list<uint8_t> header) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 7 + 3);
    std::copy(header.begin(), header.end(), b.begin());
    return b;
}

void WriteFile(const std::string& name, const Bytes& b) {
    std::ofstream(name, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), b.size());
}

Bytes ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class DemoImageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ReleaseDemoImage();
        ResetProtocolState();
    }
    void TearDown() override {
        ReleaseDemoImage();
        ResetProtocolState();
    }
    const std::string file = "demo_trk.bin";
};

} // namespace

TEST_F(DemoImageTest, ReadTable) {
    const Bytes img = Pattern(1235, {58, 0, 0, 20, 0, 69, 12});
    WriteFile(file, img);
    ASSERT_EQ(LoadDemoImage(file), 1);
    EXPECT_EQ(LoadDemoImage("other_missing.bin"), 1); // already loaded
    Bytes dst(300, 0);
    auto served = [&](uint32_t addr, int cap, size_t offset, int n) {
        std::fill(dst.begin(), dst.end(), 0xEE);
        EXPECT_EQ(DemoRead(addr, dst.data(), cap), n) << std::hex << addr;
        EXPECT_TRUE(std::equal(dst.begin(), dst.begin() + n, img.begin() + offset)) << std::hex << addr;
        EXPECT_EQ(dst[n], 0xEE) << std::hex << addr;
    };
    served(0x3100, 255, 7, 58);
    served(0x1300, 255, 125, 20);
    served(0x13FF, 255, 125, 20);
    served(0x4000, 255, 265, 12);
    served(0x4100, 255, 277, 12);
    served(0x2900, 255, 417 + 69 * 9, 69);
    served(0x5100, 255, 289, 255);
    served(0x5100, 128, 289, 128); // the advanced settings ask for 128
    served(0x3100, 5, 7, 5);       // never more than the destination holds
    served(0x24, 255, 0, 0);
    served(0x3038, 255, 0, 0);
    for (uint32_t bad : {0x3040u, 0x5000u, 0x5300u, 0x3039u, 0x88FFFFu})
        EXPECT_EQ(DemoRead(bad, dst.data(), 255), -1) << std::hex << bad;
}

TEST_F(DemoImageTest, SizesRecordFailsAndTheNextReadRefillsSizes) {
    WriteFile(file, Pattern(1235, {58, 1, 2, 20, 0, 69, 12}));
    ASSERT_EQ(LoadDemoImage(file), 1);
    Protocol().demoMode = true;
    uint8_t dst[255];
    EXPECT_EQ(ReadBlock(1, 1, CtrlrParams.address - 1, -1, dst, kBoardMain), 58);
    EXPECT_EQ(BlockSizes()[5], 69);
    EXPECT_EQ(ReadBlockSizes(1, 1), -1);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(BlockSizes()[i], 0);
    EXPECT_EQ(ReadBlock(1, 1, 0x1000, 20, dst, kBoardMain), 20);
    const int want[7] = {58, 1, 2, 20, 0, 69, 12};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(BlockSizes()[i], want[i]);
    EXPECT_EQ(ReadBlock(5, 1, 0x1000, 20, dst, kBoardMain), -3);
}

TEST_F(DemoImageTest, WriteChangesOnlyItsSlotAndSurvivesReload) {
    const Bytes img = Pattern(1235, {58, 0, 0, 20, 0, 69, 12});
    WriteFile(file, img);
    ASSERT_EQ(LoadDemoImage(file), 1);
    Protocol().demoMode = true;
    const Bytes block(20, 0x5A);
    ASSERT_EQ(WriteBlock(1, 1, 0x1300, 20, block.data(), kBoardMain), 1);
    const Bytes after = ReadFile(file);
    ASSERT_EQ(after.size(), 1235u);
    for (size_t i = 0; i < after.size(); ++i)
        EXPECT_EQ(after[i], (i >= 125 && i <= 144) ? 0x5A : img[i]) << i;

    // The restart address changes nothing but still rewrites the file.
    const uint8_t one = 1;
    EXPECT_EQ(RestartController(1, 1), 1);
    EXPECT_EQ(WriteBlock(1, 1, kAddrRestart, 1, &one, kBoardMain), 1);
    EXPECT_EQ(ReadFile(file), after);

    ReleaseDemoImage();
    ASSERT_EQ(LoadDemoImage(file), 1);
    uint8_t dst[20];
    EXPECT_EQ(DemoRead(0x1300, dst, 20), 20);
    EXPECT_EQ(Bytes(dst, dst + 20), block);
}

TEST_F(DemoImageTest, FileSizesAndBounds) {
    EXPECT_EQ(LoadDemoImage("missing.bin"), -1);
    WriteFile(file, Bytes(70000, 1));
    EXPECT_EQ(LoadDemoImage(file), -2);
    WriteFile(file, Bytes());
    EXPECT_EQ(LoadDemoImage(file), -2);
    WriteFile(file, Bytes(65535, 1));
    EXPECT_EQ(LoadDemoImage(file), -2);
    EXPECT_FALSE(DemoImage().loaded);

    // Not loaded: a write leaves the file alone.
    WriteFile(file, Bytes(10, 9));
    const uint8_t data[58] = {};
    EXPECT_EQ(DemoWrite(file, 0x3101, data, 58), -1);
    EXPECT_EQ(ReadFile(file), Bytes(10, 9));

    // A short file is extended with zero bytes in memory.
    ASSERT_EQ(LoadDemoImage(file), 1);
    uint8_t dst[255];
    EXPECT_EQ(DemoRead(0x2900, dst, 255), 9); // h5 = 9 from the short header
    EXPECT_EQ(Bytes(dst, dst + 9), Bytes(9, 0));
}

TEST_F(DemoImageTest, FactoryDefaultsFileOf1107BytesStaysUsable) {
    const Bytes img = Pattern(1107, {58, 0, 0, 20, 0, 69, 12}); // header claims 1235
    WriteFile(file, img);
    ASSERT_EQ(LoadDemoImage(file), 1);
    const Bytes regs(69, 0x42);
    ASSERT_EQ(DemoWrite(file, 0x2900, regs.data(), 69), 1);
    Bytes expect = img;
    std::copy(regs.begin(), regs.end(), expect.begin() + 1038);
    EXPECT_EQ(ReadFile(file), expect);
    ReleaseDemoImage();
    ASSERT_EQ(LoadDemoImage(file), 1);
    uint8_t dst[69];
    EXPECT_EQ(DemoRead(0x2900, dst, 69), 69);
    EXPECT_EQ(Bytes(dst, dst + 69), regs);
}

TEST_F(DemoImageTest, OversizedHeaderNeverOverrunsDestinationOrImage) {
    WriteFile(file, Pattern(1107, {250, 0, 0, 40, 0, 255, 200}));
    ASSERT_EQ(LoadDemoImage(file), 1);
    Bytes dst(256, 0xEE);
    EXPECT_EQ(DemoRead(0x1000, dst.data(), 20), 20); // channel settings buffer of 20 bytes
    EXPECT_EQ(dst[20], 0xEE);
    EXPECT_EQ(DemoRead(0x2900, dst.data(), 255), int(1107 - 1038)); // ends with the image
    EXPECT_EQ(DemoRead(0x4100, dst.data(), 255), 200);
    // A short write takes only the bytes it carries.
    const uint8_t two[2] = {1, 2};
    ASSERT_EQ(DemoWrite(file, 0x3101, two, 2), 1);
    EXPECT_EQ(DemoRead(0x3100, dst.data(), 3), 3);
    EXPECT_EQ(dst[0], 1);
    EXPECT_EQ(dst[1], 2);
    EXPECT_EQ(dst[2], uint8_t(9 * 7 + 3));
    // Write-back never exceeds the image: 250 + 400 + 2550 + 400 + 263 claimed.
    EXPECT_EQ(std::filesystem::file_size(file), 1107u);
}

TEST_F(DemoImageTest, RandomImagesNeverBreakTheReader) {
    std::mt19937 rng(777);
    const uint32_t addrs[] = {0x3100, 0x3101, 0x1000, 0x1950, 0x0,    0x24,   0x4000,  0x41FF,
                              0x2000, 0x29FF, 0x5100, 0x3000, 0x3040, 0x5300, 0x88FFFF};
    for (int round = 0; round < 150; ++round) {
        Bytes b(1 + rng() % 2500);
        for (auto& x : b)
            x = uint8_t(rng());
        WriteFile(file, b);
        ReleaseDemoImage();
        ASSERT_EQ(LoadDemoImage(file), 1);
        for (uint32_t a : addrs) {
            const int cap = int(rng() % 300);
            Bytes dst(size_t(cap) + 1, 0xEE);
            const int n = DemoRead(a, dst.data(), cap);
            EXPECT_LE(n, cap);
            EXPECT_EQ(dst[size_t(cap)], 0xEE);
            Bytes data(rng() % 300);
            EXPECT_EQ(DemoWrite(file, a, data.data(), int(data.size())), 1);
            EXPECT_LE(std::filesystem::file_size(file), std::max<size_t>(b.size(), kDemoLayoutSize));
        }
    }
}
