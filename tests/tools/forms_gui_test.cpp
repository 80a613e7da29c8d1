// The three forms as the engineer uses them, against the virtual controller
// and the demo image: primary setup, factory defaults and the report.
#include "checksum.h"
#include "ctrl_params_core.h"
#include "field_check.h"
#include "forms_rig.h"

#include "block_layout.h"
#include "guarded_write_text.h"
#include "little_endian.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QPrinter>
#include <QRegularExpression>

using namespace tools;

namespace {

using ToolsGui = FormsRig;

QStringList Joined(const std::vector<std::string>& lines) {
    QStringList out;
    for (const std::string& l : lines)
        out << QString::fromStdString(l);
    return out;
}

bool SnapshotIn(const std::string& folder) {
    namespace fs = std::filesystem;
    if (!fs::exists(folder)) return false;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".bin" && fs::file_size(e.path()) > 0) return true;
    return false;
}

} // namespace

TEST_F(ToolsGui, PrimarySetupShowsTheControllerAndWritesIt) {
    open();
    auto* f = show<TfGlobalSetts>();
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("|").toStdString();
    EXPECT_EQ(ctl<QComboBox>(f, "cbNumSideGlobal")->currentText(), "2 стороны");
    EXPECT_EQ(ctl<QComboBox>(f, "cbNumNozGlobal")->currentText(), "4 пистолета");
    EXPECT_EQ(ctl<QComboBox>(f, "cbTblTypeGlobal")->currentIndex(), 6);
    EXPECT_EQ(ctl<QLineEdit>(f, "eAdrUtrkGlobal")->text(), "1,2");
    EXPECT_EQ(ctl<QLineEdit>(f, "eAdrNaraGlobal")->text(), "1,2,3,4,5,6,7,8");
    EXPECT_EQ(ctl<QLineEdit>(f, "eSlowLoadGlobal")->text(), "300");
    EXPECT_EQ(ctl<QLineEdit>(f, "eNozzleFatGlobal")->text(), "300");
    EXPECT_EQ(ctl<QLineEdit>(f, "ePcTimeoutGlobal")->text(), "30");
    EXPECT_EQ(ctl<QLineEdit>(f, "eHydroHitGlobal")->text(), "0");
    auto* monitor = ctl<QListWidget>(f, "lbMonSettsGlobal");
    ASSERT_GT(monitor->count(), 12);
    EXPECT_EQ(monitor->item(0)->text(), "Установлена связь с контроллером №1");
    EXPECT_EQ(monitor->item(13)->text(), "Настройки канала с адресом 1");
    EXPECT_EQ(monitor->item(14)->text(), "Датчик - 100 импульсов");
    EXPECT_EQ(monitor->item(15)->text(), "Датчик импульсов с пересчетом одной фазы 1");

    // A value out of range marks its box and holds the write back.
    auto* save = ctl<QPushButton>(f, "bSaveParamGlobal");
    EXPECT_TRUE(save->isEnabled());
    type(ctl<QLineEdit>(f, "ePcTimeoutGlobal"), "2");
    EXPECT_FALSE(save->isEnabled());
    EXPECT_EQ(f->invalidCount(), 1);
    type(ctl<QLineEdit>(f, "ePcTimeoutGlobal"), "45");
    EXPECT_TRUE(save->isEnabled());

    // One side: the lists refill themselves.
    choose(ctl<QComboBox>(f, "cbNumSideGlobal"), 0);
    EXPECT_EQ(ctl<QLineEdit>(f, "eAdrUtrkGlobal")->text(), "1");
    EXPECT_EQ(ctl<QLineEdit>(f, "eAdrNaraGlobal")->text(), "1,2,3,4");
    // The "?" buttons tell what their box is for.
    ctl<QPushButton>(f, "helpNaraGlobal")->click();
    EXPECT_EQ(lastMessage(), "Адреса каналов(пистолетов) контроллера. Вводятся через запятую");
    dialogs.clear();

    const int restarts = c->restartCount();
    save->click();
    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(state.ReidentifyPending);
    EXPECT_EQ(c->restartCount(), restarts + 1);
    const auto p = params();
    EXPECT_EQ(p[5], 1);
    EXPECT_EQ(p[4], 4);
    EXPECT_EQ(p[56], 45);
    const auto r = regs(3);
    EXPECT_EQ(GetU32(r.data(), nozregs::FCount.offset), 1000u + 137 * 3);
    EXPECT_EQ(GetU16(r.data(), nozregs::Price.offset), 1000);
    // One result: written, read back, restarted, and where the controller's previous content went.
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(
        lastMessage().startsWith("Первичные настройки записаны, контроллер перезапущен.\nЗаписанное "
                                 "прочитано из контроллера и совпадает.\nПрежнее содержимое контроллера "
                                 "сохранено в файл образа\n" +
                                 QString::fromStdString(stateHome + "/startzel/snapshots/ctrl-01-")))
        << lastMessage().toStdString();
    EXPECT_TRUE(SnapshotIn(stateHome + "/startzel/snapshots"));
}

