// Field offsets of the two blocks every channel has: NozSetts, the channel
// settings (20 bytes at 0x1000 + n * 0x100), and NozRegs, the channel state
// registers (69 bytes at 0x2000 + n * 0x100). Fields follow each other without
// gaps; multi-byte fields are little-endian.
#pragma once

namespace nozsetts {

constexpr int ImpWLo = 0;      // u32: pulse weight W, low 32 bits
constexpr int ImpWHi = 4;      // u8: W, bits 32..39
constexpr int ImpWkLo = 5;     // u32: corrected weight Wk (K*L), low 32 bits
constexpr int ImpWkHi = 9;     // u8: Wk, bits 32..39
constexpr int ImpWkWLo = 10;   // u32: Wk - W, low 32 bits
constexpr int ImpLit = 14;     // u16: twice the pulses per litre
constexpr int MeterPhase = 16; // u8: 0 one phase (1), 1 two phases, 2 one phase (2)
constexpr int CountKor = 17;   // u16: adjustments made

} // namespace nozsetts

namespace nozregs {

constexpr int State = 1;      // u8
constexpr int BitStat = 2;    // u16
constexpr int SetVol = 4;     // u32, hundredths
constexpr int SetSum = 8;     // u32, hundredths
constexpr int LoadVol = 12;   // u32, hundredths
constexpr int LoadVolLo = 16; // u32
constexpr int KVol = 20;      // u32, hundredths
constexpr int KVolLo = 24;    // u32
constexpr int LastVol = 28;   // u32, hundredths
constexpr int Price = 32;     // u16, hundredths
constexpr int VolStart = 36;  // u16, ml
constexpr int VolEnd = 38;    // u32, ml
constexpr int DCount = 42;    // u32, hundredths
constexpr int FCount = 46;    // u32: fiscal totalizer, whole part
constexpr int FCMil = 50;     // u8: fiscal totalizer, fraction
constexpr int LCount = 51;    // u32, hundredths
constexpr int SCount = 55;    // u32, hundredths
constexpr int BCount = 59;    // u32, hundredths
constexpr int MCount = 63;    // u32, hundredths

} // namespace nozregs
