// The advanced settings: the NaraSpecific block (128 bytes at 0x5100) and the
// rules of every box of the advanced tab, for both blocks it edits.
#pragma once

#include "block_layout.h"
#include "block_pair.h"
#include "little_endian.h"
#include "memory_map.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

using NaraPair = BlockPair<NaraSpecific.length>;

// Short names of the offsets the block layout (block_layout.h) gives.
enum NaraByte : int {
    kNaraFlags = naraspecific::NaraFlags.offset,
    kShimDuration = naraspecific::ShimDuration.offset,
    kMinVolNara = naraspecific::MinVolNara.offset,
    kStWaitForceNara = naraspecific::StWaitForceNara.offset,
    kValveDelay = naraspecific::ValveDelay.offset,
    kPrcShift = naraspecific::PrcShift.offset,
    kUpgrCountNara = naraspecific::UpgrCountNara.offset,
    kPbTimeoutNara = naraspecific::PbTimeoutNara.offset,
    kBmuPUser = naraspecific::BmuPUser.offset,
    kBmuPAdm = naraspecific::BmuPAdm.offset,
};

// RGDot item from NaraFlags: bit 2 first ("РРР.К"), then bit 1 ("РРРР"), else "РР.КК".
int DotItem(uint8_t flags);
// NaraFlags with bits 1 and 2 set from the item; the other six bits kept.
uint8_t FlagsForDotItem(uint8_t flags, int item);

// The operator passwords (slots 0..3) and the administrator password of the
// Nara block, 32 bits each.
uint32_t BmuUserPassword(const uint8_t* nara, int slot);
void StoreBmuUserPassword(uint8_t* nara, int slot, uint32_t value);
void StoreBmuAdmPassword(uint8_t* nara, uint32_t value);

// A non-empty string of decimal digits whose value lies in lo..hi, or is 0
// when zeroAllowed. The value goes to *value.
bool InRange(std::string_view text, int lo, int hi, bool zeroAllowed, int* value = nullptr);

// The box rules.
bool NozzleWaitValid(std::string_view t, int* v = nullptr);    // 0..99
bool MinSpeedValid(std::string_view t, int* v = nullptr);      // 0..30
bool MinSpTimeValid(std::string_view t, int* v = nullptr);     // 0 or 3..180
bool PcTimeoutValid(std::string_view t, int* v = nullptr);     // 0 or 3..60
bool ValveDelayValid(std::string_view t, int* v = nullptr);    // 0..30
bool ShimDurationValid(std::string_view t, int* v = nullptr);  // 0 or 2..19
bool MinVolNaraValid(std::string_view t, int* v = nullptr);    // 0 or 10..500
bool StWaitForceValid(std::string_view t, int* v = nullptr);   // 0..99
bool PbTimeoutNaraValid(std::string_view t, int* v = nullptr); // 0..100

// eHydroHit: a number of at most 2555 (ml); the byte holds tenths, fraction dropped.
constexpr long kHydroHitMax = 2555;
bool HydroHitValid(long value);
uint8_t HydroHitByte(long value);

// Heater temperatures go into signed bytes. The switch-on value must be
// negative; both must fit the byte (-128..127), or the byte would wrap round
// to a different temperature.
bool TempLowValid(long value);
bool TempHighValid(long value);

// The boxes the tab reads as the toolkit would (their conversion message
// first): true when the value is valid and stored into the parameter block
// (the buffer's tenths of ml, a temperature's signed byte); false leaves the block.
bool StoreHydroHit(uint8_t* params, long value);
bool StoreTempLow(uint8_t* params, long value);
bool StoreTempHigh(uint8_t* params, long value);
// The price dot of the Nara block: the RGDot item its flags stand for, and
// the flags set for an item (the other bits kept).
int StoredDotItem(const uint8_t* nara);
void StoreDotItem(uint8_t* nara, int item);
// PrcShift from the text of its box (PrcShiftValue).
void StorePrcShift(uint8_t* nara, std::string_view text);

// A password of the local control unit is valid unless it has ten characters
// and its number exceeds 4294967295.
bool BmuPasswordTextValid(std::string_view text);
// Low 32 bits of the text read as a 64-bit integer; nothing when it is not a number.
std::optional<uint32_t> BmuPasswordValue(std::string_view text);

// PrcShift: the leading decimal digits of the text, 0 when there are none.
uint8_t PrcShiftValue(std::string_view text);

} // namespace settings

namespace settings {

// Reads the whole block at 0x5100 into the working copy and takes it as read.
// 1; -1 when fewer than 128 bytes came (the working copy is restored).
int ReadNara(int port, int ctrl, NaraPair& pair);
// Writes the block when the working copy differs from the as-read copy:
// 1 written, 0 nothing to write, -1 the write failed. No restart follows.
int WriteNara(int port, int ctrl, NaraPair& pair);
// The heater relay test: 1 written to register 0x27 (board 2). The WriteBlock result.
int TestHeaterRelay(int port, int ctrl);

} // namespace settings
