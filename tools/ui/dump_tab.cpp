#include "dump_tab.h"

#include "dialogs.h"
#include "frame.h"
#include "progress.h"
#include "working_state.h"

#include <QAbstractTableModel>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace tools;

namespace {

const char* const kDemoText = "Демонстрационная версия программы";
constexpr int kAddressWidth = 85;
constexpr int kCharsWidth = 165;

bool IsHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f');
}

// The grid's fixed-pitch font, in which every byte takes one cell of the same width.
QFont DumpFont() {
    QFont f(QStringLiteral("DejaVu Sans Mono"));
    f.setStyleHint(QFont::Monospace);
    f.setFixedPitch(true);
    f.setPointSize(9);
    if (!QFontInfo(f).fixedPitch()) f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    return f;
}

} // namespace

// The grid's cells are the sheet's; only the selected digit cell is editable,
// and only while the sheet allows editing.
class DumpModel : public QAbstractTableModel {
public:
    DumpModel(DumpTab& tab, const DumpSheet& sheet, QObject* parent)
        : QAbstractTableModel(parent), tab_(tab), sheet_(sheet) {}

    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : sheet_.rows(); }
    int columnCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : kDumpColumns; }

    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid()) return {};
        const int c = index.column();
        switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return QString::fromStdU16String(sheet_.cell(c, index.row()));
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(c == 0 || c == kDumpCharColumn ? Qt::AlignLeft | Qt::AlignVCenter
                                                                      : Qt::AlignCenter);
        default:
            return {};
        }
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override {
        Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
        if (sheet_.editingAllowed() && index.column() == sheet_.savedColumn() &&
            index.row() == sheet_.savedRow())
            f |= Qt::ItemIsEditable;
        return f;
    }

    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (role != Qt::EditRole || !index.isValid()) return false;
        tab_.sg1SetEditText(index.column(), index.row(), value.toString());
        return true;
    }

    void reset() {
        beginResetModel();
        endResetModel();
    }
    void refreshRow(int row) {
        if (row >= 0 && row < sheet_.rows()) emit dataChanged(index(row, 0), index(row, kDumpColumns - 1));
    }

private:
    DumpTab& tab_;
    const DumpSheet& sheet_;
};

namespace {

// Cells drawn without margins (a digit column is hardly wider than a digit),
// the address column as a fixed column; the editor reports every change.
class DumpDelegate : public QStyledItemDelegate {
public:
    DumpDelegate(DumpTab& tab, QObject* parent) : QStyledItemDelegate(parent), tab_(tab) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&,
                          const QModelIndex& index) const override {
        auto* e = new QLineEdit(parent);
        e->setFrame(false);
        e->setAlignment(Qt::AlignCenter);
        e->setTextMargins(0, 0, 0, 0);
        const int c = index.column(), r = index.row();
        QObject::connect(e, &QLineEdit::textEdited, e, [this, e, c, r](const QString& text) {
            const QString now = tab_.sg1SetEditText(c, r, text);
            if (now != text) e->setText(now);
        });
        return e;
    }

    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex&) const override {
        editor->setGeometry(option.rect);
    }

    void paint(QPainter* p, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QStyleOptionViewItem o(option);
        initStyleOption(&o, index);
        p->save();
        const bool selected = o.state & QStyle::State_Selected;
        if (index.column() == 0)
            p->fillRect(o.rect, o.palette.button());
        else if (selected)
            p->fillRect(o.rect, o.palette.highlight());
        p->setPen(selected && index.column() != 0 ? o.palette.highlightedText().color()
                                                  : o.palette.text().color());
        p->setFont(o.font);
        const QRect text =
            index.column() == 0 || index.column() == kDumpCharColumn ? o.rect.adjusted(3, 0, -1, 0) : o.rect;
        p->drawText(text, static_cast<int>(o.displayAlignment), o.text);
        // Lines between rows and after each byte's spacer, none between the two
        // digits of a byte, so the bytes read as pairs.
        const int c = index.column();
        p->setPen(o.palette.mid().color());
        p->drawLine(o.rect.bottomLeft(), o.rect.bottomRight());
        if (c == 0 || c % 3 == 0 || c == kDumpCharColumn)
            p->drawLine(o.rect.topRight(), o.rect.bottomRight());
        if (o.state & QStyle::State_HasFocus) {
            p->setPen(QPen(o.palette.text().color(), 1, Qt::DotLine));
            p->drawRect(o.rect.adjusted(0, 0, -1, -1));
        }
        p->restore();
    }

