// The tools' cores without a controller: the report text, its printed
// pages, the factory defaults form's rules and summaries, and the primary
// setup's address lists and boxes.
#include <gtest/gtest.h>

#include "block_layout.h"
#include "defaults_core.h"
#include "global_setts_core.h"
#include "little_endian.h"
#include "report_core.h"

#include <fstream>

using namespace tools;

namespace {

// A report image as if every block had been read.
ReportImage ReadImage() {
    ReportImage img;
    img.paramsRead = img.naraRead = true;
    img.nozSettsRead.fill(true);
    img.sidesRead.fill(true);
    img.nozRegsRead.fill(true);
    return img;
}

void SetRegs(ReportImage& img, int c, uint32_t count, uint8_t mil, uint16_t bits) {
    uint8_t* r = img.bytes.data() + FixNozRegs(c);
    PutU32(r, nozregs::FCount.offset, count);
    r[nozregs::FCMil.offset] = mil;
    PutU16(r, nozregs::BitStat.offset, bits);
}

std::vector<std::string> Lines(std::initializer_list<const char*> l) {
    return {l.begin(), l.end()};
}

} // namespace

TEST(ReportText, EveryLineOfAKnownImage) {
    ReportImage img = ReadImage();
    uint8_t* p = img.bytes.data();
    p[0] = 2;  // 9600
    p[2] = 5;  // side A
    p[3] = 6;  // side B
    p[4] = 2;  // nozzles per side
    p[5] = 2;  // sides
    p[22] = 2; // 132 pulses: not named
    p[23] = 1;
    p[24] = 1;
    p[25] = 3;
    p[26] = 30;
    PutU16(p, 30, 0xA503); // bits 0, 1, 8, 10, 13, 15 (8 and 13 have no line)
    SetRegs(img, 0, 12345, 6, 0x0004);
    SetRegs(img, 1, 0x80000000u, 0, 0);
    SetRegs(img, 2, 7, 10, 0x7F88);
    SetRegs(img, 3, 0xFFFFFFFFu, 99, 0);
    SetRegs(img, 4, 555, 5, 0xFFFF); // beyond the four channels: never shown

    const auto base = Lines(
        {"\tТрк №17", "", "Адрес стороны А - 5", "Адрес стороны Б - 6", "Скорость обмена - 9600",
         "Количество сторон - 2", "Количество РК - 2", "Тип датчика - ручная настройка",
         "Фазы датчика - Две фазы", "Компенсация раздутия шланга = 300", "Старт на поджатии = 100",
         "Велична долива = 300", "", "", "\tПараметры контроллера(расшифровка битовой маски)",
         "Инверсный датчик раздаточного крана", "Старт от изменения положения датчика раздаточного крана",
         "Разрешен отпуск топлива после того как раздаточный кран повешен", "Режи работы - Север", "",
         "\tФискальные счетчики.",
         // hundredths as the main tab and the channel tab show them
         "Фискальный счетчик  сторона А, 1 рукав = 12345,06",
         "Фискальный счетчик  сторона А, 2 рукав = -2147483648,00",
         "Фискальный счетчик  сторона Б, 1 рукав = 7,10", "Фискальный счетчик  сторона Б, 2 рукав = -1,99"});
    EXPECT_EQ(ReportText(img, 17, false), base);

    // Extended: only channels with status bits, bit 2 giving both of its lines.
    auto extended = base;
    for (const char* l : {"", "Состояние рукава Сторона А №1", "Ошибка питания", "Авария датчика", "",
                          "Состояние рукава Сторона Б №1", "Раздаточный кран снят", "Канал активирован",
                          "Отпуск приостановлен", "Управляется БМУ", "Доза задана по протоколу Нара",
                          "Идет отпуск в мерник", "Доза продолжается", "Отображать отпуск полный бак"})
        extended.emplace_back(l);
    EXPECT_EQ(ReportText(img, 17, true), extended);

    // Speed code 7 leaves the label alone; meter 0 and phase 9 as named.
    p[0] = 7;
    p[22] = 0;
    p[23] = 9;
    const auto t = ReportText(img, 17, false);
    EXPECT_EQ(t[4], "Скорость обмена - ");
    EXPECT_EQ(t[7], "Тип датчика - 100 импульсов");
    EXPECT_EQ(t[8], "Фазы датчика - Ручная настройка");
}

