#include "ctrl_params_tab.h"

#include "address_grid.h"
#include "controller_fields.h"
#include "dialogs.h"
#include "field_binder.h"
#include "field_check.h"
#include "frame.h"
#include "guarded_write.h"
#include "ident_core.h"
#include "met2noz_core.h"
#include "params_model.h"
#include "progress.h"
#include "shared_blocks.h"
#include "side_address_panel.h"
#include "working_state.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace settings;

namespace {

const char* const kAddressInUse =
    "                             ВНИМАНИЕ!\n\r Выбранный вами адрес уже используется!\n\r"
    " Если вы продолжите программирование, связь\n\r                      с этими ТРК "
    "пропадет!\n\r                    Вы хотите продолжить?";
const char* const kLeaveManualPhases = "                             ВНИМАНИЕ!\n\r Выставлен ручной режим "
                                       "пересчета фаз датчиков.\n\r Фазы будут "
                                       "изменены для всех каналов.\n\r               Вы хотите продолжить?";

constexpr int kEditWidth = 70;

} // namespace

CtrlParamsTab::CtrlParamsTab(const TabContext& context, QWidget* parent)
    : BlockTab(context, parent), params_(context.state.params.pair) {
    setObjectName("CtrlParamsTab");
    buildUi();
    // The choices store through the binder (after cbPhaseMetChange's question);
    // a mark in the mode list also rebuilds the nozzle count list.
    binder_ = new FieldBinder(this, CtrlrSettsFields(), params_.working.data(), fields_, this);
    connect(binder_, &FieldBinder::edited, this, [this](const char* name) {
        if (qstrcmp(name, "checkbTrkModes") == 0) checkbTrkModesClickCheck();
    });
    connect(&state_, &WorkingState::paramsRead, this, &CtrlParamsTab::showParams);
    connect(&state_, &WorkingState::deviceTypeRead, this, &CtrlParamsTab::showDeviceCaptions);
    connect(&state_, &WorkingState::identTextRead, this, &CtrlParamsTab::showTableCaptions);
}

// Items 12..14 of the mode list are named after the device type.
void CtrlParamsTab::showDeviceCaptions() {
    const ident::DeviceCaptions captions = ident::CaptionsForDevice(state_.DeviceType);
    for (int i = 0; i < 3; ++i)
        if (QListWidgetItem* item = checkbTrkModes_->item(12 + i))
            item->setText(QString::fromUtf8(captions.modeItems[i]));
}

// Items 4 and 5 of the side A display list are named after the identification text.
void CtrlParamsTab::showTableCaptions() {
    const ident::TableCaptions tables = ident::TableCaptionsForIdentText(state_.identText);
    if (cbTypeTbl_->count() > 5) {
        cbTypeTbl_->setItemText(4, QString::fromUtf8(tables.item4));
        cbTypeTbl_->setItemText(5, QString::fromUtf8(tables.item5));
    }
}

settings::ParamsPair& CtrlParamsTab::params() {
    return params_;
}

CtrlParamsTab::~CtrlParamsTab() = default;

