#include "address_grid.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <algorithm>

namespace {

class DigitDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& o,
                          const QModelIndex& i) const override {
        QWidget* w = QStyledItemDelegate::createEditor(parent, o, i);
        if (auto* e = qobject_cast<QLineEdit*>(w))
            e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
        return w;
    }
};

constexpr int kRowHeight = 20;

} // namespace

AddressGrid::AddressGrid(QWidget* parent, const char* name, int rows) : QTableWidget(rows, 1, parent) {
    setObjectName(name);
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setMinimumSectionSize(cellWidth());
    horizontalHeader()->setDefaultSectionSize(cellWidth());
    verticalHeader()->setDefaultSectionSize(kRowHeight);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setItemDelegate(new DigitDelegate(this));
    setFixedHeight(rows * kRowHeight + 2);
}

int AddressGrid::cellWidth() const {
    return std::max(22, fontMetrics().horizontalAdvance("888") + 10);
}

std::vector<std::string> AddressGrid::cells() const {
    std::vector<std::string> c;
    const int row = rowCount() - 1;
    for (int j = 0; j < columnCount(); ++j) {
        QTableWidgetItem* it = item(row, j);
        c.push_back(it ? it->text().trimmed().toStdString() : std::string());
    }
    return c;
}

void AddressGrid::setCells(const std::vector<std::string>& texts) {
    const QSignalBlocker block(this);
    const int row = rowCount() - 1;
    for (int j = 0; j < columnCount(); ++j) {
        const size_t k = static_cast<size_t>(j);
        const QString text = k < texts.size() ? QString::fromStdString(texts[k]) : QString();
        if (auto* it = item(row, j))
            it->setText(text);
        else
            setItem(row, j, new QTableWidgetItem(text));
    }
}

void AddressGrid::setHeader(const std::vector<std::string>& texts) {
    const QSignalBlocker block(this);
    for (int j = 0; j < columnCount() && static_cast<size_t>(j) < texts.size(); ++j) {
        auto* it = new QTableWidgetItem(QString::fromStdString(texts[static_cast<size_t>(j)]));
        it->setFlags(it->flags() & ~Qt::ItemIsEditable);
        setItem(0, j, it);
    }
}

void AddressGrid::setColumns(int n) {
    const QSignalBlocker block(this);
    setColumnCount(n);
    for (int j = 0; j < n; ++j)
        setColumnWidth(j, cellWidth());
    setFixedWidth(n * (cellWidth() + 1) + 1);
}

void AddressGrid::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) {
        QTableWidget::keyPressEvent(event);
        return;
    }
    const int row = std::max(currentRow(), rowCount() - 1);
    const int col = currentColumn();
    setCurrentCell(row, columnCount() > 0 ? (col + 1) % columnCount() : 0);
}
