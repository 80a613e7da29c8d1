// Start-up, the main window frame, menus, keys and the port settings dialog.
#include "block_transfer.h"
#include "com_setting.h"
#include "dialogs.h"
#include "gui_rig.h"
#include "port_layer.h"

#include <QTest>

namespace {

const char* kComOpen = "Соm порт (открыт)";
const char* kComClosed = "Соm порт (закрыт)";

QStringList tabCaptions(QTabWidget* tabs) {
    QStringList out;
    for (int i = 0; i < tabs->count(); ++i)
        out << tabs->tabText(i);
    return out;
}

} // namespace

using Startup = GuiRig;

TEST_F(Startup, FrameHasItsTabsMenusAndPanel) {
    line.addController(0x1A);
    startLine();
    start(QString("1A"));
    EXPECT_EQ(w->windowTitle(), "StartZel");
    EXPECT_EQ(w->minimumSize(), QSize(792, 600));
    EXPECT_EQ(w->maximumSize(), QSize(800, 700));
    QTabWidget* tabs = ctl<QTabWidget>("TabSetts");
    EXPECT_EQ(tabCaptions(tabs),
              QStringList({"Основное меню", "Настройки контроллера", "Доп настройки", "Сост канала",
                           "Настройки канала", "Настройка стороны", "Табл. Тc", "Dump"}));
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(ctl("TabDump"))));
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(ctl("TabNozzRegs"))));
    EXPECT_TRUE(tabs->isTabVisible(tabs->indexOf(ctl("TabNozSetts"))));
    EXPECT_EQ(tabs->currentWidget(), ctl("TabIdent"));
    EXPECT_TRUE(ctl("TestEdit")->isHidden());
    EXPECT_TRUE(ctl("TestButton")->isHidden());
    EXPECT_EQ(ctl<QLineEdit>("TestEdit")->text(), "00");
    EXPECT_EQ(ctl<QLineEdit>("LETimeout")->text(), "1");

    QStringList menus;
    for (QAction* a : w->menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, QStringList({"TRK", kComOpen, "Лог(выкл)", "Помощь"}));
    EXPECT_EQ(action("menuChangeNumTrk")->text(), "Сменить номер трк");
    EXPECT_EQ(action("Exit1")->text(), "Выход");
    EXPECT_EQ(action("Exit1")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_X));
    EXPECT_EQ(action("Setting1")->text(), "Настройки");
    EXPECT_EQ(action("About1")->text(), "О программе");

    // Password panel as shown: default texts, empty status labels.
    for (const char* e : {"Edit2", "Edit3", "Edit5", "Edit6"})
        EXPECT_EQ(ctl<QLineEdit>(e)->text(), "7391") << e;
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "");
    EXPECT_EQ(btn("Button1")->text(), "Изменить");
    EXPECT_EQ(btn("Button2")->property("Tag").toInt(), 2);
    EXPECT_EQ(btn("Button4")->text(), "Сброс пароля юстировки");
}

TEST_F(Startup, NumberPromptAcceptsHexAndFallsBackToOne) {
    line.addController(0x1A);
    line.addController(1);
    startLine();
    start(QString("1A"));
    ASSERT_EQ(dialogs.records.size(), 1u);
    EXPECT_EQ(dialogs.records[0].kind, "input");
    EXPECT_EQ(dialogs.records[0].caption, "Введите номер Контроллера(HEX)");
    EXPECT_EQ(dialogs.records[0].text, "Введите номер Контроллера(HEX)");
    EXPECT_EQ(state.controllerNumber, 0x1A);
    EXPECT_FALSE(state.noControllerNumber);
    EXPECT_TRUE(state.Identified);
    EXPECT_EQ(numberLabel(), "Работа с Адресом №26");
    EXPECT_EQ(status(), "Идентификатор считан");
    EXPECT_EQ(menuTitle("menuCom"), kComOpen);
    EXPECT_TRUE(btn("bCallIdent")->isEnabled());
    EXPECT_TRUE(btn("bReset")->isEnabled());

    for (const char* text : {"zz", "0", "-5"}) {
        w.reset();
        dialogs.clear();
        state.controllerNumber = 0;
        start(QString(text));
        EXPECT_EQ(state.controllerNumber, 1) << text;
        EXPECT_EQ(numberLabel(), "Работа с Адресом №1") << text;
    }
}