// What the controller holds and the settings tabs accept for the same bytes
// is accepted here too: passing through the boxes marks nothing.
TEST_F(ToolsGui, PrimarySetupTakesTheControllersOwnValues) {
    std::vector<uint8_t> p = params();
    p[settings::kNozzleFat] = 255;
    p[settings::kHydroHit] = 255;
    p.back() = FrameChecksum(p.data(), p.size() - 1);
    c->poke(0, CtrlrParams.address, p);
    open();
    auto* f = show<TfGlobalSetts>();
    auto* fat = ctl<QLineEdit>(f, "eNozzleFatGlobal");
    auto* hydro = ctl<QLineEdit>(f, "eHydroHitGlobal");
    EXPECT_EQ(fat->text(), "2550");
    EXPECT_EQ(hydro->text(), "2,55");
    for (QLineEdit* e : {fat, hydro}) {
        focus(e, QEvent::FocusIn);
        focus(e, QEvent::FocusOut);
        EXPECT_FALSE(FieldCheck::red(e)) << e->objectName().toStdString();
    }
    EXPECT_EQ(f->invalidCount(), 0);
    EXPECT_TRUE(ctl<QPushButton>(f, "bSaveParamGlobal")->isEnabled());
    type(fat, "2559");
    EXPECT_EQ(f->invalidCount(), 0);
    type(fat, "2560");
    EXPECT_EQ(f->invalidCount(), 1);
    type(fat, "2550");
    type(hydro, "2,56");
    EXPECT_EQ(f->invalidCount(), 1);
    type(hydro, "1,5");
    EXPECT_EQ(f->invalidCount(), 0);
    f->reject();
}

// A value the controller holds and the window refuses is shown as read; the
// box is checked on leaving it even when nothing was typed, and holds the
// write back until it is mended.
TEST_F(ToolsGui, PrimarySetupChecksABoxOnEveryExit) {
    std::vector<uint8_t> p = params();
    p[ctrlrparams::PcTimeout.offset] = 2;
    p.back() = FrameChecksum(p.data(), p.size() - 1);
    c->poke(0, CtrlrParams.address, p);
    open();
    auto* f = show<TfGlobalSetts>();
    auto* box = ctl<QLineEdit>(f, "ePcTimeoutGlobal");
    auto* save = ctl<QPushButton>(f, "bSaveParamGlobal");
    EXPECT_EQ(box->text(), "2");
    EXPECT_TRUE(save->isEnabled());
    focus(box, QEvent::FocusIn);
    focus(box, QEvent::FocusOut);
    EXPECT_TRUE(FieldCheck::red(box));
    EXPECT_EQ(f->invalidCount(), 1);
    EXPECT_FALSE(save->isEnabled());
    type(box, "0"); // no time-out at all is allowed
    EXPECT_FALSE(FieldCheck::red(box));
    EXPECT_TRUE(save->isEnabled());
    EXPECT_EQ(f->model().p()[ctrlrparams::PcTimeout.offset], 0);
    f->reject();
}

// A setup that moves side A: the program works with the controller at its new
// address afterwards, and the number label says so.
TEST_F(ToolsGui, PrimarySetupFollowsTheControllerToItsNewAddress) {
    open();
    auto* f = show<TfGlobalSetts>();
    type(ctl<QLineEdit>(f, "eAdrUtrkGlobal"), "5,2");
    ctl<QPushButton>(f, "bSaveParamGlobal")->click();
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(lastMessage().startsWith("Первичные настройки записаны")) << lastMessage().toStdString();
    EXPECT_EQ(c->address(), 5);
    EXPECT_EQ(state.controllerNumber, 5);
    EXPECT_EQ(number->text(), "Работа с Адресом №5");
}

