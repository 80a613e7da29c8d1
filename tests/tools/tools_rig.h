// The temperature table and dump tabs in a small frame (status line SB and a
// tab widget with the main tab), talking to a virtual controller over a
// pseudo-terminal with scripted dialogs.
#pragma once

#include "../gui/gui_rig.h"
#include "block_transfer.h"
#include "dump_tab.h"
#include "port_layer.h"
#include "temperature_table_tab.h"
#include "test_frame.h"

#include <QRadioButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QVBoxLayout>

class ToolsRig : public ::testing::Test {
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
    TemperatureTableTab* temp = nullptr;
    DumpTab* dump = nullptr;

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

    // Opens the line and builds the frame with both tabs, about as large as
    // the main window shows them.
    void open() {
        pty = std::make_unique<zelsim::PtyTransport>(line);
        ASSERT_TRUE(pty->start());
        ASSERT_EQ(PortOpen(&state.portHandle, pty->slavePath().c_str()), 0);
        state.controllerNumber = 1;
        state.Identified = true;
        frame = std::make_unique<QWidget>();
        auto* layout = new QVBoxLayout(frame.get());
        auto* number = new QLabel(frame.get());
        tabs = new QTabWidget(frame.get());
        auto* ident = new QWidget;
        ident->setObjectName("TabIdent");
        tabs->addTab(ident, "Основное меню");
        sb = new QStatusBar(frame.get());
        testFrame = std::make_unique<TestFrame>(state, sb, number, tabs, ident);
        const TabContext context{state, dialogs, *testFrame};
        temp = new TemperatureTableTab(context, frame.get());
        dump = new DumpTab(context, frame.get());
        tabs->addTab(temp, "Табл. Тc");
        tabs->addTab(dump, "Dump");
        layout->addWidget(number);
        layout->addWidget(tabs, 1);
        layout->addWidget(sb);
        frame->resize(792, 560);
        frame->show();
        QCoreApplication::processEvents();
    }
    void showTemp() {
        tabs->setCurrentWidget(temp);
        QCoreApplication::processEvents();
        temp->tabShown();
    }
    void showDump() {
        tabs->setCurrentWidget(dump);
        QCoreApplication::processEvents();
        dump->tabShown();
    }

    template <class T = QWidget> T* ctl(const char* name) const {
        T* w = frame->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QLineEdit* edit(const char* name) const { return ctl<QLineEdit>(name); }
    QPushButton* btn(const char* name) const { return ctl<QPushButton>(name); }
    QTableWidget* table() const { return ctl<QTableWidget>("sgTblT"); }
    QTableView* sg1() const { return ctl<QTableView>("sg1"); }
    QString status() const { return sb->currentMessage(); }
    QStringList row(int i) const {
        QStringList out;
        for (int j = 0; j < 3; ++j)
            out << table()->item(i, j)->text();
        return out;
    }
    std::vector<uint8_t> tableInController() const {
        return c->peek(0, kAddrTemperatureTable, kLenTemperatureTable);
    }

    static void focus(QWidget* w, QEvent::Type type) {
        QFocusEvent e(type, Qt::OtherFocusReason);
        QApplication::sendEvent(w, &e);
    }
    // Types into a box key by key (through its key filter), entering and leaving it.
    static void type(QLineEdit* e, const QString& text) {
        focus(e, QEvent::FocusIn);
        for (QChar ch : text)
            QTest::sendKeyEvent(QTest::Click, e, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        focus(e, QEvent::FocusOut);
    }
    // Puts text into a box as a paste would (no key filter) and leaves it.
    static void paste(QLineEdit* e, const QString& text) {
        focus(e, QEvent::FocusIn);
        e->setText(text);
        focus(e, QEvent::FocusOut);
    }
    // The dump request: address and count boxes filled and left, area chosen, read pressed.
    void readDump(const QString& address, const QString& count, const char* area = "rbER") {
        paste(edit("eAdresDump"), address);
        paste(edit("eCountByteDump"), count);
        ctl<QRadioButton>(area)->setChecked(true);
        btn("bReadDump")->click();
    }
};
