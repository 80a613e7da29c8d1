// Saving a controller into an image file and loading one back from the main
// tab, against the virtual controller: the dialogs and their texts, the idle
// flag while a transfer runs, files refused before any traffic, the snapshot
// taken before a load, and the journal of a settings save.
#include "block_fields.h"
#include "checksum.h"
#include "guarded_write_text.h"
#include "gui_rig.h"
#include "image_core.h"
#include "memory_map.h"
#include "write_journal.h"

#include <QFocusEvent>
#include <QProgressBar>
#include <QTest>
#include <filesystem>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

const QString kFilter = "файл образа (*.bin);;любой файл (*.*)";

Bytes ReadBytes(const std::string& path) {
    const std::string s = ReadTextFile(path);
    return Bytes(s.begin(), s.end());
}

void WriteBytes(const std::string& path, const Bytes& b) {
    WriteTextFile(path, std::string(b.begin(), b.end()));
}

// Every block of the image filled with bytes that tell where they came from.
void Scribble(zelsim::VirtualController& c, uint8_t seed) {
    int8_t h[7];
    const Bytes sizes = c.peek(0, kAddrSizes, 7);
    for (int i = 0; i < 7; ++i)
        h[i] = static_cast<int8_t>(sizes[static_cast<size_t>(i)]);
    for (const image::ImageBlock& b : image::ImageLayout(h)) {
        Bytes data(static_cast<size_t>(b.length));
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(seed + (b.address >> 8) * 3 + i);
        if (b.address == CtrlrParams.address) {
            const Bytes now = c.peek(0, b.address, 6);
            std::copy(now.begin(), now.end(), data.begin()); // speeds, addresses and counts stay usable
            data.back() = FrameChecksum(data.data(), data.size() - 1);
        }
        c.poke(0, b.address, data);
    }
}

// What the window looked like, and what input did, while a transfer ran:
// probed from the event processing the transfer lets through.
struct DuringTransfer {
    bool seen = false;
    QString label;
    int maximum = 0;
    bool idle = true;
    int numberAfterF3 = -1;
    bool closed = true;
};

class Images : public GuiRig {
protected:
    void SetUp() override {
        GuiRig::SetUp();
        state_ = fs::absolute("state").string();
        fs::remove_all(state_);
        setenv("XDG_STATE_HOME", state_.c_str(), 1);
        for (const char* f :
             {"img.bin", "saved.bin", "keep.bin", "big.bin", "short.bin", "zero3.bin", "tiny.bin"})
            fs::remove(f);
    }
    void TearDown() override {
        journal::Uninstall();
        GuiRig::TearDown();
    }

    zelsim::VirtualController& begin(uint8_t address = 1) {
        auto& c = line.addController(address);
        startLine();
        start(QString::number(address, 16));
        EXPECT_TRUE(state.Identified);
        dialogs.clear();
        return c;
    }
    // Probes the window once while the progress bar shows `labelText`;
    // `also` runs at that moment too.
    void probe(DuringTransfer& d, const QString& labelText, std::function<void()> also = {}) {
        auto* timer = new QTimer(w.get());
        timer->setInterval(0);
        QObject::connect(timer, &QTimer::timeout, w.get(), [this, timer, &d, labelText, also] {
            auto* label = ctl<QLabel>("lImageStat");
            auto* bar = ctl<QProgressBar>("progrImage");
            if (d.seen || !bar->isVisible() || bar->value() <= 0 || label->text() != labelText) return;
            d.seen = true;
            d.label = label->text();
            d.maximum = bar->maximum();
            d.idle = state.idle;
            QTest::keyClick(ctl("mIdent"), Qt::Key_F3);
            d.numberAfterF3 = state.controllerNumber;
            d.closed = w->close();
            if (also) also();
            timer->stop();
        });
        timer->start();
    }
    size_t writes() const {
        size_t n = 0;
        for (const auto& f : line.frames())
            if (f.kind == zelsim::FrameKind::Command && f.bytes.size() == 4 && (f.bytes[2] & 0xF8) == 0x40)
                ++n;
        return n;
    }
    std::vector<fs::path> snapshots() const {
        std::vector<fs::path> out;
        if (fs::exists(state_ + "/startzel/snapshots"))
            for (const auto& e : fs::directory_iterator(state_ + "/startzel/snapshots"))
                out.push_back(e.path());
        return out;
    }
    void expectAtRest() {
        EXPECT_TRUE(state.idle);
        EXPECT_TRUE(ctl("lImageStat")->isHidden());
        EXPECT_TRUE(ctl("progrImage")->isHidden());
        EXPECT_TRUE(w->isVisible());
    }

