// The three channel tabs in a small frame (status line, tab widget with the
// main tab) on a virtual controller over a pseudo-terminal, scripted dialogs.
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
    QWidget* identPage = new QWidget;
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
        frame = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(frame.get());
        tabs = new QTabWidget(frame.get());
        tabs->addTab(identPage, "Основное меню");
        sb = new QStatusBar(frame.get());
        testFrame = std::make_unique<TestFrame>(state, sb, new QLabel(frame.get()), tabs, identPage);
        const TabContext context{state, dialogs, *testFrame};
        for (BlockTab* t : std::initializer_list<BlockTab*>{regs = new NozRegsTab(context),
                           setts = new NozSettsTab(context), sides = new SidesTab(context)})
            tabs->addTab(t, t->objectName());
        layout->addWidget(tabs);
        layout->addWidget(sb);
        frame->show();
    }
    void TearDown() override {
        frame.reset();
        if (state.portHandle) PortClose(state.portHandle);
        if (pty) pty->stop();
    }

    // The parameter block with these sides and hoses a side, read as the settings tab reads it.
    void loadParams(uint8_t sidesCount = 2, uint8_t hoses = 4) {
        std::vector<uint8_t> p = mem(CtrlrParams.address, CtrlrParams.length);
        p[4] = hoses;
        p[5] = sidesCount;
        p.back() = FrameChecksum(p.data(), p.size() - 1);
        c->poke(0, CtrlrParams.address, p);
        ASSERT_EQ(ReadParamCtrlr(state, dialogs), 1);
        state.ParamsLoaded = true;
        dialogs.clear();
    }
    void show(BlockTab* tab) {
        tabs->setCurrentWidget(tab);
        tab->tabShown();
    }

    std::vector<uint8_t> mem(uint32_t address, size_t n) const { return c->peek(0, address, n); }
    std::vector<uint8_t> regsOf(int ch, size_t n = NozRegs.length) const {
        return mem(ChannelAddress(NozRegs, ch), n);
    }
    std::vector<uint8_t> settsOf(int ch, size_t n = NozSetts.length) const {
        return mem(ChannelAddress(NozSetts, ch), n);
    }
    // Reads of this block of memory get no answer (no range: every fault off).
    void unreadable(uint32_t from = 0, int length = 0) {
        zelsim::Faults f;
        f.unreadableFrom = from;
        f.unreadableTo = from + static_cast<uint32_t>(length);
        c->setFaults(f);
    }

    template <class T = QWidget> T* ctl(const char* name) const {
        T* w = frame->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* edit(const char* name) const { return ctl<QLineEdit>(name); }
    QComboBox* combo(const char* name) const { return ctl<QComboBox>(name); }
    QString status() const { return sb->currentMessage(); }

    static void focus(QWidget* w, QEvent::Type type) {
        QFocusEvent e(type, Qt::OtherFocusReason);
        QApplication::sendEvent(w, &e);
    }
    // Enters the box, types the text as the engineer would and leaves it.
    void type(const char* box, const QString& text) const {
        QLineEdit* e = edit(box);
        focus(e, QEvent::FocusIn);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
        focus(e, QEvent::FocusOut);
    }
    // Chooses an item as the engineer would.
    void choose(const char* name, int index) const {
        QComboBox* cb = combo(name);
        cb->setCurrentIndex(index);
        emit cb->activated(index);
    }
    bool marked(const char* box) const { return FieldCheck::marked(edit(box)) && FieldCheck::red(edit(box)); }
};
