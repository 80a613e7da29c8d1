#include "adv_settings_tab.h"

#include "block_transfer.h"
#include "channel_fields.h"
#include "dialogs.h"
#include "field_binder.h"
#include "field_check.h"
#include "frame.h"
#include "ident_core.h"
#include "params_model.h"
#include "progress.h"
#include "shared_blocks.h"
#include "working_state.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

using namespace settings;

namespace {

// Boxes of the tables get their key filter and length from the field binder.
QLineEdit* Edit(QWidget* parent, const char* name, int maxLength = 0, const char* keys = nullptr) {
    return form::Edit(parent, name, maxLength, keys);
}

// The operator password list: opening its drop-down stores the text typed
// into the slot being edited first.
class BmuUserCombo : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> dropDown;
    void showPopup() override {
        if (dropDown) dropDown();
        QComboBox::showPopup();
    }
};

// Text of a number box read as an integer the way the toolkit would: a
// failure shows the conversion message and leaves the field as it was.
bool TextToLong(Dialogs& dialogs, const QString& text, long& value) {
    return TextToInt(dialogs, text, value);
}

} // namespace

AdvSettingsTab::AdvSettingsTab(const TabContext& context, QWidget* parent)
    : BlockTab(context, parent), params_(context.state.params.pair), nara_(context.state.nara) {
    setObjectName("AdvSettingsTab");
    buildUi();
    paramsBinder_ = new FieldBinder(this, AdvParamsFields(), params_.working.data(), fields_, this);
    naraBinder_ = new FieldBinder(this, NaraFields(), nara_.working.data(), fields_, this);
    connect(&state_, &WorkingState::paramsRead, this, &AdvSettingsTab::showParams);
    connect(&state_, &WorkingState::naraRead, this, &AdvSettingsTab::showNara);
    connect(&state_, &WorkingState::deviceTypeRead, this, &AdvSettingsTab::showDeviceCaptions);
}

AdvSettingsTab::~AdvSettingsTab() = default;

