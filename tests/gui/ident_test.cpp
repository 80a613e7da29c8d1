// Identification, the main-tab commands and the password panel against the
// virtual controller; demo mode against the demo image.
#include "gui_rig.h"

#include <QRadioButton>
#include <QTest>
#include <functional>
#include <utility>
#include <vector>

namespace {

// True when an address frame for `address` (board 0 memory) went over the line.
bool sentTo(const zelsim::Line& line, uint32_t address) {
    for (const auto& f : line.frames())
        if (f.kind == zelsim::FrameKind::Address && f.bytes.size() == 8 &&
            f.bytes[2] == ((address >> 8) & 0xFF) && f.bytes[3] == ((address >> 16) & 0xFF) &&
            f.bytes[4] == (address & 0xFF))
            return true;
    return false;
}

} // namespace

using Ident = GuiRig;

TEST_F(Ident, SuccessFillsTabAndReadsSimulator) {
    auto& c = line.addController(5, 0x21);
    c.setIdentTextUtf8("ТРК контроллер v2.1");
    c.poke(2, 0x24, {0x40});
    startLine();
    start(QString("5"));
    EXPECT_EQ(identText(), "ТРК контроллер v2.1");
    EXPECT_EQ(status(), "Идентификатор считан");
    EXPECT_EQ(numberLabel(), "Работа с Адресом №5");
    EXPECT_EQ(state.DeviceType, 0x21);
    EXPECT_EQ(ctl<QLabel>("lSimulState")->text(), "Имитатор включен");
    EXPECT_FALSE(ctl("lSimulState")->isHidden());
    EXPECT_EQ(btn("bSimImp")->text(), "Выкл. имитатор импульсов");
    EXPECT_EQ(btn("bSimImp")->property("mark").toInt(), 1);
    for (const char* b : {"bSimImp", "bGlobalDefaultSet", "bReset", "bSaveImage", "bLoadImage", "bReservCall",
                          "bCallIdent", "bIrValRead", "bReadTemper", "bLoadFisk", "bSaveParamToText"})
        EXPECT_TRUE(btn(b)->isEnabled()) << b;
    // The primary setup button is offered only until the first identification.
    EXPECT_TRUE(btn("bGlobalSet")->isHidden());

    auto* list = ctl<QListWidget>("checkbTrkModes");
    EXPECT_EQ(list->item(12)->text(), "БМУ для предзадания дозы");
    EXPECT_EQ(list->item(14)->text(), "Режим работы \"Север\"");
    EXPECT_EQ(ctl<QLabel>("lHydroHit")->text(), "Буфер перелива, мл");
    EXPECT_EQ(ctl<QComboBox>("cbTypeTbl")->itemText(4), "TBL-218");
}

TEST_F(Ident, CaptionsFollowDeviceTypeAndIdentText) {
    auto& c = line.addController(1, 0x17);
    c.setIdentTextUtf8("stm32 ТРК-УЗСГ");
    startLine();
    start(QString("1"));
    EXPECT_EQ(ctl<QLabel>("lHydroHit")->text(), "Вес струбцины,гр");
    auto* list = ctl<QListWidget>("checkbTrkModes");
    EXPECT_EQ(list->item(12)->text(), "Резерв");
    EXPECT_EQ(list->item(13)->text(), "Резерв");
    EXPECT_EQ(list->item(14)->text(), "Пистолет всегда висит по АЗТ2.0");
    EXPECT_EQ(ctl<QComboBox>("cbTypeTbl")->itemText(4), "УНСГ-рс-i2c");
    EXPECT_EQ(ctl<QComboBox>("cbTypeTbl")->itemText(5), "УЗСГ-рс-i2c");
    EXPECT_EQ(ctl<QComboBox>("cbTypeTbl2")->itemText(4), "TBL-218");

    c.setDeviceType(0x22);
    c.setIdentTextUtf8("stm32 only");
    btn("bCallIdent")->click();
    EXPECT_EQ(ctl<QLabel>("lHydroHit")->text(), "Буфер перелива, мл");
    EXPECT_EQ(list->item(12)->text(), "Разрешить продолжение кнопкой ПУСК");
    EXPECT_EQ(list->item(13)->text(), "Запрет принудительного пуска");
    EXPECT_EQ(ctl<QComboBox>("cbTypeTbl")->itemText(5), "TBL-209");
}

