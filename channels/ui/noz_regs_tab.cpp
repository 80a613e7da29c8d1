#include "noz_regs_tab.h"

#include "channel_fields.h"
#include "dialogs.h"
#include "field_binder.h"
#include "field_check.h"
#include "frame.h"
#include "progress.h"
#include "working_state.h"

#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace settings;

namespace {

// Boxes of the table get their key filter and length from the field binder.
QLineEdit* Box(QWidget* parent, const char* name) {
    return form::Edit(parent, name, 0, nullptr);
}

} // namespace

NozRegsTab::NozRegsTab(const TabContext& context, QWidget* parent)
    : ChannelTab(context, parent), regs_(context.state.nozRegs) {
    setObjectName("NozRegsTab");
    buildUi();
    binder_ = new FieldBinder(this, NozRegsFields(), regs_.working.data(), fields_, this);
    // Five items high, now that the binder gave the list its items.
    checkBitStat_->setFixedHeight(5 * checkBitStat_->sizeHintForRow(0) + 2 * checkBitStat_->frameWidth() + 8);
}

NozRegsTab::~NozRegsTab() = default;

void NozRegsTab::buildUi() {
    cbNumCnl_ = form::Combo(this, "cbNumCnl", {});
    cbNumCnl_->setMinimumContentsLength(18);
    bCallNozRegs_ = form::Button(this, "bCallNozRegs", "Запросить состояние");
    bSaveNozRegs_ = form::Button(this, "bSaveNozRegs", "Сохранить состояние");
    bSaveNozRegs_->setEnabled(false);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Номер канала", this));
    top->addWidget(cbNumCnl_);
    top->addStretch(1);
    top->addWidget(bCallNozRegs_);
    top->addWidget(bSaveNozRegs_);

    auto* left = new QGridLayout;
    form::Grid l(left, this, helpFactory());
    l.row("Заданная/отпущенная доза", Box(this, "eSetVol"), "helpSetVol");
    l.row("Заданная сумма", Box(this, "eSetSum"), "helpSetSum");
    l.row("Отпущенная доза", Box(this, "eLoadVol"), "helpLoadVol");
    l.row("Отпущенная доза Low", Box(this, "eLoadVolLo"), "helpLoadVolLo");
    l.row("Недолитая доза", Box(this, "eKVol"), "helpKVol");
    l.row("Недолитая доза Low", Box(this, "eKVolLo"), "helpKVolLo");
    l.row("Последняя отпущенная доза", Box(this, "eLastVol"), "helpLastVol");
    l.row("Цена топлива", Box(this, "ePrice"), "helpPrice");
    l.row("Старт на поджатии", Box(this, "eVolStart"), "helpVolStart");
    l.row("Конец отпуска на поджатии", Box(this, "eVolEnd"), "helpVolEnd");
    left->setRowStretch(l.rows(), 1);

    auto* right = new QGridLayout;
    form::Grid r(right, this, helpFactory());
    r.row("Дельта сумматоры", Box(this, "eDCount"), "helpDCount");
    // The fiscal totalizer: whole part, a comma, the fraction.
    auto* fiscal = new QWidget(this);
    auto* fl = new QHBoxLayout(fiscal);
    fl->setContentsMargins(0, 0, 0, 0);
    fl->addWidget(Box(fiscal, "eFCount"), 3);
    fl->addWidget(new QLabel(",", fiscal));
    eFCMil_ = Box(fiscal, "eFCMil");
    eFCMil_->setMaximumWidth(36);
    fl->addWidget(eFCMil_, 1);
    r.row("Фискальный сумматор", fiscal, "helpFCount");
    auto* lCount = Box(this, "eLCount");
    lCount->setReadOnly(true);
    r.row("Сумматор литровых отпусков", lCount, "helpLCount");
    r.row("Сумматор рублевых отпусков", Box(this, "eSCount"), "helpSCount");
    r.row("Сумматор отпусков с БМУ", Box(this, "eBCount"), "helpBCount");
    r.row("Сумматор отпусков в мерник", Box(this, "eMCount"), "helpMCount");
    // The transaction counter is never filled nor stored; its row stays hidden.
    auto* lDelry = new QLabel("Счетчик транзакций", this);
    r.row(lDelry, Box(this, "eDelryCount"), "helpDelryCount");
    for (QWidget* w : {static_cast<QWidget*>(lDelry), findChild<QWidget*>("eDelryCount"),
                       findChild<QWidget*>("helpDelryCount")})
        w->hide();
    cbState_ = form::Combo(this, "cbState", {}); // items from its field row
    // The longest states are wider than the column: the box cuts them, the list shows them whole.
    cbState_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    cbState_->setMinimumContentsLength(20);
    r.span(new QLabel("Состояние канала", this));
    r.span(cbState_);
    r.row("Битовое состояние, hex", Box(this, "eBitStatHex"));
    right->setRowStretch(r.rows(), 1);

    // The binder gives the list its items and ties it to the hex box.
    checkBitStat_ = form::CheckList(this, "checkBitStat", {});
    // Two columns: five items down, then the next column.
    checkBitStat_->setFlow(QListView::TopToBottom);
    checkBitStat_->setWrapping(true);
    checkBitStat_->setResizeMode(QListView::Adjust);
    checkBitStat_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    checkBitStat_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    auto* grid = new QGridLayout(this);
    grid->addLayout(top, 0, 0, 1, 2);
    grid->addLayout(left, 1, 0);
    grid->addLayout(right, 1, 1);
    grid->addWidget(new QLabel("Битовое состояние", this), 2, 0, 1, 2);
    grid->addWidget(checkBitStat_, 3, 0, 1, 2);
    grid->setRowStretch(1, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);

    connect(bCallNozRegs_, &QPushButton::clicked, this, &NozRegsTab::bCallNozRegsClick);
    connect(bSaveNozRegs_, &QPushButton::clicked, this, &NozRegsTab::bSaveNozRegsClick);
    connect(cbNumCnl_, &QComboBox::activated, this, &NozRegsTab::cbNumCnlChange);
}

