// The tools' forms in a small frame (status line, number label, main tab),
// talking to a virtual controller over a pseudo-terminal or to the demo
// image, with scripted dialogs. Snapshots go to a folder of the test's own.
#pragma once

#include "../gui/gui_rig.h"
#include "block_transfer.h"
#include "def_set_form.h"
#include "demo_image.h"
#include "global_setts_form.h"
#include "port_layer.h"
#include "test_frame.h"
#include "view_param_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QProgressBar>
#include <QTableWidget>
#include <QVBoxLayout>
#include <filesystem>

class FormsRig : public ::testing::Test {
protected:
    zelsim::Line line;
    zelsim::VirtualController* c = nullptr;
    std::unique_ptr<zelsim::PtyTransport> pty;
    WorkingState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<QWidget> frame;
    std::unique_ptr<TestFrame> testFrame;
    QStatusBar* sb = nullptr;
    QLabel* number = nullptr;
    std::string stateHome;

    static void SetUpTestSuite() {
        TestApp();
        PortLayerStart();
    }
    static void TearDownTestSuite() { PortLayerStop(); }

    void SetUp() override {
        ResetProtocolState();
        ReleaseDemoImage();
        c = &line.addController(1);
        stateHome = std::filesystem::absolute("state").string();
        std::filesystem::remove_all(stateHome);
        std::filesystem::remove_all("startzel-demo");
        setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
    }
    void TearDown() override {
        frame.reset();
        if (state.portHandle) PortClose(state.portHandle);
        if (pty) pty->stop();
        ReleaseDemoImage();
        ResetProtocolState();
    }

    void buildFrame() {
        frame = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(frame.get());
        number = new QLabel(frame.get());
        auto* tabs = new QTabWidget(frame.get());
        auto* ident = new QWidget;
        tabs->addTab(ident, "Основное меню");
        sb = new QStatusBar(frame.get());
        layout->addWidget(number);
        layout->addWidget(tabs);
        layout->addWidget(sb);
        testFrame = std::make_unique<TestFrame>(state, sb, number, tabs, ident);
        frame->show();
    }
    // The line on a pty, the controller at `controller`.
    void open(int controller = 1) {
        pty = std::make_unique<zelsim::PtyTransport>(line);
        ASSERT_TRUE(pty->start());
        ASSERT_EQ(PortOpen(&state.portHandle, pty->slavePath().c_str()), 0);
        state.controllerNumber = controller;
        state.Identified = true;
        buildFrame();
    }
    // Demo mode on demo_trk.bin holding the virtual controller's memory
    // (nothing written when `withFile` is false).
    void openDemo(bool withFile = true) {
        ::unlink("demo_trk.bin");
        if (withFile) {
            const auto bytes = c->demoImageBytes();
            WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
            ASSERT_EQ(LoadDemoImage("demo_trk.bin"), 1);
        }
        state.demo = true;
        Protocol().demoMode = true;
        state.controllerNumber = 1;
        buildFrame();
    }
    TabContext context() { return TabContext{state, dialogs, *testFrame}; }
    template <class Form> Form* show() {
        auto* f = new Form(context(), frame.get());
        f->show();
        QCoreApplication::processEvents();
        return f;
    }

    template <class T = QWidget> static T* ctl(QWidget* form, const char* name) {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void focus(QWidget* w, QEvent::Type type) {
        QFocusEvent e(type, Qt::OtherFocusReason);
        QApplication::sendEvent(w, &e);
    }
    // Enters a box, puts the text in as typed and leaves it.
    static void type(QLineEdit* e, const QString& text) {
        focus(e, QEvent::FocusIn);
        e->setText(text);
        emit e->textEdited(text);
        focus(e, QEvent::FocusOut);
    }
    static void choose(QComboBox* cb, int index) {
        cb->setCurrentIndex(index);
        emit cb->activated(index);
    }
    std::vector<uint8_t> regs(int n) const { return c->peek(0, ChannelAddress(NozRegs, n), NozRegs.length); }
    std::vector<uint8_t> params() const { return c->peek(0, CtrlrParams.address, CtrlrParams.length); }
    QString lastMessage() const {
        return dialogs.messages().isEmpty() ? QString() : dialogs.messages().last();
    }
};