TEST_F(Ident, FailuresDisableCommandsWithTheirTexts) {
    auto& c = line.addController(7);
    startLine();
    start(QString("7"));
    ASSERT_TRUE(state.Identified);

    zelsim::Faults f;
    f.badType = true;
    c.setFaults(f);
    btn("bCallIdent")->click();
    const QString unsupported = "C данным устройством не поддерживается работа";
    EXPECT_EQ(numberLabel(), unsupported);
    EXPECT_EQ(status(), unsupported);
    EXPECT_EQ(identText(), unsupported);
    EXPECT_FALSE(state.Identified);
    for (const char* b : {"bSimImp", "bGlobalDefaultSet", "bReset", "bSaveImage", "bLoadImage", "bIrValRead",
                          "bLoadFisk", "bSaveParamToText"})
        EXPECT_FALSE(btn(b)->isEnabled()) << b;
    EXPECT_TRUE(btn("bCallIdent")->isEnabled());
    EXPECT_TRUE(btn("bReservCall")->isEnabled());

    c.setFaults({});
    state.controllerNumber = 9;
    btn("bCallIdent")->click();
    EXPECT_EQ(numberLabel(), "Нет связи с устройством №9");
    EXPECT_EQ(status(), "Нет связи с устройством №9");

    f = {};
    f.noAnswer = true;
    c.setFaults(f);
    dialogs.answers.push_back(true);
    btn("bReservCall")->click();
    EXPECT_EQ(numberLabel(), "По резервному каналу связь не установлена");
    EXPECT_EQ(state.controllerNumber, 240);
}

TEST_F(Ident, ReserveAddressAdoptsTheAnsweringController) {
    line.addController(0x1A);
    startLine();
    start(QString("3"));
    EXPECT_EQ(numberLabel(), "Нет связи с устройством №3");
    dialogs.clear();

    dialogs.answers.push_back(false);
    btn("bReservCall")->click();
    EXPECT_EQ(state.controllerNumber, 3);

    dialogs.answers.push_back(true);
    btn("bReservCall")->click();
    ASSERT_EQ(dialogs.records.size(), 2u);
    EXPECT_EQ(dialogs.records[1].kind, "okCancel");
    EXPECT_EQ(dialogs.records[1].text,
              "Внимание, если подключено более одного устройства, не пользуйтесь этой "
              "функцией. Вы хотите использовать эту функцию?");
    EXPECT_EQ(state.controllerNumber, 0x1A);
    EXPECT_EQ(numberLabel(), "Работа с Адресом №26");
    EXPECT_TRUE(state.Identified);
}