TEST_F(ToolsGui, PrimarySetupNeverWritesATotalizerItCouldNotRead) {
    open();
    auto* f = show<TfGlobalSetts>();
    std::vector<std::vector<uint8_t>> before;
    for (int n = 0; n < 10; ++n)
        before.push_back(regs(n));
    zelsim::Faults faults;
    faults.silentReadFrom = ChannelAddress(NozRegs, 3);
    faults.silentReadTo = ChannelAddress(NozRegs, 4);
    c->setFaults(faults);

    // The snapshot cannot be taken either: the engineer is asked, and a
    // refusal writes nothing at all.
    const int writes = c->writeCount();
    dialogs.answers = {false};
    ctl<QPushButton>(f, "bSaveParamGlobal")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList{"okCancel"});
    EXPECT_EQ(dialogs.records[0].text,
              QString::fromStdString(image::SnapshotFailedQuestion({-1, {}, {}, {}}, false)));
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_TRUE(f->isVisible());

    dialogs.clear();
    dialogs.answers = {true};
    ctl<QPushButton>(f, "bSaveParamGlobal")->click();
    EXPECT_EQ(dialogs.kinds(), (QStringList{"okCancel", "message"}));
    EXPECT_TRUE(lastMessage().startsWith(QString::fromStdString(NozRegsNotWritten(3)) +
                                         "\nПервичные настройки записаны, контроллер перезапущен."))
        << lastMessage().toStdString();
    EXPECT_EQ(ctl<QLabel>(f, "lErrorWriteGlobal")->text(), "Ошибка записи!");
    EXPECT_TRUE(f->isVisible());
    EXPECT_GT(c->writeCount(), writes);
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(regs(n), before[n]) << n;
    EXPECT_TRUE(ctl<QPushButton>(f, "bSaveParamGlobal")->isEnabled());
}

TEST_F(ToolsGui, PrimarySetupWithoutALinkWritesNothingUntilReadAgain) {
    open();
    c->setFaults({.noAnswer = true});
    auto* f = show<TfGlobalSetts>();
    EXPECT_EQ(dialogs.messages(), QStringList{"Ошибка связи с ТРК"});
    auto* monitor = ctl<QListWidget>(f, "lbMonSettsGlobal");
    ASSERT_EQ(monitor->count(), 1);
    EXPECT_EQ(monitor->item(0)->text(), "Связь с контроллером не установлена");
    auto* save = ctl<QPushButton>(f, "bSaveParamGlobal");
    EXPECT_FALSE(save->isEnabled());
    // Leaving a box does not open the write to blocks that were never read.
    type(ctl<QLineEdit>(f, "eSlowLoadGlobal"), "300");
    EXPECT_FALSE(save->isEnabled());

    // Opened again with the link back: every box as read, writing allowed.
    c->setFaults({});
    f->reject();
    dialogs.clear();
    f->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialogs.messages().isEmpty());
    EXPECT_TRUE(save->isEnabled());
    EXPECT_EQ(f->invalidCount(), 0);
}

TEST_F(ToolsGui, FactoryDefaultsRefuseMoreThanTenChannelsAndWriteTheRest) {
    open();
    auto* f = show<TformDefSet>();
    auto* memo = ctl<QPlainTextEdit>(f, "mParamTrk_DS");
    EXPECT_TRUE(memo->toPlainText().contains("Компенсация раздутия шланга 300 мл."));
    choose(ctl<QComboBox>(f, "cbTypeTrk"), 1);
    EXPECT_EQ(memo->toPlainText(), Joined(DefaultsSummary(1, false)).join('\n'));
    auto* save = ctl<QPushButton>(f, "bSaveParam_DS");
    auto* limit = ctl<QLabel>(f, "lChannelLimit_DS");
    EXPECT_TRUE(save->isEnabled());
    EXPECT_FALSE(limit->isVisible());

    choose(ctl<QComboBox>(f, "cbCountNoz_DS"), 5); // two sides of six
    EXPECT_FALSE(save->isEnabled());
    EXPECT_TRUE(limit->isVisible());
    EXPECT_EQ(limit->text(), QString::fromUtf8(kTooManyChannels));
    EXPECT_EQ(ctl<QTableWidget>(f, "sgAdrNaraTrk1_DS")->columnCount(), 6);

    choose(ctl<QComboBox>(f, "cbCountNoz_DS"), 3);
    EXPECT_TRUE(save->isEnabled());
    EXPECT_FALSE(limit->isVisible());
    auto* gridB = ctl<QTableWidget>(f, "sgAdrNaraTrk2_DS");
    EXPECT_EQ(gridB->item(0, 0)->text(), "5");
    EXPECT_EQ(gridB->item(0, 3)->text(), "8");

    // A repeated address turns its grid red; correcting it clears it.
    gridB->item(0, 0)->setText("1");
    EXPECT_TRUE(FieldCheck::red(gridB));
    EXPECT_FALSE(save->isEnabled());
    gridB->item(0, 0)->setText("5");
    EXPECT_FALSE(FieldCheck::red(gridB));
    EXPECT_TRUE(save->isEnabled());

    const int restarts = c->restartCount();
    save->click();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(c->restartCount(), restarts + 1);
    EXPECT_TRUE(state.ReidentifyPending);
    const auto p = params();
    EXPECT_EQ(p[23], 1);
    EXPECT_EQ(GetU16(p.data(), 30), 0x1400);
    EXPECT_EQ(p[34], 3);
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(regs(n), std::vector<uint8_t>(69, 0)) << n;
    EXPECT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(lastMessage().startsWith("Заводские установки записаны, контроллер перезапущен.\n"
                                         "Записанное прочитано из контроллера и совпадает.\n"
                                         "Прежнее содержимое контроллера сохранено в файл образа\n"))
        << lastMessage().toStdString();
}

