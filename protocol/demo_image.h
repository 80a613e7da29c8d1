// The demo controller: one controller image held in memory and in the file
// demo_trk.bin, answering ReadBlock and WriteBlock in demo mode.
//
// File layout: 7 header size bytes (unsigned), parameter block at 7 (58),
// channel settings n at 65 + 20n, sides at 265 and 277 (12 each), advanced
// settings at 289 (128), channel state registers n at 417 + 69n; the fixed
// layout ends at 1107. A file shorter than that is extended with zero bytes in
// memory, so no read or write ever leaves the image. The file written back
// after each write holds the header's write-back length
// (h0 + 10 h3 + 10 h5 + 2 h4 + 2 h6 + 263), but never less than the fixed
// layout and never more than the image holds: the 1107-byte file whose header
// claims 1235 bytes is written back as 1107 bytes and stays usable.
#pragma once

#include "memory_map.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kDemoLayoutSize = 1107;
constexpr size_t kDemoMaxFileSize = 65535; // files of this size or larger are refused
constexpr size_t kDemoOffParams = 7;
constexpr size_t kDemoLenParams = CtrlrParams.length;
constexpr size_t kDemoOffNozSetts = kDemoOffParams + kDemoLenParams;
constexpr size_t kDemoLenNozSetts = NozSetts.length;
constexpr size_t kDemoOffSide1 = kDemoOffNozSetts + kMaxChannels * kDemoLenNozSetts;
constexpr size_t kDemoLenSide = SidesSetts.length;
constexpr size_t kDemoOffSide2 = kDemoOffSide1 + kDemoLenSide;
constexpr size_t kDemoOffNara = kDemoOffSide2 + kDemoLenSide;
constexpr size_t kDemoLenNaraRead = kNaraSpecificImageLength;
constexpr size_t kDemoLenNaraWrite = NaraSpecific.length;
constexpr size_t kDemoOffNozRegs = kDemoOffNara + kDemoLenNaraWrite;
constexpr size_t kDemoLenNozRegs = NozRegs.length;
// The file layout is fixed: blocks of other lengths must not move it.
static_assert(kDemoOffNozSetts == 65 && kDemoOffSide1 == 265 && kDemoOffSide2 == 277 && kDemoOffNara == 289 &&
              kDemoOffNozRegs == 417 && kDemoOffNozRegs + kMaxChannels * kDemoLenNozRegs == kDemoLayoutSize);

struct DemoImageBuffer {
    std::vector<uint8_t> bytes; // at least kDemoLayoutSize once loaded
    size_t fileSize = 0;        // the size the file had when loaded
    bool loaded = false;
};
DemoImageBuffer& DemoImage();

// 1 loaded (or already loaded); -1 the file cannot be opened; -2 empty, 65535
// bytes or longer, or unreadable (nothing loaded).
int LoadDemoImage(const std::string& fileName = "demo_trk.bin");
// The same for the content of a file already in memory.
int LoadDemoImageBytes(std::vector<uint8_t> bytes);
int ReleaseDemoImage();
// The block at addr (see the read table), at most dstCapacity bytes copied.
// Returns the count copied or -1 (unknown address, image not loaded). Every
// read that does not fail copies the header into BlockSizes.
int DemoRead(uint32_t addr, uint8_t* dst, int dstCapacity);
// Puts a block into the image (each block has its fixed length; at most count
// bytes of data are taken) and rewrites the file. 1, or -1 when the image is
// not loaded or the file cannot be written.
int DemoWrite(const std::string& fileName, uint32_t addr, const uint8_t* data, int count);
// Bytes the file gets when written back (see above); 0 when not loaded.
size_t DemoWriteBackLength();
// The bytes the image keeps for the block that starts exactly at addr: the
// parameter block at 0x3101, channel settings and state registers n at
// 0x1000 / 0x2000 + n * 0x100, the sides at 0x4000 and 0x4100, the advanced
// settings at 0x5100 (128). -1 for any other address (and when not loaded):
// reads there give nothing of the image and writes change nothing, so a tool
// that addresses memory by the byte must not report them as done.
int DemoBlockLength(uint32_t addr);
