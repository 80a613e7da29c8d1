// The fixed 1100-byte controller image that the factory defaults build and
// the parameter report collects: every block at its own place, one after
// another, with the lengths of a controller as shipped. The demo file carries
// the same layout behind its 7-byte size header.
#pragma once

#include "memory_map.h"

#include <array>
#include <cstdint>

namespace tools {

constexpr int kFixedImageSize = 1100;
constexpr int kFixParams = 0;    // CtrlrParams, 58 bytes, the last one its checksum
constexpr int kFixNozSetts = 58; // NozSetts of channels 0..9, 20 bytes each
constexpr int kFixSide1 = 258;   // SidesSetts side A, 12 bytes
constexpr int kFixSide2 = 270;   // SidesSetts side B, 12 bytes
constexpr int kFixNara = 282;    // NaraSpecific, 128 bytes
constexpr int kFixNozRegs = 410; // NozRegs of channels 0..9, 69 bytes each
constexpr int kDemoHeaderSize = 7;

constexpr int FixNozSetts(int channel) {
    return kFixNozSetts + NozSetts.length * channel;
}
constexpr int FixNozRegs(int channel) {
    return kFixNozRegs + NozRegs.length * channel;
}

static_assert(kFixNozSetts == CtrlrParams.length);
static_assert(kFixSide1 == FixNozSetts(kMaxChannels));
static_assert(kFixSide2 == kFixSide1 + SidesSetts.length);
static_assert(kFixNara == kFixSide2 + SidesSetts.length);
static_assert(kFixNozRegs == kFixNara + NaraSpecific.length);
static_assert(kFixedImageSize == FixNozRegs(kMaxChannels));

using FixedImage = std::array<uint8_t, kFixedImageSize>;

} // namespace tools
