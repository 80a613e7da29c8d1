#include "temperature_table_tab.h"

#include "dialogs.h"
#include "field_binder.h"
#include "frame.h"
#include "progress.h"
#include "temperature_table.h"
#include "working_state.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace tools;

namespace {

constexpr int kParameterLength = 9;

const char* const kDemoText = "Демонстрационная версия программы";
// The labels of Rn, B and Tn, also named by the message on a box that holds no number.
const char* const kParameterLabels[3] = {"Rn (КОм)", "B", "Tn ('C)"};

QLabel* Label(QWidget* parent, const char* name, const QString& text) {
    auto* l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}

// The key filters see characters as typed; Enter and Backspace arrive as 13 and 8.
bool DigitEnterBackspace(QChar key) {
    return (key >= u'0' && key <= u'9') || key == QChar(13) || key == QChar(8);
}

// Rn and Tn take a fraction after a comma or a full stop, as the hundredths
// boxes do: a full stop dropped would turn 25.5 into 255.
bool DecimalSeparator(QChar key) {
    return key == u',' || key == u'.';
}

QString NotANumberText(const QString& text, const char* label) {
    return QStringLiteral("«%1» не является числом. Проверьте поле «%2»").arg(text, QString::fromUtf8(label));
}

} // namespace

TemperatureTableTab::TemperatureTableTab(const TabContext& context, QWidget* parent)
    : BlockTab(context, parent) {
    setObjectName("TemperatureTableTab");
    buildUi();
    ApplyHints(this, TemperatureTblFields());
}

void TemperatureTableTab::buildUi() {
    Label1_ = Label(this, "Label1", "Таблица температуры");
    sgTblT_ = new QTableWidget(kTableEntries, 3, this);
    sgTblT_->setObjectName("sgTblT");
    for (int c = 0; c < 3; ++c)
        sgTblT_->setHorizontalHeaderItem(c, new QTableWidgetItem());
    sgTblT_->verticalHeader()->hide();
    sgTblT_->verticalHeader()->setDefaultSectionSize(sgTblT_->fontMetrics().height() + 6);
    sgTblT_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sgTblT_->setSelectionMode(QAbstractItemView::SingleSelection);
    sgTblT_->horizontalHeader()->setHighlightSections(false);
    for (int r = 0; r < kTableEntries; ++r)
        for (int c = 0; c < 3; ++c)
            sgTblT_->setItem(r, c, new QTableWidgetItem());

    eRn_ = form::Edit(this, "eRn", kParameterLength, nullptr);
    eB_ = form::Edit(this, "eB", kParameterLength, nullptr);
    eTn_ = form::Edit(this, "eTn", kParameterLength, nullptr);
    for (QLineEdit* e : {eRn_, eB_, eTn_})
        e->installEventFilter(this);
    bRecalcTblT_ = form::Button(this, "bRecalcTblT", "Пересчитать");
    bRecalcTblT_->setEnabled(false);
    bReadTblT_ = form::Button(this, "bReadTblT", "Загрузить");
    bWriteTblT_ = form::Button(this, "bWriteTblT", "Записать");

    auto* params = new QGridLayout;
    params->addWidget(Label(this, "lRn", kParameterLabels[0]), 0, 0);
    params->addWidget(eRn_, 0, 1);
    params->addWidget(Label(this, "lB", kParameterLabels[1]), 1, 0);
    params->addWidget(eB_, 1, 1);
    params->addWidget(Label(this, "lTn", kParameterLabels[2]), 2, 0);
    params->addWidget(eTn_, 2, 1);

    auto* right = new QVBoxLayout;
    right->addSpacing(Label1_->sizeHint().height());
    right->addLayout(params);
    right->addSpacing(8);
    right->addWidget(Label(this, "eFormulaRt", "Rt = Rn*exp[B(1/T - 1/Tn)]"));
    right->addWidget(Label(this, "lFormulaA", "A = Rn/(Rt + Rn) * 1024"));
    right->addSpacing(8);
    right->addWidget(bRecalcTblT_);
    right->addSpacing(16);
    right->addWidget(bReadTblT_);
    right->addWidget(bWriteTblT_);
    right->addStretch(1);

    auto* left = new QVBoxLayout;
    left->addWidget(Label1_);
    left->addWidget(sgTblT_, 1);
    auto* top = new QHBoxLayout(this);
    top->addLayout(left, 1);
    top->addLayout(right);

    connect(bRecalcTblT_, &QPushButton::clicked, this, &TemperatureTableTab::bRecalcTblTClick);
    connect(bReadTblT_, &QPushButton::clicked, this, &TemperatureTableTab::bReadTblTClick);
    connect(bWriteTblT_, &QPushButton::clicked, this, &TemperatureTableTab::bWriteTblTClick);
}