private:
    DumpTab& tab_;
};

} // namespace

DumpTab::DumpTab(const TabContext& context, QWidget* parent)
    : BlockTab(context, parent), random_(std::random_device{}()) {
    setObjectName("DumpTab");
    buildUi();
}

DumpTab::~DumpTab() = default;

void DumpTab::buildUi() {
    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, this);
        l->setObjectName(name);
        return l;
    };
    // No length limit: leading zeros are allowed in both boxes.
    eAdresDump_ = form::Edit(this, "eAdresDump", 0, nullptr, 110);
    eCountByteDump_ = form::Edit(this, "eCountByteDump", 0, nullptr, 80);
    eCountByteDump_->installEventFilter(this);
    for (QLineEdit* e : {eAdresDump_, eCountByteDump_})
        e->setProperty("Tag", 1);
    rbIR_ = new QRadioButton("IR", this);
    rbIR_->setObjectName("rbIR");
    rbER_ = new QRadioButton("ER", this);
    rbER_->setObjectName("rbER");
    rbER_->setChecked(true);
    rbIM_ = new QRadioButton("IM", this);
    rbIM_->setObjectName("rbIM");
    bReadDump_ = form::Button(this, "bReadDump", "Читать");
    bReadDump_->setEnabled(false);
    bWriteDump_ = form::Button(this, "bWriteDump", "Записать");
    bWriteDump_->setEnabled(false);
    lGridPointer_ = label("lGridPointer", "100%");
    lGridPointer_->setMinimumWidth(lGridPointer_->fontMetrics().horizontalAdvance("100%") + 4);

    auto* bar = new QHBoxLayout;
    bar->addWidget(label("lAdresDump", "Адрес"));
    bar->addWidget(eAdresDump_);
    bar->addSpacing(8);
    bar->addWidget(label("lCountByteDump", "К-во"));
    bar->addWidget(eCountByteDump_);
    bar->addSpacing(12);
    bar->addWidget(rbIR_);
    bar->addWidget(rbER_);
    bar->addWidget(rbIM_);
    bar->addSpacing(12);
    bar->addWidget(bReadDump_);
    bar->addWidget(bWriteDump_);
    bar->addStretch(1);
    bar->addWidget(lGridPointer_);

    const QFont font = DumpFont();
    const int rowHeight = QFontMetrics(font).height() + 4;

    sg2_ = new QTableWidget(1, 3, this);
    sg2_->setObjectName("sg2");
    sg2_->setFont(font);
    sg2_->horizontalHeader()->hide();
    sg2_->verticalHeader()->hide();
    sg2_->verticalHeader()->setDefaultSectionSize(rowHeight);
    sg2_->setSelectionMode(QAbstractItemView::NoSelection);
    sg2_->setFocusPolicy(Qt::NoFocus);
    sg2_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sg2_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    sg2_->setFixedHeight(rowHeight + 2 * sg2_->frameWidth());
    int column = 0;
    for (const char* heading : {"Adres", "Hex data", "ASCII data"}) {
        auto* item = new QTableWidgetItem(heading);
        item->setTextAlignment(Qt::AlignCenter);
        sg2_->setItem(0, column++, item);
    }
    QPalette headings = sg2_->palette();
    headings.setColor(QPalette::Disabled, QPalette::Text, headings.color(QPalette::Active, QPalette::Text));
    headings.setColor(QPalette::Disabled, QPalette::Base, headings.color(QPalette::Active, QPalette::Button));
    sg2_->setPalette(headings);
    sg2_->setEnabled(false);
    sg2_->setCurrentCell(-1, -1);

    sg1_ = new QTableView(this);
    sg1_->setObjectName("sg1");
    model_ = new DumpModel(*this, sheet_, this);
    sg1_->setModel(model_);
    sg1_->setItemDelegate(new DumpDelegate(*this, sg1_));
    sg1_->setFont(font);
    sg1_->horizontalHeader()->hide();
    sg1_->verticalHeader()->hide();
    sg1_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    sg1_->verticalHeader()->setDefaultSectionSize(rowHeight);
    sg1_->horizontalHeader()->setMinimumSectionSize(1);
    sg1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sg1_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    sg1_->setSelectionBehavior(QAbstractItemView::SelectItems);
    sg1_->setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::DoubleClicked |
                          QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    sg1_->setTextElideMode(Qt::ElideNone);
    sg1_->setWordWrap(false);
    sg1_->setShowGrid(false); // the delegate draws the lines
    sg1_->installEventFilter(this);
    layoutColumns();

    auto* top = new QVBoxLayout(this);
    top->addLayout(bar);
    top->addWidget(sg2_);
    top->addWidget(sg1_, 1);

    connect(sg1_->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (reverting_ || !current.isValid()) return;
                if (sg1SelectCell(current.column(), current.row())) return;
                reverting_ = true;
                sg1_->selectionModel()->setCurrentIndex(previous.isValid() ? previous : model_->index(0, 1),
                                                        QItemSelectionModel::ClearAndSelect);
                reverting_ = false;
            });
    connect(bReadDump_, &QPushButton::clicked, this, &DumpTab::bReadDumpClick);
    connect(bWriteDump_, &QPushButton::clicked, this, &DumpTab::bWriteDumpClick);
    using T = DumpTab;
    const auto every = FieldCheck::When::EveryExit;
    onExit(eAdresDump_, &T::eAdresDumpExit, every);
    onExit(eCountByteDump_, &T::eCountByteDumpExit, every);
}