// A write the controller refuses block after block ends in one box, naming
// what failed and where the snapshot is, never one box a block.
TEST_F(ToolsGui, FactoryDefaultsEndInOneResult) {
    open();
    auto* f = show<TformDefSet>();
    choose(ctl<QComboBox>(f, "cbTypeTrk"), 1);
    zelsim::Faults refuse;
    refuse.refuseWrites = true;
    c->setFaults(refuse);
    ctl<QPushButton>(f, "bSaveParam_DS")->click();
    ASSERT_EQ(dialogs.messages().size(), 1) << dialogs.messages().join("|").toStdString();
    const QString text = lastMessage();
    EXPECT_TRUE(text.startsWith("Заводские установки не записаны: ни один блок не принят.\n"))
        << text.toStdString();
    EXPECT_TRUE(text.contains(
        "\nПерезапуск контроллера не подтвержден.\nПрежнее содержимое восстанавливается загрузкой "
        "файла образа\n" +
        QString::fromStdString(stateHome)))
        << text.toStdString();
    EXPECT_EQ(dialogs.records.back().icon, Dialogs::Icon::Error);
    // Each failure text is named once.
    QStringList lines = text.split('\n');
    EXPECT_GE(lines.size(), 4);
    EXPECT_EQ(lines.removeDuplicates(), 0);
}

TEST_F(ToolsGui, FactoryDefaultsInDemoModeWriteADemoImageTheDemoReadsBack) {
    openDemo();
    auto* f = show<TformDefSet>();
    EXPECT_TRUE(dialogs.messages().isEmpty());
    choose(ctl<QComboBox>(f, "cbTypeTrk"), 3);
    EXPECT_FALSE(ctl<QGroupBox>(f, "gbTrk2_DS")->isVisible());
    ctl<QPushButton>(f, "bSaveParam_DS")->click();
    EXPECT_FALSE(f->isVisible());
    EXPECT_TRUE(state.ReidentifyPending);
    EXPECT_FALSE(DemoImage().loaded); // the next identification loads the new file

    const std::string file = ReadTextFile("demo_trk.bin");
    ASSERT_EQ(file.size(), 1107u);
    EXPECT_EQ(std::vector<uint8_t>(file.begin(), file.begin() + 7),
              (std::vector<uint8_t>{58, 1, 1, 20, 0, 69, 12}));
    ASSERT_EQ(LoadDemoImage("demo_trk.bin"), 1);
    const FixedImage& img = f->model().image;
    auto readBack = [](uint32_t address, int length) {
        std::vector<uint8_t> b(256, 0);
        const int r = ReadBlock(0, 1, address, length, b.data(), kBoardMain);
        b.resize(static_cast<size_t>(std::max(r, 0)));
        return b;
    };
    auto slice = [&](int offset, int length) {
        return std::vector<uint8_t>(img.begin() + offset, img.begin() + offset + length);
    };
    EXPECT_EQ(readBack(kAddrParamLength, -1), slice(0, 58));
    EXPECT_EQ(img[3], 0);
    EXPECT_EQ(img[57], FrameChecksum(img.data(), 57));
    for (int n = 0; n < 10; ++n) {
        EXPECT_EQ(readBack(ChannelAddress(NozSetts, n), 20), slice(FixNozSetts(n), 20)) << n;
        EXPECT_EQ(readBack(ChannelAddress(NozRegs, n), 69), slice(FixNozRegs(n), 69)) << n;
    }
    EXPECT_EQ(readBack(NaraSpecific.address, 128), slice(kFixNara, 128));
    EXPECT_EQ(readBack(SideAddress(1), 12), slice(kFixSide2, 12));
    EXPECT_TRUE(SnapshotIn("startzel-demo/snapshots")); // the old demo file, kept
}