// A controller number is one byte: "105" is refused with its reason (never
// cut to 05 while the label names 261), at start-up the prompt comes again.
TEST_F(Startup, NumbersAboveFFAreRefused) {
    line.addController(5);
    line.addController(0xFF);
    startLine();
    dialogs.inputs.push_back(QString("105"));
    start(QString("5")); // the first answer is "105", the second "5"
    EXPECT_EQ(dialogs.kinds(), QStringList({"input", "message", "input"}));
    EXPECT_EQ(dialogs.messages(),
              QStringList({"Введен неправильный номер ТРК! Номер должен быть от 1 до FF"}));
    EXPECT_EQ(state.controllerNumber, 5);
    EXPECT_EQ(numberLabel(), "Работа с Адресом №5");

    dialogs.clear();
    dialogs.inputs.push_back(QString("105"));
    w->menuChangeNumTrkClick();
    EXPECT_EQ(dialogs.messages(),
              QStringList({"Введен неправильный номер ТРК! Номер должен быть от 1 до FF"}));
    EXPECT_EQ(state.controllerNumber, 5);
    EXPECT_EQ(numberLabel(), "Работа с Адресом №5");
    dialogs.inputs.push_back(QString("ff"));
    w->menuChangeNumTrkClick();
    EXPECT_EQ(state.controllerNumber, 0xFF);
    EXPECT_EQ(numberLabel(), "Работа с Адресом №255");
}

TEST_F(Startup, CancelledPromptClosesTheWindowOnceShown) {
    startLine();
    start(std::nullopt);
    EXPECT_TRUE(state.closeAtShow);
    EXPECT_TRUE(WaitFor([&] { return !w->isVisible(); }));
    EXPECT_EQ(state.portHandle, 0);
    EXPECT_FALSE(PortLayerRunning());
}

TEST_F(Startup, MissingFilesAreReportedAndDefaultsUsed) {
    ::unlink("com.ini");
    ::unlink("don.msg");
    WriteTextFile("com.ini.keep", "");
    start(std::nullopt);
    const QStringList m = dialogs.messages();
    ASSERT_GE(m.size(), 2);
    EXPECT_EQ(m.first(),
              "Ошибка чтения com.ini. Восстановлены параметры порта по умолчанию (Com1 4800 8 1 N)");
    EXPECT_EQ(m.last(), "Ошибка чтения don.msg, расшифровка кодов ошибок недоступна");
    EXPECT_EQ(state.portSettings.name, "COM1");
    EXPECT_EQ(state.portSettings.baud, 4800u);
    EXPECT_EQ(state.portSettings.dataBits, 8);
    EXPECT_EQ(state.portSettings.parity, 'N');
    EXPECT_EQ(state.portSettings.stopCode, 1);
}

TEST_F(Startup, FailedPortLeavesMostCommandsOff) {
    WriteTextFile("com.ini", "/nonexistent/ttyX 0 9600 0 1 0 8 N 1\n");
    start(QString("1"));
    EXPECT_EQ(dialogs.messages(),
              QStringList({"Ошибка открытия порта /nonexistent/ttyX. Проверьте настройки"}));
    EXPECT_EQ(dialogs.kinds(), QStringList({"message"})); // no number prompt
    EXPECT_EQ(menuTitle("menuCom"), kComClosed);
    EXPECT_EQ(numberLabel(), "Номер контроллера не введен");
    EXPECT_TRUE(state.portFailed);
    EXPECT_TRUE(state.noControllerNumber);
    ASSERT_TRUE(WaitFor([&] { return !btn("bReservCall")->isEnabled(); }));
    for (const char* b : {"bCallIdent", "bSimImp", "bGlobalSet", "bGlobalDefaultSet", "bReset", "bReservCall",
                          "bSaveImage", "bLoadImage"})
        EXPECT_FALSE(btn(b)->isEnabled()) << b;
    EXPECT_FALSE(action("menuChangeNumTrk")->isEnabled());

    // A bare name in com.ini leaves the entry empty: the open fails the same way.
    w.reset();
    dialogs.clear();
    WriteTextFile("com.ini", "COM4\n");
    start(QString("1"));
    EXPECT_EQ(dialogs.messages().value(0), "Ошибка открытия порта . Проверьте настройки");
}

