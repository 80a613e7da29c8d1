#include "def_set_form.h"

#include "demo_image.h"
#include "dialogs.h"
#include "field_check.h"
#include "form_builder.h"
#include "frame.h"
#include "guarded_write.h"
#include "guarded_write_text.h"
#include "progress.h"
#include "protocol_state.h"
#include "working_state.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

using namespace tools;

namespace {

constexpr int kCellWidth = 24;
constexpr int kCellHeight = 22;

QString U(const std::string& s) {
    return QString::fromStdString(s);
}

// Cell editors take up to three digits.
class AddressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& o,
                          const QModelIndex& i) const override {
        QWidget* w = QStyledItemDelegate::createEditor(parent, o, i);
        if (auto* e = qobject_cast<QLineEdit*>(w)) {
            e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,3}"), e));
            e->setMaxLength(3);
        }
        return w;
    }
};

QTableWidget* AddressGrid(QWidget* parent, const char* name) {
    auto* t = new QTableWidget(1, 1, parent);
    t->setObjectName(name);
    t->horizontalHeader()->hide();
    t->verticalHeader()->hide();
    t->horizontalHeader()->setMinimumSectionSize(kCellWidth);
    t->horizontalHeader()->setDefaultSectionSize(kCellWidth);
    t->verticalHeader()->setDefaultSectionSize(kCellHeight);
    t->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    t->setItemDelegate(new AddressDelegate(t));
    t->setFixedHeight(kCellHeight + 2 * t->frameWidth());
    return t;
}

QStringList Items(const std::vector<int>& counts, bool sides) {
    QStringList out;
    for (int n : counts)
        out << (sides ? (n == 1 ? QString("1 сторона") : QString("2 стороны")) : QString::number(n));
    return out;
}

void SetItems(QComboBox* c, const QStringList& items, int index) {
    QStringList now;
    for (int i = 0; i < c->count(); ++i)
        now << c->itemText(i);
    if (now != items) {
        c->clear();
        c->addItems(items);
    }
    c->setCurrentIndex(index);
}

} // namespace

TformDefSet::TformDefSet(const TabContext& context, QWidget* parent)
    : FormDialog(context, "TformDefSet", "Заводские установки", parent) {
    buildUi();
}

TformDefSet::~TformDefSet() = default;