// The snapshot before the defaults takes seconds on a slow line: the write
// button waits for it (and for the question when it failed), then comes back.
TEST_F(ToolsGui, FactoryDefaultsHoldTheButtonWhileTheSnapshotIsTaken) {
    open();
    auto* f = show<TformDefSet>();
    auto* save = ctl<QPushButton>(f, "bSaveParam_DS");
    ASSERT_TRUE(save->isEnabled());
    zelsim::Faults faults;
    faults.unreadableFrom = ChannelAddress(NozRegs, 0);
    faults.unreadableTo = ChannelAddress(NozRegs, 0) + NozRegs.length;
    c->setFaults(faults);
    bool enabledWhileAsked = true;
    dialogs.onAsk = [&](const ScriptedDialogs::Record&) { enabledWhileAsked = save->isEnabled(); };
    dialogs.answers = {false};
    const int writes = c->writeCount();
    save->click();
    dialogs.onAsk = nullptr;
    EXPECT_EQ(dialogs.kinds(), QStringList({"okCancel"}));
    EXPECT_FALSE(enabledWhileAsked);
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_TRUE(save->isEnabled());
    EXPECT_FALSE(ctl<QLabel>(f, "lSnapshot_DS")->isVisible());
    EXPECT_FALSE(ctl<QProgressBar>(f, "progressbar_DS")->isVisible());
    f->reject();
}

TEST_F(ToolsGui, FactoryDefaultsRefuseADeviceThatDoesNotAnswer) {
    open();
    c->setFaults({.noAnswer = true});
    auto* f = show<TformDefSet>();
    EXPECT_EQ(dialogs.messages(), QStringList{"Не поддерживается работа с данным устройством"});
    EXPECT_TRUE(WaitFor([f] { return !f->isVisible(); }));
}

TEST_F(ToolsGui, ReportShowsPrintsAndSaves) {
    auto r0 = regs(0);
    PutU16(r0.data(), nozregs::BitStat.offset, 0x0088);
    c->poke(0, ChannelAddress(NozRegs, 0), r0);
    open();
    auto* f = show<TformViewParam>();
    EXPECT_EQ(f->size(), QSize(640, 480));
    auto* memo = ctl<QPlainTextEdit>(f, "mParam1");
    const QStringList text = memo->toPlainText().split('\n');
    ASSERT_GT(text.size(), 20);
    EXPECT_EQ(text[0], "\tТрк №1");
    EXPECT_EQ(text[2], "Адрес стороны А - 1");
    EXPECT_EQ(text[4], "Скорость обмена - 4800");
    EXPECT_EQ(text.last(), "Фискальный счетчик  сторона Б, 4 рукав = 1959,49");
    EXPECT_TRUE(dialogs.messages().isEmpty());

    // Extended mode rebuilds the text from the image already read.
    const size_t frames = line.frameCount();
    ctl<QCheckBox>(f, "checkAdvanceMode")->click();
    EXPECT_EQ(line.frameCount(), frames);
    const QStringList extended = memo->toPlainText().split('\n');
    EXPECT_EQ(extended.mid(text.size()), (QStringList{"", "Состояние рукава Сторона А №1",
                                                      "Раздаточный кран снят", "Канал активирован"}));

    // Printed into a PDF file through the print dialog.
    const QString pdf = QDir::current().absoluteFilePath("report.pdf");
    QFile::remove(pdf);
    dialogs.printers = {false, true};
    dialogs.printerSetup = [pdf](QPrinter& p) {
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(pdf);
    };
    ctl<QPushButton>(f, "bSaveToText")->click(); // cancelled
    EXPECT_FALSE(QFile::exists(pdf));
    ctl<QPushButton>(f, "bSaveToText")->click();
    ASSERT_TRUE(QFile::exists(pdf));
    QFile printed(pdf);
    ASSERT_TRUE(printed.open(QIODevice::ReadOnly));
    EXPECT_TRUE(printed.read(5) == "%PDF-");
    // The window tells where the report went.
    EXPECT_EQ(ctl<QLabel>(f, "lSavedTo")->text(), "Отчет напечатан в файл " + pdf);
    EXPECT_EQ(status(), "Отчет напечатан в файл " + pdf);

    // Saved as a UTF-8 text file; ".txt" added to a bare name.
    QFile::remove("report.txt");
    dialogs.fileNames = {"report"};
    ctl<QPushButton>(f, "bSaveToFile")->click();
    EXPECT_EQ(QString::fromUtf8(ReadTextFile("report.txt")), extended.join('\n') + "\n");
    EXPECT_TRUE(dialogs.messages().isEmpty());
    EXPECT_EQ(ctl<QLabel>(f, "lSavedTo")->text(),
              "Отчет сохранен в файл " + QDir::current().absoluteFilePath("report.txt"));
}

