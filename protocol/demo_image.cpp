#include "demo_image.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "memory_map.h"
#include "protocol_state.h"

DemoImageBuffer& DemoImage() {
    static DemoImageBuffer image;
    return image;
}

int LoadDemoImage(const std::string& fileName) {
    DemoImageBuffer& img = DemoImage();
    if (img.loaded) return 1;
    std::FILE* f = std::fopen(fileName.c_str(), "rb");
    if (!f) return -1;
    long size = -1;
    if (std::fseek(f, 0, SEEK_END) == 0) size = std::ftell(f);
    if (size <= 0 || static_cast<size_t>(size) >= kDemoMaxFileSize || std::fseek(f, 0, SEEK_SET) != 0) {
        std::fclose(f);
        return -2;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    if (got != bytes.size()) return -2;
    return LoadDemoImageBytes(std::move(bytes));
}

int LoadDemoImageBytes(std::vector<uint8_t> bytes) {
    DemoImageBuffer& img = DemoImage();
    if (img.loaded) return 1;
    if (bytes.empty() || bytes.size() >= kDemoMaxFileSize) return -2;
    const size_t size = bytes.size();
    // A short file gets the fixed layout in memory, zero filled, so that no
    // block served from it reaches past its end.
    if (bytes.size() < kDemoLayoutSize) bytes.resize(kDemoLayoutSize, 0);
    img.bytes = std::move(bytes);
    img.fileSize = size;
    img.loaded = true;
    return 1;
}

int ReleaseDemoImage() {
    DemoImageBuffer& img = DemoImage();
    img.bytes.clear();
    img.bytes.shrink_to_fit();
    img.fileSize = 0;
    img.loaded = false;
    return 1;
}

size_t DemoWriteBackLength() {
    const DemoImageBuffer& img = DemoImage();
    if (!img.loaded) return 0;
    const uint8_t* h = img.bytes.data();
    const size_t claimed =
        size_t(h[0]) + 10 * size_t(h[3]) + 10 * size_t(h[5]) + 2 * size_t(h[4]) + 2 * size_t(h[6]) + 263;
    // Never less than the fixed layout (a header with small sizes would
    // otherwise drop blocks just written), never more than the image holds.
    return std::min(std::max(claimed, kDemoLayoutSize), img.bytes.size());
}

namespace {

// The areas the image answers for: a channel block n anywhere in its 0x100
// bytes, the sides and the advanced block the same way.
constexpr uint32_t kAreaSize = 0x100;
bool InChannels(uint32_t addr, const MemBlock& block) {
    return addr >= block.address && addr < ChannelAddress(block, kMaxChannels);
}
size_t ChannelOf(uint32_t addr, const MemBlock& block) {
    return (addr - block.address) / kChannelStride;
}
bool InArea(uint32_t addr, uint32_t start) {
    return addr >= start && addr < start + kAreaSize;
}
// Below the second image-only block's end no block is served (this covers the
// board-2 registers too).
constexpr uint32_t kNoDataBelow = kAddrImageBlock1 + kAreaSize;

} // namespace

int DemoRead(uint32_t addr, uint8_t* dst, int dstCapacity) {
    DemoImageBuffer& img = DemoImage();
    if (!img.loaded) return -1;
    const uint8_t* h = img.bytes.data();
    size_t offset = 0, length = 0;
    if (addr == kAddrParamLength) {
        offset = kDemoOffParams;
        length = h[kSizeParams];
    } else if (InChannels(addr, NozSetts)) {
        offset = kDemoOffNozSetts + kDemoLenNozSetts * ChannelOf(addr, NozSetts);
        length = h[kSizeNozSetts];
    } else if (addr < kNoDataBelow) {
        length = 0;
    } else if (InArea(addr, SideAddress(0))) {
        offset = kDemoOffSide1;
        length = h[kSizeSides];
    } else if (InArea(addr, SideAddress(1))) {
        offset = kDemoOffSide2;
        length = h[kSizeSides];
    } else if (InChannels(addr, NozRegs)) {
        offset = kDemoOffNozRegs + kDemoLenNozRegs * ChannelOf(addr, NozRegs);
        length = h[kSizeNozRegs];
    } else if (InArea(addr, NaraSpecific.address)) {
        offset = kDemoOffNara;
        length = kDemoLenNaraRead;
    } else if (addr >= kAddrBlock3000 && addr < kAddrBlock3000 + kLenBlock3000) {
        length = 0;
    } else {
        return -1;
    }
    // Never more than the caller's destination holds, never past the image.
    const size_t capacity = dstCapacity > 0 ? static_cast<size_t>(dstCapacity) : 0;
    length = std::min(length, capacity);
    length = offset < img.bytes.size() ? std::min(length, img.bytes.size() - offset) : 0;
    if (length > 0 && dst)
        std::memcpy(dst, h + offset, length);
    else
        length = 0;
    int* sizes = Protocol().blockSizes;
    for (int i = 0; i < 7; ++i)
        sizes[i] = h[i];
    return static_cast<int>(length);
}

int DemoWrite(const std::string& fileName, uint32_t addr, const uint8_t* data, int count) {
    DemoImageBuffer& img = DemoImage();
    if (!img.loaded) return -1; // nothing to write back: leave the file alone
    // Written next to the file and renamed over it, so a failed write (a full
    // disk) never leaves a truncated image behind.
    const std::string temp = fileName + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return -1;
    size_t offset = 0, length = 0;
    if (addr == CtrlrParams.address) {
        offset = kDemoOffParams;
        length = kDemoLenParams;
    } else if (InChannels(addr, NozSetts)) {
        offset = kDemoOffNozSetts + kDemoLenNozSetts * ChannelOf(addr, NozSetts);
        length = kDemoLenNozSetts;
    } else if (InArea(addr, NaraSpecific.address)) {
        offset = kDemoOffNara;
        length = kDemoLenNaraWrite;
    } else if (InArea(addr, SideAddress(0))) {
        offset = kDemoOffSide1;
        length = kDemoLenSide;
    } else if (InArea(addr, SideAddress(1))) {
        offset = kDemoOffSide2;
        length = kDemoLenSide;
    } else if (InChannels(addr, NozRegs)) {
        offset = kDemoOffNozRegs + kDemoLenNozRegs * ChannelOf(addr, NozRegs);
        length = kDemoLenNozRegs;
    }
    // Each block has its fixed slot; a shorter write fills only what it carries.
    length = std::min(length, count > 0 ? static_cast<size_t>(count) : size_t(0));
    if (length > 0 && data) std::memcpy(img.bytes.data() + offset, data, length);

    const size_t n = DemoWriteBackLength();
    const bool written = std::fwrite(img.bytes.data(), 1, n, f) == n;
    const bool closed = std::fclose(f) == 0;
    if (!written || !closed || std::rename(temp.c_str(), fileName.c_str()) != 0) {
        std::remove(temp.c_str());
        return -1;
    }
    return 1;
}

int DemoBlockLength(uint32_t addr) {
    const DemoImageBuffer& img = DemoImage();
    if (!img.loaded) return -1;
    const uint8_t* h = img.bytes.data();
    auto within = [](size_t header, size_t slot) { return static_cast<int>(std::min(header, slot)); };
    if (addr == CtrlrParams.address) return within(h[kSizeParams], kDemoLenParams);
    if (addr == SideAddress(0) || addr == SideAddress(1)) return within(h[kSizeSides], kDemoLenSide);
    if (addr == NaraSpecific.address) return static_cast<int>(kDemoLenNaraWrite);
    const bool blockStart = addr % kChannelStride == 0;
    if (blockStart && InChannels(addr, NozSetts)) return within(h[kSizeNozSetts], kDemoLenNozSetts);
    if (blockStart && InChannels(addr, NozRegs)) return within(h[kSizeNozRegs], kDemoLenNozRegs);
    return -1;
}