TEST(ReportText, EveryMaskBitHasItsLine) {
    const char* const bits[16] = {"Инверсный датчик раздаточного крана",
                                  "Старт от изменения положения датчика раздаточного крана",
                                  "Включено управление с БМУ",
                                  "2 клавиатуры БМУ на одну сторону",
                                  "Разрешен отпуск заданной с БМУ дозы системой управления",
                                  "Строгий режим контроля двухфазного датчика",
                                  "Автоматический пуск ТРК при снятии раздаточного крана",
                                  "Делить сумму на 10 при выводе на табло с малым числом индикаторов суммы",
                                  nullptr,
                                  "Сокращенная разрядность(для топаза)",
                                  "Разрешен отпуск топлива после того как раздаточный кран повешен",
                                  "Использовать ключ юстировки на ТРК",
                                  "Округлять сумму до заданной",
                                  nullptr,
                                  "Включение звука по окончанию отпуска",
                                  "Режи работы - Север"};
    for (int bit = 0; bit < 16; ++bit) {
        ReportImage img = ReadImage();
        PutU16(img.bytes.data(), 30, static_cast<uint16_t>(1u << bit));
        const auto t = ReportText(img, 1, false);
        const auto head = std::find(t.begin(), t.end(), "\tПараметры контроллера(расшифровка битовой маски)");
        ASSERT_NE(head, t.end());
        EXPECT_EQ(*(head + 1), bits[bit] ? bits[bit] : "") << bit;
    }
}

TEST(ReportText, OneSideOfFourAndCountsBeyondTheImage) {
    ReportImage img = ReadImage();
    img.bytes[4] = 4;
    img.bytes[5] = 1;
    for (int c = 0; c < 4; ++c)
        SetRegs(img, c, 100 + c, 0, 0);
    auto t = ReportText(img, 1, false);
    const std::vector<std::string> fiscal(t.end() - 4, t.end());
    EXPECT_EQ(fiscal, Lines({"Фискальный счетчик  сторона А, 1 рукав = 100,00",
                             "Фискальный счетчик  сторона А, 2 рукав = 101,00",
                             "Фискальный счетчик  сторона А, 3 рукав = 102,00",
                             "Фискальный счетчик  сторона А, 4 рукав = 103,00"}));

    // A block claiming 200 nozzles on 9 sides lists the ten channels the
    // controller has, on its two sides, and never reads past the image.
    img.bytes[4] = 200;
    img.bytes[5] = 9;
    t = ReportText(img, 1, true);
    EXPECT_EQ(std::count_if(t.begin(), t.end(),
                            [](const std::string& l) { return l.rfind("Фискальный счетчик ", 0) == 0; }),
              10);
}

TEST(ReportText, AFailedReadIsSaidAndMovesNothing) {
    ReportImage img = ReadImage();
    img.bytes[4] = 2;
    img.bytes[5] = 1;
    SetRegs(img, 0, 11, 1, 0x0008);
    SetRegs(img, 1, 22, 2, 0x0080);
    img.nozRegsRead[0] = false;
    EXPECT_TRUE(img.anyShownBlockMissing());
    const auto t = ReportText(img, 1, true);
    const std::vector<std::string> tail(t.end() - 7, t.end());
    EXPECT_EQ(tail, Lines({"Фискальный счетчик  сторона А, 1 рукав = не считан",
                           "Фискальный счетчик  сторона А, 2 рукав = 22,02", "",
                           "Состояние рукава Сторона А №1 не считано", "", "Состояние рукава Сторона А №2",
                           "Канал активирован"}));

    EXPECT_EQ(ReportProblem(img),
              "Часть параметров не считана из контроллера: в отчете они отмечены как не считанные.");
    // Without the parameter block nothing else can be told.
    img.paramsRead = false;
    EXPECT_EQ(ReportProblem(img), "Параметры контроллера не считаны: нет связи с контроллером.");
    EXPECT_EQ(ReportText(img, 3, false),
              Lines({"\tТрк №3", "", "Параметры контроллера не считаны: нет связи с контроллером."}));
}