void AdvSettingsTab::buildUi() {
    auto* top = new QHBoxLayout(this);
    gbAdvSetTrk_ = new QGroupBox("Дополнительные настройки контроллера", this);
    gbAdvSetTrk_->setObjectName("gbAdvSetTrk");
    gbSetNaraTrk_ = new QGroupBox("Настройки НАРА-АЗС", this);
    gbSetNaraTrk_->setObjectName("gbSetNaraTrk");

    auto* g = gbAdvSetTrk_;
    eNozzleWait_ = Edit(g, "eNozzleWait");
    eMinSpeed_ = Edit(g, "eMinSpeed");
    eMinSpTime_ = Edit(g, "eMinSpTime");
    ePcTimeout_ = Edit(g, "ePcTimeout");
    eHydroHit_ = Edit(g, "eHydroHit", 4, "[0-9]*");
    eTemp_heat_low_ = Edit(g, "eTemp_heat_low", 4, "[-,0-9]*");
    eTemp_heat_high_ = Edit(g, "eTemp_heat_high", 4, "[-,0-9]*");
    lHydroHit_ = new QLabel("Буфер перелива, мл", g);
    lHydroHit_->setObjectName("lHydroHit");
    form::Grid ga(g, helpFactory());
    ga.row("Пауза пуска двигателя", eNozzleWait_, "helpNozzleWait");
    ga.row("Мин производительность", eMinSpeed_, "helpMinSpeed");
    ga.row("Время работы с мин производительностью", eMinSpTime_, "helpMinSpTime");
    ga.row("Таймаут потери связи с СУ", ePcTimeout_, "helpPcTimeout");
    ga.row(lHydroHit_, eHydroHit_, "helpHydroHit");
    ga.row("t вкл обогрева", eTemp_heat_low_, "helpTemp_heat_low");
    ga.row("t выкл обогрева", eTemp_heat_high_, "helpTemp_heat_high");
    bTestReleT_ = form::Button(g, "bTestReleT", "Тест реле t");
    ga.span(bTestReleT_, 1); // as wide as a box and its help button, so the caption fits
    checkbTrkModes2_ = form::CheckList(g, "checkbTrkModes2", {}); // items from its field row
    // Long items wrap inside the column instead of hiding behind a scroll bar.
    checkbTrkModes2_->setWordWrap(true);
    checkbTrkModes2_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ga.span(checkbTrkModes2_);

    auto* n = gbSetNaraTrk_;
    eShimDuration_ = Edit(n, "eShimDuration");
    eMinVolNara_ = Edit(n, "eMinVolNara");
    eStWaitForceNara_ = Edit(n, "eStWaitForceNara");
    evalve_delay_ = Edit(n, "evalve_delay");
    PrcShift_ = Edit(n, "PrcShift", 1, "[0-9]*");
    eUpgrCountNara_ = Edit(n, "eUpgrCountNara", 5, "[0-9]*");
    eUpgrCountNara_->setReadOnly(true);
    eUpgrCountNara_->setEnabled(false);
    ePbTimeoutNara_ = Edit(n, "ePbTimeoutNara");
    form::Grid gn(n, helpFactory());
    gn.row("Длительность ШИМ, мс.", eShimDuration_, "helpShimDuration");
    gn.row("Мин доза отпуска", eMinVolNara_, "helpMinVolNara");
    gn.row("Пауза перед принудительным пуском", eStWaitForceNara_, "helpStWaitForceNara");
    gn.row("Пауза включения клапана УЗСГ", evalve_delay_, "helpImp_len");
    gn.row("Сдвиг цены влево", PrcShift_);
    gn.row("Количество перепрошивок", eUpgrCountNara_, "helpUpgrCountNara");
    gn.row("Таймаут импульсов в режиме ПБ", ePbTimeoutNara_, "helpPbTimeoutNara");
    // The pump-stop wait is never stored; its row stays hidden, the box disabled.
    eStopTimeNara_ = Edit(n, "eStopTimeNara", 3, "[0-9]*");
    eStopTimeNara_->setEnabled(false);
    auto* lStopTime = new QLabel("Время ожидания остановки насоса", n);
    gn.row(lStopTime, eStopTimeNara_, "helpStopTimeNara");
    for (QWidget* w : {static_cast<QWidget*>(eStopTimeNara_), static_cast<QWidget*>(lStopTime),
                       n->findChild<QWidget*>("helpStopTimeNara")})
        w->hide();
    RGDot_ = new QGroupBox("Сдвиг точки в цене", n);
    RGDot_->setObjectName("RGDot");
    auto* dots = new QVBoxLayout(RGDot_);
    dotButtons_ = new QButtonGroup(this);
    int id = 0;
    for (const char* caption : {"РР.КК", "РРР.К", "РРРР"}) {
        auto* rb = new QRadioButton(QString::fromUtf8(caption), RGDot_);
        rb->setObjectName(QString("RGDot_%1").arg(id));
        dotButtons_->addButton(rb, id++);
        dots->addWidget(rb);
    }
    gn.span(RGDot_);
    auto* gbBmuPass = new QGroupBox("Пароли БМУ", n);
    gbBmuPass->setObjectName("gbBmuPass");
    auto* users = new BmuUserCombo(gbBmuPass);
    users->dropDown = [this] { cbBmuPUserDropDown(); };
    cbBmuPUser_ = users;
    cbBmuPUser_->setObjectName("cbBmuPUser");
    cbBmuPUser_->setEditable(true);
    cbBmuPUser_->setInsertPolicy(QComboBox::NoInsert);
    cbBmuPUser_->lineEdit()->setMaxLength(10);
    cbBmuPUser_->lineEdit()->setValidator(
        new QRegularExpressionValidator(QRegularExpression("[0-9]*"), cbBmuPUser_->lineEdit()));
    cbBmuPUser_->setEditText("0000000000");
    eBmuPAdm_ = Edit(gbBmuPass, "eBmuPAdm", 10, "[0-9]*");
    eBmuPAdm_->setText("0000000000");
    form::Grid gp(gbBmuPass, helpFactory());
    gp.row("Пароль заправщика", cbBmuPUser_, "helpBmuPUser");
    gp.row("Пароль администратора", eBmuPAdm_, "helpBmuPAdm");
    gn.span(gbBmuPass);
    gn.layout()->setRowStretch(gn.rows(), 1);

    bGetAdvSetTrk_ = form::Button(this, "bGetAdvSetTrk", "Считать настройки");
    bSetAdvSetTrk_ = form::Button(this, "bSetAdvSetTrk", "Сохранить настройки");
    bSetAdvSetTrk_->setEnabled(false);
    auto* right = new QVBoxLayout;
    right->addWidget(gbSetNaraTrk_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bGetAdvSetTrk_);
    buttons->addWidget(bSetAdvSetTrk_);
    right->addLayout(buttons);
    top->addWidget(gbAdvSetTrk_, 5);
    top->addLayout(right, 4);

    connect(bGetAdvSetTrk_, &QPushButton::clicked, this, &AdvSettingsTab::bGetAdvSetTrkClick);
    connect(bSetAdvSetTrk_, &QPushButton::clicked, this, &AdvSettingsTab::bSetAdvSetTrkClick);
    connect(bTestReleT_, &QPushButton::clicked, this, &AdvSettingsTab::bTestReleTClick);
    connect(dotButtons_, &QButtonGroup::idClicked, this, &AdvSettingsTab::RGDotClick);
    connect(PrcShift_, &QLineEdit::textChanged, this, &AdvSettingsTab::PrcShiftChange);
    connect(eBmuPAdm_, &QLineEdit::textChanged, this, &AdvSettingsTab::eBmuPAdmChange);
    connect(cbBmuPUser_, &QComboBox::editTextChanged, this, &AdvSettingsTab::cbBmuPUserChange);
    connect(cbBmuPUser_, &QComboBox::activated, this, &AdvSettingsTab::cbBmuPUserSelect);

    // The boxes of the two field tables check and store themselves; these are hand-written.
    using T = AdvSettingsTab;
    onExit(eHydroHit_, &T::eHydroHitExit);
    // Checked when edited, as the other boxes: a controller's own positive
    // value passed through is not marked (and does not block the save).
    onExit(eTemp_heat_low_, &T::eTemp_heat_lowExit);
    const auto every = FieldCheck::When::EveryExit;
    onExit(eTemp_heat_high_, &T::eTemp_heat_highExit, every);
    onExit(eBmuPAdm_, &T::eBmuPAdmExit, every);
    onExit(cbBmuPUser_, &T::cbBmuPUserExit, every);
}