void CtrlParamsTab::buildUi() {
    auto* top = new QGridLayout(this);
    // The rows' labels and "?" buttons come from the field table; the choices
    // and the mode list take their items from its rows.
    auto* left = new QGridLayout;
    form::Grid grid(left, this, helpFactory(), true);
    const fields::Table t = CtrlrSettsFields();
    using form::Combo, form::Edit;
    cbSpeedTrk_ = grid.field(t, Combo(this, "cbSpeedTrk", {}));
    cbSpeedTrk_->setEnabled(false);
    cbSpeed2CnlTrk_ = grid.field(t, Combo(this, "cbSpeed2CnlTrk", {}));
    cbCountSideTrk_ = grid.field(t, Combo(this, "cbCountSideTrk", {"1", "2"}));
    cbCountNozTrk_ = grid.field(t, Combo(this, "cbCountNozTrk", {"1", "2", "3", "4", "5"}));
    ImpE_ = grid.field(t, Combo(this, "ImpE", {}));
    cbPhaseMet_ = grid.field(t, Combo(this, "cbPhaseMet", {}));
    cbTypeTbl_ = Combo(this, "cbTypeTbl", {});
    cbTypeTbl2_ = Combo(this, "cbTypeTbl2", {});
    grid.field(t, cbTypeTbl_, cbTypeTbl2_);
    eSlowStart_ = Edit(this, "eSlowStart", 5, "[0-9]*", kEditWidth);
    ImmBox_ = new QCheckBox("Старт КО+КС", this);
    ImmBox_->setObjectName("ImmBox");
    grid.field(t, eSlowStart_, ImmBox_);
    grid.boxes(t, {"eSlowLoad", "eNozzleFat", "eMetTOut"}, kEditWidth);
    // Compact rows (of the boxes and lists made so far) leave the mode list
    // below room for all its items.
    for (QWidget* w : findChildren<QWidget*>())
        if (qobject_cast<QComboBox*>(w) || qobject_cast<QLineEdit*>(w)) w->setFixedHeight(22);

    sides_ = std::make_unique<SideAddressPanel>(this, params_.working.data(), fields_);

    checkbTrkModes_ = form::CheckList(this, "checkbTrkModes", {});

    bGetParam_ = form::Button(this, "bGetParam", "Считать настройки");
    bSetParam_ = form::Button(this, "bSetParam", "Сохранить настройки");
    bSetParam_->setEnabled(false);

    auto* sides = new QVBoxLayout;
    sides->addWidget(sides_->box(0));
    sides->addWidget(sides_->box(1));
    sides->addStretch(1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bGetParam_);
    buttons->addWidget(bSetParam_);
    buttons->addStretch(1);
    sides->addLayout(buttons);
    // The mode list takes the whole width and the height left under the boxes,
    // so that its fifteen items show without scrolling.
    top->setVerticalSpacing(2);
    top->setContentsMargins(9, 6, 9, 6);
    top->addLayout(left, 0, 0);
    top->addLayout(sides, 0, 1);
    top->addWidget(new QLabel("Битовая маска режимов MD_XXXX", this), 1, 0, 1, 2);
    top->addWidget(checkbTrkModes_, 2, 0, 1, 2);
    top->setRowStretch(2, 1);
    top->setColumnStretch(1, 1);
    sides_->box(1)->setVisible(cbCountSideTrk_->currentIndex() != 0);
    // The controls are made in reading order, which the Tab key follows: the
    // boxes top to bottom, each row left to right, then the sides, the mode
    // list and the buttons.

    connect(bGetParam_, &QPushButton::clicked, this, &CtrlParamsTab::bGetParamClick);
    connect(bSetParam_, &QPushButton::clicked, this, &CtrlParamsTab::bSetParamClick);
    connect(ImmBox_, &QCheckBox::clicked, this, &CtrlParamsTab::ImmBoxClick);
    connect(cbPhaseMet_, &QComboBox::activated, this, &CtrlParamsTab::cbPhaseMetChange);
    connect(cbCountSideTrk_, &QComboBox::activated, this, &CtrlParamsTab::cbCountSideTrkChange);
    connect(cbCountNozTrk_, &QComboBox::activated, this, &CtrlParamsTab::cbCountNozTrkChange);
    // eSlowLoad, eNozzleFat and eMetTOut follow their field table rows.
    using T = CtrlParamsTab;
    onExit(eSlowStart_, &T::eSlowStartExit);
    const auto every = FieldCheck::When::EveryExit;
    onExit(sides_->address(0), &T::eAdrTrk_1Exit, every);
    onExit(sides_->address(1), &T::eAdrTrk_2Exit, every);
    onExit(sides_->nara(0), &T::sgAdrNaraTrk_1Exit, every);
    onExit(sides_->nara(1), &T::sgAdrNaraTrk_2Exit, every);
    onExit(sides_->phys(0), &T::sgPhysToLogTrk_1Exit, every);
    onExit(sides_->phys(1), &T::sgPhysToLogTrk_2Exit, every);
}

// ---- read --------------------------------------------------------------

int CtrlParamsTab::ReadParamCtrlr() {
    return ::ReadParamCtrlr(state_, dialogs_);
}