TEST(ReportDemo, MissingOrShortFileGivesNoValues) {
    ::unlink("no_such_demo.bin");
    ReportImage img = ReportFromDemoFile("no_such_demo.bin");
    EXPECT_FALSE(img.collected());
    EXPECT_EQ(ReportProblem(img), "Не удалось открыть файл демонстрационного образа no_such_demo.bin.");
    EXPECT_EQ(ReportText(img, 1, false),
              Lines({"\tТрк №1", "", "Не удалось открыть файл демонстрационного образа no_such_demo.bin."}));

    std::ofstream("short_demo.bin", std::ios::binary) << std::string(1000, '\x05');
    img = ReportFromDemoFile("short_demo.bin");
    EXPECT_EQ(
        ReportText(img, 1, false),
        Lines({"\tТрк №1", "",
               "Файл демонстрационного образа short_demo.bin неполон: 1000 байт, нужно не меньше 1100."}));

    // Files the demo itself takes: the report's bytes end at file byte 1099, the
    // rest of the layout reads as zeros, as the demo serves it.
    for (const size_t size : {size_t{1100}, size_t{1106}}) {
        SCOPED_TRACE(size);
        std::string shortFile(size, '\0');
        shortFile[7 + 2] = 9;
        shortFile[7 + 4] = 1;
        shortFile[7 + 5] = 1;
        shortFile[7 + 410 + 46] = 42;
        shortFile[7 + 410 + 50] = 7;
        std::ofstream("nearly_demo.bin", std::ios::binary | std::ios::trunc) << shortFile;
        img = ReportFromDemoFile("nearly_demo.bin");
        ASSERT_TRUE(img.collected()) << img.failure;
        EXPECT_EQ(ReportText(img, 1, false).back(), "Фискальный счетчик  сторона А, 1 рукав = 42,07");
        EXPECT_EQ(img.bytes[kFixedImageSize - 1], 0);
    }
    std::ofstream("nearly_demo.bin", std::ios::binary | std::ios::trunc) << std::string(1099, '\0');
    EXPECT_EQ(ReportFromDemoFile("nearly_demo.bin").failure,
              "Файл демонстрационного образа nearly_demo.bin неполон: 1099 байт, нужно не меньше 1100.");

    // A whole file: the fixed layout after the header, every block.
    std::string file(1235, '\0');
    file[7 + 2] = 9;                       // side A address
    file[7 + 4] = 1;                       // one nozzle
    file[7 + 5] = 1;                       // one side
    file[7 + 410 + 46] = 42;               // FCount of channel 0
    file[7 + FixNozRegs(9) + 68] = '\x7F'; // the last byte of the layout is carried too
    std::ofstream("whole_demo.bin", std::ios::binary) << file;
    img = ReportFromDemoFile("whole_demo.bin");
    ASSERT_TRUE(img.collected());
    EXPECT_EQ(ReportProblem(img), "");
    EXPECT_EQ(img.bytes[kFixedImageSize - 1], 0x7F);
    const auto t = ReportText(img, 1, false);
    EXPECT_EQ(t[2], "Адрес стороны А - 9");
    EXPECT_EQ(t.back(), "Фискальный счетчик  сторона А, 1 рукав = 42,00");
    EXPECT_EQ(ReportFileText({"\ta", "", "б"}), "\ta\n\nб\n");
}

TEST(ReportPrint, LinesFillPagesBetweenTheMargins) {
    // 1000 units high: 200 + 113 (k + 1) <= 800 holds for five lines a page.
    const auto places = PlacePrintedLines(12, 1000);
    ASSERT_EQ(places.size(), 12u);
    EXPECT_EQ(places[0].page, 0);
    EXPECT_EQ(places[0].top, 200);
    EXPECT_EQ(places[4].top, 200 + 4 * 113);
    EXPECT_EQ(places[5].page, 1);
    EXPECT_EQ(places[5].top, 200);
    EXPECT_EQ(places[11].page, 2);
    // A page too small for one band still takes one line a page, no blank page.
    const auto tiny = PlacePrintedLines(3, 300);
    EXPECT_EQ(tiny[0].page, 0);
    EXPECT_EQ(tiny[2].page, 2);
}

