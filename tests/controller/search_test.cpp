// The controller search driving a main tab's buttons, list and timer.
#include "settings_rig.h"

#include "controller_search.h"

#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>

namespace {

class Search : public SettingsRig {
protected:
    std::unique_ptr<QWidget> main;
    QTimer* timer = nullptr;
    QPlainTextEdit* list = nullptr;
    ControllerSearch* search = nullptr;
    const QStringList names{"bCallIdent", "bSimImp",    "bGlobalSet",  "bGlobalDefaultSet",
                            "bReset",     "bSaveImage", "bLoadImage",  "bReservCall",
                            "bLoadFisk",  "bFindCtrlr", "bSaveStation"};

    void build() {
        open();
        main = std::make_unique<QWidget>();
        for (const QString& n : names) {
            auto* b = new QPushButton(n, main.get());
            b->setObjectName(n);
        }
        list = new QPlainTextEdit(main.get());
        list->setObjectName("mIdent");
        timer = new QTimer(main.get());
        timer->setInterval(1);
        search = new ControllerSearch(state, dialogs, main.get(), timer, main.get());
    }
    QPushButton* button(const QString& n) const { return main->findChild<QPushButton*>(n); }
};

} // namespace

TEST_F(Search, FullSearchListsEveryAddressAndRestoresTheButtons) {
    line.addController(17);
    build();
    button("bSimImp")->setEnabled(false);
    button("bLoadFisk")->setEnabled(false);
    list->setPlainText("old text");
    line.clearFrames();
    search->bFindCtrlrClick();
    EXPECT_TRUE(list->toPlainText().isEmpty());
    for (const char* n : {"bCallIdent", "bReset", "bLoadImage", "bReservCall"})
        EXPECT_FALSE(button(n)->isEnabled()) << n;
    EXPECT_TRUE(button("bFindCtrlr")->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !search->running(); }, 30000));
    const QStringList lines = list->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 31);
    EXPECT_EQ(lines[0], "Трк №1 найдено.");
    EXPECT_EQ(lines[1], "Трк №2 не найдено.");
    EXPECT_EQ(lines[16], "Трк №17 найдено.");
    EXPECT_EQ(lines[30], "Трк №31 не найдено.");
    for (const QString& n : names)
        EXPECT_EQ(button(n)->isEnabled(), n != "bSimImp" && n != "bLoadFisk") << n.toStdString();
    ASSERT_EQ(search->found().size(), 2u);
    EXPECT_EQ(search->found()[1].address, 17);
    // Only addresses 1..31 were asked; the reserve address never.
    for (const auto& f : line.frames())
        if (f.kind == zelsim::FrameKind::Command && f.bytes.size() > 2 && f.bytes[2] == 0x21) {
            EXPECT_GE(f.bytes[1], 1);
            EXPECT_LE(f.bytes[1], 31);
        }
    EXPECT_EQ(state.controllerNumber, 1);
}

TEST_F(Search, SecondPressStopsAndRestores) {
    build();
    button("bReset")->setEnabled(false);
    search->bFindCtrlrClick();
    ASSERT_TRUE(WaitFor([&] { return list->toPlainText().split('\n').size() >= 3; }));
    search->bFindCtrlrClick();
    EXPECT_FALSE(search->running());
    EXPECT_TRUE(list->toPlainText().isEmpty());
    EXPECT_FALSE(button("bReset")->isEnabled());
    EXPECT_TRUE(button("bCallIdent")->isEnabled());
    EXPECT_TRUE(button("bLoadFisk")->isEnabled());
}

// After a search, every controller found is saved into the folder chosen, as
// the command line's station save does; a controller that cannot be read is named.
TEST_F(Search, SaveAllFoundWritesTheStationFolder) {
    line.addController(5);
    zelsim::Faults f;
    f.silentReadFrom = 0x1000;
    f.silentReadTo = 0x1001;
    line.controller(5)->setFaults(f);
    build();
    button("bSaveStation")->setEnabled(false);
    search->bFindCtrlrClick();
    EXPECT_FALSE(button("bSaveStation")->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return !search->running(); }, 30000));
    ASSERT_TRUE(button("bSaveStation")->isEnabled());
    const QString folder = QDir::current().absoluteFilePath("station");
    QDir(folder).removeRecursively();
    dialogs.fileNames.push_back(folder);
    button("bSaveStation")->click();
    EXPECT_EQ(dialogs.records.back().kind, "message");
    EXPECT_EQ(dialogs.messages().last(),
              "Сохранено контроллеров: 1 из 2 в папку " + folder + ". Не сохранены: 5");
    EXPECT_TRUE(list->toPlainText().endsWith("Трк №1: сохранен в ctrl-01.bin\nТрк №5: не сохранен"))
        << list->toPlainText().toStdString();
    EXPECT_TRUE(QFile::exists(folder + "/ctrl-01.bin"));
    EXPECT_FALSE(QFile::exists(folder + "/ctrl-05.bin"));
    EXPECT_TRUE(QFile::exists(folder + "/station.json"));
    // A cancelled folder dialog saves nothing.
    const auto shown = dialogs.records.size();
    button("bSaveStation")->click();
    EXPECT_EQ(dialogs.records.size(), shown + 1);
    EXPECT_EQ(dialogs.records.back().kind, "folder");
}