// A read of the parameter block: this tab's boxes of it and the ModeMask2
// list (and evalve_delay's mark, which the read clears too).
void AdvSettingsTab::showParams(const ParamsView&) {
    paramsBinder_->fill(true);
    FieldCheck::reset(evalve_delay_);
}

// ---- the Nara block ------------------------------------------------------

int AdvSettingsTab::ReadNaraSpecific() {
    return ::ReadNaraSpecific(state_);
}

// A read of the Nara block fills the group without touching the marks (the
// password boxes' change handlers still judge the new texts).
void AdvSettingsTab::showNara(bool ok) {
    gbSetNaraTrk_->setEnabled(ok);
    if (!ok) return;
    const uint8_t* b = nara_.working.data();
    {
        const QSignalBlocker block(PrcShift_);
        naraBinder_->fill(false);
    }
    {
        const QSignalBlocker block(cbBmuPUser_);
        cbBmuPUser_->clear();
        for (int k = 0; k < 4; ++k)
            cbBmuPUser_->addItem(QString::number(BmuUserPassword(b, k)));
        cbBmuPUser_->setCurrentIndex(0);
    }
    cbBmuPUserChange(cbBmuPUser_->currentText());
    userSlot_ = 0; // an edit goes to the slot the engineer sees
    if (auto* rb = dotButtons_->button(StoredDotItem(b))) rb->setChecked(true);
}

int AdvSettingsTab::WriteNaraSpecific() {
    return WriteNara(port(), ctrl(), nara_);
}

void AdvSettingsTab::showDeviceCaptions() {
    lHydroHit_->setText(QString::fromUtf8(ident::CaptionsForDevice(state_.DeviceType).hydroHit));
}

// ---- handlers --------------------------------------------------------------

void AdvSettingsTab::TabAdvSetShow() {
    eUpgrCountNara_->setReadOnly(true);
    if (!state_.Identified) {
        showError("Идентификатор не считан! Считайте идентификатор");
        bGetAdvSetTrk_->setEnabled(false);
        bSetAdvSetTrk_->setEnabled(false);
        state_.ParamsLoaded = false;
        frame_.repaint();
        return;
    }
    if (ReadParamCtrlr(state_, dialogs_) != 1) {
        showError("Ошибка чтения параметров");
        bSetAdvSetTrk_->setEnabled(false);
        bGetAdvSetTrk_->setEnabled(true);
        state_.ParamsLoaded = false;
        return;
    }
    setStatus("Параметры были успешно считаны");
    bGetAdvSetTrk_->setEnabled(true);
    bSetAdvSetTrk_->setEnabled(true);
    state_.ParamsLoaded = true;
    if (ReadNaraSpecific() != 1) {
        dialogs_.message("Ошибка чтения параметров", QString(), Dialogs::Icon::Error);
        setStatus("Ошибка чтения параметров Нара-Азс");
        bSetAdvSetTrk_->setEnabled(false);
        bGetAdvSetTrk_->setEnabled(true);
        state_.ParamsLoaded = false;
    }
}

void AdvSettingsTab::bGetAdvSetTrkClick() {
    const BusyCursor busy;
    if (ReadParamCtrlr(state_, dialogs_) == 1 && ReadNaraSpecific() == 1) {
        setStatus("Параметры успешно считаны");
        bSetAdvSetTrk_->setEnabled(true);
    } else {
        showError("Ошибка чтения параметров");
        bSetAdvSetTrk_->setEnabled(false);
    }
}