TEST_F(Ident, CommandsReportTheirResults) {
    auto& c = line.addController(2);
    c.setTemperature(0x0123, -5);
    c.setFirmwareCrc(0xBEEF);
    c.poke(2, 0x24, {0x0F});
    c.poke(2, 0x28, {0x01, 0x02, 0xA3, 0x04, 0x05, 0xFF});
    startLine();
    start(QString("2"));
    ASSERT_TRUE(state.Identified);

    btn("bReadTemper")->click();
    EXPECT_EQ(ctl<QLabel>("lTemperature")->text(), "АЦП Т = 0x0123. Т = -5");

    btn("bIrValRead")->click();
    EXPECT_EQ(ctl<QPlainTextEdit>("mIRsValue")->toPlainText(),
              "IR 24h = 0F\nIR 28h = 01\nIR 29h = 02\nIR 2Ah = A3\nIR 2Bh = 04\nIR 2Ch = 05\nIR 2Dh = FF");
    btn("ReadCRC")->click();
    EXPECT_TRUE(ctl<QPlainTextEdit>("mIRsValue")->toPlainText().endsWith("\ncrc16 = BEEF"));

    btn("bSetTabloTest")->click();
    EXPECT_EQ(status(), "Ошибка"); // no mode chosen
    ctl<QRadioButton>("rbTestTablo")->setChecked(true);
    btn("bSetTabloTest")->click();
    EXPECT_EQ(status(), "Запись завершена успешно");
    EXPECT_EQ(c.displayMode(), 2);

    EXPECT_EQ(btn("bSimImp")->property("mark").toInt(), 0);
    btn("bSimImp")->click();
    EXPECT_TRUE(c.simulatorOn());
    EXPECT_EQ(btn("bSimImp")->text(), "Выкл имитатор импульсов");
    EXPECT_EQ(ctl<QLabel>("lSimulState")->text(), "Имитатор включен");
    btn("bSimImp")->click();
    EXPECT_FALSE(c.simulatorOn());
    EXPECT_EQ(btn("bSimImp")->text(), "Вкл имитатор импульсов");
    EXPECT_EQ(ctl<QLabel>("lSimulState")->text(), "Имитатор выключен");

    btn("bReset")->click();
    EXPECT_EQ(c.restartCount(), 1);
    EXPECT_EQ(status(), "Контроллер перезапущен");

    ctl<QLineEdit>("TestEdit")->setText("254");
    w->identTab()->TestButtonClick();
    EXPECT_EQ(c.lastFitting(), std::vector<uint8_t>({0x80, 254}));
    EXPECT_EQ(ctl<QLineEdit>("TestEdit")->text(), "0");
    EXPECT_EQ(status(), "Запись завершена успешно");
    ctl<QLineEdit>("TestEdit")->setText("7x");
    w->identTab()->TestButtonClick();
    EXPECT_EQ(dialogs.messages().last(), "«7x» не является целым числом");
    EXPECT_EQ(c.lastFitting(), std::vector<uint8_t>({0x80, 254}));

    zelsim::Faults f;
    f.noAnswer = true;
    c.setFaults(f);
    btn("bReadTemper")->click();
    EXPECT_EQ(ctl<QLabel>("lTemperature")->text(), "Ошибка чтения температуры");
    EXPECT_EQ(status(), "Ошибка чтения температуры");
    btn("bIrValRead")->click();
    EXPECT_EQ(status(), "Ошибка чтения регистров");
    btn("ReadCRC")->click();
    EXPECT_TRUE(ctl<QPlainTextEdit>("mIRsValue")->toPlainText().endsWith("Ошибка чтения"));
    btn("bSetTabloTest")->click();
    EXPECT_EQ(status(), "Ошибка");
    btn("bLoadFisk")->click();
    EXPECT_EQ(status(), "Ошибка чтения фискальных сумматоров");
}

TEST_F(Ident, FiscalTotalizersOfBothSides) {
    auto& c = line.addController(3);
    // Side A address 3, side B address 4, two hoses per side, two sides.
    c.poke(0, CtrlrParams.address + 2, {3, 4, 2, 2});
    for (int i = 0; i < 4; ++i) {
        const int32_t v = i == 3 ? -2 : 1000 * (i + 1);
        const auto u = static_cast<uint32_t>(v);
        c.poke(0, 0x2000 + i * 0x100 + 46,
               {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24), uint8_t(5 * i)});
    }
    startLine();
    start(QString("3"));
    btn("bLoadFisk")->click();
    EXPECT_EQ(status(), "Фискальные сумматоры считаны");
    EXPECT_TRUE(identText().endsWith("Адрес 3. Рукав 1. Фискальный сумматор = 1000,00\n"
                                     "Адрес 3. Рукав 2. Фискальный сумматор = 2000,05\n"
                                     "Адрес 4. Рукав 1. Фискальный сумматор = 3000,10\n"
                                     "Адрес 4. Рукав 2. Фискальный сумматор = -2,15"))
        << identText().toStdString();
}