    std::string state_;
};

TEST_F(Images, SaveWritesTheWholeControllerWhileInputWaits) {
    auto& c = begin();
    Scribble(c, 1);
    DuringTransfer during;
    probe(during, "Подождите, идет процесс чтения данных из контроллера");
    dialogs.fileNames.push_back("saved"); // the default extension is added
    btn("bSaveImage")->click();

    ASSERT_EQ(dialogs.records.size(), 1u);
    EXPECT_EQ(dialogs.records[0].kind, "save");
    EXPECT_EQ(dialogs.records[0].caption, "Выберите файл для записи образа контроллера");
    EXPECT_EQ(dialogs.records[0].text, kFilter);
    EXPECT_EQ(ReadBytes("saved.bin"), c.imageBytes());
    EXPECT_EQ(status(), "Образ контроллера успешно сохранен");
    expectAtRest();

    // While it ran: the label and the bar showed, the idle flag was clear, and
    // neither F3 nor the exit did anything.
    ASSERT_TRUE(during.seen);
    EXPECT_EQ(during.maximum, 58 + 890 + 24 + 313);
    EXPECT_FALSE(during.idle);
    EXPECT_EQ(during.numberAfterF3, 1);
    EXPECT_FALSE(during.closed);
    // At rest they work again.
    QTest::keyClick(ctl("mIdent"), Qt::Key_F3);
    EXPECT_EQ(state.controllerNumber, 3);
}

TEST_F(Images, ACancelledOrFailedSaveLeavesFilesAsTheyWere) {
    auto& c = begin();
    const std::string keep = "an older image";
    WriteTextFile("keep.bin", keep);

    // The dialog cancelled: no file, no message.
    btn("bSaveImage")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList({"save"}));
    EXPECT_FALSE(fs::exists("saved.bin"));
    expectAtRest();

    // The line goes quiet after the first block: the old file stays.
    dialogs.clear();
    DuringTransfer during;
    probe(during, "Подождите, идет процесс чтения данных из контроллера", [&c] {
        zelsim::Faults f;
        f.noAnswer = true;
        c.setFaults(f);
    });
    dialogs.fileNames.push_back("keep.bin");
    btn("bSaveImage")->click();
    ASSERT_TRUE(during.seen);
    EXPECT_EQ(ReadTextFile("keep.bin"), keep);
    EXPECT_EQ(status(), "Ошибка чтения образа из контроллера, файл не записан");
    EXPECT_TRUE(dialogs.messages().isEmpty());
    expectAtRest();
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_NE(e.path().filename().string().rfind(".startzel-", 0), 0u) << e.path();

    // A read-only file is left as it is, with the reason.
    c.setFaults({});
    dialogs.clear();
    fs::permissions("keep.bin", fs::perms::owner_read | fs::perms::group_read);
    dialogs.fileNames.push_back("keep.bin");
    btn("bSaveImage")->click();
    EXPECT_EQ(dialogs.messages(),
              QStringList({"Файл «keep.bin» доступен только для чтения: он оставлен как был"}));
    EXPECT_EQ(ReadTextFile("keep.bin"), keep);
    EXPECT_EQ(fs::status("keep.bin").permissions(), fs::perms::owner_read | fs::perms::group_read);
    fs::permissions("keep.bin", fs::perms::owner_all);
    expectAtRest();
    c.setFaults([] {
        zelsim::Faults f;
        f.noAnswer = true;
        return f;
    }());

    // No link at all: said before the file is chosen.
    dialogs.clear();
    btn("bSaveImage")->click();
    EXPECT_EQ(dialogs.messages(),
              QStringList({"Нет связи с устройством\nЕсли контроллер отвечает медленно, "
                           "увеличьте «Множитель таймаута» на вкладке «Основное меню»."}));
    EXPECT_EQ(dialogs.kinds(), QStringList({"message"}));
    expectAtRest();
}

