// Image files: any demo_trk.bin content loads or is refused, and then serves
// and takes every block without reaching past the image, and a block written
// reads back after the file is loaded again; image headers and whole files are
// checked without overrun; the simulator's image loader takes only whole images.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "block_transfer.h"
#include "conversions.h"
#include "demo_image.h"
#include "fuzz_input.h"
#include "virtual_controller.h"

namespace {

const uint32_t kAddresses[] = {0x3100, 0x3101, 0x1000, 0x1005, 0x1900, 0x19FF,   0x2000, 0x2900,
                               0x29FF, 0x4000, 0x40FF, 0x4100, 0x5100, 0x51FF,   0x3000, 0x3038,
                               0x3040, 0x24,   0x0,    0x5000, 0x5300, 0x88FFFF, 0xFFFF};
const int kCapacities[] = {0, 1, 12, 20, 58, 69, 128, 255, 256};

void DemoImageChecks(FuzzInput& in, const std::vector<uint8_t>& file) {
    ReleaseDemoImage();
    const int r = LoadDemoImageBytes(file);
    if (file.empty() || file.size() >= kDemoMaxFileSize) {
        FUZZ_CHECK(r == -2);
        return;
    }
    FUZZ_CHECK(r == 1);
    for (uint32_t addr : kAddresses) {
        for (int cap : kCapacities) {
            std::vector<uint8_t> dst(static_cast<size_t>(cap));
            const int n = DemoRead(addr, dst.data(), cap);
            FUZZ_CHECK(n >= -1 && n <= cap);
        }
        const int kept = DemoBlockLength(addr);
        FUZZ_CHECK(kept <= 128);
    }
    // A write of a block, then the file loaded again: the block reads back.
    const uint32_t writable[] = {0x3101, 0x1300, 0x2400, 0x4000, 0x4100, 0x5100};
    const uint32_t addr = writable[in.u8() % 6];
    const std::vector<uint8_t> data = in.bytes(in.u8() % 140);
    const int kept = DemoBlockLength(addr);
    if (DemoWrite("demo_trk.bin", addr, data.data(), static_cast<int>(data.size())) != 1) return;
    ReleaseDemoImage();
    FUZZ_CHECK(LoadDemoImage("demo_trk.bin") == 1);
    std::vector<uint8_t> back(256);
    const int n = DemoRead(addr == 0x3101 ? 0x3100 : addr, back.data(), 256);
    const size_t same = std::min({data.size(), static_cast<size_t>(kept), static_cast<size_t>(n)});
    if (same > 0) FUZZ_CHECK(std::memcmp(back.data(), data.data(), same) == 0);
    ReleaseDemoImage();
}

void ImageFileChecks(FuzzInput& in, const std::vector<uint8_t>& file) {
    std::FILE* f = std::fopen("image.bin", "wb");
    if (!f) return;
    if (!file.empty()) std::fwrite(file.data(), 1, file.size(), f);
    std::fclose(f);
    const int r = CheckImageFileHeader("image.bin");
    if (file.size() < 7) {
        FUZZ_CHECK(r == -2);
    } else {
        bool zero = false;
        // Sizes 1, 2 and 4 may be 0 (unused, or no 0x0/0x100 blocks).
        for (int i : {0, 3, 5, 6})
            zero = zero || file[static_cast<size_t>(i)] == 0;
        FUZZ_CHECK(r == (zero ? -1 : 1));
    }
    const size_t capacity = in.u16() % 2048;
    std::vector<uint8_t> dst(capacity);
    std::FILE* mem = fmemopen(const_cast<uint8_t*>(file.data()), file.size(), "rb");
    if (mem && !file.empty()) {
        size_t count = 0;
        const long got = ReadWholeFile(dst.data(), capacity, &count, mem);
        FUZZ_CHECK(count <= capacity);
        FUZZ_CHECK(got == (file.size() > capacity ? -1 : static_cast<long>(file.size())));
        if (count > 0) FUZZ_CHECK(std::memcmp(dst.data(), file.data(), count) == 0);
    }
    if (mem) std::fclose(mem);
    if (file.size() >= 7) {
        const long need = ImageLength(reinterpret_cast<const int8_t*>(file.data()));
        FUZZ_CHECK(need == -1 || need >= 7 + 256 + 57);
        // Without a line the whole-image write refuses before any traffic.
        FUZZ_CHECK(WriteImage(9, 1, file.data(), file.size()) == -1);
    }
}

void SimImageChecks(const std::vector<uint8_t>& file) {
    static zelsim::VirtualController c(3); // building one is the costly part
    c.resetToDefaults();
    const std::vector<uint8_t> before = c.imageBytes();
    const int r = c.loadImageBytes(file);
    FUZZ_CHECK(r == zelsim::kImageOk || r == zelsim::kImageBad);
    if (r != zelsim::kImageOk) FUZZ_CHECK(c.imageBytes() == before); // nothing changes unless it is whole
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t mode = in.u8();
    const std::vector<uint8_t> file = in.bytes(in.u16());
    switch (mode % 3) {
    case 0:
        DemoImageChecks(in, file);
        break;
    case 1:
        ImageFileChecks(in, file);
        break;
    default:
        SimImageChecks(file);
        break;
    }
    return 0;
}