void TformDefSet::buildUi() {
    auto* top = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    head->addWidget(new QLabel("Заводские настройки контроллера для Трк", this));
    cbTypeTrk_ = form::Combo(this, "cbTypeTrk", {"Шельф", "Нара", "УЗСГ", "УНСГ"});
    cbTypeTrk_->setCurrentIndex(-1);
    head->addWidget(cbTypeTrk_);
    head->addStretch(1);
    top->addLayout(head);

    auto* counts = new QHBoxLayout;
    auto* gbSides = new QGroupBox("Количество сторон", this);
    gbSides->setObjectName("gbCountSize_DS");
    cbCountSize_DS_ = form::Combo(gbSides, "cbCountSize_DS", {"1 сторона", "2 стороны"});
    (new QVBoxLayout(gbSides))->addWidget(cbCountSize_DS_);
    auto* gbNozzles = new QGroupBox("Количество РК на сторону", this);
    gbNozzles->setObjectName("gbCountNoz_DS");
    cbCountNoz_DS_ = form::Combo(gbNozzles, "cbCountNoz_DS", {"1", "2", "3", "4", "5", "6", "7", "8"});
    (new QVBoxLayout(gbNozzles))->addWidget(cbCountNoz_DS_);
    counts->addWidget(gbSides);
    counts->addWidget(gbNozzles);
    counts->addStretch(1);
    top->addLayout(counts);

    auto side = [this](const char* group, const QString& caption, const char* edit, const char* grid,
                       const QString& initial, QLineEdit*& e, QTableWidget*& t) {
        auto* gb = new QGroupBox(caption, this);
        gb->setObjectName(group);
        auto* g = new QGridLayout(gb);
        e = form::Edit(gb, edit, 3, "[0-9]*", 60);
        e->setText(initial);
        t = AddressGrid(gb, grid);
        g->addWidget(new QLabel("Адрес стороны", gb), 0, 0);
        g->addWidget(e, 0, 1, Qt::AlignLeft);
        g->addWidget(new QLabel("Адреса раздаточных кранов", gb), 1, 0);
        g->addWidget(t, 1, 1, Qt::AlignLeft);
        g->setColumnStretch(2, 1);
        return gb;
    };
    auto* sidesRow = new QHBoxLayout;
    gbTrk1_DS_ = side("gbTrk1_DS", "Сторона А", "eAdrTrk1_DS", "sgAdrNaraTrk1_DS", "1", eAdrTrk1_DS_,
                      sgAdrNaraTrk_DS_[0]);
    gbTrk2_DS_ = side("gbTrk2_DS", "Сторона Б", "eAdrTrk2_DS", "sgAdrNaraTrk2_DS", "2", eAdrTrk2_DS_,
                      sgAdrNaraTrk_DS_[1]);
    sidesRow->addWidget(gbTrk1_DS_, 1);
    sidesRow->addWidget(gbTrk2_DS_, 1);
    top->addLayout(sidesRow);

    auto* gbParams = new QGroupBox("Параметры устройства", this);
    gbParams->setObjectName("gbParamTrk_DS");
    mParamTrk_DS_ = new QPlainTextEdit(gbParams);
    mParamTrk_DS_->setObjectName("mParamTrk_DS");
    mParamTrk_DS_->setReadOnly(true);
    (new QVBoxLayout(gbParams))->addWidget(mParamTrk_DS_);
    top->addWidget(gbParams, 1);

    lChannelLimit_DS_ = new QLabel(this);
    lChannelLimit_DS_->setObjectName("lChannelLimit_DS");
    lChannelLimit_DS_->setWordWrap(true);
    lChannelLimit_DS_->setStyleSheet("color: #b00000;");
    lChannelLimit_DS_->hide();
    top->addWidget(lChannelLimit_DS_);
    lSnapshot_DS_ = new QLabel("Сохранение снимка контроллера...", this);
    lSnapshot_DS_->setObjectName("lSnapshot_DS");
    lSnapshot_DS_->hide();
    top->addWidget(lSnapshot_DS_);

    auto* bottom = new QHBoxLayout;
    bSaveParam_DS_ = form::Button(this, "bSaveParam_DS", "Записать в устройство");
    progressbar_DS_ = new QProgressBar(this);
    progressbar_DS_->setObjectName("progressbar_DS");
    progressbar_DS_->setRange(0, kFixedImageSize);
    progressbar_DS_->hide();
    bottom->addWidget(bSaveParam_DS_);
    bottom->addWidget(progressbar_DS_, 1);
    top->addLayout(bottom);

    connect(cbTypeTrk_, &QComboBox::activated, this, &TformDefSet::cbTypeTrkChange);
    connect(cbCountSize_DS_, &QComboBox::activated, this, &TformDefSet::cbCountSize_DSChange);
    connect(cbCountNoz_DS_, &QComboBox::activated, this, &TformDefSet::cbCountNoz_DSChange);
    connect(eAdrTrk1_DS_, &QLineEdit::textEdited, this, &TformDefSet::eAdrTrk1_DSChange);
    connect(eAdrTrk2_DS_, &QLineEdit::textEdited, this, &TformDefSet::eAdrTrk2_DSChange);
    QLineEdit* sideEdits[2] = {eAdrTrk1_DS_, eAdrTrk2_DS_};
    for (int s = 0; s < 2; ++s) {
        QTableWidget* t = sgAdrNaraTrk_DS_[s];
        connect(t, &QTableWidget::itemChanged, this, [this, s](QTableWidgetItem* item) {
            if (!syncing_ && item) cellChanged(s, item->column());
        });
        fields_->attach(
            sideEdits[s], [this, s] { sideAddressLeft(s); }, FieldCheck::When::EveryExit);
        fields_->attach(
            t, [this, s] { gridLeft(s); }, FieldCheck::When::EveryExit);
        t->installEventFilter(this);
    }
    connect(bSaveParam_DS_, &QPushButton::clicked, this, &TformDefSet::bSaveParam_DSClick);
    resize(620, 560);
}

// Enter in a grid moves to the next cell, from the last back to the first.
bool TformDefSet::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        for (QTableWidget* t : sgAdrNaraTrk_DS_)
            if (watched == t && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                t->columnCount() > 0) {
                t->setCurrentCell(0, (t->currentColumn() + 1) % t->columnCount());
                return true;
            }
    }
    return QDialog::eventFilter(watched, event);
}

void TformDefSet::FormShow() {
    if (!frame_.demo() && !DeviceSupported(state_.port(), state_.ctrl())) {
        dialogs_.error(kNotSupported);
        QMetaObject::invokeMethod(
            this, [this] { reject(); }, Qt::QueuedConnection);
        return;
    }
    model_.open();
    showModel();
}

void TformDefSet::showModel() {
    syncing_ = true;
    cbTypeTrk_->setCurrentIndex(model_.type);
    SetItems(cbCountSize_DS_, Items(model_.sideItems, true), model_.sideIndex);
    SetItems(cbCountNoz_DS_, Items(model_.nozzleItems, false), model_.nozzleIndex);
    QLineEdit* edits[2] = {eAdrTrk1_DS_, eAdrTrk2_DS_};
    for (int s = 0; s < 2; ++s) {
        if (edits[s]->text() != U(model_.sideText[s])) edits[s]->setText(U(model_.sideText[s]));
        FieldCheck::paint(edits[s], model_.redSide[s], FieldCheck::Style::Box);
        QTableWidget* t = sgAdrNaraTrk_DS_[s];
        const auto& cells = model_.cells[s];
        t->setColumnCount(static_cast<int>(cells.size()));
        for (int c = 0; c < static_cast<int>(cells.size()); ++c) {
            QTableWidgetItem* item = t->item(0, c);
            if (!item) t->setItem(0, c, item = new QTableWidgetItem);
            if (item->text() != U(cells[c])) item->setText(U(cells[c]));
        }
        t->setFixedWidth(static_cast<int>(cells.size()) * kCellWidth + 2 * t->frameWidth());
        FieldCheck::paint(t, model_.redGrid[s], FieldCheck::Style::Box);
    }
    gbTrk2_DS_->setVisible(model_.sideBVisible);
    bSaveParam_DS_->setEnabled(model_.writeEnabled());
    lChannelLimit_DS_->setVisible(model_.tooManyChannels());
    lChannelLimit_DS_->setText(model_.tooManyChannels() ? QString::fromUtf8(kTooManyChannels) : QString());
    QStringList lines;
    for (const std::string& l : model_.summary())
        lines << U(l);
    const QString memo = lines.join('\n');
    if (mParamTrk_DS_->toPlainText() != memo) mParamTrk_DS_->setPlainText(memo);
    syncing_ = false;
}

