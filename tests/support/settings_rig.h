// The two settings tabs in a small frame (status line SB, lNumberCtrlr and a
// tab widget with the main tab), talking to a virtual controller over a
// pseudo-terminal with scripted dialogs.
#pragma once

#include "adv_settings_tab.h"
#include "block_transfer.h"
#include "checksum.h"
#include "ctrl_params_tab.h"
#include "field_check.h"
#include "tab_rig.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

class SettingsRig : public TabRig {
protected:
    CtrlParamsTab* tab = nullptr;
    AdvSettingsTab* adv = nullptr;

    // Opens the line and builds the frame with both tabs.
    void open(int controller = 1) {
        openLine(controller);
        state.portSettings.baud = 4800;
        state.portSettings.dataBits = 8;
        state.portSettings.parity = 'N';
        state.portSettings.stopCode = 0;
        state.DeviceType = 0x21;
        buildFrame();
        tab = new CtrlParamsTab(context(), frame.get());
        adv = new AdvSettingsTab(context(), frame.get());
        tabs->addTab(tab, "Настройки контроллера");
        tabs->addTab(adv, "Доп настройки");
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

    QTableWidget* grid(const char* name) const { return ctl<QTableWidget>(name); }

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
    void read() { tab->bGetParamClick(); }
    void save() { tab->bSetParamClick(); }
};