TEST_F(Images, LoadTakesASnapshotWritesTheImageAndIdentifiesAgain) {
    auto& c = begin();
    Scribble(c, 1);
    const Bytes image = c.imageBytes();
    WriteBytes("img.bin", image);
    Scribble(c, 2);
    const Bytes previous = c.imageBytes();
    const int restarts = c.restartCount();
    journal::Install();

    DuringTransfer during;
    probe(during, "Подождите, идет процесс сохранения данных в контроллер");
    dialogs.fileNames.push_back("img.bin");
    btn("bLoadImage")->click();

    const std::vector<fs::path> snaps = snapshots();
    ASSERT_EQ(snaps.size(), 1u);
    EXPECT_EQ(ReadBytes(snaps[0]), previous);
    EXPECT_EQ(c.imageBytes(), image);
    EXPECT_EQ(c.restartCount(), restarts + 1);
    ASSERT_EQ(dialogs.kinds(), QStringList({"open", "okCancel", "message"}));
    EXPECT_EQ(dialogs.records[0].text, kFilter);
    EXPECT_EQ(dialogs.records[1].text, "Образ считан, записать его в контроллер");
    EXPECT_EQ(dialogs.records[2].text,
              "Образ записан в контроллер, контроллер перезапущен.\nЗаписанное прочитано "
              "из контроллера и совпадает.\nПрежнее содержимое контроллера сохранено в "
              "файл образа\n" +
                  QString::fromStdString(snaps[0].string()));
    EXPECT_EQ(dialogs.records[2].icon, Dialogs::Icon::Information);
    EXPECT_EQ(status(), "Образ успешно записан в контроллер");
    expectAtRest();
    ASSERT_TRUE(during.seen);
    EXPECT_EQ(during.maximum, 58 + 890 + 24 + 313 + 10);
    EXPECT_FALSE(during.idle);
    EXPECT_EQ(during.numberAfterF3, 1);
    EXPECT_FALSE(during.closed);

    // The repaint identifies the controller again.
    EXPECT_TRUE(WaitFor([&] { return status() == "Идентификатор считан"; }));

    // Every block written is in the journal with what it held before, then
    // its read-back, then the restart.
    const journal::Contents j = journal::ReadJournal(journal::JournalPath(false));
    ASSERT_EQ(j.records.size(), 25u + 25 + 1);
    for (size_t i = 25; i < 50; ++i)
        EXPECT_EQ(j.records[i].check, journal::Record::Check::Same) << i;
    for (size_t i = 0; i < 25; ++i) {
        EXPECT_TRUE(j.records[i].beforeKnown) << i;
        EXPECT_NE(j.records[i].before, j.records[i].after) << i;
    }
    EXPECT_EQ(j.records[0].before, Bytes(previous.begin() + 7, previous.begin() + 65));
}

