// The tab "Настройка стороны": the registers of side A and side B
// (SidesSetts) side by side. Showing the tab makes the boxes read-only and
// hides the save button; the write path is complete behind it.
#pragma once

#include "block_tab.h"
#include "sides_core.h"

class FieldBinder;
class QGroupBox;
class QLineEdit;
class QPushButton;

class SidesTab : public BlockTab {
    Q_OBJECT
public:
    SidesTab(const TabContext& context, QWidget* parent = nullptr);
    ~SidesTab() override;

    void tabShown() override { TabRegsSidesShow(); }
    const FieldBinder& binder(int side) const { return *sides_[side].binder; }
    const settings::SideBuffer& buffer(int side) const { return sides_[side].buffer; }

    // Reads both sides and fills their boxes: 1 both read, -1 only side A
    // failed, -2 only side B failed, -3 both failed.
    int ReadSidesSetts();
    // Writes side A's / side B's buffer: 1 or -1.
    int WriteSides1Setts();
    int WriteSides2Setts();

public slots:
    void TabRegsSidesShow();
    void bCallRegsSidesClick();
    void bWriteRegsSidesClick();
    void eCountKor_s1Exit() { countKorExit(0); }
    void eCountKor_s2Exit() { countKorExit(1); }
    void maskDateLastKor_s1Exit() { dateExit(0); }
    void maskDateLastKor_s2Exit() { dateExit(1); }
    void eCountTranz_s1Exit() { countTranzExit(0); }
    void eCountTranz_s2Exit() { countTranzExit(1); }

private:
    struct Side {
        settings::SideBuffer buffer{};
        QGroupBox* group = nullptr;
        QLineEdit *activeNoz = nullptr, *countKor = nullptr, *date = nullptr, *countTranz = nullptr;
        FieldBinder* binder = nullptr;
        QString dateShown; // the date box's text as the last fill left it
    };

    QGroupBox* buildSide(int side);
    void fill(int side);
    int writeSide(int side);
    // The groups and the save button after a read; `texts` for -3, -2, -1, 1.
    void applyRead(int result, const char* const texts[4]);
    void countKorExit(int side);
    void dateExit(int side);
    void countTranzExit(int side);

    Side sides_[2];
    QPushButton *bCallRegsSides_ = nullptr, *bWriteRegsSides_ = nullptr;
};