QString DumpTab::cellText(int column, int row) const {
    return QString::fromStdU16String(sheet_.cell(column, row));
}

bool DumpTab::eventFilter(QObject* watched, QEvent* event) {
    // The widths follow the grid's width, so the headings stay over their columns.
    if (watched == sg1_ && event->type() == QEvent::Resize) layoutColumns();
    if (event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        const QString text = k->text();
        const bool typed = !text.isEmpty() && !(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) &&
                           text.at(0) != QChar(0x7F);
        if (watched == eCountByteDump_ && typed) {
            const QChar key = text.at(0);
            if (key < QChar(0x20) && key != QChar(13) && key != QChar(8)) return false;
            return !eCountByteDumpKeyPress(key);
        }
        if (watched == sg1_ && (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter)) {
            sg1KeyPress(QChar(13));
            return false;
        }
    }
    return BlockTab::eventFilter(watched, event);
}

bool DumpTab::eCountByteDumpKeyPress(QChar key) {
    return IsHexDigit(key) || key == QChar(13) || key == QChar(8);
}

// ---- the address and count boxes ---------------------------------------------

void DumpTab::setMark(QLineEdit* e, bool valid) {
    FieldCheck::paint(e, !valid, FieldCheck::Style::Box);
    e->setProperty("Tag", valid ? 0 : 1);
}

void DumpTab::updateReadButton() {
    bReadDump_->setEnabled(!FieldCheck::marked(eAdresDump_) && !FieldCheck::marked(eCountByteDump_));
}

bool DumpTab::countWithinBank(bool tell) {
    const auto count = DumpHexValue(eCountByteDump_->text().toStdString());
    if (!count) return true; // judged by the count box's own check
    const auto address = DumpHexValue(eAdresDump_->text().toStdString());
    const bool addressKnown = address && *address <= kDumpMaxAddress;
    // Without a usable address a count can still be too large for any bank.
    if (*count <= (addressKnown ? DumpCountLimit(*address) : 0x10000u)) return true;
    setMark(eCountByteDump_, false);
    if (tell)
        dialogs_.error(QString::fromStdString(CountTooLargeText(addressKnown ? address : std::nullopt,
                                                                eCountByteDump_->text().toStdString())),
                       QStringLiteral("Ошибка"));
    return false;
}

void DumpTab::eAdresDumpExit() {
    const std::string text = eAdresDump_->text().toStdString();
    const auto address = DumpHexValue(text);
    const bool valid = address && *address <= kDumpMaxAddress;
    setMark(eAdresDump_, valid);
    if (!valid && DumpTextValid(text))
        dialogs_.error(QString::fromStdString(AddressTooLargeText()), QStringLiteral("Ошибка"));
    // A new address may leave fewer bytes in its bank than the count asks for.
    if (valid && DumpHexValue(eCountByteDump_->text().toStdString())) {
        if (countWithinBank(true)) setMark(eCountByteDump_, true);
    }
    updateReadButton();
}

void DumpTab::eCountByteDumpExit() {
    const bool hex = DumpTextValid(eCountByteDump_->text().toStdString());
    const bool fits = DumpHexValue(eCountByteDump_->text().toStdString()).has_value();
    setMark(eCountByteDump_, hex && fits);
    if (hex && !fits)
        dialogs_.error(
            QString::fromStdString(CountTooLargeText(std::nullopt, eCountByteDump_->text().toStdString())),
            QStringLiteral("Ошибка"));
    else if (hex)
        countWithinBank(true);
    updateReadButton();
}

