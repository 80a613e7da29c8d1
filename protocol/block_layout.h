// The layout of every configuration block: each field's name, offset, width,
// codec and scale, and the reserved bytes (carried unchanged, shown nowhere).
// Every byte of a block belongs to exactly one entry. The cores, the tabs'
// field rows, the image listings, the virtual controller and the tests take
// their offsets from here; nothing else declares where a field lives.
#pragma once

#include "field_table.h"
#include "little_endian.h"
#include "memory_map.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fields {

struct BlockLayout {
    const char* group; // "CtrlrParams", the name images and listings use
    int length;        // bytes the layout describes
    std::span<const Layout> entries;
};

constexpr Layout Reserved(int offset, int width) {
    return {.offset = offset, .width = width};
}

// The value of a field (element i of a repeated one), and back; only the
// field's width is written.
inline uint32_t GetField(const Layout& l, const uint8_t* block, int i = 0) {
    return GetUInt(block, l.offset + i * l.stride, l.width);
}
inline void PutField(const Layout& l, uint8_t* block, uint32_t v, int i = 0) {
    PutUInt(block, l.offset + i * l.stride, l.width, v);
}

// True when the entries cover bytes 0..length-1, each exactly once.
constexpr bool CoversEveryByteOnce(const BlockLayout& b) {
    bool seen[256] = {};
    if (b.length <= 0 || b.length > 256) return false;
    for (const Layout& l : b.entries)
        for (int i = 0; i < l.count; ++i)
            for (int k = 0; k < l.width; ++k) {
                const int at = l.offset + i * l.stride + k;
                if (at < 0 || at >= b.length || seen[at]) return false;
                seen[at] = true;
            }
    for (int at = 0; at < b.length; ++at)
        if (!seen[at]) return false;
    return true;
}

// A block's layout, checked as it is compiled: entries that leave a byte out
// or take one twice make the throw below part of the constant expression, and
// the layout does not compile.
consteval BlockLayout CheckedLayout(const char* group, const MemBlock& block,
                                    std::span<const Layout> entries) {
    const BlockLayout b{group, block.length, entries};
    if (!CoversEveryByteOnce(b)) throw "the entries do not cover every byte of the block exactly once";
    return b;
}

// One field of a block, a repeated field's element on its own.
struct PlacedField {
    std::string name; // "SlowLoad", "NaraAddr[3]"; "" for a reserved byte
    Field field;      // offset, width and codec of this element
};
// Every field of the layout in offset order, each reserved byte on its own.
std::vector<PlacedField> PlacedFields(const BlockLayout& b);
// The layout of a group ("CtrlrParams", "NozSetts", ...), or nullptr for a
// block no layout describes.
const BlockLayout* FindLayout(std::string_view group);
// Every block layout.
std::span<const BlockLayout* const> AllLayouts();

} // namespace fields

