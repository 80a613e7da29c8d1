#include "noz_setts_core.h"

#include "conversions.h"
#include "little_endian.h"

#include <string>

namespace settings {

const char* const kImpLitTexts[kImpLitItems] = {"100", "256", "132", "200"};

int ImpLitItem(uint16_t impLit) {
    const std::string text = std::to_string(impLit / 2);
    for (int i = 0; i < kImpLitItems; ++i)
        if (text == kImpLitTexts[i]) return i;
    return -1;
}

int ImpLitCode(int item) {
    return item >= 0 && item < kImpLitItems ? 2 * std::stoi(kImpLitTexts[item]) : 0;
}

int StoredImpLit(const uint8_t* block) {
    return static_cast<int>(fields::GetField(nozsetts::ImpLit, block));
}

bool RepairMeterPhase(NozSettsPair& pair) {
    if (fields::GetField(nozsetts::MeterPhase, pair.working.data()) <= 2) return false;
    fields::PutField(nozsetts::MeterPhase, pair.working.data(), 0);
    return true;
}

bool ChangeImpLit(uint8_t* block, int newCode) {
    const int old = GetU16(block, nozsetts::ImpLit.offset);
    if (old == newCode) return true;
    if (ScalePulseWeights(block, old, newCode) != 1) return false;
    PutU16(block, nozsetts::ImpLit.offset, static_cast<uint16_t>(newCode));
    return true;
}

int ReadNozSetts(int port, int ctrl, int channel, NozSettsPair& pair) {
    return ReadChannelBlock(port, ctrl, NozSetts, channel, pair);
}

ChannelSave SaveNozSetts(int port, int ctrl, int channel, NozSettsPair& pair,
                         const std::function<void()>& attemptFailed) {
    return SaveChannelBlock(port, ctrl, NozSetts, kSizeNozSetts, channel, pair, 1, attemptFailed);
}

} // namespace settings
