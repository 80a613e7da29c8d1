// The two settings tabs in a small frame (status line SB, lNumberCtrlr and a
// tab widget with the main tab), talking to a virtual controller over a
// pseudo-terminal with scripted dialogs.
#pragma once

#include "../gui/gui_rig.h"
#include "adv_settings_tab.h"
#include "block_transfer.h"
#include "checksum.h"
#include "ctrl_params_tab.h"
#include "field_check.h"
#include "port_layer.h"
#include "test_frame.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>
#include <QVBoxLayout>

class SettingsRig : public ::testing::Test {
protected:
    zelsim::Line line;
    zelsim::VirtualController* c = nullptr;
    std::unique_ptr<zelsim::PtyTransport> pty;
    WorkingState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<QWidget> frame;
    std::unique_ptr<TestFrame> testFrame;
    QStatusBar* sb = nullptr;
    QTabWidget* tabs = nullptr;
    QLabel* number = nullptr;
    CtrlParamsTab* tab = nullptr;
    AdvSettingsTab* adv = nullptr;

    static void SetUpTestSuite() {
        TestApp();
        PortLayerStart();
    }
    static void TearDownTestSuite() { PortLayerStop(); }

    void SetUp() override {
        ResetProtocolState();
        c = &line.addController(1);
    }
    void TearDown() override {
        frame.reset();
        if (state.portHandle) PortClose(state.portHandle);
        if (pty) pty->stop();
    }

    // Opens the line and builds the frame with both tabs.
    void open(int controller = 1) {
        pty = std::make_unique<zelsim::PtyTransport>(line);
        ASSERT_TRUE(pty->start());
        ASSERT_EQ(PortOpen(&state.portHandle, pty->slavePath().c_str()), 0);
        state.portSettings.baud = 4800;
        state.portSettings.dataBits = 8;
        state.portSettings.parity = 'N';
        state.portSettings.stopCode = 0;
        state.controllerNumber = controller;
        state.Identified = true;
        state.DeviceType = 0x21;
        frame = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(frame.get());
        number = new QLabel(frame.get());
        number->setObjectName("lNumberCtrlr");
        tabs = new QTabWidget(frame.get());
        tabs->setObjectName("TabSetts");
        auto* ident = new QWidget;
        ident->setObjectName("TabIdent");
        tabs->addTab(ident, "Основное меню");
        sb = new QStatusBar(frame.get());
        sb->setObjectName("SB");
        testFrame = std::make_unique<TestFrame>(state, sb, number, tabs, ident);
        const TabContext context{state, dialogs, *testFrame};
        tab = new CtrlParamsTab(context, frame.get());
        adv = new AdvSettingsTab(context, frame.get());
        tabs->addTab(tab, "Настройки контроллера");
        tabs->addTab(adv, "Доп настройки");
        layout->addWidget(number);
        layout->addWidget(tabs);
        layout->addWidget(sb);
        frame->resize(1000, 700);
        frame->show();
        tabs->setCurrentWidget(tab);
    }

    // The parameter block in the controller with the given bytes changed and
    // its checksum renewed (length: the length byte at 0x3100).
    void setParams(std::initializer_list<std::pair<int, uint8_t>> bytes, int length = 58) {
        std::vector<uint8_t> p = c->peek(0, CtrlrParams.address, static_cast<size_t>(length));
        for (auto [at, v] : bytes)
            p[static_cast<size_t>(at)] = v;
        p.back() = FrameChecksum(p.data(), p.size() - 1);
        c->poke(0, kAddrParamLength, {static_cast<uint8_t>(length)});
        c->poke(0, CtrlrParams.address, p);
    }
    std::vector<uint8_t> params(int length = 58) const {
        return c->peek(0, CtrlrParams.address, static_cast<size_t>(length));
    }

    template <class T = QWidget> T* ctl(const char* name) const {
        T* w = frame->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* edit(const char* name) const { return ctl<QLineEdit>(name); }
    QComboBox* combo(const char* name) const { return ctl<QComboBox>(name); }
    QTableWidget* grid(const char* name) const { return ctl<QTableWidget>(name); }
    QString status() const { return sb->currentMessage(); }

    static void focus(QWidget* w, QEvent::Type type) {
        QFocusEvent e(type, Qt::OtherFocusReason);
        QApplication::sendEvent(w, &e);
    }
    // Enters the box, types the text as the engineer would and leaves it.
    static void type(QLineEdit* e, const QString& text) {
        focus(e, QEvent::FocusIn);
        e->selectAll();
        if (text.isEmpty())
            QTest::keyClick(e, Qt::Key_Backspace);
        else
            QTest::keyClicks(e, text);
        focus(e, QEvent::FocusOut);
    }
    // Leaves the box without editing it.
    static void visit(QWidget* w) {
        focus(w, QEvent::FocusIn);
        focus(w, QEvent::FocusOut);
    }
    // Writes a cell (the last row) and leaves the grid.
    static void setCell(QTableWidget* t, int column, const QString& text) {
        focus(t, QEvent::FocusIn);
        t->item(t->rowCount() - 1, column)->setText(text);
        focus(t, QEvent::FocusOut);
    }
    // Width of a grid of n cells: each cell holds three digits whole.
    static int gridWidth(QTableWidget* t, int n) {
        const int cell = t->columnWidth(0);
        EXPECT_GE(cell, 22);
        EXPECT_GE(cell, t->fontMetrics().horizontalAdvance("255") + 6) << "three digits would be elided";
        return n * (cell + 1) + 1;
    }
    static QStringList cells(QTableWidget* t) {
        QStringList out;
        for (int j = 0; j < t->columnCount(); ++j)
            out << t->item(t->rowCount() - 1, j)->text();
        return out;
    }
    // Chooses an item as the engineer would.
    static void choose(QComboBox* cb, int index) {
        cb->setCurrentIndex(index);
        emit cb->activated(index);
    }
    void read() { tab->bGetParamClick(); }
    void save() { tab->bSetParamClick(); }
};
