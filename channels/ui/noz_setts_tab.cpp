#include "noz_setts_tab.h"

#include "channel_fields.h"
#include "dialogs.h"
#include "field_binder.h"
#include "field_check.h"
#include "frame.h"
#include "progress.h"
#include "shared_blocks.h"
#include "working_state.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace settings;

NozSettsTab::NozSettsTab(const TabContext& context, QWidget* parent)
    : ChannelTab(context, parent), setts_(context.state.nozSetts) {
    setObjectName("NozSettsTab");
    buildUi();
    binder_ = new FieldBinder(this, NozSettsFields(), setts_.working.data(), fields_, this);
    findChild<QComboBox*>("cbMeterPhaseNozSets")->setCurrentIndex(-1); // nothing shown before a read
}

NozSettsTab::~NozSettsTab() = default;

void NozSettsTab::buildUi() {
    cbNumNozSets_ = form::Combo(this, "cbNumNozSets", {});
    cbNumNozSets_->setMinimumContentsLength(18);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel("Номер пистолета", this));
    top->addWidget(cbNumNozSets_);
    top->addStretch(1);

    pnMetNoz_ = new QGroupBox("Индивидуальные настройки датчика импульсов", this);
    pnMetNoz_->setObjectName("pnMetNoz");
    eImpLit_ = form::Combo(pnMetNoz_, "eImpLit", {});
    for (const char* text : kImpLitTexts)
        eImpLit_->addItem(QString::fromUtf8(text));
    eImpLit_->setCurrentIndex(-1);
    // The binder gives the phase list its items and stores the one chosen.
    form::Grid m(pnMetNoz_, helpFactory());
    m.field(NozSettsFields(), eImpLit_);
    m.field(NozSettsFields(), form::Combo(pnMetNoz_, "cbMeterPhaseNozSets", {}));
    m.layout()->setColumnStretch(2, 1);

    pnlKorr_ = new QGroupBox("Настройки пистолета", this);
    pnlKorr_->setObjectName("pnlKorr");
    form::Grid k(pnlKorr_, helpFactory());
    k.boxes(NozSettsFields(), {"eImpWLo", "eImpWHi", "eImpWkLo", "eImpWkHi", "eImpWkWLo", "eCountKor"});
    pnlKorr_->findChild<QLineEdit*>("eCountKor")->setReadOnly(true);
    k.layout()->setColumnStretch(2, 1);

    bCallNozSets_ = form::Button(this, "bCallNozSets", "Запросить настройки");
    bSaveNozSets_ = form::Button(this, "bSaveNozSets", "Сохранить настройки");
    bSaveNozSets_->setEnabled(false);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bCallNozSets_);
    buttons->addWidget(bSaveNozSets_);
    buttons->addStretch(1);

    auto* panels = new QHBoxLayout;
    panels->addWidget(pnMetNoz_, 1, Qt::AlignTop);
    panels->addWidget(pnlKorr_, 1, Qt::AlignTop);
    auto* v = new QVBoxLayout(this);
    v->addLayout(top);
    v->addLayout(panels);
    v->addLayout(buttons);
    v->addStretch(1);

    connect(bCallNozSets_, &QPushButton::clicked, this, &NozSettsTab::bCallNozSetsClick);
    connect(bSaveNozSets_, &QPushButton::clicked, this, &NozSettsTab::bSaveNozSetsClick);
    connect(cbNumNozSets_, &QComboBox::activated, this, &NozSettsTab::cbNumNozSetsChange);
    // A choice stores at once; leaving the list stores again (it changes nothing then).
    connect(eImpLit_, &QComboBox::activated, this, &NozSettsTab::eImpLitExit);
    onExit(eImpLit_, &NozSettsTab::eImpLitExit, FieldCheck::When::EveryExit);
}

// ---- read and save -----------------------------------------------------

int NozSettsTab::ReadNozSetts(int channel) {
    if (!checkChannel(channel)) return -1;
    state_.currentChannel = channel;
    if (settings::ReadNozSetts(port(), ctrl(), channel, setts_) != 1) {
        showError("Ошибка чтения настроек канала");
        return -1;
    }
    binder_->fill(true);
    {
        // A code that no item stands for selects none: leaving the list then
        // changes nothing.
        const QSignalBlocker block(eImpLit_);
        eImpLit_->setCurrentIndex(ImpLitItem(StoredImpLit(setts_.working.data())));
    }
    FieldCheck::reset(eImpLit_);
    if (RepairMeterPhase(setts_)) {
        dialogs_.message("Ошибка чтения данных о фазах датчика. Количество фаз установлено - 1", QString(),
                         Dialogs::Icon::Warning);
        binder_->refill("cbMeterPhaseNozSets");
    }
    state_.InvalidFieldCount = 0;
    setStatus("Настройки канала считаны");
    return 1;
}

int NozSettsTab::SaveNozSetts(int channel) {
    return saveSetts(channel) == SaveOutcome::Failed ? -1 : 0;
}

SaveOutcome NozSettsTab::saveSetts(int channel) {
    return reportSave(settings::SaveNozSetts(port(), ctrl(), channel, setts_, [this] { attemptFailed(); }),
                      "Настройки канала записаны");
}

// Edits of the channel read last (the save button is on only after a good read).
bool NozSettsTab::hasUnsavedEdits() const {
    return bSaveNozSets_->isEnabled() && isEnabled() && (setts_.changed() || anyMarked());
}

bool NozSettsTab::saveEdits() {
    bSaveNozSetsClick();
    return !setts_.changed() && !anyMarked();
}

// ---- handlers ------------------------------------------------------------

void NozSettsTab::TabNozSettsShow() {
    if (!prepareShow(cbNumNozSets_)) return;
    bSaveNozSets_->setEnabled(ReadNozSetts(0) == 1);
}

void NozSettsTab::bCallNozSetsClick() {
    const BusyCursor busy;
    clearStatus();
    bSaveNozSets_->setEnabled(ReadNozSetts(cbNumNozSets_->currentIndex()) == 1);
}

void NozSettsTab::bSaveNozSetsClick() {
    const BusyCursor busy; // over the parameter block's write-back too
    if (saveChannel(&Frame::adjustPasswordStep,
                    [this] { return saveSetts(cbNumNozSets_->currentIndex()); }) == SaveOutcome::Refused)
        return;
    // The parameter block goes back as the show handler restored it.
    Met2CtrlrSet(state_, dialogs_);
}

void NozSettsTab::cbNumNozSetsChange(int index) {
    // The pending edits belong to the channel read last, not to the one just chosen.
    if (setts_.changed() && askSaveChanges()) {
        if (!saveBeforeChange(cbNumNozSets_)) return;
        SaveNozSetts(state_.currentChannel);
    }
    bSaveNozSets_->setEnabled(ReadNozSetts(index) == 1);
}

void NozSettsTab::eImpLitExit() {
    const int item = eImpLit_->currentIndex();
    uint8_t* b = setts_.working.data();
    const int old = StoredImpLit(b);
    if (item < 0 || ImpLitCode(item) == old) return;
    if (ChangeImpLit(b, ImpLitCode(item))) {
        binder_->fill(false); // the rescaled weights; colours and marks stay as they are
        return;
    }
    // Weights that would not fit their 40 bits: the block keeps its code.
    const QSignalBlocker block(eImpLit_);
    eImpLit_->setCurrentIndex(ImpLitItem(static_cast<uint16_t>(old)));
}
