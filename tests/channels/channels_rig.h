// The three channel tabs in a small frame (status line SB, lNumberCtrlr and
// a tab widget with the main tab), talking to a virtual controller over a
// pseudo-terminal with scripted dialogs.
#pragma once

#include "../gui/gui_rig.h"
#include "block_transfer.h"
#include "field_binder.h"
#include "field_check.h"
#include "little_endian.h"
#include "noz_regs_tab.h"
#include "noz_setts_tab.h"
#include "port_layer.h"
#include "shared_blocks.h"
#include "sides_tab.h"
#include "test_frame.h"

#include <QTest>
#include <QVBoxLayout>

class ChannelsRig : public ::testing::Test {
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
    QWidget* identPage = nullptr;
    NozRegsTab* regs = nullptr;
    NozSettsTab* setts = nullptr;
    SidesTab* sides = nullptr;

    static void SetUpTestSuite() {
        TestApp();
        PortLayerStart();
    }
    static void TearDownTestSuite() { PortLayerStop(); }

    void SetUp() override {
        ResetProtocolState();
        c = &line.addController(1);
        pty = std::make_unique<zelsim::PtyTransport>(line);
        ASSERT_TRUE(pty->start());
        ASSERT_EQ(PortOpen(&state.portHandle, pty->slavePath().c_str()), 0);
        state.controllerNumber = 1;
        state.Identified = true;
        frame = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(frame.get());
        auto* number = new QLabel(frame.get());
        tabs = new QTabWidget(frame.get());
        identPage = new QWidget;
        identPage->setObjectName("TabIdent");
        tabs->addTab(identPage, "Основное меню");
        sb = new QStatusBar(frame.get());
        testFrame = std::make_unique<TestFrame>(state, sb, number, tabs, identPage);
        const TabContext context{state, dialogs, *testFrame};
        regs = new NozRegsTab(context);
        setts = new NozSettsTab(context);
        sides = new SidesTab(context);
        tabs->addTab(regs, "Сост канала");
        tabs->addTab(setts, "Настройки канала");
        tabs->addTab(sides, "Настройка стороны");
        layout->addWidget(number);
        layout->addWidget(tabs);
        layout->addWidget(sb);
        frame->resize(800, 600);
        frame->show();
    }
    void TearDown() override {
        frame.reset();
        if (state.portHandle) PortClose(state.portHandle);
        if (pty) pty->stop();
    }

    // The parameter block with the given sides and hoses a side, read as the
    // settings tab reads it.
    void loadParams(uint8_t sidesCount = 2, uint8_t hoses = 4) {
        std::vector<uint8_t> p = c->peek(0, CtrlrParams.address, CtrlrParams.length);
        p[4] = hoses;
        p[5] = sidesCount;
        p.back() = FrameChecksum(p.data(), p.size() - 1);
        c->poke(0, CtrlrParams.address, p);
        ASSERT_EQ(ReadParamCtrlr(state, dialogs), 1);
        state.ParamsLoaded = true;
        dialogs.clear();
    }
    // Makes a tab current: its show handler runs.
    void show(BlockTab* tab) {
        tabs->setCurrentWidget(tab);
        tab->tabShown();
    }

    std::vector<uint8_t> mem(uint32_t address, size_t n) const { return c->peek(0, address, n); }
    std::vector<uint8_t> regsOf(int channel, size_t n = NozRegs.length) const {
        return mem(ChannelAddress(NozRegs, channel), n);
    }
    std::vector<uint8_t> settsOf(int channel, size_t n = NozSetts.length) const {
        return mem(ChannelAddress(NozSetts, channel), n);
    }
    void setFaults(const zelsim::Faults& f) { c->setFaults(f); }

    template <class T = QWidget> T* ctl(const char* name) const {
        T* w = frame->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* edit(const char* name) const { return ctl<QLineEdit>(name); }
    QComboBox* combo(const char* name) const { return ctl<QComboBox>(name); }
    QPushButton* button(const char* name) const { return ctl<QPushButton>(name); }
    QString status() const { return sb->currentMessage(); }

    static void focus(QWidget* w, QEvent::Type type) {
        QFocusEvent e(type, Qt::OtherFocusReason);
        QApplication::sendEvent(w, &e);
    }
    // Enters the box, types the text as the engineer would and leaves it.
    static void type(QLineEdit* e, const QString& text) {
        focus(e, QEvent::FocusIn);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
        focus(e, QEvent::FocusOut);
    }
    // Leaves the widget without editing it.
    static void visit(QWidget* w) {
        focus(w, QEvent::FocusIn);
        focus(w, QEvent::FocusOut);
    }
    // Chooses an item as the engineer would.
    static void choose(QComboBox* cb, int index) {
        cb->setCurrentIndex(index);
        emit cb->activated(index);
    }
    static bool marked(QWidget* w) { return FieldCheck::marked(w) && FieldCheck::red(w); }
};