TEST(ReportPrint, PagesChosenAndIndentsOfHeadings) {
    const auto places = PlacePrintedLines(12, 1000); // three pages
    const struct {
        int from, to;
        PageRange pages;
    } cases[] = {
        {0, 0, {1, 3}},  // no range: every page
        {0, 7, {1, 3}},  // a "to" without a "from" is no range
        {2, 3, {2, 3}},  // the range as chosen
        {2, 9, {2, 9}},  // pages past the end print nothing there
        {3, 1, {3, 3}},  // "to" below "from": that page alone
        {-1, 2, {1, 3}}, // no page below 1
    };
    for (const auto& c : cases) {
        const PageRange r = PrintedPages(places, c.from, c.to);
        EXPECT_EQ(r.from, c.pages.from) << c.from << ".." << c.to;
        EXPECT_EQ(r.to, c.pages.to) << c.from << ".." << c.to;
    }
    EXPECT_EQ(PrintedPages({}, 0, 0).to, 1); // an empty report still has its page

    EXPECT_EQ(LeadingTabs(""), 0);
    EXPECT_EQ(LeadingTabs("Адрес"), 0);
    EXPECT_EQ(LeadingTabs("\tНастройки"), 1);
    EXPECT_EQ(LeadingTabs("\t\tа\tб"), 2); // only the leading ones
    EXPECT_EQ(LeadingTabs("\t\t"), 2);
    EXPECT_EQ(LeadingTabs(" \tx"), 0);
}

// --- factory defaults form ---

