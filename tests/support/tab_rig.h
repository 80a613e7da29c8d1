// What every tab and form test stands on: a virtual controller at address 1,
// the line to it over a pseudo-terminal, the working state, scripted dialogs
// and a small frame (number label, tab widget with the main tab, status line)
// as the main window has them. The rigs of the tab families add their tabs.
#pragma once

#include "block_tab.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "qt_test_helpers.h"
#include "scripted_dialogs.h"
#include "test_frame.h"
#include "virtual_controller.h"
#include "working_state.h"

#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <memory>
#include <string>

class TabRig : public ::testing::Test {
protected:
    zelsim::Line line;
    zelsim::VirtualController* c = nullptr;
    std::unique_ptr<zelsim::PtyTransport> pty;
    std::unique_ptr<zelsim::TcpTransport> server;
    WorkingState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<QWidget> frame;
    std::unique_ptr<TestFrame> testFrame;
    QStatusBar* sb = nullptr;
    QLabel* number = nullptr;
    QTabWidget* tabs = nullptr;
    QWidget* identPage = nullptr;

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
        if (server) server->stop();
    }

    // The line on a pty, talking to the controller at `controller`.
    void openLine(int controller = 1, bool identified = true) {
        pty = std::make_unique<zelsim::PtyTransport>(line);
        ASSERT_TRUE(pty->start());
        ASSERT_EQ(PortOpen(&state.portHandle, pty->slavePath().c_str()), 0);
        state.controllerNumber = controller;
        state.Identified = identified;
    }
    // The line through a serial server on a loopback socket instead, paced at
    // `baud` and the port set to it. A pseudo-terminal hands bytes on through a
    // kernel worker, late on a busy machine, so a controller timing the quiet
    // line between frames would see gaps shorter than the program kept.
    void openServerLine(int baud) {
        if (state.portHandle) PortClose(state.portHandle);
        state.portHandle = 0;
        if (pty) pty->stop();
        server = std::make_unique<zelsim::TcpTransport>(line, baud);
        ASSERT_TRUE(server->start());
        const std::string name = "TCPC_127.0.0.1:" + std::to_string(server->port());
        ASSERT_EQ(PortOpen(&state.portHandle, name.c_str()), 0);
        ASSERT_EQ(U_xxx(state.portHandle, static_cast<uint32_t>(baud), 8, 'N', 1), 0);
    }
    // The frame, with the objectNames the main window gives its parts.
    void buildFrame() {
        frame = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(frame.get());
        number = new QLabel(frame.get());
        number->setObjectName("lNumberCtrlr");
        tabs = new QTabWidget(frame.get());
        tabs->setObjectName("TabSetts");
        identPage = new QWidget;
        identPage->setObjectName("TabIdent");
        tabs->addTab(identPage, "Основное меню");
        sb = new QStatusBar(frame.get());
        sb->setObjectName("SB");
        layout->addWidget(number);
        layout->addWidget(tabs, 1);
        layout->addWidget(sb);
        testFrame = std::make_unique<TestFrame>(state, sb, number, tabs, identPage);
    }
    TabContext context() { return TabContext{state, dialogs, *testFrame}; }

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
    // Chooses an item as the engineer would.
    static void choose(QComboBox* cb, int index) {
        cb->setCurrentIndex(index);
        emit cb->activated(index);
    }
};
