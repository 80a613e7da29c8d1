// The side registers: one SidesSetts block of 12 bytes a side (side A at
// 0x4000, side B at 0x4100). The program keeps one buffer a side and no
// as-read copy: a write always sends the whole buffer, and no restart follows.
#pragma once

#include "block_layout.h"
#include "memory_map.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace settings {

using SideBuffer = std::array<uint8_t, SidesSetts.length>;

constexpr int kSideCountKorMax = 65535;

// Reads the side's block (0 = A, 1 = B) into the buffer: 1, or -1 (the
// buffer keeps what it held).
int ReadSide(int port, int ctrl, int side, SideBuffer& buffer);
// Writes the side's 12 bytes, one attempt: 1 or -1.
int WriteSide(int port, int ctrl, int side, const SideBuffer& buffer);

// "%02d.%02d.%02d" of the date bytes.
std::string SideDateText(const SideBuffer& buffer);
// Day, month and year of a date box's text ("%d.%d.%d"): three numbers that
// make a date of 2000..2099 (two-digit year), or 00.00.00 for "no correction
// yet". Nothing for any other text.
std::optional<std::array<uint8_t, 3>> ParseSideDate(std::string_view text);
// The correction count the buffer holds; a count stored in its low 16 bits.
uint16_t StoredCountKor(const SideBuffer& buffer);
void StoreCountKor(SideBuffer& buffer, long count);
// A date box's text stored when it is a date (ParseSideDate): true when taken.
bool StoreSideDate(SideBuffer& buffer, std::string_view text);
// The transaction count: the value of the text's leading digits.
void StoreCountTranz(SideBuffer& buffer, std::string_view text);
// The status text after a write of both sides, the result being 10 × side A's
// result + side B's (each 1 or -1); nullptr for the result of one side alone
// (that side's own text stays).
const char* SidesWrittenText(int result);
// The value of the text's leading decimal digits (0 when there are none),
// kept within 32 bits.
uint32_t LeadingDigitsValue(std::string_view text);

} // namespace settings
