// The controller parameter block: its layout, what a read shows and repairs,
// the rules of its number boxes and the bytes its choice boxes store.
#pragma once

#include "block_layout.h"
#include "block_pair.h"
#include "little_endian.h"
#include "memory_map.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace settings {

constexpr int kParamsBufferSize = 256; // a length-queried block is at most 255 bytes

using ParamsPair = BlockPair<kParamsBufferSize>;

// Short names of the offsets the block layout (block_layout.h) gives.
enum ParamsByte : int {
    kSpeed1 = ctrlrparams::Speed1.offset,
    kSpeed2 = ctrlrparams::Speed2.offset,
    kAddrSideA = ctrlrparams::AddrSideA.offset,
    kAddrSideB = ctrlrparams::AddrSideB.offset,
    kNozzlesPerSide = ctrlrparams::NozzlesPerSide.offset,
    kSideCount = ctrlrparams::SideCount.offset,
    kNaraAddrs = ctrlrparams::NaraAddr.offset,
    kMeterType = ctrlrparams::MeterType.offset,
    kMeterPhase = ctrlrparams::MeterPhase.offset,
    kSlowStart = ctrlrparams::SlowStart.offset,
    kSlowLoad = ctrlrparams::SlowLoad.offset,
    kNozzleFat = ctrlrparams::NozzleFat.offset,
    kMetTOut = ctrlrparams::MetTOut.offset,
    kNozzleWait = ctrlrparams::NozzleWait.offset,
    kModeMask = ctrlrparams::ModeMask.offset,
    kModeMask2 = ctrlrparams::ModeMask2.offset,
    kDisplayTypes = ctrlrparams::DisplayTypes.offset,
    kPhysToLog = ctrlrparams::PhysToLogA.offset,
    kTempHeatLow = ctrlrparams::TempHeatLow.offset,
    kTempHeatHigh = ctrlrparams::TempHeatHigh.offset,
    kMinSpeed = ctrlrparams::MinSpeed.offset,
    kMinSpTime = ctrlrparams::MinSpTime.offset,
    kHydroHit = ctrlrparams::HydroHit.offset,
    kPcTimeout = ctrlrparams::PcTimeout.offset,
};

constexpr uint8_t kSlowStartBothSignals = 255;
constexpr uint8_t kMeterManual = 255;
constexpr int kSpeedItems = 4;
constexpr int kMeterItems = 5; // "100", "256", "132", "200", "Ручной выбор"
constexpr int kPhaseItems = 4;
constexpr int kPhaseManual = 3;
constexpr int kModeItemCount = 15;
constexpr int kMaxNozzles = 5;
constexpr uint16_t kMaskUnread = 0xFFFF;
constexpr uint16_t kNorthModeBit = 0x8000;
constexpr uint8_t kDeviceKeepsNozzles = 39;

extern const char* const kSizeWarning;
extern const char* const kSpeedWarning;
extern const char* const kMeterWarning;
extern const char* const kPhaseWarning;
extern const char* const kMaskWarning;
extern const char* const kChecksumWarning;

// Baud rate of a speed code (0 -> 38400 ... 3 -> 4800); 4800 for anything else.
int SpeedBaud(int code);

// What a read shows: item indexes of the choice boxes and the numbers of the
// boxes, after the repairs have been made in the working copy.
struct ParamsView {
    int speed1Item = 3, speed2Item = 3;
    int nozzleItem = 0; // cbCountNozTrk
    int sideItem = 0;   // cbCountSideTrk
    int meterItem = 0, phaseItem = 1;
    int tableA = 0, tableB = 0;
    bool maskRead = true; // false: the list keeps what it showed
    uint16_t mask = 0, mask2 = 0;
    bool slowStartBoth = false;
    int slowStart = 0, slowLoad = 0, nozzleFat = 0, metTOut = 0, nozzleWait = 0;
    int tempLow = 0, tempHigh = 0, minSpeed = 0, minSpTime = 0, hydroHit = 0, pcTimeout = 0;
    std::vector<std::string> warnings; // in the order they are shown
};

// Checks and repairs a block just read (pair.loaded() already called): the
// size, the speeds, the meter type and phases, the mode mask and the checksum.
// The repaired values go to the working copy; the checksum is judged on the
// bytes as they came from the controller and renewed in the working copy, so a
// repaired field does not also report a wrong checksum.
ParamsView InspectReadParams(ParamsPair& pair);

// Number boxes of the tab: a decimal number below the bound, so the stored
// value fits its byte.
constexpr int kBoundSlowLoad = 25600;
constexpr int kBoundSlowStart = 25600;
constexpr int kBoundNozzleFat = 2560;
constexpr int kBoundMetTOut = 256;
bool NumberBelow(std::string_view text, int bound, int* value = nullptr);

// Slow start byte for a value typed in eSlowStart (255 for "both valve signals").
uint8_t SlowStartByte(int value, bool bothSignals);

// ModeMask from the 15 check boxes (item 8 is bit 9; bit 8 is always cleared).
uint16_t ModeMaskFromItems(const bool checked[kModeItemCount]);
bool ModeItemChecked(uint16_t mask, int item);
int ModeItemBit(int item);

// The nozzle count list after a read or a mode edit: a single "1" when North
// mode is set and the device type is not 39.
bool NozzleListSingle(uint16_t mask, uint8_t deviceType);

// Display byte with the side A or side B nibble replaced (a byte below 16, which
// shows its type on both sides, stays when side B keeps that type).
uint8_t DisplayByte(uint8_t old, int item, bool sideB);

// A copy of the working block for the write: the block length, renewed checksum.
std::vector<uint8_t> WriteBuffer(const ParamsPair& pair);

// Channels the save brings in line with the controller-wide meter settings.
int ChannelCount(const ParamsPair& pair);

} // namespace settings
