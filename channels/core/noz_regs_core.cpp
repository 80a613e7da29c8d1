#include "noz_regs_core.h"

#include "hex_text.h"

namespace settings {

// Kept byte for byte: item 4's first word has a Latin "o", item 9 quotes the
// mode's name.
const char* const kBitTexts[kBitItems] = {
    "Пистолет снят",
    "Канал активирован",
    "Отпуск был приостановлен - можно продолжать",
    "Управляется БМУ",
    "Дoза задана по протоколу НАРА",
    "Идет отпуск в мерник",
    "Ошибка питания",
    "Авария датчика (нет фазы)",
    "Доза продолжается",
    "Отображать отпуск \"Полный Бак\"",
};

const uint16_t kBitMasks[kBitItems] = {0x0008, 0x0080, 0x0100, 0x0200, 0x1000,
                                       0x0800, 0x0004, 0x0004, 0x2000, 0x4000};

bool BitItemTicked(uint16_t word, int item) {
    return item >= 0 && item < kBitItems && (word & kBitMasks[item]) != 0;
}

uint16_t BitStatFromItems(uint16_t word, const bool ticked[kBitItems]) {
    for (int i = 0; i < kBitItems; ++i)
        word = static_cast<uint16_t>(ticked[i] ? word | kBitMasks[i] : word & ~kBitMasks[i]);
    return word;
}

std::string BitStatFourDigits(uint16_t word) {
    return HexNumber(word, 4);
}

int ReadNozRegs(int port, int ctrl, int channel, NozRegsPair& pair) {
    return ReadChannelBlock(port, ctrl, NozRegs, channel, pair);
}

ChannelSave SaveNozzleRegs(int port, int ctrl, int channel, NozRegsPair& pair,
                           const std::function<void()>& attemptFailed) {
    return SaveChannelBlock(port, ctrl, NozRegs, kSizeNozRegs, channel, pair, 3, attemptFailed);
}

} // namespace settings