TEST_F(Startup, CommandLineChoosesDemoAndSearchInterval) {
    WriteTextFile("com.ini", "STUB 0 4800 0 1 0 8 N 1\n");
    start(QString("1"), {"-tfind", "500"});
    EXPECT_FALSE(state.demo);
    EXPECT_EQ(w->identTab()->findTimer()->interval(), 500);
    EXPECT_FALSE(w->identTab()->findTimer()->isActive());
    EXPECT_EQ(dialogs.records.at(0).text, "Введите номер Контроллера(HEX)");
    w.reset();
    dialogs.clear();
    state.demo = false;
    state.closeAtShow = false;
    start(QString("1"), {"/i"});
    EXPECT_TRUE(state.demo);
    EXPECT_EQ(w->identTab()->findTimer()->interval(), 300);
    // The newcomer in demo mode learns that the number does not matter.
    EXPECT_EQ(dialogs.records.at(0).caption, "Введите номер Контроллера(HEX)");
    EXPECT_EQ(dialogs.records.at(0).text,
              "Введите номер Контроллера(HEX)\nДемонстрационный режим: подойдет любой номер");
}

TEST_F(Startup, FunctionKeysSelectControllerOnlyWithoutModifiersWhileIdle) {
    line.addController(1);
    line.addController(3);
    startLine();
    start(QString("1"));
    ctl<QTabWidget>("TabSetts")->setCurrentIndex(1);
    QWidget* focus = ctl("mIdent");
    QTest::keyClick(focus, Qt::Key_F3, Qt::ShiftModifier);
    EXPECT_EQ(state.controllerNumber, 1);
    QTest::keyClick(focus, Qt::Key_F3);
    EXPECT_EQ(state.controllerNumber, 3);
    EXPECT_EQ(numberLabel(), "Работа с Адресом №3");
    EXPECT_EQ(ctl<QTabWidget>("TabSetts")->currentWidget(), ctl("TabIdent"));

    state.idle = false; // an image transfer runs
    QTest::keyClick(focus, Qt::Key_F1);
    EXPECT_EQ(state.controllerNumber, 3);
}

TEST_F(Startup, NumberChangeMenuCases) {
    line.addController(1);
    line.addController(0x22);
    startLine();
    start(QString("1"));
    dialogs.clear();

    dialogs.inputs.push_back(QString("22"));
    w->menuChangeNumTrkClick();
    EXPECT_EQ(state.controllerNumber, 0x22);
    EXPECT_EQ(dialogs.records.at(0).caption, "Введите номер ТРК(HEX)");
    EXPECT_EQ(numberLabel(), "Работа с Адресом №34");

    dialogs.inputs.push_back(QString("xyz"));
    w->menuChangeNumTrkClick();
    EXPECT_EQ(dialogs.messages().last(), "Введен неправильный номер ТРК!");
    EXPECT_EQ(state.controllerNumber, 0x22);

    state.controllerNumber = 0;
    dialogs.inputs.push_back(QString("0"));
    w->menuChangeNumTrkClick();
    EXPECT_EQ(dialogs.messages().last(), "Введен неправильный номер ТРК! Номер установлен = 1");
    EXPECT_EQ(state.controllerNumber, 1);

    state.controllerNumber = 0;
    state.noControllerNumber = true;
    dialogs.inputs.push_back(std::nullopt);
    w->menuChangeNumTrkClick();
    EXPECT_EQ(dialogs.messages().last(), "Неправильный номер ТРК! Номер установлен = 1");
    EXPECT_EQ(state.controllerNumber, 1);
    EXPECT_FALSE(state.noControllerNumber);

    const int shown = dialogs.messages().size();
    dialogs.inputs.push_back(std::nullopt); // cancelled with a number: nothing said
    w->menuChangeNumTrkClick();
    EXPECT_EQ(dialogs.messages().size(), shown);
    EXPECT_EQ(status(), "Идентификатор считан");
}

