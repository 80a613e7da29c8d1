// The temperature table and dump tabs in a small frame (status line SB and a
// tab widget with the main tab), talking to a virtual controller over a
// pseudo-terminal with scripted dialogs.
#pragma once

#include "block_transfer.h"
#include "dump_tab.h"
#include "tab_rig.h"
#include "temperature_table_tab.h"

#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTableWidget>
#include <QTest>

class ToolsRig : public TabRig {
protected:
    TemperatureTableTab* temp = nullptr;
    DumpTab* dump = nullptr;

    // Opens the line and builds the frame with both tabs, about as large as
    // the main window shows them.
    void open() {
        openLine();
        buildFrame();
        temp = new TemperatureTableTab(context(), frame.get());
        dump = new DumpTab(context(), frame.get());
        tabs->addTab(temp, "Табл. Тc");
        tabs->addTab(dump, "Dump");
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

    QPushButton* btn(const char* name) const { return ctl<QPushButton>(name); }
    QTableWidget* table() const { return ctl<QTableWidget>("sgTblT"); }
    QTableView* sg1() const { return ctl<QTableView>("sg1"); }
    QStringList row(int i) const {
        QStringList out;
        for (int j = 0; j < 3; ++j)
            out << table()->item(i, j)->text();
        return out;
    }
    std::vector<uint8_t> tableInController() const {
        return c->peek(0, kAddrTemperatureTable, kLenTemperatureTable);
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
