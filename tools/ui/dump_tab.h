// The tab "Dump": raw controller memory as a hexadecimal dump with a
// character column, edited digit by digit and written back whole.
#pragma once

#include "block_tab.h"
#include "dump_core.h"

#include <random>

class DumpModel;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableView;
class QTableWidget;

class DumpTab : public BlockTab {
    Q_OBJECT
public:
    DumpTab(const TabContext& context, QWidget* parent = nullptr);
    ~DumpTab() override;
    void tabShown() override {}

    // The dump the grid shows and the bytes its digits edit.
    const tools::DumpSheet& sheet() const { return sheet_; }
    QString cellText(int column, int row) const;

    // Count box key filter: true when the key reaches the box.
    bool eCountByteDumpKeyPress(QChar key);
    // Selection of a cell; false: the cell cannot be selected.
    bool sg1SelectCell(int column, int row);
    // The in-place editor of a cell now holds `text`; returns the text the
    // cell holds afterwards (the editor shows it).
    QString sg1SetEditText(int column, int row, const QString& text);
    // A key typed in the grid: Enter rebuilds the byte of the current cell.
    bool sg1KeyPress(QChar key);

public slots:
    void eAdresDumpExit();
    void eCountByteDumpExit();
    void bReadDumpClick();
    void bWriteDumpClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    // The grid of the sheet's bytes: rows, texts, column widths, the header grid.
    void OutputDump();
    void layoutColumns();
    void setMark(QLineEdit* e, bool valid);
    void updateReadButton();
    // The count against the bytes the address leaves in its bank; false (count
    // box red, message shown) when it asks for more.
    bool countWithinBank(bool tell);
    tools::DumpArea chosenArea() const;

    tools::DumpSheet sheet_;
    DumpModel* model_ = nullptr;
    std::mt19937 random_;
    bool reverting_ = false;

    QLineEdit *eAdresDump_, *eCountByteDump_;
    QRadioButton *rbIR_, *rbER_, *rbIM_;
    QPushButton *bReadDump_, *bWriteDump_;
    QTableView* sg1_;
    QTableWidget* sg2_;
    QLabel* lGridPointer_;
};