// ---- read and write ------------------------------------------------------------

DumpArea DumpTab::chosenArea() const {
    if (rbIR_->isChecked()) return DumpArea::IR;
    if (rbER_->isChecked()) return DumpArea::ER;
    if (rbIM_->isChecked()) return DumpArea::IM;
    return DumpArea::ER;
}

void DumpTab::bReadDumpClick() {
    const BusyCursor busy;
    const auto address = DumpHexValue(eAdresDump_->text().toStdString());
    const auto count = DumpHexValue(eCountByteDump_->text().toStdString());
    if (!address || *address > kDumpMaxAddress || !count) return; // the boxes are red already
    if (!countWithinBank(true)) {
        updateReadButton();
        return;
    }
    // A count of 0 reads nothing; the grid and its bytes stay.
    if (*count == 0) {
        bWriteDump_->setEnabled(false);
        return;
    }
    if (frame_.demo()) {
        sheet_.show(*address, DumpArea::ER, DemoDumpBytes(*count, random_));
        OutputDump();
        bWriteDump_->setEnabled(true);
        return;
    }
    const DumpArea area = chosenArea();
    std::vector<uint8_t> bytes;
    if (ReadDump(port(), ctrl(), area, *address, *count, bytes) != 1) {
        // The grid keeps the previous dump together with the bytes it shows.
        setStatus(QString::fromStdString(ReadFailedText(area)));
        bWriteDump_->setEnabled(false);
        return;
    }
    sheet_.show(*address, area, std::move(bytes));
    OutputDump();
    bWriteDump_->setEnabled(true);
    setStatus(QString::fromStdString(ReadOkText(area)));
}

void DumpTab::bWriteDumpClick() {
    if (frame_.demo()) {
        setStatus(kDemoText);
        return;
    }
    if (sheet_.empty()) return;
    // The range and area of the read the grid shows, whatever the boxes say now.
    const int r = WriteDump(port(), ctrl(), sheet_.area(), sheet_.address(), sheet_.bytes());
    setStatus(r == 1 ? QString::fromStdString(WriteOkText(sheet_.area()))
                     : QString::fromUtf8(kWriteFailedText));
}

// ---- the grid ------------------------------------------------------------------

void DumpTab::OutputDump() {
    reverting_ = true;
    model_->reset();
    layoutColumns();
    sg1_->setCurrentIndex(model_->index(0, 1));
    reverting_ = false;
    // Making (row 0, column 1) current selects it: its digit may be typed over at once.
    sg1SelectCell(1, 0);
}

void DumpTab::layoutColumns() {
    sg1_->setColumnWidth(0, kAddressWidth);
    sg1_->setColumnWidth(kDumpCharColumn, kCharsWidth);
    const int w = (sg1_->viewport()->width() - kAddressWidth - kCharsWidth) / 48;
    int sum = 0;
    for (int j = 1; j <= 48; ++j) {
        const int width = std::max(1, j % 3 != 0 ? w + 2 : w - 6);
        sg1_->setColumnWidth(j, width);
        sum += width;
    }
    sg2_->setColumnWidth(0, kAddressWidth);
    sg2_->setColumnWidth(1, sum);
    sg2_->setColumnWidth(2, kCharsWidth);
    sg2_->setCurrentCell(-1, -1);
}

bool DumpTab::sg1SelectCell(int column, int row) {
    const int before = sheet_.savedRow();
    if (!sheet_.select(column, row)) return false;
    model_->refreshRow(before); // a cell left half-edited shows its digit again
    lGridPointer_->setText(QString::fromStdString(sheet_.pointerText(row)));
    return true;
}

QString DumpTab::sg1SetEditText(int column, int row, const QString& text) {
    const auto now = sheet_.editText(column, row, text.toStdU16String());
    if (!now) return cellText(column, row);
    model_->refreshRow(row);
    return QString::fromStdU16String(*now);
}

bool DumpTab::sg1KeyPress(QChar key) {
    if (key != QChar(13) || !sheet_.editingAllowed()) return false;
    const QModelIndex current = sg1_->currentIndex();
    if (!current.isValid() || !sheet_.enter(current.column(), current.row())) return false;
    model_->refreshRow(current.row());
    return true;
}