TEST_F(Images, FilesAreRefusedBeforeAnyTraffic) {
    auto& c = begin();
    const Bytes usual = c.imageBytes();
    Bytes big = usual;
    big.resize(18433);
    WriteBytes("big.bin", big);
    WriteBytes("short.bin", Bytes(usual.begin(), usual.end() - 1));
    Bytes zero3 = usual;
    zero3[3] = 0;
    WriteBytes("zero3.bin", zero3);
    WriteBytes("tiny.bin", Bytes(usual.begin(), usual.begin() + 6));

    struct Case {
        const char* file;
        QString message; // empty: refused silently
    };
    const Case cases[] = {
        {"big.bin", "Файл «big.bin» больше 18432 байт: это не образ контроллера. Образ не записан"},
        {"short.bin",
         "Файл «short.bin» короче, чем указано в его заголовке (1291 байт вместо 1292). Образ не "
         "записан"},
        {"zero3.bin",
         "Файл «zero3.bin» не принят: в его заголовке размер h0, h3, h5 или h6 равен 0. Образ не "
         "записан"},
        {"tiny.bin",
         "Файл «tiny.bin» не является образом контроллера: он короче 7-байтового заголовка. Образ "
         "не записан"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.file);
        dialogs.clear();
        line.clearFrames();
        dialogs.fileNames.push_back(k.file);
        btn("bLoadImage")->click();
        EXPECT_EQ(dialogs.messages(), k.message.isEmpty() ? QStringList() : QStringList({k.message}));
        EXPECT_EQ(writes(), 0u);
        expectAtRest();
        // The repaint identifies again; then the function keys work.
        EXPECT_TRUE(WaitFor([&] { return !state.ReidentifyPending; }));
    }
    EXPECT_TRUE(snapshots().empty());
    QTest::keyClick(ctl("mIdent"), Qt::Key_F3);
    EXPECT_EQ(state.controllerNumber, 3);
    QTest::keyClick(ctl("mIdent"), Qt::Key_F1);
    ASSERT_TRUE(state.Identified);

    // The question answered with Cancel, the dialog cancelled, the password refused: nothing written.
    dialogs.clear();
    dialogs.fileNames.push_back("short.bin");
    WriteBytes("short.bin", usual);
    dialogs.answers.push_back(false);
    btn("bLoadImage")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList({"open", "okCancel"}));
    dialogs.clear();
    btn("bLoadImage")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList({"open"}));
    dialogs.clear();
    state.passwordStep = [] { return false; };
    btn("bLoadImage")->click();
    EXPECT_TRUE(dialogs.records.empty());
    EXPECT_EQ(writes(), 0u);
    EXPECT_TRUE(snapshots().empty());
    expectAtRest();
}

TEST_F(Images, AControllerThatCannotBeReadForASnapshotAsksFirst) {
    auto& c = begin();
    WriteBytes("img.bin", c.imageBytes());
    zelsim::Faults silent;
    silent.silentReadFrom = 0x2000; // the first channel's state registers never answer a read
    silent.silentReadTo = 0x2001;
    c.setFaults(silent);
    line.clearFrames();

    dialogs.fileNames.push_back("img.bin");
    dialogs.answers = {true, false};
    btn("bLoadImage")->click();
    ASSERT_EQ(dialogs.kinds(), QStringList({"open", "okCancel", "okCancel"}));
    EXPECT_EQ(dialogs.records[2].text,
              QString::fromStdString(image::SnapshotFailedQuestion({-1, {}, {}, {}}, false)));
    EXPECT_EQ(writes(), 0u);
    EXPECT_TRUE(snapshots().empty());

    // Answered OK: written, but the block that cannot be read back is named
    // and the load is no success.
    dialogs.clear();
    dialogs.fileNames.push_back("img.bin");
    btn("bLoadImage")->click();
    ASSERT_EQ(dialogs.messages().size(), 1);
    const QString text = dialogs.messages()[0];
    EXPECT_TRUE(text.contains("\nNozRegs[0]: не удалось считать для проверки")) << text.toStdString();
    EXPECT_TRUE(text.endsWith("\nСнимка нет: прежнее содержимое восстановить нельзя.")) << text.toStdString();
    EXPECT_EQ(dialogs.records.back().icon, Dialogs::Icon::Error);
    EXPECT_GT(writes(), 0u);
    EXPECT_NE(status(), "Образ успешно записан в контроллер");
    expectAtRest();

    // Sizes an image cannot be written with: said before any question or write.
    c.setFaults({});
    c.poke(0, kAddrSizes + 5, {0x90});
    line.clearFrames();
    dialogs.clear();
    dialogs.fileNames.push_back("img.bin");
    btn("bLoadImage")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList({"open", "okCancel", "message"}));
    EXPECT_EQ(dialogs.messages(),
              QStringList({"Образ не записан: не удалось считать размеры блоков контроллера "
                           "или они не подходят для записи образа."}));
    EXPECT_EQ(writes(), 0u);
    expectAtRest();
}