TEST_F(Startup, LogMenuSwitchesTracing) {
    startLine();
    start(QString("1"));
    action("menuWriteLog")->trigger();
    EXPECT_TRUE(action("menuWriteLog")->isChecked());
    EXPECT_EQ(menuTitle("menuLog"), "Лог(вкл)");
    EXPECT_EQ(TraceMask.load(), 1u);
    action("menuWriteLog")->trigger();
    EXPECT_FALSE(action("menuWriteLog")->isChecked());
    EXPECT_EQ(menuTitle("menuLog"), "Лог(выкл)");
    EXPECT_EQ(TraceMask.load(), 0u);
}

TEST_F(Startup, TabsSnapBackWhileSearchRuns) {
    startLine();
    start(QString("1"));
    QTabWidget* tabs = ctl<QTabWidget>("TabSetts");
    tabs->setCurrentIndex(1);
    EXPECT_EQ(tabs->currentIndex(), 1);
    tabs->setCurrentIndex(0);
    w->identTab()->findTimer()->start(100000);
    tabs->setCurrentIndex(2);
    EXPECT_EQ(tabs->currentWidget(), ctl("TabIdent"));
    w->identTab()->findTimer()->stop();
}

TEST_F(Startup, AboutBoxIsModalWithTitleAndVersion) {
    startLine();
    start(QString("1"));
    dialogs.clear();
    QString title, version;
    dialogs.modals.push_back([&](QDialog& d) {
        title = d.findChild<QLabel*>("lTitle")->text();
        version = d.findChild<QLabel*>("lVersion")->text();
        return int(QDialog::Accepted);
    });
    action("About1")->trigger();
    ASSERT_EQ(dialogs.kinds(), QStringList({"modal"}));
    EXPECT_EQ(dialogs.records[0].caption, "О программе");
    EXPECT_EQ(title, "StartZel для Linux");
    EXPECT_EQ(version, QString("Версия ") + ZEL_VERSION);
}

using PortSettings = GuiRig;

TEST_F(PortSettings, ShowSelectsFromFileAndFallsBack) {
    startLine();
    start(QString("1"));
    WriteTextFile("com.ini", "COM9 0 14400 0 1 0 9 X 3\n");
    TComSetting& d = *w->comSetting();
    d.FormShow();
    EXPECT_EQ(d.windowTitle(), "Настройки com порта");
    EXPECT_EQ(d.findChild<QComboBox*>("cbPortBRate")->currentText(), "4800");
    EXPECT_EQ(d.findChild<QComboBox*>("cbPortDataBits")->currentText(), "8");
    EXPECT_EQ(d.findChild<QComboBox*>("cbPortStopBits")->currentText(), "1");
    EXPECT_EQ(d.findChild<QComboBox*>("cbPortParity")->currentText(), "None");
    EXPECT_EQ(state.portSettings.baud, 4800u);
    EXPECT_EQ(state.portSettings.parity, 'N');
    EXPECT_TRUE(state.portFailed);
    QStringList bauds;
    for (int i = 0; i < d.findChild<QComboBox*>("cbPortBRate")->count(); ++i)
        bauds << d.findChild<QComboBox*>("cbPortBRate")->itemText(i);
    EXPECT_EQ(bauds, QStringList({"1200", "4800", "9600", "19200", "38400", "57600", "115200", "256000"}));

    WriteTextFile("com.ini", "COM9 0 19200 0 1 0 7 O 2\n");
    d.FormShow();
    EXPECT_EQ(d.findChild<QComboBox*>("cbPortBRate")->currentText(), "19200");
    EXPECT_EQ(d.findChild<QComboBox*>("cbPortDataBits")->currentText(), "7");
    EXPECT_EQ(d.findChild<QComboBox*>("cbPortStopBits")->currentText(), "2");
    EXPECT_EQ(d.findChild<QComboBox*>("cbPortParity")->currentText(), "Odd");
}