// CtrlrParams: the controller parameter block at 0x3101. The last byte is the
// checksum of the others.
namespace ctrlrparams {
using fields::Codec;
using fields::Layout;
inline constexpr Layout Speed1{.field = "Speed1", .offset = 0, .codec = Codec::Choice}; // 0 38400 .. 3 4800
inline constexpr Layout Speed2{.field = "Speed2", .offset = 1, .codec = Codec::Choice};
inline constexpr Layout AddrSideA{.field = "AddrSideA", .offset = 2, .codec = Codec::Decimal};
inline constexpr Layout AddrSideB{.field = "AddrSideB", .offset = 3, .codec = Codec::Decimal};
inline constexpr Layout NozzlesPerSide{.field = "NozzlesPerSide", .offset = 4, .codec = Codec::Decimal};
inline constexpr Layout SideCount{.field = "SideCount", .offset = 5, .codec = Codec::Decimal};
// Side A's N addresses, then side B's N (N = NozzlesPerSide).
inline constexpr Layout NaraAddr{
    .field = "NaraAddr", .offset = 6, .codec = Codec::Decimal, .count = 10, .stride = 1};
inline constexpr Layout MeterType{.field = "MeterType", .offset = 22, .codec = Codec::Choice};   // 255 manual
inline constexpr Layout MeterPhase{.field = "MeterPhase", .offset = 23, .codec = Codec::Choice}; // 3 manual
// Units of 100 ml; 255 starts on both valve signals and is shown as it is.
inline constexpr Layout SlowStart{
    .field = "SlowStart", .offset = 24, .codec = Codec::Decimal, .scale = 100, .asIs = 255};
inline constexpr Layout SlowLoad{.field = "SlowLoad", .offset = 25, .codec = Codec::Decimal, .scale = 100};
inline constexpr Layout NozzleFat{.field = "NozzleFat", .offset = 26, .codec = Codec::Decimal, .scale = 10};
inline constexpr Layout MetTOut{.field = "MetTOut", .offset = 27, .codec = Codec::Decimal}; // seconds
inline constexpr Layout NozzleWait{.field = "NozzleWait", .offset = 29, .codec = Codec::Decimal};
inline constexpr Layout ModeMask{.field = "ModeMask", .offset = 30, .width = 2, .codec = Codec::Bits};
inline constexpr Layout ModeMask2{.field = "ModeMask2", .offset = 32, .width = 2, .codec = Codec::Bits};
// Low nibble: side A's display type, high nibble: side B's.
inline constexpr Layout DisplayTypes{.field = "DisplayTypes", .offset = 34, .codec = Codec::Hex};
// Pair j: the logical numbers of physical channel j on side A and on side B; 255 none.
inline constexpr Layout PhysToLogA{
    .field = "PhysToLogA", .offset = 35, .codec = Codec::Decimal, .count = 5, .stride = 2};
inline constexpr Layout PhysToLogB{
    .field = "PhysToLogB", .offset = 36, .codec = Codec::Decimal, .count = 5, .stride = 2};
inline constexpr Layout TempHeatLow{.field = "TempHeatLow", .offset = 51, .codec = Codec::Signed};
inline constexpr Layout TempHeatHigh{.field = "TempHeatHigh", .offset = 52, .codec = Codec::Signed};
inline constexpr Layout MinSpeed{.field = "MinSpeed", .offset = 53, .codec = Codec::Decimal};
inline constexpr Layout MinSpTime{.field = "MinSpTime", .offset = 54, .codec = Codec::Decimal};
inline constexpr Layout HydroHit{.field = "HydroHit", .offset = 55, .codec = Codec::Decimal, .scale = 10};
inline constexpr Layout PcTimeout{.field = "PcTimeout", .offset = 56, .codec = Codec::Decimal};
inline constexpr Layout Checksum{.field = "Checksum", .offset = 57, .codec = Codec::Hex};

inline constexpr Layout kEntries[] = {
    Speed1,
    Speed2,
    AddrSideA,
    AddrSideB,
    NozzlesPerSide,
    SideCount,
    NaraAddr,
    fields::Reserved(16, 6),
    MeterType,
    MeterPhase,
    SlowStart,
    SlowLoad,
    NozzleFat,
    MetTOut,
    fields::Reserved(28, 1),
    NozzleWait,
    ModeMask,
    ModeMask2,
    DisplayTypes,
    PhysToLogA,
    PhysToLogB,
    fields::Reserved(45, 6),
    TempHeatLow,
    TempHeatHigh,
    MinSpeed,
    MinSpTime,
    HydroHit,
    PcTimeout,
    Checksum,
};
inline constexpr fields::BlockLayout kLayout = fields::CheckedLayout("CtrlrParams", CtrlrParams, kEntries);
} // namespace ctrlrparams

