// The port settings dialog offers a USB adapter by its stable /dev/serial/by-id
// name with the short tty name beside it, and com.ini keeps the name chosen.
#include "com_ini.h"
#include "com_setting.h"
#include "port_layer.h"
#include "qt_test_helpers.h"
#include "scripted_dialogs.h"
#include "virtual_controller.h"
#include "working_state.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <stdlib.h>

namespace fs = std::filesystem;

namespace {

class ByIdDialog : public ::testing::Test {
protected:
    void SetUp() override {
        TestApp();
        // A short root: com.ini must hold the whole stable name.
        char dir[] = "/tmp/zbi.XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        root = dir;
        fs::create_directories(root / "by-id");
        PortSetSysfsRoot((root / "sys").string());
        PortSetByIdRoot((root / "by-id").string());
        PortLayerStart();
        ASSERT_TRUE(pty.start());
        // The simulator's pty stands in for a USB adapter: its tty entry and its
        // by-id link, which resolves to the pty itself.
        ptyTty = fs::path(pty.slavePath()).filename().string();
        AddTty("ttyS0");
        AddTty(ptyTty);
        byIdPath = (root / "by-id" / "usb-SZ_0042-if00-port0").string();
        fs::create_symlink(pty.slavePath(), byIdPath);
    }
    void TearDown() override {
        if (state.portHandle) PortClose(state.portHandle);
        PortLayerStop();
        PortSetSysfsRoot("/sys");
        PortSetByIdRoot("/dev/serial/by-id");
        fs::remove_all(root);
        std::remove("com.ini");
    }
    void AddTty(const std::string& name) {
        fs::create_directories(root / "sys" / "class" / "tty" / name / "device");
    }
    // Each row of the list: its name and the text beside it.
    std::vector<std::pair<QString, QString>> Rows(QComboBox* cb) {
        std::vector<std::pair<QString, QString>> rows;
        const QAbstractItemModel* m = cb->model();
        for (int r = 0; r < m->rowCount(); ++r)
            rows.emplace_back(m->index(r, 0).data().toString(), m->index(r, 1).data().toString());
        return rows;
    }

    fs::path root;
    zelsim::Line line;
    zelsim::PtyTransport pty{line};
    std::string ptyTty, byIdPath;
    WorkingState state;
    ScriptedDialogs dialogs;
};

TEST_F(ByIdDialog, ListsStableNamesSelectsThemFromOldFilesAndKeepsTheChoice) {
    line.addController(1);
    // A com.ini written before stable names: the device path finds the adapter's
    // row. (The pty's short name is a bare number, which com.ini would read as
    // a COM number, so the file names it by its /dev path.)
    std::ofstream("com.ini") << "/dev/" << ptyTty << " 0 9600 0 1 0 8 N 1";
    TComSetting d(state, dialogs);
    d.FormShow();
    auto* cb = d.findChild<QComboBox*>("cbComNumber");
    ASSERT_NE(cb, nullptr);
    const auto rows = Rows(cb);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(std::find(rows.begin(), rows.end(), std::make_pair(QString("ttyS0"), QString())), rows.end());
    EXPECT_NE(std::find(rows.begin(), rows.end(),
                        std::make_pair(QString::fromStdString(byIdPath), QString::fromStdString(ptyTty))),
              rows.end());
    EXPECT_EQ(cb->currentText().toStdString(), byIdPath);

    // Applying opens the port through the link and keeps the stable name.
    d.findChild<QPushButton*>("SaveParam")->click();
    EXPECT_EQ(dialogs.records.size(), 0u) << dialogs.records.front().text.toStdString();
    EXPECT_NE(state.portHandle, 0);
    EXPECT_EQ(ReadTextFile("com.ini"), byIdPath + " 0 9600 0 1 0 8 N 1");

    // Shown again, the stable name is selected as it stands.
    PortClose(state.portHandle);
    state.portHandle = 0;
    d.FormShow();
    EXPECT_EQ(cb->currentText().toStdString(), byIdPath);
    EXPECT_EQ(state.portSettings.name, byIdPath);
}

TEST_F(ByIdDialog, NameTooLongForComIniIsNotOffered) {
    fs::remove(byIdPath);
    // A file name the file system takes (250 bytes) in a path longer than com.ini keeps.
    const std::string tooLong =
        "usb-" + std::string(static_cast<size_t>(kComNameMax) - 20, 'x') + "-if00-port0";
    ASSERT_GT((root / "by-id" / tooLong).string().size(), static_cast<size_t>(kComNameMax));
    fs::create_symlink(pty.slavePath(), root / "by-id" / tooLong);
    TComSetting d(state, dialogs);
    d.FormShow();
    const auto rows = Rows(d.findChild<QComboBox*>("cbComNumber"));
    EXPECT_NE(std::find(rows.begin(), rows.end(), std::make_pair(QString::fromStdString(ptyTty), QString())),
              rows.end())
        << "the short name stands alone rather than a stable name com.ini would cut";
}

} // namespace

namespace {

// The echo and RS-485 boxes: read from line.ini beside com.ini, applied to the
// port on "Установить" and kept there, com.ini keeping its own format. A pty has
// no kernel RS-485: the port opens all the same and the dialog says so.
TEST_F(ByIdDialog, EchoAndRs485BoxesLiveInLineIni) {
    line.addController(1);
    std::remove("line.ini");
    std::ofstream("com.ini") << pty.slavePath() << " 0 9600 0 1 0 8 N 1";
    TComSetting d(state, dialogs);
    d.FormShow();
    auto* echo = d.findChild<QCheckBox*>("cbEcho");
    auto* rs485 = d.findChild<QCheckBox*>("cbRs485");
    ASSERT_NE(echo, nullptr);
    ASSERT_NE(rs485, nullptr);
    EXPECT_EQ(echo->text(), "Адаптер возвращает отправленные байты (эхо)");
    EXPECT_EQ(rs485->text(), "RS-485 средствами порта (RTS при передаче)");
    EXPECT_FALSE(echo->isChecked()); // no line.ini: both off
    EXPECT_FALSE(rs485->isChecked());

    echo->setChecked(true);
    d.findChild<QPushButton*>("SaveParam")->click();
    EXPECT_EQ(dialogs.records.size(), 0u);
    ASSERT_NE(state.portHandle, 0);
    EXPECT_TRUE(PortEchoOf(state.portHandle));
    EXPECT_EQ(ReadTextFile("line.ini"), "; port settings beside com.ini\necho=1\nrs485=0\n");
    EXPECT_EQ(ReadTextFile("com.ini"), pty.slavePath() + " 0 9600 0 1 0 8 N 1");

    PortClose(state.portHandle);
    state.portHandle = 0;
    d.FormShow();
    EXPECT_TRUE(echo->isChecked());
    rs485->setChecked(true);
    d.findChild<QPushButton*>("SaveParam")->click();
    ASSERT_EQ(dialogs.records.size(), 1u);
    EXPECT_EQ(dialogs.records[0].text.toStdString(), "Порт не поддерживает режим RS-485 средствами порта");
    EXPECT_NE(state.portHandle, 0);
    EXPECT_EQ(ReadTextFile("line.ini"), "; port settings beside com.ini\necho=1\nrs485=1\n");
    std::remove("line.ini");
}

} // namespace