void TformDefSet::cbTypeTrkChange(int index) {
    model_.typeChanged(index);
    showModel();
}

void TformDefSet::cbCountSize_DSChange(int index) {
    model_.sideItemChosen(index);
    showModel();
}

void TformDefSet::cbCountNoz_DSChange(int index) {
    model_.nozzleItemChosen(index);
    showModel();
}

void TformDefSet::sideAddressEdited(int side, const QString& text) {
    model_.sideAddressChanged(side, text.toStdString());
    showModel();
}

void TformDefSet::sideAddressLeft(int side) {
    model_.sideAddressLeft(side);
    showModel();
}

void TformDefSet::cellChanged(int side, int column) {
    QTableWidgetItem* item = sgAdrNaraTrk_DS_[side]->item(0, column);
    model_.cellEdited(side, column, item ? item->text().toStdString() : std::string());
    showModel();
}

void TformDefSet::gridLeft(int side) {
    model_.gridLeft(side);
    sgAdrNaraTrk_DS_[side]->clearSelection();
    showModel();
}

void TformDefSet::bSaveParam_DSClick() {
    const bool ok = model_.checkForWrite();
    showModel();
    if (!ok) return;
    model_.sealForWrite();

    // The controller as it is goes into a snapshot first: the defaults zero
    // every fiscal totalizer. Reading the whole controller takes seconds on a
    // slow line: the window tells what it does, and the button waits for it.
    const bool demo = frame_.demo();
    const std::string demoFile = Protocol().demoFileName;
    image::WholeWriteRequest q = DefaultsWriteRequest(state_.port(), state_.ctrl(), model_.image);
    q.demo = demo;
    q.demoImage = demoFile;
    q.goOnWithoutSnapshot = [&](const image::Snapshot& snap) {
        lSnapshot_DS_->hide();
        return dialogs_.okCancel(U(image::SnapshotFailedQuestion(snap, demo)), QString(),
                                 Dialogs::Icon::Warning);
    };
    if (demo) q.replace = [&] { return WriteDemoDefaults(demoFile, model_.image); };
    q.progress = [this](image::WholeStage stage, long done, long total) {
        if (stage == image::WholeStage::Snapshot) {
            ChangeProgress(0, progressbar_DS_); // busy until the controller was read whole
            return;
        }
        if (stage != image::WholeStage::Write && stage != image::WholeStage::Verify) return;
        if (progressbar_DS_->maximum() != total) {
            lSnapshot_DS_->setVisible(stage == image::WholeStage::Verify);
            lSnapshot_DS_->setText("Проверка записанного...");
            progressbar_DS_->setRange(0, static_cast<int>(total));
            progressbar_DS_->show();
        }
        ChangeProgress(static_cast<int>(done), progressbar_DS_);
    };
    bSaveParam_DS_->setEnabled(false);
    lSnapshot_DS_->setText("Сохранение снимка контроллера...");
    lSnapshot_DS_->show();
    progressbar_DS_->setRange(0, 0);
    progressbar_DS_->show();
    QCoreApplication::processEvents();
    const image::WholeWriteResult r = image::WriteWholeController(q);
    lSnapshot_DS_->hide();
    progressbar_DS_->hide();
    bSaveParam_DS_->setEnabled(model_.writeEnabled());
    if (r.stopped != image::WholeWriteResult::Stop::None) return;
    if (demo) {
        if (r.replaced != 1) {
            dialogs_.error(kDemoWriteFailed);
            return;
        }
        state_.ReidentifyPending = true;
        ReleaseDemoImage(); // the next identification loads the new file
        if (r.snapshotTaken)
            dialogs_.message(U(image::SnapshotSavedText(r.snapshot)), QString(), Dialogs::Icon::Information);
        accept();
        return;
    }
    if (r.foundAt >= 0 && r.foundAt != state_.ctrl()) frame_.setControllerNumber(r.foundAt);
    state_.ReidentifyPending = true;
    // The failures of the write are told once, at the end, with the result.
    dialogs_.outcome(U(image::WholeWriteResultText(image::kDefaultsWords, r)), r.ok());
    accept();
}
