#include "ident_core.h"

#include "frames.h"
#include "hex_text.h"

#include <cctype>
#include <cstdio>
#include <string_view>

namespace ident {

long ParseHexNumber(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1])))
        --e;
    uint32_t v = 0;
    if (!ParseHexDigits(std::string_view(text).substr(b, e - b), v) || v > 0x7FFFFFFFu) return -1;
    return static_cast<long>(v);
}

long StartupNumber(const std::string& text) {
    const long n = ParseHexNumber(text);
    return n <= 0 ? 1 : n;
}

DeviceCaptions CaptionsForDevice(uint8_t deviceType) {
    if (deviceType == 33)
        return {"Буфер перелива, мл",
                {"БМУ для предзадания дозы", "Включение звука по окончанию отпуска через реле",
                 "Режим работы \"Север\""}};
    if (deviceType == 23)
        return {"Вес струбцины,гр", {"Резерв", "Резерв", "Пистолет всегда висит по АЗТ2.0"}};
    return {"Буфер перелива, мл",
            {"Разрешить продолжение кнопкой ПУСК", "Запрет принудительного пуска",
             "Пистолет всегда висит по АЗТ2.0"}};
}

TableCaptions TableCaptionsForIdentText(const std::string& utf8Text) {
    if (utf8Text.find("stm32") != std::string::npos && utf8Text.find("-УЗСГ") != std::string::npos)
        return {"УНСГ-рс-i2c", "УЗСГ-рс-i2c"};
    return {"TBL-218", "TBL-209"};
}

PasswordPanelView DecodePasswordStatus(bool readOk, std::array<uint8_t, 16>& status) {
    PasswordPanelView v;
    if (!readOk) {
        v.admin.label = v.adjust.label = "Ошибка чтения";
        v.admin.buttonEnabled = v.adjust.buttonEnabled = v.resetEnabled = false;
        return v;
    }
    bool unsupported = true;
    for (uint8_t b : status)
        unsupported = unsupported && b == 0x11;
    if (unsupported) {
        status.fill(0);
        v.admin.label = v.adjust.label = "Не поддерживается";
        v.admin.buttonEnabled = v.adjust.buttonEnabled = v.resetEnabled = false;
        return v;
    }

    if (status[0] & 0x01) {
        const int left = 7 - (status[1] & 7);
        v.admin.label = "Установлен";
        if (left == 0) {
            v.admin.label = "Заблокирован неверным вводом";
            v.admin.buttonEnabled = false;
        } else if (left < 7) {
            v.admin.label = "Попыток ввода: " + std::to_string(left);
        } else {
            v.admin.buttonEnabled = true;
        }
        v.admin.edit = PasswordRowView::EditAction::HideDefault;
    } else {
        v.admin.edit = PasswordRowView::EditAction::SetDefault;
        v.admin.buttonEnabled = true;
    }

    // The adjustment row is never disabled by a block; its button is only
    // switched on when no adjustment password is set.
    if (status[0] & 0x02) {
        const int left = 7 - ((status[1] >> 3) & 7);
        v.adjust.label = "Установлен";
        if (left == 0)
            v.adjust.label = "Заблокирован неверным вводом";
        else if (left < 7)
            v.adjust.label = "Попыток ввода: " + std::to_string(left);
        v.adjust.edit = PasswordRowView::EditAction::HideDefault;
    } else {
        v.adjust.edit = PasswordRowView::EditAction::SetDefault;
        v.adjust.buttonEnabled = true;
    }
    return v;
}

std::array<uint8_t, 2> PasswordBytes(long value) {
    return {static_cast<uint8_t>(value / 100), static_cast<uint8_t>(value % 100)};
}

std::string RegisterLine(int reg, uint8_t value) {
    return "IR " + HexNumber(static_cast<uint32_t>(reg), 2) + "h = " + HexByte(value);
}

std::string TemperatureText(const uint8_t raw[3]) {
    const unsigned adc = raw[0] | (raw[1] << 8);
    return "АЦП Т = 0x" + HexNumber(adc, 4) + ". Т = " + std::to_string(static_cast<int8_t>(raw[2]));
}

std::string CrcText(const uint8_t raw[2]) {
    return "crc16 = " + HexNumber(static_cast<uint32_t>(raw[0] | (raw[1] << 8)), 4);
}

std::string FiscalLine(int i, int hosesPerSide, int addressA, int addressB, int32_t whole,
                       uint8_t hundredths) {
    const bool sideA = i < hosesPerSide;
    const int hose = sideA ? i + 1 : i - hosesPerSide + 1;
    char buf[160];
    std::snprintf(buf, sizeof buf, "Адрес %d. Рукав %d. Фискальный сумматор = %d,%02d",
                  sideA ? addressA : addressB, hose, static_cast<int>(whole), static_cast<int>(hundredths));
    return buf;
}

long NextTableStep(long n) {
    const long next = n + 1;
    return next == 255 ? 0 : next;
}

SimulatorView SimulatorShown(int state, bool switched) {
    if (state < 0) return {"Ошибка чтения имитатора", nullptr, 0};
    if (state == 0)
        return {"Имитатор выключен", switched ? "Вкл имитатор импульсов" : "Вкл. имитатор импульсов", 0};
    return {"Имитатор включен", switched ? "Выкл имитатор импульсов" : "Выкл. имитатор импульсов", 1};
}

std::string IdentFailureText(int result, int number) {
    if (result == -2) return "C данным устройством не поддерживается работа";
    if (number == kReserveAddress) return "По резервному каналу связь не установлена";
    return "Нет связи с устройством №" + std::to_string(number);
}

} // namespace ident