TEST_F(Ident, FormsOpenModallyBehindThePasswordStep) {
    auto& c = line.addController(1);
    startLine();
    start(QString("1"));
    dialogs.clear();
    btn("bSaveParamToText")->click();
    btn("bGlobalDefaultSet")->click();
    w->identTab()->bGlobalSetClick();
    ASSERT_EQ(dialogs.kinds(), QStringList({"modal", "modal", "modal"}));
    EXPECT_EQ(dialogs.records[0].text, "TformViewParam");
    EXPECT_EQ(dialogs.records[1].text, "TformDefSet");
    EXPECT_EQ(dialogs.records[2].text, "TfGlobalSetts");
    EXPECT_EQ(dialogs.records[2].caption, "Первичная настройка");

    // With an administrator password set, a wrong one stops the operation.
    c.setPasswords(1234, 0);
    w->ReadPasswordStatus();
    dialogs.clear();
    ctl<QLineEdit>("Edit5")->setText("1111");
    btn("bGlobalDefaultSet")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList({"message"}));
    EXPECT_EQ(dialogs.messages(), QStringList({"Ошибка! Неверный пароль"}));
    // The panel's placeholder is no password: the engineer is asked for it
    // (cancelled: nothing sent, nothing opened).
    dialogs.clear();
    line.clearFrames();
    ctl<QLineEdit>("Edit5")->setText("????");
    dialogs.inputs.push_back(std::nullopt);
    btn("bGlobalDefaultSet")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList({"input"}));
    EXPECT_EQ(dialogs.records[0].caption, "Пароль администратора");
    EXPECT_EQ(dialogs.records[0].text,
              "Для записи нужен текущий пароль администратора контроллера.\nВведите его:");
    EXPECT_EQ(line.frameCount(), 0u);
    dialogs.clear();
    dialogs.inputs.push_back(QString("1234"));
    btn("bGlobalDefaultSet")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList({"input", "modal"}));
    EXPECT_TRUE(c.adminPresented());
    EXPECT_EQ(ctl<QLineEdit>("Edit5")->text(), "1234"); // the next write takes it from the box
    dialogs.clear();
    btn("bGlobalDefaultSet")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList({"modal"}));
}

TEST_F(Ident, DemoModeHidesHardwareCommands) {
    WriteTextFile("com.ini", "STUB 0 4800 0 1 0 8 N 1\n");
    zelsim::VirtualController image;
    const auto bytes = image.demoImageBytes();
    WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
    start(QString("1"), {"/i"});
    EXPECT_EQ(identText(), "Демонстрационная версия программы");
    EXPECT_TRUE(state.Identified);
    for (const char* name :
         {"bIrValRead", "bSimImp", "lSimulState", "bSaveImage", "bLoadImage", "bReadTemper"})
        EXPECT_TRUE(ctl(name)->isHidden()) << name;
    EXPECT_FALSE(menuVisible("menuCom"));
    EXPECT_FALSE(menuVisible("menuLog"));
    EXPECT_TRUE(btn("bReset")->isEnabled());
    EXPECT_TRUE(btn("bLoadFisk")->isEnabled());

    btn("bSetTabloTest")->click();
    EXPECT_EQ(status(), "Демонстрационная версия программы");
    btn("bLoadFisk")->click();
    EXPECT_EQ(identText(), "Демонстрационная версия");
    btn("bReset")->click(); // nothing in demo mode
    EXPECT_TRUE(dialogs.messages().isEmpty());

    // Without the image file identification fails and the commands go off.
    w.reset();
    ::unlink("demo_trk.bin");
    start(QString("1"), {"/I"});
    EXPECT_FALSE(state.Identified);
    EXPECT_FALSE(btn("bReset")->isEnabled());
    EXPECT_FALSE(btn("bLoadFisk")->isEnabled());
}

using Passwords = GuiRig;