TEST(DefaultsForm, LayoutOfEachTypeAsOpened) {
    DefaultsForm f;
    f.open(); // no type chosen yet: type 0
    EXPECT_EQ(f.sides(), 2);
    EXPECT_EQ(f.nozzles(), 4);
    EXPECT_EQ(f.cells[0], (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(f.cells[1], (std::vector<std::string>{"5", "6", "7", "8"}));
    EXPECT_TRUE(f.writeEnabled());

    f.typeChanged(3); // УНСГ: one side, one nozzle
    EXPECT_FALSE(f.sideBVisible);
    EXPECT_EQ(f.image[3], 0);
    ASSERT_TRUE(f.checkForWrite());
    f.sealForWrite();
    EXPECT_EQ(f.image[6], 1);
    EXPECT_EQ(f.image[7], 2); // from the hidden side B grid
    EXPECT_EQ(f.image[35], 0);
    EXPECT_EQ(f.image[36], 255);
    EXPECT_EQ(GetU16(f.image.data() + kFixNara, 0), 0x0001);

    f.typeChanged(2); // УЗСГ: two nozzles only with one side
    EXPECT_EQ(f.sides(), 2);
    EXPECT_EQ(f.nozzleItems, std::vector<int>{1});
    f.sideItemChosen(0);
    EXPECT_EQ(f.nozzleItems, (std::vector<int>{1, 2}));
    f.nozzleItemChosen(1);
    EXPECT_EQ(f.sideItems, std::vector<int>{1});
    EXPECT_EQ(f.image[4], 2);
    EXPECT_EQ(f.image[5], 1);
    EXPECT_EQ(f.cells[0].size(), 2u);
}

TEST(DefaultsForm, AddressEditsMarkAndRestore) {
    DefaultsForm f;
    f.typeChanged(0);
    // The same address twice turns the edited grid red until corrected.
    f.cellEdited(1, 0, "2");
    EXPECT_TRUE(f.redGrid[1]);
    EXPECT_FALSE(f.writeEnabled());
    f.cellEdited(1, 0, "5");
    EXPECT_FALSE(f.redGrid[1]);
    EXPECT_TRUE(f.writeEnabled());
    // A cleared cell gets its stored address back when the grid is left.
    f.cellEdited(0, 2, "");
    f.gridLeft(0);
    EXPECT_EQ(f.cells[0][2], "3");
    // A zero address is red and refused at the write.
    f.cellEdited(0, 1, "0");
    EXPECT_TRUE(f.redGrid[0]);
    EXPECT_FALSE(f.checkForWrite());
    f.cellEdited(0, 1, "2");
    // An address that does not fit a byte is refused, never wrapped.
    f.cellEdited(1, 3, "300");
    EXPECT_TRUE(f.redGrid[1]);
    EXPECT_EQ(f.image[6 + 4 + 3], 8);
    f.cellEdited(1, 3, "8");
    EXPECT_TRUE(f.checkForWrite());

    // Both side boxes "3": the changed box turns red; a different value clears it.
    f.sideAddressChanged(0, "3");
    EXPECT_FALSE(f.redSide[0]);
    f.sideAddressChanged(1, "3");
    EXPECT_TRUE(f.redSide[1]);
    EXPECT_FALSE(f.writeEnabled());
    f.sideAddressChanged(1, "4");
    EXPECT_FALSE(f.redSide[1]);
    EXPECT_EQ(f.image[2], 3);
    EXPECT_EQ(f.image[3], 4);
    f.sideAddressChanged(0, "");
    f.sideAddressLeft(0);
    EXPECT_TRUE(f.redSide[0]);
    EXPECT_FALSE(f.checkForWrite());

    // "1" and "01" are one address: both sides would end at address 1.
    f.sideAddressChanged(0, "1");
    f.sideAddressChanged(1, "01");
    EXPECT_TRUE(f.redSide[1]);
    EXPECT_FALSE(f.checkForWrite());
    f.sideAddressChanged(1, "002");
    EXPECT_FALSE(f.redSide[1]);
    EXPECT_TRUE(f.checkForWrite());
}

TEST(DefaultsForm, MoreThanTenChannelsAreRefusedAndNoKeptByteIsTouched) {
    DefaultsForm f;
    f.typeChanged(1);
    f.nozzleItemChosen(5); // two sides of six
    EXPECT_EQ(f.channels(), 12);
    EXPECT_TRUE(f.tooManyChannels());
    EXPECT_FALSE(f.writeEnabled());
    EXPECT_FALSE(f.checkForWrite());
    for (int b = 16; b <= 21; ++b)
        EXPECT_EQ(f.image[b], 0) << b;
    f.nozzleItemChosen(7); // two sides of eight
    EXPECT_FALSE(f.checkForWrite());
    for (int b = 16; b <= 21; ++b)
        EXPECT_EQ(f.image[b], 0) << b;

    // One side of eight fits: side A gets 1..8, the bytes past 15 stay as they were.
    f.sideItemChosen(0);
    EXPECT_FALSE(f.tooManyChannels());
    EXPECT_EQ(f.cells[0], (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8"}));
    ASSERT_TRUE(f.checkForWrite());
    for (int b = 16; b <= 21; ++b)
        EXPECT_EQ(f.image[b], 0) << b;
    f.nozzleItemChosen(4); // two sides of five = ten
    f.sideItemChosen(1);
    EXPECT_EQ(f.channels(), 10);
    EXPECT_TRUE(f.writeEnabled());
    ASSERT_TRUE(f.checkForWrite());
    f.sealForWrite();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(f.image[6 + i], i + 1);
    EXPECT_EQ(GetU16(f.image.data() + kFixNara, 0), 0x03FF);
}

TEST(DefaultsForm, SummaryOfEachType) {
    const auto common =
        Lines({"Общие настройки:", "", "Доза, отпускаемая в режиме малой производительности,",
               "при старте  - 100 мл.", "Доза, отпускаемая в режиме малой производительности,",
               "при завершении - 300 мл."});
    auto expect = [&](int type, const char* phases, std::vector<std::string> rest) {
        auto v = common;
        v[1] = phases;
        v.insert(v.end(), rest.begin(), rest.end());
        v.emplace_back("");
        v.emplace_back("Фискальные счетчики будут обнулены.");
        EXPECT_EQ(DefaultsSummary(type, false), v) << type;
    };
    const char* one = "100 импульсов на литр, с пересчетом по одной фазе.";
    const char* two = "100 импульсов на литр, с пересчетом по двум фазам.";
    expect(0, one,
           Lines({"Тип табло - Т-209-17.", "",
                  "Битовая маска режимов:", "Инверсный датчик положения раздаточного крана.",
                  "Дополнение до суммы.", "Разрешено продолжение после останова клиентом."}));
    expect(1, two,
           Lines({"Тип табло - TBL-217", "",
                  "Битовая маска режимов:", "Не инверсный датчик положения раздаточного крана.",
                  "Дополнение до суммы.", "Старт от изменения положения раздаточного крана",
                  "Разрешено продолжение после останова клиентом."}));
    const auto north = Lines({"", "Битовая маска режимов:", "Режим работы Север",
                              "Инверсный датчик положения раздаточного крана.", "Дополнение до суммы.",
                              "Разрешено продолжение после останова клиентом.",
                              "Старт от изменения положения раздаточного крана"});
    auto uzsg = north;
    uzsg.insert(uzsg.begin(), "Тип табло - ВК-21");
    expect(2, two, uzsg);
    auto unsg = north;
    unsg.insert(unsg.begin(), "Тип табло - TBL-218");
    expect(3, two, unsg);

    // Until the type list is used the memo keeps its first text, with the hose line.
    DefaultsForm f;
    f.open();
    auto first = f.summary();
    EXPECT_EQ(first[6], "Компенсация раздутия шланга 300 мл.");
    first.erase(first.begin() + 6);
    EXPECT_EQ(first, DefaultsSummary(0, false));
    f.typeChanged(0);
    EXPECT_EQ(f.summary(), DefaultsSummary(0, false));
}

// --- primary setup ---

TEST(GlobalSettsText, AddressListsAndTheOverflowBuffer) {
    using V = std::vector<long>;
    EXPECT_EQ(ParseAddressList("1,2", 2), (V{1, 2}));
    EXPECT_EQ(ParseAddressList(" 1, 2", 2), (V{1, 2}));
    EXPECT_EQ(ParseAddressList("-1,+2", 2), (V{-1, 2}));
    for (const char* bad : {"1,2 ", "1,,2", "1 ,2", "1", "1,2,3", "", "1,a", "1;2"})
        EXPECT_FALSE(ParseAddressList(bad, 2)) << bad;
    EXPECT_TRUE(AddressesValid({1, 2, 255}));
    EXPECT_FALSE(AddressesValid({1, 2, 0}));
    EXPECT_FALSE(AddressesValid({1, 2, 1}));
    EXPECT_FALSE(AddressesValid({-1, 2}));
    EXPECT_FALSE(AddressesValid({256, 2}));

    EXPECT_EQ(HydroHitText(25), "0,25");
    EXPECT_EQ(HydroHitText(0), "0");
    EXPECT_EQ(HydroHitText(50), "0,5");
    EXPECT_EQ(HydroHitText(255), "2,55");
    EXPECT_EQ(HydroHitText(100), "1");
    EXPECT_EQ(HydroHitByte("0,25"), 25);
    EXPECT_EQ(HydroHitByte("0,29"), 29); // exact: no 28 from a binary fraction
    EXPECT_EQ(HydroHitByte("0.5"), 50);
    EXPECT_EQ(HydroHitByte(",3"), 30);
    EXPECT_EQ(HydroHitByte("0,255"), 25);
    EXPECT_EQ(HydroHitByte("0,500"), 50);
    // Up to what the byte holds, as the settings tab takes it (2555 ml there).
    EXPECT_EQ(HydroHitByte("0,51"), 51);
    EXPECT_EQ(HydroHitByte("0,501"), 50);
    EXPECT_EQ(HydroHitByte("1"), 100);
    EXPECT_EQ(HydroHitByte("2,55"), 255);
    EXPECT_EQ(HydroHitByte("2,550"), 255);
    EXPECT_EQ(HydroHitByte(HydroHitText(255)), 255);
    for (const char* bad : {"", ",", "2,56", "2,551", "3", "10", "0,5,", "-0,1", "0,x"})
        EXPECT_FALSE(HydroHitByte(bad)) << bad;

    GlobalSetts m;
    m.sideCount = 2;
    AutoFillChannelAddresses(m, 2, 5);
    EXPECT_EQ(AddressText(m.channelAddrs.data(), m.channelCount()), "1,2,3,4,5,5,6,7,8,9");
    AutoFillChannelAddresses(m, 2, 8); // cut to 5 a side
    EXPECT_EQ(m.nozzleCount, 5);
    m.sideCount = 1;
    AutoFillChannelAddresses(m, 1, 3);
    EXPECT_EQ(AddressText(m.channelAddrs.data(), m.channelCount()), "1,2,3");
}

TEST(GlobalSettsText, CleanStateRegistersKeepTheTotalizer) {
    uint8_t regs[69];
    for (int i = 0; i < 69; ++i)
        regs[i] = static_cast<uint8_t>(0xA0 + i);
    CleanNozRegs(regs);
    for (int i = 0; i < 69; ++i) {
        if (i >= nozregs::FCount.offset && i <= nozregs::FCMil.offset) {
            EXPECT_EQ(regs[i], 0xA0 + i) << i;
        } else if (i == nozregs::Price.offset) {
            EXPECT_EQ(GetU16(regs, i), 1000);
        } else if (i != nozregs::Price.offset + 1) {
            EXPECT_EQ(regs[i], 0) << i;
        }
    }
}
