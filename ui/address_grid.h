// A grid of addresses, one column a nozzle: its cells hold up to three digits
// and are wide enough for them, the cell editor takes digits only, and Enter
// moves to the next column (from the last back to the first). The values are
// the cells of its last row; a grid of two rows has a read-only header above.
#pragma once

#include <QTableWidget>
#include <string>
#include <vector>

class AddressGrid : public QTableWidget {
public:
    AddressGrid(QWidget* parent, const char* name, int rows);

    // The texts of the last row, trimmed ("" for a cell never written).
    std::vector<std::string> cells() const;
    // The last row takes the texts (cells beyond them are emptied), without
    // signals.
    void setCells(const std::vector<std::string>& texts);
    // The first row's read-only header texts, without signals.
    void setHeader(const std::vector<std::string>& texts);
    // Columns 1..n, the grid exactly as wide as they are.
    void setColumns(int n);
    // Cells are at least 22 pixels wide and hold three digits of the grid's font.
    int cellWidth() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