TEST_F(Passwords, PanelShowsTheControllerStatus) {
    auto& c = line.addController(1);
    startLine();
    start(QString("1"));
    w->ReadPasswordStatus();
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "");
    EXPECT_EQ(ctl<QLineEdit>("Edit5")->text(), "7391");
    EXPECT_TRUE(btn("Button1")->isEnabled());

    c.setPasswords(1234, 5678);
    w->ReadPasswordStatus();
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "Установлен");
    EXPECT_EQ(ctl<QLabel>("Label9")->text(), "Установлен");
    EXPECT_EQ(ctl<QLineEdit>("Edit5")->text(), "????");
    EXPECT_EQ(ctl<QLineEdit>("Edit6")->text(), "????");
    EXPECT_TRUE(btn("Button1")->isEnabled());

    // A wrong administrator password: the change is refused and the new
    // password never sent; one attempt is gone.
    ctl<QLineEdit>("Edit5")->setText("1111");
    ctl<QLineEdit>("Edit2")->setText("2222");
    dialogs.clear();
    line.clearFrames();
    dialogs.answers.push_back(true);
    btn("Button1")->click();
    EXPECT_EQ(dialogs.records.at(0).text, "Вы хотите изменить пароль?");
    EXPECT_EQ(dialogs.records.at(0).caption, "Вы уверены?");
    EXPECT_EQ(dialogs.messages(), QStringList({"Ошибка! Неверный пароль"}));
    EXPECT_TRUE(sentTo(line, 0x5300));
    EXPECT_FALSE(sentTo(line, 0x5400));
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "Попыток ввода: 6");
    EXPECT_EQ(ctl<QLineEdit>("Edit5")->text(), "1111");

    for (int i = 0; i < 6; ++i) {
        dialogs.answers.push_back(true);
        btn("Button1")->click();
    }
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "Заблокирован неверным вводом");
    EXPECT_FALSE(btn("Button1")->isEnabled());

    c.setPasswordsSupported(false);
    w->ReadPasswordStatus();
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "Не поддерживается");
    EXPECT_EQ(ctl<QLabel>("Label9")->text(), "Не поддерживается");
    EXPECT_FALSE(btn("Button2")->isEnabled());
    EXPECT_FALSE(btn("Button4")->isEnabled());
    EXPECT_EQ(state.PasswordStatus, (std::array<uint8_t, 16>{}));

    zelsim::Faults f;
    f.noAnswer = true;
    c.setFaults(f);
    w->ReadPasswordStatus();
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "Ошибка чтения");
    EXPECT_EQ(ctl<QLabel>("Label9")->text(), "Ошибка чтения");
    EXPECT_FALSE(btn("Button1")->isEnabled());
}

TEST_F(Passwords, ChangeAndResetFlows) {
    auto& c = line.addController(1);
    startLine();
    start(QString("1"));
    w->ReadPasswordStatus();

    // No confirmation: nothing sent.
    line.clearFrames();
    dialogs.answers.push_back(false);
    btn("Button1")->click();
    EXPECT_EQ(line.frameCount(), 0u);

    // Setting the administrator password.
    ctl<QLineEdit>("Edit2")->setText("4321");
    dialogs.clear();
    dialogs.answers.push_back(true);
    btn("Button1")->click();
    EXPECT_EQ(dialogs.messages(), QStringList({"Ok"}));
    EXPECT_EQ(c.passwordStatus().at(0) & 1, 1);
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "Установлен");
    EXPECT_EQ(ctl<QLineEdit>("Edit5")->text(), "4321");

    // The adjustment row, chosen by the button's tag.
    ctl<QLineEdit>("Edit3")->setText("8765");
    dialogs.clear();
    dialogs.answers.push_back(true);
    btn("Button2")->click();
    EXPECT_EQ(dialogs.messages(), QStringList({"Ok"}));
    EXPECT_EQ(ctl<QLabel>("Label9")->text(), "Установлен");
    EXPECT_EQ(ctl<QLineEdit>("Edit6")->text(), "8765");

    // Reset with a wrong administrator password: refused, 0x5402 untouched.
    ctl<QLineEdit>("Edit5")->setText("1");
    dialogs.clear();
    line.clearFrames();
    dialogs.answers.push_back(true);
    btn("Button4")->click();
    EXPECT_EQ(dialogs.records.at(0).text, "Вы хотите убрать пароль?");
    EXPECT_EQ(dialogs.messages(), QStringList({"Ошибка! Неверный пароль"}));
    EXPECT_FALSE(sentTo(line, 0x5402));
    EXPECT_EQ(c.passwordStatus().at(0) & 2, 2);

    ctl<QLineEdit>("Edit5")->setText("4321");
    dialogs.clear();
    dialogs.answers.push_back(true);
    btn("Button4")->click();
    EXPECT_EQ(dialogs.messages(), QStringList({"Ok"}));
    EXPECT_EQ(c.passwordStatus().at(0) & 2, 0);
    EXPECT_EQ(ctl<QLabel>("Label9")->text(), "");
    EXPECT_EQ(ctl<QLineEdit>("Edit6")->text(), "7391");

    // Text that is no number is refused before anything is written.
    ctl<QLineEdit>("Edit5")->setText("????");
    dialogs.clear();
    line.clearFrames();
    btn("Button4")->click();
    EXPECT_EQ(dialogs.messages(), QStringList({"«????» не является целым числом"}));
    EXPECT_EQ(line.frameCount(), 0u);
}