TEST_F(ToolsGui, ReportTellsAFailedReadAndAMissingDemoFile) {
    zelsim::Faults faults;
    faults.silentReadFrom = ChannelAddress(NozRegs, 5);
    faults.silentReadTo = ChannelAddress(NozRegs, 6);
    c->setFaults(faults);
    open();
    auto* f = show<TformViewParam>();
    EXPECT_EQ(
        dialogs.messages(),
        QStringList{"Часть параметров не считана из контроллера: в отчете они отмечены как не считанные."});
    const QStringList text = ctl<QPlainTextEdit>(f, "mParam1")->toPlainText().split('\n');
    EXPECT_TRUE(text.contains("Фискальный счетчик  сторона Б, 2 рукав = не считан"));
    EXPECT_TRUE(text.contains("Фискальный счетчик  сторона Б, 3 рукав = 1822,42"));
    f->reject();

    // Demo mode without its file: said, and no value shown.
    dialogs.clear();
    frame.reset();
    openDemo(false);
    auto* demo = show<TformViewParam>();
    const QString missing = "Не удалось открыть файл демонстрационного образа demo_trk.bin.";
    EXPECT_EQ(dialogs.messages(), QStringList{missing});
    EXPECT_EQ(ctl<QPlainTextEdit>(demo, "mParam1")->toPlainText(), "\tТрк №1\n\n" + missing);
}

// However a form is closed, the main window is told (its repaint checks
// re-identify after a write); the report changes nothing and asks for none.
// Every showing opens the form again from the controller.
TEST_F(ToolsGui, FormsOpenOnEveryShowingAndTellTheFrameOnEveryClosing) {
    open();
    int repaints = 0;
    QObject::connect(&state, &WorkingState::repaintRequested, [&repaints] { ++repaints; });
    auto* setup = show<TfGlobalSetts>();
    auto* monitor = ctl<QListWidget>(setup, "lbMonSettsGlobal");
    const int lines = monitor->count();
    setup->reject();
    EXPECT_EQ(repaints, 1);
    setup->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(monitor->count(), lines); // read again, not appended to
    setup->close();
    EXPECT_EQ(repaints, 2);

    auto* defaults = show<TformDefSet>();
    defaults->accept();
    EXPECT_EQ(repaints, 3);

    auto* report = show<TformViewParam>();
    auto* memo = ctl<QPlainTextEdit>(report, "mParam1");
    const QString text = memo->toPlainText();
    report->reject();
    EXPECT_EQ(repaints, 3);
    report->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(memo->toPlainText(), text);
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("|").toStdString();
}

// Long reports run over pages; the print dialog's page range prints only its pages.
TEST(ReportPrinting, PagesFollowThePageRange) {
    TestApp();
    QStringList lines;
    for (int i = 0; i < 150; ++i)
        lines << QString("\tстрока %1").arg(i);
    auto pages = [&lines](int from, int to) {
        const QString pdf = QDir::current().absoluteFilePath("pages.pdf");
        QFile::remove(pdf);
        QPrinter printer(QPrinter::HighResolution);
        printer.setResolution(600);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        if (from > 0) {
            printer.setPrintRange(QPrinter::PageRange);
            printer.setFromTo(from, to);
        }
        EXPECT_TRUE(PrintReportLines(lines, printer));
        const QString text = QString::fromLatin1(ReadTextFile(pdf.toStdString()));
        return static_cast<int>(text.count(QRegularExpression("/Type\\s*/Page[^s]")));
    };
    const int all = pages(0, 0);
    EXPECT_GE(all, 3);
    EXPECT_EQ(pages(2, 2), 1);
    EXPECT_EQ(pages(2, all), all - 1);
}
