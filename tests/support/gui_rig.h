// A main window on the offscreen platform, talking to a virtual controller
// over a pseudo-terminal, with scripted dialogs.
#pragma once

#include "ident_tab.h"
#include "main_window.h"
#include "protocol_state.h"
#include "qt_test_helpers.h"
#include "scripted_dialogs.h"
#include "virtual_controller.h"
#include "working_state.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <unistd.h>

class GuiRig : public ::testing::Test {
protected:
    zelsim::Line line;
    std::unique_ptr<zelsim::PtyTransport> pty;
    WorkingState state;
    ScriptedDialogs dialogs;
    std::unique_ptr<TStartZelMain> w;

    void SetUp() override {
        TestApp();
        ResetProtocolState();
        WriteTextFile("don.msg", ReadTextFile(SourceDir() + "/data/don.msg"));
        ::unlink("demo_trk.bin");
    }
    void TearDown() override {
        w.reset();
        if (pty) pty->stop();
    }

    // Puts the pty of the line into com.ini.
    std::string startLine() {
        pty = std::make_unique<zelsim::PtyTransport>(line);
        std::string error;
        EXPECT_TRUE(pty->start(&error)) << error;
        WriteTextFile("com.ini", pty->slavePath() + " 0 4800 0 1 0 8 N 1\n");
        return pty->slavePath();
    }

    // Starts the window; `number` answers the controller number prompt
    // (nothing: cancel).
    void start(std::optional<QString> number, const QStringList& args = {}) {
        dialogs.inputs.push_back(number);
        w = std::make_unique<TStartZelMain>(state, dialogs, args);
        w->show();
        QCoreApplication::processEvents();
    }

    template <class T = QWidget> T* ctl(const char* name) const {
        T* c = w->findChild<T*>(name);
        EXPECT_NE(c, nullptr) << name;
        return c;
    }
    QPushButton* btn(const char* name) const { return ctl<QPushButton>(name); }
    QString status() const { return ctl<QStatusBar>("SB")->currentMessage(); }
    QString numberLabel() const { return ctl<QLabel>("lNumberCtrlr")->text(); }
    QString identText() const { return ctl<QPlainTextEdit>("mIdent")->toPlainText(); }
    QString menuTitle(const char* name) const { return ctl<QMenu>(name)->title(); }
    bool menuVisible(const char* name) const { return ctl<QMenu>(name)->menuAction()->isVisible(); }
    QAction* action(const char* name) const {
        QAction* a = w->findChild<QAction*>(name);
        EXPECT_NE(a, nullptr) << name;
        return a;
    }
};