TEST_F(Ident, IdentificationRenamesTheSettingsTabsCaptions) {
    // Identification reaches the other tabs through the working state, not by
    // looking their controls up: the mode list and the overflow label follow
    // the device type.
    line.addController(1, 0x17);
    startLine();
    start(QString("1"));
    EXPECT_EQ(w->findChildren<QListWidget*>("checkbTrkModes").size(), 1);
    auto* list = ctl<QListWidget>("checkbTrkModes");
    btn("bCallIdent")->click();
    EXPECT_EQ(list->item(12)->text(), "Резерв");
    EXPECT_EQ(list->item(11)->text(), "Округлить сумму до заданной (при задании на сумму)");
    EXPECT_EQ(ctl<QLabel>("lHydroHit")->text(), "Вес струбцины,гр");
}

TEST_F(Ident, SwitchingControllerClearsWhatThePreviousOneShowed) {
    line.addController(1);
    startLine();
    start(QString("1"));
    btn("bReadTemper")->click();
    btn("ReadCRC")->click();
    ASSERT_FALSE(ctl<QLabel>("lTemperature")->text().isEmpty());
    ASSERT_FALSE(ctl<QPlainTextEdit>("mIRsValue")->toPlainText().isEmpty());
    // F2: controller 2 does not answer; nothing of controller 1 stays.
    QTest::keyClick(w.get(), Qt::Key_F2);
    EXPECT_EQ(numberLabel(), "Нет связи с устройством №2");
    EXPECT_TRUE(ctl<QLabel>("lTemperature")->text().isEmpty());
    EXPECT_TRUE(ctl<QPlainTextEdit>("mIRsValue")->toPlainText().isEmpty());
    EXPECT_TRUE(ctl<QLabel>("lSimulState")->text().isEmpty());
    // A slow controller answers with a larger multiplier: the memo says so.
    EXPECT_EQ(identText(),
              "Нет связи с устройством №2\nЕсли контроллер отвечает медленно, увеличьте «Множитель "
              "таймаута» на вкладке «Основное меню».");
}

TEST_F(Ident, DiagnosticControlsStayHiddenAcrossIdentifications) {
    line.addController(1);
    line.addController(3);
    startLine();
    start(QString("1"));
    // Each way of identifying again: the button, a function key (a controller
    // that answers and one that does not) and the number menu.
    const std::vector<std::pair<const char*, std::function<void()>>> ways = {
        {"bCallIdent", [&] { btn("bCallIdent")->click(); }},
        {"F3", [&] { QTest::keyClick(w.get(), Qt::Key_F3); }},
        {"F2 (no answer)", [&] { QTest::keyClick(w.get(), Qt::Key_F2); }},
        {"menuChangeNumTrk",
         [&] {
             dialogs.inputs.push_back(QString("1"));
             action("menuChangeNumTrk")->trigger();
         }},
    };
    for (const auto& [way, identify] : ways) {
        identify();
        for (const char* name : {"TestEdit", "TestButton", "pnlKorr"})
            EXPECT_TRUE(ctl(name)->isHidden()) << way << ": " << name;
        // The simulator state is shown for a controller identified, and only then.
        EXPECT_EQ(ctl("lSimulState")->isHidden(), !state.Identified) << way;
    }
}

TEST_F(Ident, NumberLabelNamesTheAddressOrTheReserveController) {
    line.addController(3);
    startLine();
    start(QString("3"));
    // The one operation that words the label, for the identification and for
    // a write that moved the controller: the reserve address has no number to show.
    const std::vector<std::pair<int, QString>> cases = {
        {WorkingState::ReserveAddress, "Контроллер найден"},
        {1, "Работа с Адресом №1"},
        {0x1A, "Работа с Адресом №26"},
        {255, "Работа с Адресом №255"},
    };
    for (const auto& [number, label] : cases) {
        w->setControllerNumber(number);
        EXPECT_EQ(state.controllerNumber, number);
        EXPECT_EQ(numberLabel(), label) << number;
    }
}
