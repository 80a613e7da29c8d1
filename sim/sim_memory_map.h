// Where things live in the virtual controller (board 0 unless stated).
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelsim {

constexpr uint32_t kMemSize = 0x10000; // boards 0 and 4
constexpr uint32_t kRegSize = 0x100;   // board 2 register set

constexpr uint32_t kBlock0 = 0x0000; // the two blocks only images carry (sizes[4] bytes)
constexpr uint32_t kBlock100 = 0x0100;
constexpr uint32_t kNozSetts = 0x1000; // channel settings, + n * kChannelStep
constexpr uint32_t kNozRegs = 0x2000;  // channel state registers, + n * kChannelStep
constexpr uint32_t kChannelStep = 0x100;
constexpr uint32_t kBlock3000 = 0x3000;
constexpr size_t kBlock3000Len = 57;
constexpr uint32_t kSizesRecord = 0x3040; // 7 bytes
constexpr uint32_t kParamLength = 0x3100; // length byte of the parameter block
constexpr uint32_t kParams = 0x3101;
constexpr uint32_t kSide1 = 0x4000;
constexpr uint32_t kSide2 = 0x4100;
constexpr uint32_t kTempTable = 0x5000; // 39 entries of 16 bits
constexpr uint32_t kNara = 0x5100;
constexpr size_t kNaraImageLen = 256;
constexpr uint32_t kPwStatus = 0x5300; // 16 bytes read
constexpr size_t kPwStatusLen = 16;
constexpr uint32_t kPwAdmin = 0x5300; // present, 2 bytes
constexpr uint32_t kPwAdjust = 0x5302;
constexpr uint32_t kPwNewAdmin = 0x5400; // change, 2 bytes
constexpr uint32_t kPwNewAdjust = 0x5402;
constexpr uint32_t kPwAreaEnd = 0x5500; // no plain memory from 0x5300 up to here
constexpr uint32_t kRestart = 0x88FFFF;
constexpr int kMaxWrongEntries = 7;
constexpr uint8_t kReserve = 0xF0;

} // namespace zelsim