// ---- read and save -----------------------------------------------------

int NozRegsTab::ReadNozRegs(int channel) {
    if (!checkChannel(channel)) return -1;
    state_.currentChannel = channel;
    if (settings::ReadNozRegs(port(), ctrl(), channel, regs_) != 1) {
        showError("Ошибка чтения состояния канала");
        return -1;
    }
    binder_->fill(true);
    // The box goes on showing FFFF; the list shows the cleared word.
    if (ClearUnreadBitStat(regs_)) {
        dialogs_.message("Oшибка считывания битового статуса канала!", QString(), Dialogs::Icon::Error);
        binder_->refill("checkBitStat");
    }
    state_.InvalidFieldCount = 0;
    setStatus("Состояние канала считано");
    return 1;
}

int NozRegsTab::SaveNozzleRegs(int channel) {
    return saveRegs(channel) == SaveOutcome::Failed ? -1 : 0;
}

SaveOutcome NozRegsTab::saveRegs(int channel) {
    return reportSave(settings::SaveNozzleRegs(port(), ctrl(), channel, regs_, [this] { attemptFailed(); }),
                      "Состояние канала записано");
}

// Edits of the channel read last (the save button is on only after a good read).
bool NozRegsTab::hasUnsavedEdits() const {
    return bSaveNozRegs_->isEnabled() && isEnabled() && (regs_.changed() || anyMarked());
}

bool NozRegsTab::saveEdits() {
    bSaveNozRegsClick();
    return !regs_.changed() && !anyMarked();
}

// ---- handlers ------------------------------------------------------------

void NozRegsTab::TabNozzRegsShow() {
    if (!prepareShow(cbNumCnl_)) return;
    bSaveNozRegs_->setEnabled(ReadNozRegs(0) == 1);
}

void NozRegsTab::bCallNozRegsClick() {
    const BusyCursor busy;
    clearStatus();
    bSaveNozRegs_->setEnabled(ReadNozRegs(cbNumCnl_->currentIndex()) == 1);
}

void NozRegsTab::bSaveNozRegsClick() {
    saveChannel(&Frame::passwordStep, [this] { return saveRegs(cbNumCnl_->currentIndex()); });
}

void NozRegsTab::cbNumCnlChange(int index) {
    // The pending edits belong to the channel read last, not to the one just chosen.
    if (regs_.changed() && askSaveChanges()) {
        if (!saveBeforeChange(cbNumCnl_)) return;
        SaveNozzleRegs(state_.currentChannel);
    }
    bSaveNozRegs_->setEnabled(ReadNozRegs(index) == 1);
}
