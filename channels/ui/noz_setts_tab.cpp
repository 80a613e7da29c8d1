#include "noz_setts_tab.h"

#include "channel_fields.h"
#include "dialogs.h"
#include "field_binder.h"
#include "field_check.h"
#include "frame.h"
#include "little_endian.h"
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

namespace {

// The items of a choice row of the tab's table.
QStringList RowItems(const char* name) {
    QStringList out;
    if (const fields::Field* f = fields::FindField(NozSettsFields(), name))
        for (const fields::Item& item : f->items)
            out << QString::fromUtf8(item.text);
    return out;
}

QStringList Items(std::initializer_list<const char*> texts) {
    QStringList out;
    for (const char* t : texts)
        out << QString::fromUtf8(t);
    return out;
}

// The boxes a rescaling of the weights refreshes.
const char* const kWeightBoxes[] = {"eImpWLo", "eImpWHi", "eImpWkLo", "eImpWkHi", "eImpWkWLo"};

} // namespace

NozSettsTab::NozSettsTab(const TabContext& context, QWidget* parent)
    : ChannelTab(context, parent), setts_(context.state.nozSetts) {
    setObjectName("NozSettsTab");
    buildUi();
    binder_ = new FieldBinder(this, NozSettsFields(), setts_.working.data(), fields_, this);
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
    eImpLit_ = form::Combo(pnMetNoz_, "eImpLit",
                           Items({kImpLitTexts[0], kImpLitTexts[1], kImpLitTexts[2], kImpLitTexts[3]}));
    eImpLit_->setCurrentIndex(-1);
    cbMeterPhaseNozSets_ = form::Combo(pnMetNoz_, "cbMeterPhaseNozSets", RowItems("cbMeterPhaseNozSets"));
    cbMeterPhaseNozSets_->setCurrentIndex(-1);
    form::Grid m(pnMetNoz_, helpFactory());
    m.row("Импульсов на литр", eImpLit_);
    m.row("Фазы датчика", cbMeterPhaseNozSets_);
    m.layout()->setColumnStretch(2, 1);

    pnlKorr_ = new QGroupBox("Настройки пистолета", this);
    pnlKorr_->setObjectName("pnlKorr");
    auto box = [this](const char* name) { return form::Edit(pnlKorr_, name, 0, nullptr); };
    form::Grid k(pnlKorr_, helpFactory());
    k.row("Младшие 32 бита цены импульса в 0.01", box("eImpWLo"));
    k.row("Старший 1 бит цены импульса", box("eImpWHi"));
    k.row("K * L", box("eImpWkLo"));
    k.row("Старший бит K*L", box("eImpWkHi"));
    k.row("wk-w", box("eImpWkWLo"));
    QLineEdit* countKor = box("eCountKor");
    countKor->setReadOnly(true);
    k.row("Количество юстировок", countKor);
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
    connect(cbMeterPhaseNozSets_, &QComboBox::activated, this, &NozSettsTab::cbMeterPhaseNozSetsExit);
    const auto every = FieldCheck::When::EveryExit;
    onExit(eImpLit_, &NozSettsTab::eImpLitExit, every);
    onExit(cbMeterPhaseNozSets_, &NozSettsTab::cbMeterPhaseNozSetsExit, every);
}

// ---- read and save -----------------------------------------------------

int NozSettsTab::ReadNozSetts(int channel) {
    if (!checkChannel(channel)) return -1;
    state_.currentChannel = channel;
    if (settings::ReadNozSetts(port(), ctrl(), channel, setts_) != 1) {
        showError("Ошибка чтения настроек канала");
        return -1;
    }
    uint8_t* b = setts_.working.data();
    binder_->fill(true);
    {
        // A code that no item stands for selects none: leaving the list then
        // changes nothing.
        const QSignalBlocker block(eImpLit_);
        eImpLit_->setCurrentIndex(ImpLitItem(GetU16(b, nozsetts::ImpLit.offset)));
    }
    FieldCheck::reset(eImpLit_);
    const QSignalBlocker block(cbMeterPhaseNozSets_);
    if (b[nozsetts::MeterPhase.offset] < cbMeterPhaseNozSets_->count()) {
        cbMeterPhaseNozSets_->setCurrentIndex(b[nozsetts::MeterPhase.offset]);
    } else {
        // The as-read copy keeps the stored mode, so a save writes the repair.
        dialogs_.message("Ошибка чтения данных о фазах датчика. Количество фаз установлено - 1", QString(),
                         Dialogs::Icon::Warning);
        cbMeterPhaseNozSets_->setCurrentIndex(0);
        b[nozsetts::MeterPhase.offset] = 0;
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
    if (item < 0) return;
    uint8_t* b = setts_.working.data();
    const int old = GetU16(b, nozsetts::ImpLit.offset);
    const int code = ImpLitCode(item);
    if (code == old) return;
    if (!ChangeImpLit(b, code)) {
        // Weights that would not fit their 40 bits: the block keeps its code.
        const QSignalBlocker block(eImpLit_);
        eImpLit_->setCurrentIndex(ImpLitItem(static_cast<uint16_t>(old)));
        return;
    }
    showWeights();
}

void NozSettsTab::cbMeterPhaseNozSetsExit() {
    const int item = cbMeterPhaseNozSets_->currentIndex();
    if (item >= 0) setts_.working[nozsetts::MeterPhase.offset] = static_cast<uint8_t>(item);
}

// The rescaled weights in their boxes; colours and marks stay as they are.
void NozSettsTab::showWeights() {
    for (const char* name : kWeightBoxes)
        if (QLineEdit* e = binder_->box(name))
            e->setText(QString::fromStdString(
                fields::FieldText(*fields::FindField(NozSettsFields(), name), setts_.working.data())));
}