// NozSetts: a channel's metrology block at 0x1000 + n * 0x100. W = ImpWHi *
// 2^32 + ImpWLo and Wk the same way: the volume of one pulse in hundredths of
// a litre times 2^30; ImpWkWLo holds the low 32 bits of Wk - W.
namespace nozsetts {
using fields::Codec;
using fields::Layout;
inline constexpr Layout ImpWLo{.field = "ImpWLo", .offset = 0, .width = 4, .codec = Codec::Hex};
inline constexpr Layout ImpWHi{.field = "ImpWHi", .offset = 4, .codec = Codec::Decimal};
inline constexpr Layout ImpWkLo{.field = "ImpWkLo", .offset = 5, .width = 4, .codec = Codec::Hex};
inline constexpr Layout ImpWkHi{.field = "ImpWkHi", .offset = 9, .codec = Codec::Decimal};
inline constexpr Layout ImpWkWLo{.field = "ImpWkWLo", .offset = 10, .width = 4, .codec = Codec::Hex};
// Twice the pulses per litre; the choice box shows the pulses ("100" for 200).
inline constexpr Layout ImpLit{
    .field = "ImpLit", .offset = 14, .width = 2, .codec = Codec::Decimal, .divide = 2};
// 0 one phase (1), 1 two phases, 2 one phase (2).
inline constexpr Layout MeterPhase{.field = "MeterPhase", .offset = 16, .codec = Codec::Choice};
inline constexpr Layout CountKor{.field = "CountKor", .offset = 17, .width = 2, .codec = Codec::Decimal};

inline constexpr Layout kEntries[] = {
    ImpWLo, ImpWHi, ImpWkLo, ImpWkHi, ImpWkWLo, ImpLit, MeterPhase, CountKor, fields::Reserved(19, 1),
};
inline constexpr fields::BlockLayout kLayout = fields::CheckedLayout("NozSetts", NozSetts, kEntries);
} // namespace nozsetts

// NozRegs: a channel's state registers at 0x2000 + n * 0x100. Volumes and
// money in hundredths unless stated.
namespace nozregs {
using fields::Codec;
using fields::Layout;
inline constexpr Layout State{.field = "State", .offset = 1, .codec = Codec::Choice};
inline constexpr Layout BitStat{.field = "BitStat", .offset = 2, .width = 2, .codec = Codec::Hex};
inline constexpr Layout SetVol{.field = "SetVol", .offset = 4, .width = 4, .codec = Codec::Hundredths};
inline constexpr Layout SetSum{.field = "SetSum", .offset = 8, .width = 4, .codec = Codec::Hundredths};
inline constexpr Layout LoadVol{.field = "LoadVol", .offset = 12, .width = 4, .codec = Codec::Hundredths};
inline constexpr Layout LoadVolLo{.field = "LoadVolLo", .offset = 16, .width = 4, .codec = Codec::Hex};
inline constexpr Layout KVol{.field = "KVol", .offset = 20, .width = 4, .codec = Codec::Hundredths};
inline constexpr Layout KVolLo{.field = "KVolLo", .offset = 24, .width = 4, .codec = Codec::Hex};
inline constexpr Layout LastVol{.field = "LastVol", .offset = 28, .width = 4, .codec = Codec::Hundredths};
inline constexpr Layout Price{.field = "Price", .offset = 32, .width = 2, .codec = Codec::Hundredths};
inline constexpr Layout VolStart{
    .field = "VolStart", .offset = 36, .width = 2, .codec = Codec::Decimal};                          // ml
inline constexpr Layout VolEnd{.field = "VolEnd", .offset = 38, .width = 4, .codec = Codec::Decimal}; // ml
inline constexpr Layout DCount{.field = "DCount", .offset = 42, .width = 4, .codec = Codec::Hundredths};
// The fiscal totalizer: whole part and fraction.
inline constexpr Layout FCount{.field = "FCount", .offset = 46, .width = 4, .codec = Codec::Decimal};
inline constexpr Layout FCMil{.field = "FCMil", .offset = 50, .codec = Codec::Decimal, .digits = 2};
inline constexpr Layout LCount{.field = "LCount", .offset = 51, .width = 4, .codec = Codec::Hundredths};
inline constexpr Layout SCount{.field = "SCount", .offset = 55, .width = 4, .codec = Codec::Hundredths};
inline constexpr Layout BCount{.field = "BCount", .offset = 59, .width = 4, .codec = Codec::Hundredths};
inline constexpr Layout MCount{.field = "MCount", .offset = 63, .width = 4, .codec = Codec::Hundredths};

inline constexpr Layout kEntries[] = {
    fields::Reserved(0, 1),
    State,
    BitStat,
    SetVol,
    SetSum,
    LoadVol,
    LoadVolLo,
    KVol,
    KVolLo,
    LastVol,
    Price,
    fields::Reserved(34, 2),
    VolStart,
    VolEnd,
    DCount,
    FCount,
    FCMil,
    LCount,
    SCount,
    BCount,
    MCount,
    fields::Reserved(67, 2),
};
inline constexpr fields::BlockLayout kLayout = fields::CheckedLayout("NozRegs", NozRegs, kEntries);
} // namespace nozregs

