#include "image_core.h"

#include "block_transfer.h"
#include "checksum.h"
#include "memory_map.h"

namespace image {

std::vector<ImageBlock> ImageLayout(const int8_t h[7]) {
    for (int i : {kSizeParams, kSizeNozSetts, kSizeImageBlocks, kSizeNozRegs, kSizeSides})
        if (h[i] < 0) return {};
    std::vector<ImageBlock> out;
    long at = 7;
    auto add = [&](const char* group, int index, uint32_t address, int length) {
        if (length <= 0) return;
        out.push_back({group, index, address, length, at});
        at += length;
    };
    add("CtrlrParams", 0, CtrlrParams.address, h[kSizeParams]);
    for (int n = 0; n < kMaxChannels; ++n)
        add("NozSetts", n, ChannelAddress(NozSetts, n), h[kSizeNozSetts]);
    add("Block0", 0, kAddrImageBlock0, h[kSizeImageBlocks]);
    add("Block100", 0, kAddrImageBlock1, h[kSizeImageBlocks]);
    for (int side = 0; side < 2; ++side)
        add("SidesSetts", side, SideAddress(side), h[kSizeSides]);
    for (int n = 0; n < kMaxChannels; ++n)
        add("NozRegs", n, ChannelAddress(NozRegs, n), h[kSizeNozRegs]);
    add("NaraSpecific", 0, NaraSpecific.address, kNaraSpecificImageLength);
    add("Block3000", 0, kAddrBlock3000, kLenBlock3000);
    return out;
}

long ImageFileLength(const int8_t h[7]) {
    const std::vector<ImageBlock> blocks = ImageLayout(h);
    if (blocks.empty()) return -1;
    return blocks.back().offset + blocks.back().length;
}

long ImageProgressMeasure(const int8_t h[7]) {
    return (h[kSizeNozSetts] + h[kSizeNozRegs]) * 10L + h[kSizeParams] +
           (h[kSizeImageBlocks] + h[kSizeSides]) * 2L + kNaraSpecificImageLength + kLenBlock3000;
}

void ImageHeader(const std::vector<uint8_t>& image, int8_t h[7]) {
    for (size_t i = 0; i < 7; ++i)
        h[i] = i < image.size() ? static_cast<int8_t>(image[i]) : 0;
}

int ReadImage(int port, int ctrl, std::vector<uint8_t>& image, const std::function<void(long)>& progress) {
    image.clear();
    if (ReadBlockSizes(port, ctrl) != 1) return -1;
    int8_t h[7];
    for (int i = 0; i < 7; ++i)
        h[i] = static_cast<int8_t>(BlockSizes()[i] & 0xFF);
    const std::vector<ImageBlock> blocks = ImageLayout(h);
    if (blocks.empty()) return -1;
    image.assign(static_cast<size_t>(blocks.back().offset + blocks.back().length), 0);
    for (int i = 0; i < 7; ++i)
        image[static_cast<size_t>(i)] = static_cast<uint8_t>(h[i]);
    long done = 0;
    for (const ImageBlock& b : blocks) {
        if (ReadBlock(port, ctrl, b.address, b.length, image.data() + b.offset, kBoardMain) <= 0) {
            image.clear();
            return -2;
        }
        done += b.length;
        if (progress) progress(done);
    }
    return 1;
}

std::string ImageContentProblem(const std::vector<uint8_t>& image) {
    if (image.size() < 7) return "shorter than the 7-byte size header";
    int8_t h[7];
    ImageHeader(image, h);
    const long length = ImageFileLength(h);
    if (length < 0) return "a block size is negative";
    for (int i : {kSizeParams, kSizeNozSetts, kSizeNozRegs, kSizeSides})
        if (h[i] == 0) return "block size h" + std::to_string(i) + " is 0";
    if (static_cast<long>(image.size()) < length) return "shorter than its sizes say";
    const int n = h[kSizeParams];
    if (n < 2) return "the parameter block is too short for its checksum";
    const uint8_t* params = image.data() + 7;
    if (FrameChecksum(params, static_cast<size_t>(n - 1)) != params[n - 1])
        return "the parameter block's checksum is wrong";
    return {};
}

} // namespace image
