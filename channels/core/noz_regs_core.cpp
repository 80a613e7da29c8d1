#include "noz_regs_core.h"

#include "hex_text.h"

namespace settings {

const char* const kStateTexts[kStateItems] = {
    "Канал свободен",
    "Канал свободен - перелив",
    "Доза задана, ожидание",
    "Тест табло",
    "Старт на доливе",
    "Отпуск",
    "Конец отпуска на доливе",
    "Приостановлено оператором",
    "Остановлено клиентом",
    "Таймаут крыльчатки",
    "Приостановлено, таймаут связи с ПК",
    "Переполнение табло",
    "Ошибка связи с платой расширения",
    "Пропала фаза датчика на старте",
    "Пропала фаза питания клапанов",
    "Производительность отпуска меньше минимальной",
    "Приостановлено, авария питания",
    "Нормальное завершение",
    "Завершение с переливом",
    "Продолжение на повешенный пистолет - ожидание",
};

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

namespace {
constexpr int kFirstHighCode = 43; // item 16
constexpr int kHighCodeShift = 27;
} // namespace

int StateItem(int code) {
    if (code >= 0 && code <= 15) return code;
    if (code >= kFirstHighCode && code < kFirstHighCode + 4) return code - kHighCodeShift;
    return -1;
}

int StateCode(int item) {
    return item >= 16 ? item + kHighCodeShift : item;
}

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
