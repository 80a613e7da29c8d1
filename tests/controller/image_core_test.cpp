// Whole-controller images read from the virtual controller, their layout, and
// snapshots.
#include "../support/line_rig.h"
#include "block_transfer.h"
#include "image_core.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "snapshot.h"
#include "virtual_controller.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

class ImageCore : public LineRig {
protected:
};

TEST(ImageLayout, GroupsOfSizeZeroAreLeftOut) {
    const int8_t usual[7] = {58, 0, 0, 20, 0, 69, 12};
    EXPECT_EQ(image::ImageFileLength(usual), 1292);
    EXPECT_EQ(image::ImageProgressMeasure(usual), 58 + 890 + 24 + 313);
    const auto blocks = image::ImageLayout(usual);
    ASSERT_EQ(blocks.size(), 1u + 10 + 2 + 10 + 2);
    EXPECT_EQ(blocks[1].address, 0x1000u);
    EXPECT_EQ(blocks[11].address, 0x4000u); // no 0x0/0x100 group
    EXPECT_EQ(blocks.back().address, 0x3000u);
    EXPECT_EQ(blocks.back().offset + blocks.back().length, 1292);
    const int8_t withBlocks[7] = {58, 0, 0, 20, 16, 69, 12};
    EXPECT_EQ(image::ImageFileLength(withBlocks), 1292 + 32);
    const int8_t negative[7] = {58, 0, 0, 20, 0, -1, 12};
    EXPECT_TRUE(image::ImageLayout(negative).empty());
    EXPECT_EQ(image::ImageFileLength(negative), -1);
}

TEST_F(ImageCore, ReadImageCarriesEveryBlockAsTheControllerHoldsIt) {
    std::vector<uint8_t> img;
    long last = 0;
    ASSERT_EQ(image::ReadImage(port, 1, img, [&](long done) { last = done; }), 1);
    int8_t h[7];
    image::ImageHeader(img, h);
    EXPECT_EQ(static_cast<long>(img.size()), image::ImageFileLength(h));
    EXPECT_EQ(last, image::ImageProgressMeasure(h));
    for (const image::ImageBlock& b : image::ImageLayout(h)) {
        const auto mem = c->peek(0, b.address, static_cast<size_t>(b.length));
        EXPECT_TRUE(std::equal(mem.begin(), mem.end(), img.begin() + b.offset)) << b.group << " " << b.index;
    }

    // Snapshots land in the state folder, whole.
    const std::string state = std::filesystem::absolute("state").string();
    setenv("XDG_STATE_HOME", state.c_str(), 1);
    const image::Snapshot s = image::TakeSnapshot(port, 1, false);
    ASSERT_EQ(s.result, 1);
    EXPECT_EQ(s.path.rfind(state + "/startzel/snapshots/ctrl-01-", 0), 0u) << s.path;
    std::ifstream in(s.path, std::ios::binary);
    const std::vector<uint8_t> saved((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(saved, img);
    EXPECT_NE(image::TakeSnapshot(port, 1, false).path, s.path);

    // No answer: no snapshot file.
    zelsim::Faults f;
    f.noAnswer = true;
    c->setFaults(f);
    const auto before = std::distance(std::filesystem::directory_iterator(state + "/startzel/snapshots"), {});
    EXPECT_EQ(image::TakeSnapshot(port, 1, false).result, -1);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(state + "/startzel/snapshots"), {}), before);
}

} // namespace