TEST_F(PortSettings, ApplyOpensThePortAndWritesTheFile) {
    line.addController(1);
    const std::string slave = startLine();
    start(QString("1"));
    dialogs.clear();
    WriteTextFile("com.ini", slave + " 0 4800 7 0 1 8 N 1\n");
    bool accepted = false;
    dialogs.modals.push_back([&](QDialog& d) {
        d.findChild<QComboBox*>("cbComNumber")->setEditText(QString::fromStdString(slave));
        d.findChild<QComboBox*>("cbPortBRate")->setCurrentText("9600");
        d.findChild<QComboBox*>("cbPortParity")->setCurrentText("Event");
        d.findChild<QPushButton*>("SaveParam")->click();
        accepted = d.result() == QDialog::Accepted;
        return d.result();
    });
    action("Setting1")->trigger();
    EXPECT_TRUE(accepted);
    EXPECT_EQ(ReadTextFile("com.ini"), slave + " 0 9600 7 0 1 8 E 1");
    EXPECT_EQ(menuTitle("menuCom"), kComOpen);
    EXPECT_FALSE(state.portFailed);
    EXPECT_NE(state.portHandle, 0);
    ASSERT_TRUE(WaitFor([&] { return !state.refreshButtons; }));
    EXPECT_TRUE(btn("bCallIdent")->isEnabled());
    btn("bCallIdent")->click();
    EXPECT_EQ(status(), "Идентификатор считан");
}

TEST_F(PortSettings, FailedOpenKeepsDialogAndFileAndClosingLeavesButtonsOff) {
    startLine();
    start(QString("1"));
    dialogs.clear();
    const std::string before = ReadTextFile("com.ini");
    int result = -1;
    dialogs.modals.push_back([&](QDialog& d) {
        d.findChild<QComboBox*>("cbComNumber")->setEditText("/nonexistent/ttyQ");
        d.findChild<QPushButton*>("SaveParam")->click();
        result = d.result();
        return int(QDialog::Rejected); // closed without a working port
    });
    action("Setting1")->trigger();
    EXPECT_EQ(result, 0);
    EXPECT_EQ(dialogs.messages(), QStringList({"Ошибка открытия порта"}));
    EXPECT_EQ(ReadTextFile("com.ini"), before);
    EXPECT_EQ(menuTitle("menuCom"), kComClosed);
    EXPECT_EQ(state.portHandle, 0);
    ASSERT_TRUE(WaitFor([&] { return !btn("bCallIdent")->isEnabled(); }));
    EXPECT_FALSE(btn("bReservCall")->isEnabled());
    EXPECT_FALSE(action("menuChangeNumTrk")->isEnabled());
}

TEST_F(Startup, RepaintReidentifiesWhenAskedAndTimeoutBoxSetsMultiplier) {
    auto& c = line.addController(4);
    startLine();
    start(QString("4"));
    ctl<QTabWidget>("TabSetts")->setCurrentIndex(1);
    c.setIdentTextUtf8("после загрузки");
    state.ReidentifyPending = true;
    state.requestRepaint();
    state.requestRepaint(); // one pass for both
    ASSERT_TRUE(WaitFor([&] { return !state.ReidentifyPending; }));
    EXPECT_EQ(identText(), "после загрузки");
    EXPECT_EQ(ctl<QTabWidget>("TabSetts")->currentWidget(), ctl("TabIdent"));

    state.AddressChanged = true;
    c.setAddress(6);
    state.controllerNumber = 6;
    state.requestRepaint();
    ASSERT_TRUE(WaitFor([&] { return !state.AddressChanged; }));
    EXPECT_EQ(numberLabel(), "Работа с Адресом №6");

    auto* box = ctl<QLineEdit>("LETimeout");
    box->setText("3");
    EXPECT_EQ(TimeoutMultiplier(), 3);
    for (const char* text : {"0", "-2", "abc", ""}) {
        box->setText(text);
        EXPECT_EQ(TimeoutMultiplier(), 1) << text;
    }
}

TEST_F(Startup, WorksOverATcpSerialServer) {
    line.addController(0x11);
    zelsim::TcpTransport tcp(line);
    std::string error;
    ASSERT_TRUE(tcp.start(0, false, &error)) << error;
    WriteTextFile("com.ini", "TCPC_127.0.0.1:" + std::to_string(tcp.port()) + " 0 4800 0 1 0 8 N 1\n");
    start(QString("11"));
    EXPECT_EQ(menuTitle("menuCom"), "Соm порт (открыт)");
    EXPECT_EQ(numberLabel(), "Работа с Адресом №17");
    EXPECT_EQ(status(), "Идентификатор считан");
    w.reset();
    tcp.stop();
}

