// Controller memory map: every block address and length the program, the
// virtual controller and the tests use, in one place. Board 0 unless stated.
// Field offsets inside a block live in that block's layout header.
#pragma once

#include <cstdint>

// A block of controller memory: where it starts and how long the program
// takes it to be. Channel blocks repeat every kChannelStride bytes, the two
// side blocks every kSideStride bytes.
struct MemBlock {
    uint32_t address;
    int length;
};

// Boards (memory spaces).
constexpr int kBoardMain = 0;
constexpr int kBoardRegisters = 2;
constexpr int kBoardIm = 4;

// The configuration blocks. A controller reports the lengths it really has in
// its sizes record; these are the lengths of the demo image and the factory
// defaults, and the lengths the tabs read.
constexpr MemBlock CtrlrParams{0x3101, 58}; // last byte = checksum of the others
constexpr MemBlock NozSetts{0x1000, 20};    // channel n at address + n * kChannelStride
constexpr MemBlock NozRegs{0x2000, 69};     // channel n at address + n * kChannelStride
constexpr MemBlock SidesSetts{0x4000, 12};  // side 2 at address + kSideStride
constexpr MemBlock NaraSpecific{0x5100, 128};
constexpr int kNaraSpecificImageLength = 256; // as controller images carry it

constexpr uint32_t kChannelStride = 0x100;
constexpr uint32_t kSideStride = 0x100;
constexpr int kMaxChannels = 10; // channels a controller, an image and a channel list hold

constexpr uint32_t ChannelAddress(const MemBlock& block, int channel) {
    return block.address + static_cast<uint32_t>(channel) * kChannelStride;
}
constexpr uint32_t SideAddress(int side) {
    return SidesSetts.address + static_cast<uint32_t>(side) * kSideStride;
}

constexpr uint32_t kAddrParamLength = 0x3100; // 1 byte: length of the parameter block that follows
constexpr uint32_t kAddrSizes = 0x3040;       // sizes record
constexpr int kLenSizes = 7;
constexpr uint32_t kAddrBlock3000 = 0x3000;
constexpr int kLenBlock3000 = 57;
constexpr uint32_t kAddrImageBlock0 = 0x0; // BlockSizes[4] bytes, controller images only
constexpr uint32_t kAddrImageBlock1 = 0x100;
constexpr uint32_t kAddrTemperatureTable = 0x5000;
constexpr int kLenTemperatureTable = 78;
constexpr uint32_t kAddrPasswordStatus = 0x5300;
constexpr int kLenPasswordStatus = 16;
constexpr uint32_t kAddrAdminPassword = 0x5300;  // present, 2 bytes
constexpr uint32_t kAddrAdjustPassword = 0x5302; // present, 2 bytes
constexpr uint32_t kAddrNewAdminPassword = 0x5400;
constexpr uint32_t kAddrNewAdjustPassword = 0x5402;
constexpr uint32_t kAddrRestart = 0x88FFFF; // write the single byte 0x01
// Board 2 registers.
constexpr uint32_t kRegSimulator = 0x24;
constexpr uint8_t kSimulatorBit = 0x40;
constexpr uint32_t kRegTemperature = 0x25; // 3 bytes read
constexpr int kLenTemperature = 3;
constexpr uint32_t kRegDisplayMode = 0x25; // 1 byte write
constexpr uint32_t kRegRelayTest = 0x27;
constexpr uint32_t kRegReading = 0x28; // 6 bytes read
constexpr int kLenReading = 6;
constexpr uint32_t kRegFitting = 0x28; // 2 bytes write
constexpr uint32_t kRegCrc16 = 0x36;   // 2 bytes read

// BlockSizes indexes (the sizes record).
constexpr int kSizeParams = 0;
constexpr int kSizeNozSetts = 3;
constexpr int kSizeImageBlocks = 4;
constexpr int kSizeNozRegs = 5;
constexpr int kSizeSides = 6;