// A read of the block: the boxes, lists and grids of this tab.
void CtrlParamsTab::showParams(const ParamsView& v) {
    const uint8_t* b = params_.working.data();
    auto select = [](QComboBox* c, int index) {
        const QSignalBlocker block(c);
        c->setCurrentIndex(index);
    };
    speedAsRead_ = b[kSpeed1];
    select(cbCountNozTrk_, v.nozzleItem);
    FieldCheck::reset(cbCountNozTrk_);
    select(cbCountSideTrk_, v.sideItem);
    sides_->showAddresses(v.nozzleItem, v.sideItem != 0);
    // The speeds, the meter type and phases, the display types and the mode
    // list (left as it was when the mask was not read).
    binder_->fill(true);
    ImmBox_->setChecked(v.slowStartBoth);
    eSlowStart_->setText(QString::number(v.slowStart));
    eSlowStart_->setEnabled(!v.slowStartBoth);
    FieldCheck::reset(eSlowStart_);
    // The count as read, even when the list held a single item before.
    applyNozzleList(v.nozzleItem);
    sides_->showMap();
}

void CtrlParamsTab::bGetParamClick() {
    const BusyCursor busy;
    // The advanced settings block is read with this one (ReadNaraSpecific).
    const bool ok = ReadParamCtrlr() == 1 && ReadNaraSpecific(state_) == 1;
    if (ok)
        setStatus("Параметры успешно считаны");
    else
        showError("Ошибка чтения параметров");
    setLoaded(ok);
    if (ok) state_.requestPasswordStatus();
}

// The tab and its save button follow the last read.
void CtrlParamsTab::setLoaded(bool ok) {
    setEnabled(ok);
    bSetParam_->setEnabled(ok);
    state_.ParamsLoaded = ok;
}

void CtrlParamsTab::TabCtrlrSettsShow() {
    bGetParam_->setEnabled(state_.Identified);
    if (state_.Identified) {
        bGetParamClick();
        sides_->clearSelection();
        return;
    }
    showError("Идентификатор не считан! Считайте идентификатор");
    setLoaded(false);
    frame_.repaint();
}

// ---- boxes ---------------------------------------------------------------

void CtrlParamsTab::eSlowStartExit() {
    int v = 0;
    const bool valid = NumberBelow(eSlowStart_->text().trimmed().toStdString(), kBoundSlowStart, &v);
    fields_->setValid(eSlowStart_, valid);
    if (valid) params_.working[kSlowStart] = SlowStartByte(v, ImmBox_->isChecked());
}

void CtrlParamsTab::cbPhaseMetChange(int index) {
    if (params_.working[kMeterPhase] == kPhaseManual && index != kPhaseManual &&
        !dialogs_.okCancel(kLeaveManualPhases, QString(), Dialogs::Icon::Warning)) {
        const QSignalBlocker block(cbPhaseMet_);
        cbPhaseMet_->setCurrentIndex(params_.working[kMeterPhase]);
    }
}

void CtrlParamsTab::ImmBoxClick() {
    const bool both = ImmBox_->isChecked();
    eSlowStart_->setEnabled(!both);
    params_.working[kSlowStart] = both ? kSlowStartBothSignals : 0;
}

// A mark in the mode list (stored by the binder) may switch North mode.
void CtrlParamsTab::checkbTrkModesClickCheck() {
    applyNozzleList(cbCountNozTrk_->currentIndex());
}

// The nozzle count list: a single "1" in North mode (unless the device type is
// 39), else "1".."5" with the selection kept; the nozzle-count change follows
// in both cases so the grids always match byte 4.
void CtrlParamsTab::applyNozzleList(int keep) {
    const bool single = NozzleListSingle(GetU16(params_.working.data(), kModeMask), state_.DeviceType);
    keep = std::clamp(keep, 0, kMaxNozzles - 1);
    {
        const QSignalBlocker block(cbCountNozTrk_);
        cbCountNozTrk_->clear();
        if (single) {
            cbCountNozTrk_->addItem("1");
            cbCountNozTrk_->setCurrentIndex(0);
        } else {
            cbCountNozTrk_->addItems({"1", "2", "3", "4", "5"});
            cbCountNozTrk_->setCurrentIndex(keep);
        }
    }
    cbCountNozTrkChange(cbCountNozTrk_->currentIndex());
}

// ---- side addressing -----------------------------------------------------

void CtrlParamsTab::cbCountSideTrkChange(int index) {
    params_.working[kSideCount] = static_cast<uint8_t>(index + 1);
    sides_->sidesChanged(index != 0);
}

void CtrlParamsTab::cbCountNozTrkChange(int index) {
    params_.working[kNozzlesPerSide] = static_cast<uint8_t>(std::clamp(index + 1, 1, kMaxNozzles));
    sides_->nozzlesChanged();
}