void AdvSettingsTab::bSetAdvSetTrkClick() {
    const BusyCursor busy; // over both blocks
    SaveStep step;
    step.withCount = true;
    step.changed = [this] { return params_.changed(); };
    step.write = [this] {
        // As many bytes as the controller reports for the block, zero beyond the bytes read.
        return WriteParams(port(), ctrl(), params_, PaddedWriteBuffer(params_, BlockSizes()[kSizeParams])) ==
                       1
                   ? SaveOutcome::Written
                   : SaveOutcome::Failed;
    };
    step.written = [this] {
        paramsBinder_->fill(false); // what the block now holds (15 ml is stored as 10)
        setStatus("Параметры успешно записаны");
    };
    // The Nara block follows whether or not the parameter block had changes.
    const SaveOutcome params = save(step);
    if (params != SaveOutcome::Written && params != SaveOutcome::Unchanged) return;
    switch (WriteNaraSpecific()) {
    case 1:
        if (ReadNaraSpecific() == 1) {
            setStatus("Параметры успешно записаны");
            bSetAdvSetTrk_->setEnabled(true);
        } else {
            setStatus("Ошибка чтения параметров");
            bSetAdvSetTrk_->setEnabled(false);
        }
        break;
    case -1:
        showError("Ошибка записи параметров");
        break;
    default:
        break;
    }
}

bool AdvSettingsTab::hasUnsavedEdits() const {
    return state_.ParamsLoaded && bSetAdvSetTrk_->isEnabled() &&
           (params_.changed() || nara_.changed() || anyMarked());
}

bool AdvSettingsTab::saveEdits() {
    bSetAdvSetTrkClick();
    return !params_.changed() && !nara_.changed() && !anyMarked();
}

void AdvSettingsTab::bTestReleTClick() {
    if (TestHeaterRelay(port(), ctrl()) != 1) dialogs_.message("Ошибка", QString(), Dialogs::Icon::Error);
}

void AdvSettingsTab::RGDotClick(int item) {
    StoreDotItem(nara_.working.data(), item);
}

void AdvSettingsTab::PrcShiftChange(const QString& text) {
    StorePrcShift(nara_.working.data(), text.toStdString());
}

void AdvSettingsTab::eBmuPAdmChange(const QString& text) {
    fields_->setValid(eBmuPAdm_, BmuPasswordTextValid(text.toStdString()));
}

void AdvSettingsTab::eBmuPAdmExit() {
    const auto v = BmuPasswordValue(eBmuPAdm_->text().toStdString());
    if (!v) {
        dialogs_.message(NotAnIntegerText(eBmuPAdm_->text()), QStringLiteral("Ошибка"), Dialogs::Icon::Error);
        return;
    }
    StoreBmuAdmPassword(nara_.working.data(), *v);
}

void AdvSettingsTab::cbBmuPUserChange(const QString& text) {
    fields_->setValid(cbBmuPUser_, BmuPasswordTextValid(text.toStdString()));
}

void AdvSettingsTab::cbBmuPUserSelect(int index) {
    if (index >= 0 && index < 4) userSlot_ = index;
}

void AdvSettingsTab::cbBmuPUserDropDown() {
    cbBmuPUserExit();
}

void AdvSettingsTab::cbBmuPUserExit() {
    const QString text = cbBmuPUser_->currentText();
    if (text.isEmpty()) return;
    const auto v = BmuPasswordValue(text.toStdString());
    if (!v) {
        dialogs_.message(NotAnIntegerText(text), QStringLiteral("Ошибка"), Dialogs::Icon::Error);
        return;
    }
    StoreBmuUserPassword(nara_.working.data(), userSlot_, *v);
    if (userSlot_ < cbBmuPUser_->count()) {
        const QSignalBlocker block(cbBmuPUser_);
        cbBmuPUser_->setItemText(userSlot_, text);
    }
}

void AdvSettingsTab::eHydroHitExit() {
    numberExit(eHydroHit_, StoreHydroHit);
}

// An empty temperature box is left alone.
void AdvSettingsTab::eTemp_heat_lowExit() {
    if (!eTemp_heat_low_->text().isEmpty()) numberExit(eTemp_heat_low_, StoreTempLow);
}

void AdvSettingsTab::eTemp_heat_highExit() {
    if (!eTemp_heat_high_->text().isEmpty()) numberExit(eTemp_heat_high_, StoreTempHigh);
}

// Text that is not a number gets the conversion message and changes nothing;
// a number is marked by what the core takes.
void AdvSettingsTab::numberExit(QLineEdit* box, bool (*store)(uint8_t* params, long value)) {
    long v = 0;
    if (TextToLong(dialogs_, box->text(), v)) fields_->setValid(box, store(params_.working.data(), v));
}