// A controller that acknowledges writes it does not keep: the read-back
// names what it holds otherwise, and the load is no success.
TEST_F(Images, TheReadBackCatchesAControllerThatDoesNotKeepWhatItAcknowledged) {
    auto& c = begin();
    Scribble(c, 1);
    WriteBytes("img.bin", c.imageBytes());
    Scribble(c, 2);
    const Bytes held = c.imageBytes();
    for (const bool lose : {true, false}) {
        SCOPED_TRACE(lose ? "lose" : "flip");
        zelsim::Faults f;
        (lose ? f.loseWrites : f.flipWrites) = true;
        c.setFaults(f);
        dialogs.clear();
        dialogs.fileNames.push_back("img.bin");
        btn("bLoadImage")->click();
        ASSERT_EQ(dialogs.kinds(), QStringList({"open", "okCancel", "message"}));
        const QString text = dialogs.records[2].text;
        EXPECT_TRUE(
            text.startsWith("Образ записан не полностью: контроллер хранит не то, что в него записано "
                            "(блоков с отличиями 25 из 25).\nПрочитано из контроллера после записи "
                            "(записано → считано):\nCtrlrParams "))
            << text.toStdString();
        EXPECT_TRUE(text.contains("\nПрежнее содержимое восстанавливается загрузкой файла образа\n" +
                                  QString::fromStdString(state_)))
            << text.toStdString();
        EXPECT_EQ(dialogs.records[2].icon, Dialogs::Icon::Error);
        EXPECT_NE(status(), "Образ успешно записан в контроллер");
        expectAtRest();
        if (lose) {
            EXPECT_EQ(c.imageBytes(), held);
        }
        EXPECT_TRUE(WaitFor([&] { return !state.ReidentifyPending; }));
    }
}