// SidesSetts: a side's registers, side A at 0x4000, side B at 0x4100.
namespace sidessetts {
using fields::Codec;
using fields::Layout;
inline constexpr Layout ActiveNoz{.field = "ActiveNoz", .offset = 0, .codec = Codec::Decimal};
inline constexpr Layout SideCountKor{
    .field = "SideCountKor", .offset = 1, .width = 2, .codec = Codec::Decimal};
// Day, month and two-digit year of the last correction.
inline constexpr Layout DateLastKor{.field = "DateLastKor", .offset = 3, .width = 3, .codec = Codec::Date};
inline constexpr Layout CountTranz{.field = "CountTranz", .offset = 6, .width = 4, .codec = Codec::Decimal};

inline constexpr Layout kEntries[] = {
    ActiveNoz, SideCountKor, DateLastKor, CountTranz, fields::Reserved(10, 2),
};
inline constexpr fields::BlockLayout kLayout = fields::CheckedLayout("SidesSetts", SidesSetts, kEntries);
} // namespace sidessetts

// NaraSpecific: the advanced settings block at 0x5100 (images carry 256
// bytes; the bytes past the block are no field's).
namespace naraspecific {
using fields::Codec;
using fields::Layout;
// Bit 2: price point "РРР.К", else bit 1: "РРРР", else "РР.КК"; the other bits carried.
inline constexpr Layout NaraFlags{.field = "NaraFlags", .offset = 4, .codec = Codec::Bits};
inline constexpr Layout ShimDuration{.field = "ShimDuration", .offset = 15, .codec = Codec::Decimal};
inline constexpr Layout MinVolNara{.field = "MinVolNara", .offset = 16, .width = 2, .codec = Codec::Decimal};
inline constexpr Layout StWaitForceNara{.field = "StWaitForceNara", .offset = 18, .codec = Codec::Decimal};
inline constexpr Layout ValveDelay{.field = "ValveDelay", .offset = 19, .codec = Codec::Decimal};
inline constexpr Layout PrcShift{.field = "PrcShift", .offset = 20, .codec = Codec::Decimal};
inline constexpr Layout UpgrCountNara{
    .field = "UpgrCountNara", .offset = 22, .width = 2, .codec = Codec::Decimal};
inline constexpr Layout PbTimeoutNara{.field = "PbTimeoutNara", .offset = 24, .codec = Codec::Decimal};
inline constexpr Layout BmuPUser{
    .field = "BmuPUser", .offset = 25, .width = 4, .codec = Codec::Decimal, .count = 4, .stride = 4};
inline constexpr Layout BmuPAdm{.field = "BmuPAdm", .offset = 41, .width = 4, .codec = Codec::Decimal};

inline constexpr Layout kEntries[] = {
    fields::Reserved(0, 4),
    NaraFlags,
    fields::Reserved(5, 10),
    ShimDuration,
    MinVolNara,
    StWaitForceNara,
    ValveDelay,
    PrcShift,
    fields::Reserved(21, 1),
    UpgrCountNara,
    PbTimeoutNara,
    BmuPUser,
    BmuPAdm,
    fields::Reserved(45, 83),
};
inline constexpr fields::BlockLayout kLayout = fields::CheckedLayout("NaraSpecific", NaraSpecific, kEntries);
} // namespace naraspecific
