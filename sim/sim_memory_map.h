// Where things live in the virtual controller (board 0 unless stated). The
// addresses and lengths come from the program's own memory map, so the
// controller the tests talk to and the program can never disagree on them.
#pragma once

#include "memory_map.h"

#include <cstddef>
#include <cstdint>

namespace zelsim {

constexpr uint32_t kMemSize = 0x10000; // boards 0 and 4
constexpr uint32_t kRegSize = 0x100;   // board 2 register set

constexpr uint32_t kBlock0 = kAddrImageBlock0; // the two blocks only images carry (sizes[4] bytes)
constexpr uint32_t kBlock100 = kAddrImageBlock1;
constexpr uint32_t kNozSetts = NozSetts.address; // channel settings, + n * kChannelStep
constexpr uint32_t kNozRegs = NozRegs.address;   // channel state registers, + n * kChannelStep
constexpr uint32_t kChannelStep = kChannelStride;
constexpr uint32_t kBlock3000 = kAddrBlock3000;
constexpr size_t kBlock3000Len = kLenBlock3000;
constexpr uint32_t kSizesRecord = kAddrSizes; // 7 bytes
constexpr uint32_t kParamLength = kAddrParamLength;
constexpr uint32_t kParams = CtrlrParams.address;
constexpr uint32_t kSide1 = SidesSetts.address;
constexpr uint32_t kSide2 = SidesSetts.address + kSideStride;
constexpr uint32_t kTempTable = kAddrTemperatureTable; // 39 entries of 16 bits
constexpr uint32_t kNara = NaraSpecific.address;
constexpr size_t kNaraImageLen = kNaraSpecificImageLength;
constexpr uint32_t kPwStatus = kAddrPasswordStatus; // 16 bytes read
constexpr size_t kPwStatusLen = kLenPasswordStatus;
constexpr uint32_t kPwAdmin = kAddrAdminPassword; // present, 2 bytes
constexpr uint32_t kPwAdjust = kAddrAdjustPassword;
constexpr uint32_t kPwNewAdmin = kAddrNewAdminPassword; // change, 2 bytes
constexpr uint32_t kPwNewAdjust = kAddrNewAdjustPassword;
constexpr uint32_t kPwAreaEnd = 0x5500; // no plain memory from 0x5300 up to here
constexpr uint32_t kRestart = kAddrRestart;
constexpr int kMaxWrongEntries = 7;
constexpr uint8_t kReserve = 0xF0;

} // namespace zelsim