// An image saved from controller 5 loaded into controller 9: the engineer
// keeps this controller's addresses (the first answer) or takes the image's,
// and the working number follows the controller.
TEST_F(Images, AnImageFromAnotherControllerAsksWhoseAddressesToKeep) {
    auto& c = begin(9);
    auto sides = [&](uint8_t a, uint8_t b) {
        Bytes p = c.peek(0, CtrlrParams.address, CtrlrParams.length);
        p[2] = a;
        p[3] = b;
        p.back() = FrameChecksum(p.data(), p.size() - 1);
        c.poke(0, CtrlrParams.address, p);
    };
    sides(5, 6);
    WriteBytes("img.bin", c.imageBytes());
    sides(9, 10);
    const QString question =
        "Адреса сторон в образе (А - 5, Б - 6) не совпадают с адресами этого контроллера "
        "(А - 9, Б - 10).\nОставить адреса контроллера или взять адреса из образа? С адресами "
        "из образа контроллер после перезапуска будет отвечать по адресу 5.";

    // Cancelled: nothing written.
    dialogs.fileNames.push_back("img.bin");
    dialogs.choices = {2};
    btn("bLoadImage")->click();
    ASSERT_EQ(dialogs.kinds(), QStringList({"open", "okCancel", "choice"}));
    EXPECT_EQ(dialogs.records[2].text, question);
    EXPECT_EQ(dialogs.lastButtons,
              QStringList({"Оставить адреса контроллера", "Взять адреса из образа", "Отмена"}));
    EXPECT_EQ(c.writeCount(), 0);
    EXPECT_TRUE(WaitFor([&] { return !state.ReidentifyPending; }));

    // Kept: the controller stays at 9 with its own side addresses.
    dialogs.clear();
    dialogs.fileNames.push_back("img.bin");
    btn("bLoadImage")->click();
    ASSERT_EQ(dialogs.kinds(), QStringList({"open", "okCancel", "choice", "message"}));
    EXPECT_TRUE(dialogs.records[3].text.startsWith("Образ записан в контроллер, контроллер перезапущен."))
        << dialogs.records[3].text.toStdString();
    EXPECT_EQ(c.address(), 9);
    EXPECT_EQ(c.peek(0, CtrlrParams.address + 2, 2), (Bytes{9, 10}));
    EXPECT_EQ(image::ImageContentProblem(c.imageBytes()), "");
    EXPECT_EQ(state.controllerNumber, 9);
    EXPECT_TRUE(WaitFor([&] { return status() == "Идентификатор считан"; }));

    // Taken: it answers at 5 after the restart, and the program works with 5.
    dialogs.clear();
    dialogs.fileNames.push_back("img.bin");
    dialogs.choices = {1};
    btn("bLoadImage")->click();
    ASSERT_EQ(dialogs.kinds(), QStringList({"open", "okCancel", "choice", "message"}));
    EXPECT_TRUE(dialogs.records[3].text.contains("\nКонтроллер отвечает по адресу 5.\n"))
        << dialogs.records[3].text.toStdString();
    EXPECT_EQ(c.address(), 5);
    EXPECT_EQ(state.controllerNumber, 5);
    EXPECT_EQ(numberLabel(), "Работа с Адресом №5");
    EXPECT_TRUE(WaitFor([&] { return status() == "Идентификатор считан"; }));
    EXPECT_TRUE(state.Identified);

    // An image with this controller's own addresses asks nothing.
    dialogs.clear();
    dialogs.fileNames.push_back("img.bin");
    btn("bLoadImage")->click();
    EXPECT_EQ(dialogs.kinds(), QStringList({"open", "okCancel", "message"}));
}

TEST_F(Images, ASettingsSaveIsJournalledWithTheBlockAsRead) {
    auto& c = begin();
    journal::Install();
    auto* tabs = ctl<QTabWidget>("TabSetts");
    tabs->setCurrentWidget(ctl("TabCtrlrSetts"));
    btn("bGetParam")->click();
    ASSERT_EQ(status(), "Параметры успешно считаны");
    const Bytes asRead = c.peek(0, CtrlrParams.address, 58);

    auto* e = ctl<QLineEdit>("eSlowLoad");
    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason), out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(e, &in);
    e->selectAll();
    QTest::keyClicks(e, "500");
    QApplication::sendEvent(e, &out);
    btn("bSetParam")->click();
    ASSERT_EQ(c.peek(0, CtrlrParams.address + 25, 1), Bytes{5});

    const journal::Contents j = journal::ReadJournal(journal::JournalPath(false));
    ASSERT_GE(j.records.size(), 1u);
    const journal::Record& r = j.records[0];
    EXPECT_EQ(r.address, CtrlrParams.address);
    EXPECT_EQ(r.ctrl, 1);
    ASSERT_TRUE(r.beforeKnown);
    EXPECT_EQ(r.before, asRead);
    QStringList changes;
    for (const auto& d : image::DiffBlock("CtrlrParams", 0, r.before.data(), 58, r.after.data(), 58))
        changes << QString::fromStdString(image::DifferenceLine(d));
    // The tab also clears the Nara addresses past the nozzles in use.
    ASSERT_EQ(changes.size(), 4) << changes.join("\n").toStdString();
    EXPECT_EQ(changes.mid(0, 3),
              QStringList({"CtrlrParams NaraAddr[8]: 9 → 0", "CtrlrParams NaraAddr[9]: 10 → 0",
                           "CtrlrParams SlowLoad: 300 → 500"}));
    EXPECT_TRUE(changes[3].startsWith("CtrlrParams Checksum: ")) << changes[3].toStdString();
}

} // namespace