// Texts and hints break lines with "\r" (and the pairs "\n\r", "\r\n"); Qt shows
// a break only for "\n", so each of them must become exactly one "\n".
TEST(DisplayText, EveryBreakBecomesOneNewline) {
    EXPECT_EQ(DisplayText("a\rb"), "a\nb");
    EXPECT_EQ(DisplayText("ВНИМАНИЕ!\n\r Адрес\n\rдальше"), "ВНИМАНИЕ!\n Адрес\nдальше");
    EXPECT_EQ(DisplayText("a\r\nb\n\nc"), "a\nb\n\nc");
    EXPECT_EQ(DisplayText("без переносов"), "без переносов");
}

TEST_F(Startup, MainTabButtonsCarryTheirHints) {
    line.addController(1);
    startLine();
    start(QString("1"));
    auto hint = [&](const char* name) { return ctl(name)->toolTip(); };
    EXPECT_EQ(hint("bCallIdent"), "Запросить идентификатор устройства");
    EXPECT_EQ(hint("bReset"), "\"Теплый\" перезапуск устройства");
    EXPECT_EQ(
        hint("bReservCall"),
        "Связаться с устройством по резервному адресу. \r  Внимание! Должно быть подключено только одно "
        "устройство");
    EXPECT_EQ(hint("bFindCtrlr"), "Автоматический поиск подключенных устройств");
}

TEST_F(Startup, OpeningAndClosingMenusKeepsTheStatusLine) {
    line.addController(1);
    startLine();
    start(QString("1"));
    w->setStatus("Параметры успешно записаны");
    // A menu shown and left, and the status tips its actions send on hover.
    auto* menu = ctl<QMenu>("menuTRK");
    menu->popup(w->mapToGlobal(QPoint(0, 0)));
    QCoreApplication::processEvents();
    menu->setActiveAction(action("menuChangeNumTrk"));
    action("menuChangeNumTrk")->showStatusText(w.get());
    menu->hide();
    QCoreApplication::processEvents();
    EXPECT_EQ(status(), "Параметры успешно записаны");
}

TEST(QtTranslations, StandardButtonsReadInRussian) {
    TestApp();
    ASSERT_TRUE(InstallQtTranslations()) << "qt6-translations-l10n is not installed";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Отмена");
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), "&Да");
}

TEST_F(PortSettings, WithThePortClosedATabClickBringsBackTheMainTab) {
    line.addController(1);
    startLine();
    start(QString("1"));
    w->Setting1Click(); // the dialog left with Escape: the port stays closed
    EXPECT_EQ(menuTitle("menuCom"), "Соm порт (закрыт)");
    dialogs.clear();
    const size_t frames = line.frameCount();
    auto* tabs = ctl<QTabWidget>("TabSetts");
    tabs->setCurrentWidget(w->tabPage("TabCtrlrSetts"));
    QCoreApplication::processEvents();
    EXPECT_EQ(tabs->currentWidget(), w->tabPage("TabIdent"));
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("|").toStdString();
    EXPECT_EQ(line.frameCount(), frames);
    EXPECT_FALSE(btn("bCallIdent")->isEnabled());
}

TEST_F(PortSettings, ANameTheListDoesNotOfferStaysTheCurrentEntry) {
    // The pty the program works on is in com.ini but not in the enumerated
    // list: changing only the speed keeps it.
    line.addController(1);
    const std::string path = startLine();
    start(QString("1"));
    QString shown;
    dialogs.modals.push_back([&](QDialog& d) {
        shown = d.findChild<QComboBox*>("cbComNumber")->currentText();
        d.findChild<QComboBox*>("cbPortBRate")->setCurrentText("9600");
        d.findChild<QPushButton*>("SaveParam")->click();
        return d.result();
    });
    action("Setting1")->trigger();
    EXPECT_EQ(shown.toStdString(), path);
    EXPECT_EQ(state.portSettings.name, path);
    EXPECT_EQ(ReadTextFile("com.ini"), path + " 0 9600 0 1 0 8 N 1");
    EXPECT_FALSE(state.portFailed);
}