bool TemperatureTableTab::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && (watched == eRn_ || watched == eB_ || watched == eTn_)) {
        auto* k = static_cast<QKeyEvent*>(event);
        // Shortcuts (copy, paste) and keys without a character are not typing.
        if (k->text().isEmpty() || (k->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) return false;
        const QChar key = k->text().at(0);
        if ((key < QChar(0x20) && key != QChar(13) && key != QChar(8)) || key == QChar(0x7F)) return false;
        const bool pass = watched == eRn_  ? eRnKeyPress(key)
                          : watched == eB_ ? eBKeyPress(key)
                                           : eTnKeyPress(key);
        return !pass;
    }
    return BlockTab::eventFilter(watched, event);
}

void TemperatureTableTab::recalcEnabledBy(const QLineEdit* other1, const QLineEdit* other2) {
    bRecalcTblT_->setEnabled(!other1->text().isEmpty() && !other2->text().isEmpty());
}

bool TemperatureTableTab::eRnKeyPress(QChar key) {
    if (!DigitEnterBackspace(key) && !DecimalSeparator(key)) return false;
    recalcEnabledBy(eB_, eTn_);
    return true;
}

bool TemperatureTableTab::eBKeyPress(QChar key) {
    if (!DigitEnterBackspace(key)) return false;
    recalcEnabledBy(eRn_, eTn_);
    return true;
}

bool TemperatureTableTab::eTnKeyPress(QChar key) {
    if (!DigitEnterBackspace(key) && !DecimalSeparator(key)) return false;
    recalcEnabledBy(eRn_, eB_);
    return true;
}

void TemperatureTableTab::TabTemperatureTblShow() {
    const int width = sgTblT_->viewport()->width() / 3 - 1;
    sgTblT_->horizontalHeader()->setDefaultSectionSize(width);
    for (int c = 0; c < 3; ++c) {
        sgTblT_->setColumnWidth(c, width);
        sgTblT_->horizontalHeaderItem(c)->setText(QString::fromUtf8(kTableHeader[c]));
    }
    bReadTblT_->setEnabled(true);
    bWriteTblT_->setEnabled(state_.temperatureTableKnown);
}

void TemperatureTableTab::setRow(int i, const QString& resistance, uint16_t reading) {
    sgTblT_->item(i, 0)->setText(QString::fromStdString(DegreesText(i)));
    sgTblT_->item(i, 1)->setText(resistance);
    sgTblT_->item(i, 2)->setText(QString::fromStdString(ReadingText(reading)));
}

void TemperatureTableTab::bRecalcTblTClick() {
    double values[3] = {};
    const QLineEdit* const boxes[3] = {eRn_, eB_, eTn_};
    for (int k = 0; k < 3; ++k) {
        const auto v = ParseParameter(boxes[k]->text().toStdString());
        if (!v) {
            dialogs_.error(NotANumberText(boxes[k]->text(), kParameterLabels[k]), QStringLiteral("Ошибка"));
            return;
        }
        values[k] = *v;
    }
    const RecalcResult r = RecalculateTable(values[0], values[1], values[2]);
    if (r.status == Recalc::BadTemperature) {
        dialogs_.error(QStringLiteral("Неправильно введена температура"));
        return;
    }
    if (r.status == Recalc::NotFinite) {
        dialogs_.error(
            QStringLiteral("Таблица не пересчитана: при этих параметрах сопротивление или показание "
                           "АЦП не выражается числом. Проверьте Rn, B и Tn"),
            QStringLiteral("Ошибка"));
        return;
    }
    for (int i = 0; i < kTableEntries; ++i)
        setRow(i, QString::fromStdString(ResistanceText(r.rows[static_cast<size_t>(i)].rt)),
               r.rows[static_cast<size_t>(i)].a);
    state_.temperatureTable = r.table;
    state_.temperatureTableKnown = true;
    bWriteTblT_->setEnabled(true);
    // What the grid shows now is not what the controller holds.
    setStatus(QStringLiteral("Таблица пересчитана, в устройство не записана"));
}

void TemperatureTableTab::bReadTblTClick() {
    const BusyCursor busy;
    if (frame_.demo()) {
        setStatus(kDemoText);
        return;
    }
    clearStatus();
    if (ReadTemperatureTable(port(), ctrl(), state_.temperatureTable) != 1) {
        setStatus(QStringLiteral("Таблица не считана"));
        return;
    }
    for (int i = 0; i < kTableEntries; ++i)
        setRow(i, QString::fromLatin1(kNoResistance), state_.temperatureTable[static_cast<size_t>(i)]);
    state_.temperatureTableKnown = true;
    bWriteTblT_->setEnabled(true);
    setStatus(QStringLiteral("Таблица считана"));
}

void TemperatureTableTab::bWriteTblTClick() {
    const BusyCursor busy;
    if (frame_.demo()) {
        setStatus(kDemoText);
        return;
    }
    if (!state_.temperatureTableKnown) {
        setStatus(QStringLiteral("Таблица не записана: считайте ее из устройства или пересчитайте"));
        return;
    }
    clearStatus();
    const bool written = WriteTemperatureTable(port(), ctrl(), state_.temperatureTable) == 1;
    setStatus(written ? QStringLiteral("Таблица записана") : QStringLiteral("Таблица не записана"));
}
