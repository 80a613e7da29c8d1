#include "ctrl_params_core.h"

#include "conversions.h"

#include <algorithm>

namespace settings {

const char* const kSizeWarning =
    "Внимание: размер структуры параметров не совпадает с размером считанной информации";
const char* const kSpeedWarning =
    "Внимание неправильно считаны данные о скорости ТРК! Значение параметра установлено - 4800";
const char* const kMeterWarning =
    "Внимание неправильно считаны данные о типе датчика! Значение параметра установлено - 100 имп";
const char* const kPhaseWarning =
    "Внимание неправильно считаны данные о фазах датчика! Значение параметра установлено - две фазы";
const char* const kMaskWarning = "Внимание неправильно считаны данные о битовой маске!";
const char* const kChecksumWarning = "Внимание!   КСМ не верна! КСМ была пересчитана";

int SpeedBaud(int code) {
    static const int baud[kSpeedItems] = {38400, 19200, 9600, 4800};
    return code >= 0 && code < kSpeedItems ? baud[code] : 4800;
}

ParamsView InspectReadParams(ParamsPair& pair) {
    ParamsView v;
    uint8_t* b = pair.working.data();
    if (pair.length != CtrlrParams.length) v.warnings.emplace_back(kSizeWarning);
    for (int at : {kSpeed1, kSpeed2}) {
        int& item = at == kSpeed1 ? v.speed1Item : v.speed2Item;
        if (b[at] < kSpeedItems) {
            item = b[at];
        } else {
            v.warnings.emplace_back(kSpeedWarning);
            item = 3;
            b[at] = 3;
        }
    }
    // Only 1..5 nozzles exist; anything else shows one, so that no grid
    // reaches beyond the ten Nara bytes or the five map pairs.
    v.nozzleItem = b[kNozzlesPerSide] >= 1 && b[kNozzlesPerSide] <= kMaxNozzles ? b[kNozzlesPerSide] - 1 : 0;
    v.sideItem = b[kSideCount] == 2 ? 1 : 0;
    if (b[kMeterType] == kMeterManual) {
        v.meterItem = kMeterItems - 1;
    } else if (b[kMeterType] < kMeterItems) {
        v.meterItem = b[kMeterType];
    } else {
        v.warnings.emplace_back(kMeterWarning);
        v.meterItem = 0;
        b[kMeterType] = 0;
    }
    if (b[kMeterPhase] < kPhaseItems) {
        v.phaseItem = b[kMeterPhase];
    } else {
        v.warnings.emplace_back(kPhaseWarning);
        v.phaseItem = 1;
        b[kMeterPhase] = 1;
    }
    v.slowLoad = b[kSlowLoad] * 100;
    v.nozzleFat = b[kNozzleFat] * 10;
    v.metTOut = b[kMetTOut];
    v.nozzleWait = b[kNozzleWait];
    v.tempLow = static_cast<int8_t>(b[kTempHeatLow]);
    v.tempHigh = static_cast<int8_t>(b[kTempHeatHigh]);
    v.hydroHit = b[kHydroHit] * 10;
    v.pcTimeout = b[kPcTimeout];
    v.minSpeed = b[kMinSpeed];
    v.minSpTime = b[kMinSpTime];
    const uint8_t types = b[kDisplayTypes];
    v.tableA = types < 16 ? types : (types & 0x0F);
    v.tableB = types < 16 ? types : (types >> 4);
    v.mask = GetU16(b, kModeMask);
    v.mask2 = GetU16(b, kModeMask2);
    if (v.mask == kMaskUnread) {
        v.maskRead = false;
        v.warnings.emplace_back(kMaskWarning);
    }
    v.slowStartBoth = b[kSlowStart] == kSlowStartBothSignals;
    v.slowStart = v.slowStartBoth ? 255 : b[kSlowStart] * 100;
    if (pair.length > 0) {
        if (!pair.readChecksumGood()) v.warnings.emplace_back(kChecksumWarning);
        pair.sealChecksum();
    }
    return v;
}

bool NumberBelow(std::string_view text, int bound, int* value) {
    if (bound <= 0 || CheckNumberText(text, static_cast<uint32_t>(bound - 1), 0) != 1) return false;
    if (value) {
        int n = 0;
        for (char c : text)
            n = n * 10 + (c - '0');
        *value = n;
    }
    return true;
}

uint8_t SlowStartByte(int value, bool bothSignals) {
    if (bothSignals) return kSlowStartBothSignals;
    return static_cast<uint8_t>(std::clamp(value / 100, 0, 255));
}

int ModeItemBit(int item) {
    return item < 8 ? item : item + 1;
}

uint16_t ModeMaskFromItems(const bool checked[kModeItemCount]) {
    uint16_t mask = 0;
    for (int i = 0; i < kModeItemCount; ++i)
        if (checked[i]) mask = static_cast<uint16_t>(mask | (1u << ModeItemBit(i)));
    return mask;
}

bool ModeItemChecked(uint16_t mask, int item) {
    return (mask >> ModeItemBit(item)) & 1u;
}

bool NozzleListSingle(uint16_t mask, uint8_t deviceType) {
    return (mask & kNorthModeBit) != 0 && deviceType != kDeviceKeepsNozzles;
}

uint8_t DisplayByte(uint8_t old, int item, bool sideB) {
    // A byte below 16 shows its type on both sides: side B's list left on it
    // changes nothing (a visit is no edit).
    if (sideB && old < 16 && item == old) return old;
    const auto nibble = static_cast<uint8_t>(item & 0x0F);
    return sideB ? static_cast<uint8_t>((old & 0x0F) | (nibble << 4))
                 : static_cast<uint8_t>((old & 0xF0) | nibble);
}

std::vector<uint8_t> WriteBuffer(const ParamsPair& pair) {
    std::vector<uint8_t> out(pair.working.begin(), pair.working.begin() + std::max(pair.length, 0));
    if (!out.empty()) out.back() = FrameChecksum(out.data(), out.size() - 1);
    return out;
}

int ChannelCount(const ParamsPair& pair) {
    return std::min(pair.working[kNozzlesPerSide] * pair.working[kSideCount], 10);
}

} // namespace settings