void CtrlParamsTab::eAdrTrk_1Exit() {
    sides_->addressExit(0);
}
void CtrlParamsTab::eAdrTrk_2Exit() {
    sides_->addressExit(1);
}
void CtrlParamsTab::sgAdrNaraTrk_1Exit() {
    sides_->naraExit(0);
}
void CtrlParamsTab::sgAdrNaraTrk_2Exit() {
    sides_->naraExit(1);
}
void CtrlParamsTab::sgPhysToLogTrk_1Exit() {
    sides_->physExit(0);
}
void CtrlParamsTab::sgPhysToLogTrk_2Exit() {
    sides_->physExit(1);
}

// ---- save ----------------------------------------------------------------

void CtrlParamsTab::bSetParamClick() {
    uint8_t* b = params_.working.data();
    int newAddress = 0;
    SaveStep step;
    step.withCount = true;
    // Grid A's zero or repeated address only colours it, but is never written.
    step.red = {sides_->nara(0)};
    step.check = [&] {
        newAddress = state_.controllerNumber;
        sides_->take();
        params_.sealChecksum();
        if (b[kSpeed1] != params_.asRead[kSpeed1]) state_.ReidentifyPending = true;
        state_.AddressChanged = false;
        if (b[kAddrSideA] == params_.asRead[kAddrSideA] || frame_.demo()) return true;
        state_.AddressChanged = true;
        newAddress = b[kAddrSideA];
        return !(b[kSideCount] == 1 && AddressAnswers(port(), newAddress, b[kAddrSideB]) &&
                 !dialogs_.okCancel(kAddressInUse, QString(), Dialogs::Icon::Warning));
    };
    step.changed = [this] { return params_.changed(); };
    step.write = [this] {
        return WriteParams(port(), ctrl(), params_, WriteBuffer(params_)) == 1 ? SaveOutcome::Written
                                                                               : SaveOutcome::Failed;
    };
    step.controllerError = true;
    step.written = [&] { afterWrite(newAddress); };
    save(step);
}

// A good write of the block: the boxes, the PC side's speed, the controller
// followed to its new address, the channels brought to the meter type.
void CtrlParamsTab::afterWrite(int newAddress) {
    const uint8_t* b = params_.working.data();
    showStored();
    if (b[kSpeed1] != speedAsRead_) {
        state_.portSettings.baud = static_cast<uint32_t>(SpeedBaud(b[kSpeed1]));
        const ComPortSetting& s = state_.portSettings;
        ApplyPortSpeed(port(), b[kSpeed1], s.dataBits, s.parity, s.stopCode);
        speedAsRead_ = b[kSpeed1];
    }
    // After the restart the controller is looked for at its new side A
    // address, then at the old one, whatever the restart answered.
    if (state_.AddressChanged) {
        const int found = image::FindController(port(), newAddress, ctrl());
        if (found >= 0) newAddress = found;
    }
    if (newAddress != state_.controllerNumber) frame_.setControllerNumber(newAddress);
    if (settings::Met2NozSetts(port(), ctrl(), MeterCodeOfItem(ImpE_->currentIndex()), b[kMeterPhase],
                               ChannelCount(params_), state_.nozSetts) == -1) {
        reportFailedWrite("Ошибка записи параметров канала");
        return;
    }
    if (state_.ReidentifyPending || state_.AddressChanged) {
        state_.controllerNumber = newAddress;
        frame_.showMainTab();
        frame_.repaint();
    }
    setStatus("Параметры успешно записаны");
}

bool CtrlParamsTab::hasUnsavedEdits() const {
    return state_.ParamsLoaded && isEnabled() && (params_.changed() || anyMarked({sides_->nara(0)}));
}

bool CtrlParamsTab::saveEdits() {
    bSetParamClick();
    return !params_.changed() && !anyMarked({sides_->nara(0)});
}

// The boxes show what the block now holds: a dose typed as 150 is stored
// in hundreds of millilitres and shows as 100.
void CtrlParamsTab::showStored() {
    binder_->fill(false);
    const uint8_t b = params_.working[kSlowStart];
    if (b != kSlowStartBothSignals) eSlowStart_->setText(QString::number(b * 100));
}

int CtrlParamsTab::Met2CtrlrSet() {
    return ::Met2CtrlrSet(state_, dialogs_);
}
