#include "ident_core.h"

#include <gtest/gtest.h>

using namespace ident;

TEST(IdentCore, HexNumbersOfThePrompts) {
    EXPECT_EQ(ParseHexNumber("1A"), 0x1A);
    EXPECT_EQ(ParseHexNumber(" f0 "), 0xF0);
    EXPECT_EQ(ParseHexNumber("100"), 0x100); // kept whole; only the low byte reaches the frames
    EXPECT_EQ(ParseHexNumber("zz"), -1);
    EXPECT_EQ(ParseHexNumber(""), -1);
    EXPECT_EQ(ParseHexNumber("1 2"), -1);
    EXPECT_EQ(ParseHexNumber("-1"), -1);
    EXPECT_EQ(ParseHexNumber("FFFFFFFFFF"), -1); // no overflow into a valid number
    EXPECT_EQ(StartupNumber("zz"), 1);
    EXPECT_EQ(StartupNumber("0"), 1);
    EXPECT_EQ(StartupNumber("7"), 7);
}

TEST(IdentCore, PasswordStatusRows) {
    std::array<uint8_t, 16> s{};
    s[0] = 0x03;
    s[1] = 0x02 | (0x07 << 3); // two wrong administrator entries, adjustment blocked
    PasswordPanelView v = DecodePasswordStatus(true, s);
    EXPECT_EQ(v.admin.label, "Попыток ввода: 5");
    EXPECT_FALSE(v.admin.buttonEnabled.has_value());
    EXPECT_EQ(v.admin.edit, PasswordRowView::EditAction::HideDefault);
    EXPECT_EQ(v.adjust.label, "Заблокирован неверным вводом");
    EXPECT_FALSE(v.adjust.buttonEnabled.has_value()); // never disabled by a block

    s[1] = 0x07;
    v = DecodePasswordStatus(true, s);
    EXPECT_EQ(v.admin.label, "Заблокирован неверным вводом");
    EXPECT_EQ(v.admin.buttonEnabled, false);
    EXPECT_EQ(v.adjust.label, "Установлен");

    s = {};
    v = DecodePasswordStatus(true, s);
    EXPECT_EQ(v.admin.label, "");
    EXPECT_EQ(v.admin.buttonEnabled, true);
    EXPECT_EQ(v.adjust.buttonEnabled, true);
    EXPECT_EQ(v.admin.edit, PasswordRowView::EditAction::SetDefault);

    s.fill(0x11);
    v = DecodePasswordStatus(true, s);
    EXPECT_EQ(v.admin.label, "Не поддерживается");
    EXPECT_EQ(v.resetEnabled, false);
    EXPECT_EQ(s, (std::array<uint8_t, 16>{}));

    s.fill(0x11);
    v = DecodePasswordStatus(false, s);
    EXPECT_EQ(v.adjust.label, "Ошибка чтения");
    EXPECT_EQ(s[0], 0x11); // a failed read changes nothing
}

TEST(IdentCore, ViewTexts) {
    EXPECT_EQ(PasswordBytes(7391), (std::array<uint8_t, 2>{73, 91}));
    EXPECT_EQ(PasswordBytes(12345), (std::array<uint8_t, 2>{123, 45}));
    const uint8_t t[3] = {0xCD, 0xAB, 0x80};
    EXPECT_EQ(TemperatureText(t), "АЦП Т = 0xABCD. Т = -128");
    const uint8_t crc[2] = {0x34, 0x12};
    EXPECT_EQ(CrcText(crc), "crc16 = 1234");
    EXPECT_EQ(RegisterLine(0x2A, 0x0B), "IR 2Ah = 0B");
    EXPECT_EQ(FiscalLine(0, 3, 10, 11, 0, 0), "Адрес 10. Рукав 1. Фискальный сумматор = 0,00");
    EXPECT_EQ(FiscalLine(4, 3, 10, 11, 123456, 7), "Адрес 11. Рукав 2. Фискальный сумматор = 123456,07");
    EXPECT_EQ(NextTableStep(0), 1);
    EXPECT_EQ(NextTableStep(253), 254);
    EXPECT_EQ(NextTableStep(254), 0);
}

TEST(IdentCore, SimulatorAndFailureTexts) {
    struct Case {
        int state;
        bool switched;
        const char* label;
        const char* caption; // nullptr: the caption and the mark stay
        int mark;
    };
    const Case cases[] = {
        {-1, false, "Ошибка чтения имитатора", nullptr, 0},
        {-3, false, "Ошибка чтения имитатора", nullptr, 0},
        {0, false, "Имитатор выключен", "Вкл. имитатор импульсов", 0},
        {1, false, "Имитатор включен", "Выкл. имитатор импульсов", 1},
        {0x40, false, "Имитатор включен", "Выкл. имитатор импульсов", 1}, // any set value is on
        {0, true, "Имитатор выключен", "Вкл имитатор импульсов", 0},
        {1, true, "Имитатор включен", "Выкл имитатор импульсов", 1},
    };
    for (const Case& c : cases) {
        const SimulatorView v = SimulatorShown(c.state, c.switched);
        EXPECT_STREQ(v.label, c.label) << c.state;
        EXPECT_STREQ(v.caption, c.caption) << c.state << c.switched;
        if (c.caption) {
            EXPECT_EQ(v.mark, c.mark) << c.state;
        }
    }

    EXPECT_EQ(IdentFailureText(-2, 5), "C данным устройством не поддерживается работа");
    EXPECT_EQ(IdentFailureText(-2, 240), "C данным устройством не поддерживается работа");
    EXPECT_EQ(IdentFailureText(-1, 240), "По резервному каналу связь не установлена");
    EXPECT_EQ(IdentFailureText(-1, 9), "Нет связи с устройством №9");
    EXPECT_EQ(IdentFailureText(-3, 255), "Нет связи с устройством №255");
}
