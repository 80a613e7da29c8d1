#include "adv_settings_tab.h"

#include "block_transfer.h"
#include "ctrl_params_tab.h"
#include "dialogs.h"
#include "field_check.h"
#include "hints.h"
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
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

using namespace settings;

namespace {

const char* const kModes2[15] = {
    "Раздельный CLK на два табло",
    "Включать реле рекуперации для обогрева",
    "Вычисления объема с переливом при отпуске на сумму",
    "Разрешить рекуперацию паров",
    "Медленная приостановка на ТРК высокой производительности",
    "Управлять механическими счетчиками",
    "Использовать температурную компенсацию",
    "Не использовать модуль БП для датчиков пистолетов",
    "Управлять клапаном снижения литровой колонки",
    "Работать без клапана снижения",
    "Принимать команды по каналу 2",
    "Включение пускателей по перепаду основной фазы",
    "Резерв",
    "Скоростная S&B - один объемник на 2 шланга",
    "Работа с внутренним ЖК табло (одношланговая ТРК)",
};

QLineEdit* Edit(QWidget* parent, const char* name, int maxLength, const char* keys = "[0-9]*") {
    auto* e = new QLineEdit(parent);
    e->setObjectName(name);
    if (maxLength > 0) e->setMaxLength(maxLength);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(keys), e));
    e->setMaximumWidth(100);
    return e;
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

TAdvSettingsTab::TAdvSettingsTab(WorkingState& state, Dialogs& dialogs, QWidget* frame,
                                 TCtrlParamsTab& params, QWidget* parent)
    : QWidget(parent), state_(state), dialogs_(dialogs), frame_(frame), params_(params),
      fields_(new FieldCheck(state.FieldEdited, state.InvalidFieldCount, this)) {
    setObjectName("AdvSettingsTab");
    buildUi();
    ApplyHints(this, AdvSetHints());
    params_.setNaraReader([this] { return ReadNaraSpecific(); });
    params_.setParamsShown([this](const ParamsView& v) { showParams(v); });
}

TAdvSettingsTab::~TAdvSettingsTab() = default;

void TAdvSettingsTab::buildUi() {
    auto* top = new QHBoxLayout(this);
    gbAdvSetTrk_ = new QGroupBox("Дополнительные настройки контроллера", this);
    gbAdvSetTrk_->setObjectName("gbAdvSetTrk");
    gbSetNaraTrk_ = new QGroupBox("Настройки НАРА-АЗС", this);
    gbSetNaraTrk_->setObjectName("gbSetNaraTrk");

    auto help = [this](QWidget* parent, const char* name) {
        auto* b = new QPushButton("?", parent);
        b->setObjectName(name);
        b->setFixedWidth(22);
        connect(b, &QPushButton::clicked, this, &TAdvSettingsTab::helpClick);
        return b;
    };
    auto* ga = new QGridLayout(gbAdvSetTrk_);
    int row = 0;
    auto addA = [&](QWidget* label, QWidget* w, const char* helpName) {
        ga->addWidget(label, row, 0);
        ga->addWidget(w, row, 1);
        if (helpName) ga->addWidget(help(gbAdvSetTrk_, helpName), row, 2);
        ++row;
    };
    auto* g = gbAdvSetTrk_;
    eNozzleWait_ = Edit(g, "eNozzleWait", 2);
    eMinSpeed_ = Edit(g, "eMinSpeed", 2);
    eMinSpTime_ = Edit(g, "eMinSpTime", 3);
    ePcTimeout_ = Edit(g, "ePcTimeout", 2);
    eHydroHit_ = Edit(g, "eHydroHit", 4);
    eTemp_heat_low_ = Edit(g, "eTemp_heat_low", 4, "[-,0-9]*");
    eTemp_heat_high_ = Edit(g, "eTemp_heat_high", 4, "[-,0-9]*");
    lHydroHit_ = new QLabel("Буфер перелива, мл", g);
    lHydroHit_->setObjectName("lHydroHit");
    addA(new QLabel("Пауза пуска двигателя", g), eNozzleWait_, "helpNozzleWait");
    addA(new QLabel("Мин производительность", g), eMinSpeed_, "helpMinSpeed");
    addA(new QLabel("Время работы с мин производительностью", g), eMinSpTime_, "helpMinSpTime");
    addA(new QLabel("Таймаут потери связи с СУ", g), ePcTimeout_, "helpPcTimeout");
    addA(lHydroHit_, eHydroHit_, "helpHydroHit");
    addA(new QLabel("t вкл обогрева", g), eTemp_heat_low_, "helpTemp_heat_low");
    addA(new QLabel("t выкл обогрева", g), eTemp_heat_high_, "helpTemp_heat_high");
    bTestReleT_ = new QPushButton("Тест реле t", g);
    bTestReleT_->setObjectName("bTestReleT");
    ga->addWidget(bTestReleT_, row++, 1, 1, 2); // as wide as a box and its help button, so the caption fits
    checkbTrkModes2_ = new QListWidget(g);
    checkbTrkModes2_->setObjectName("checkbTrkModes2");
    for (const char* caption : kModes2) {
        auto* item = new QListWidgetItem(QString::fromUtf8(caption), checkbTrkModes2_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    ga->addWidget(checkbTrkModes2_, row++, 0, 1, 3);

    auto* gn = new QGridLayout(gbSetNaraTrk_);
    row = 0;
    auto addN = [&](const QString& label, QWidget* w, const char* helpName) {
        gn->addWidget(new QLabel(label, gbSetNaraTrk_), row, 0);
        gn->addWidget(w, row, 1);
        if (helpName) gn->addWidget(help(gbSetNaraTrk_, helpName), row, 2);
        ++row;
    };
    auto* n = gbSetNaraTrk_;
    eShimDuration_ = Edit(n, "eShimDuration", 2);
    eMinVolNara_ = Edit(n, "eMinVolNara", 3);
    eStWaitForceNara_ = Edit(n, "eStWaitForceNara", 2);
    evalve_delay_ = Edit(n, "evalve_delay", 2);
    PrcShift_ = Edit(n, "PrcShift", 1);
    eUpgrCountNara_ = Edit(n, "eUpgrCountNara", 5);
    eUpgrCountNara_->setReadOnly(true);
    eUpgrCountNara_->setEnabled(false);
    ePbTimeoutNara_ = Edit(n, "ePbTimeoutNara", 3);
    addN("Длительность ШИМ, мс.", eShimDuration_, "helpShimDuration");
    addN("Мин доза отпуска", eMinVolNara_, "helpMinVolNara");
    addN("Пауза перед принудительным пуском", eStWaitForceNara_, "helpStWaitForceNara");
    addN("Пауза включения клапана УЗСГ", evalve_delay_, "helpImp_len");
    addN("Сдвиг цены влево", PrcShift_, nullptr);
    addN("Количество перепрошивок", eUpgrCountNara_, "helpUpgrCountNara");
    addN("Таймаут импульсов в режиме ПБ", ePbTimeoutNara_, "helpPbTimeoutNara");
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
    gn->addWidget(RGDot_, row++, 0, 1, 3);
    auto* gbBmuPass = new QGroupBox("Пароли БМУ", n);
    gbBmuPass->setObjectName("gbBmuPass");
    auto* gp = new QGridLayout(gbBmuPass);
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
    eBmuPAdm_ = Edit(gbBmuPass, "eBmuPAdm", 10);
    eBmuPAdm_->setText("0000000000");
    gp->addWidget(new QLabel("Пароль заправщика", gbBmuPass), 0, 0);
    gp->addWidget(cbBmuPUser_, 0, 1);
    gp->addWidget(help(gbBmuPass, "helpBmuPUser"), 0, 2);
    gp->addWidget(new QLabel("Пароль администратора", gbBmuPass), 1, 0);
    gp->addWidget(eBmuPAdm_, 1, 1);
    gp->addWidget(help(gbBmuPass, "helpBmuPAdm"), 1, 2);
    gn->addWidget(gbBmuPass, row++, 0, 1, 3);
    gn->setRowStretch(row, 1);

    bGetAdvSetTrk_ = new QPushButton("Считать настройки", this);
    bGetAdvSetTrk_->setObjectName("bGetAdvSetTrk");
    bSetAdvSetTrk_ = new QPushButton("Сохранить настройки", this);
    bSetAdvSetTrk_->setObjectName("bSetAdvSetTrk");
    bSetAdvSetTrk_->setEnabled(false);
    auto* right = new QVBoxLayout;
    right->addWidget(gbSetNaraTrk_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(bGetAdvSetTrk_);
    buttons->addWidget(bSetAdvSetTrk_);
    right->addLayout(buttons);
    top->addWidget(gbAdvSetTrk_, 1);
    top->addLayout(right, 1);

    connect(bGetAdvSetTrk_, &QPushButton::clicked, this, &TAdvSettingsTab::bGetAdvSetTrkClick);
    connect(bSetAdvSetTrk_, &QPushButton::clicked, this, &TAdvSettingsTab::bSetAdvSetTrkClick);
    connect(bTestReleT_, &QPushButton::clicked, this, &TAdvSettingsTab::bTestReleTClick);
    connect(checkbTrkModes2_, &QListWidget::itemChanged, this, &TAdvSettingsTab::checkbTrkModes2ClickCheck);
    connect(dotButtons_, &QButtonGroup::idClicked, this, &TAdvSettingsTab::RGDotClick);
    connect(PrcShift_, &QLineEdit::textChanged, this, &TAdvSettingsTab::PrcShiftChange);
    connect(eBmuPAdm_, &QLineEdit::textChanged, this, &TAdvSettingsTab::eBmuPAdmChange);
    connect(cbBmuPUser_, &QComboBox::editTextChanged, this, &TAdvSettingsTab::cbBmuPUserChange);
    connect(cbBmuPUser_, &QComboBox::activated, this, &TAdvSettingsTab::cbBmuPUserSelect);

    auto params = [this](int byte) {
        return [this, byte](int v) {
            params_.params().working[static_cast<size_t>(byte)] = static_cast<uint8_t>(v);
        };
    };
    auto naraByte = [this](int at) {
        return [this, at](int v) { nara_.working[static_cast<size_t>(at)] = static_cast<uint8_t>(v); };
    };
    ruleBox(eNozzleWait_, NozzleWaitValid, params(kNozzleWait));
    ruleBox(eMinSpeed_, MinSpeedValid, params(kMinSpeed));
    ruleBox(eMinSpTime_, MinSpTimeValid, params(kMinSpTime));
    ruleBox(ePcTimeout_, PcTimeoutValid, params(kPcTimeout));
    ruleBox(evalve_delay_, ValveDelayValid, naraByte(kValveDelay));
    ruleBox(eShimDuration_, ShimDurationValid, naraByte(kShimDuration));
    ruleBox(eStWaitForceNara_, StWaitForceValid, naraByte(kStWaitForceNara));
    ruleBox(ePbTimeoutNara_, PbTimeoutNaraValid, naraByte(kPbTimeoutNara));
    ruleBox(eMinVolNara_, MinVolNaraValid,
            [this](int v) { PutU16(nara_.working.data(), kMinVolNara, static_cast<uint16_t>(v)); });
    fields_->attach(eHydroHit_, [this] { eHydroHitExit(); });
    const auto every = FieldCheck::When::EveryExit;
    fields_->attach(
        eTemp_heat_low_, [this] { eTemp_heat_lowExit(); }, every);
    fields_->attach(
        eTemp_heat_high_, [this] { eTemp_heat_highExit(); }, every);
    fields_->attach(
        eBmuPAdm_, [this] { eBmuPAdmExit(); }, every);
    fields_->attach(
        cbBmuPUser_, [this] { cbBmuPUserExit(); }, every);
}

void TAdvSettingsTab::ruleBox(QLineEdit* e, bool (*rule)(std::string_view, int*),
                              std::function<void(int)> store) {
    fields_->attach(e, [this, e, rule, store] {
        int v = 0;
        const bool ok = rule(e->text().trimmed().toStdString(), &v);
        fields_->setValid(e, ok);
        if (ok) store(v);
    });
}

int TAdvSettingsTab::port() const {
    return state_.portHandle;
}
int TAdvSettingsTab::ctrl() const {
    return state_.controllerNumber & 0xFF;
}

void TAdvSettingsTab::setStatus(const QString& text) {
    if (auto* sb = frame_ ? frame_->findChild<QStatusBar*>("SB") : nullptr) sb->showMessage(text);
}

void TAdvSettingsTab::helpClick() {
    if (auto* w = qobject_cast<QWidget*>(sender()))
        dialogs_.message(w->toolTip(), QString(), Dialogs::Icon::Information);
}

void TAdvSettingsTab::showParams(const ParamsView& v) {
    eNozzleWait_->setText(QString::number(v.nozzleWait));
    eTemp_heat_low_->setText(QString::number(v.tempLow));
    eTemp_heat_high_->setText(QString::number(v.tempHigh));
    eHydroHit_->setText(QString::number(v.hydroHit));
    ePcTimeout_->setText(QString::number(v.pcTimeout));
    eMinSpeed_->setText(QString::number(v.minSpeed));
    eMinSpTime_->setText(QString::number(v.minSpTime));
    for (QLineEdit* e : {eNozzleWait_, eTemp_heat_low_, eTemp_heat_high_, eHydroHit_, ePcTimeout_, eMinSpeed_,
                         eMinSpTime_, evalve_delay_})
        FieldCheck::reset(e);
    const QSignalBlocker block(checkbTrkModes2_);
    for (int i = 0; i < 15; ++i)
        checkbTrkModes2_->item(i)->setCheckState((v.mask2 >> i) & 1 ? Qt::Checked : Qt::Unchecked);
}

// ---- the Nara block ------------------------------------------------------

int TAdvSettingsTab::ReadNaraSpecific() {
    const int r = ReadBlock(port(), ctrl(), kAddrNaraSpecific, kNaraLen, nara_.working.data(), kBoardMain);
    // A short answer would fill the boxes from stale bytes: only the whole block counts.
    if (r < kNaraLen) {
        nara_.restore();
        gbSetNaraTrk_->setEnabled(false);
        return -1;
    }
    gbSetNaraTrk_->setEnabled(true);
    nara_.loaded(kNaraLen);
    const uint8_t* b = nara_.working.data();
    eMinVolNara_->setText(QString::number(GetU16(b, kMinVolNara)));
    eStWaitForceNara_->setText(QString::number(b[kStWaitForceNara]));
    ePbTimeoutNara_->setText(QString::number(b[kPbTimeoutNara]));
    eUpgrCountNara_->setText(QString::number(GetU16(b, kUpgrCountNara)));
    eBmuPAdm_->setText(QString::number(GetU32(b, kBmuPAdm)));
    eShimDuration_->setText(QString::number(b[kShimDuration]));
    evalve_delay_->setText(QString::number(b[kValveDelay]));
    {
        const QSignalBlocker block(PrcShift_);
        PrcShift_->setText(QString::number(b[kPrcShift]));
    }
    {
        const QSignalBlocker block(cbBmuPUser_);
        cbBmuPUser_->clear();
        for (int k = 0; k < 4; ++k)
            cbBmuPUser_->addItem(QString::number(GetU32(b, kBmuPUser + 4 * k)));
        cbBmuPUser_->setCurrentIndex(0);
    }
    cbBmuPUserChange(cbBmuPUser_->currentText());
    userSlot_ = 0; // an edit goes to the slot the engineer sees
    if (auto* rb = dotButtons_->button(DotItem(b[kNaraFlags]))) rb->setChecked(true);
    return 1;
}

int TAdvSettingsTab::WriteNaraSpecific() {
    if (!nara_.changed()) return 0;
    if (WriteBlock(port(), ctrl(), kAddrNaraSpecific, kNaraLen, nara_.working.data(), kBoardMain) != 1)
        return -1;
    nara_.accept();
    return 1;
}

// ---- handlers --------------------------------------------------------------

void TAdvSettingsTab::TabAdvSetShow() {
    eUpgrCountNara_->setReadOnly(true);
    if (!state_.Identified) {
        dialogs_.message("Идентификатор не считан! Считайте идентификатор", QString(), Dialogs::Icon::Error);
        setStatus("Идентификатор не считан! Считайте идентификатор");
        bGetAdvSetTrk_->setEnabled(false);
        bSetAdvSetTrk_->setEnabled(false);
        state_.ParamsLoaded = false;
        state_.requestRepaint();
        return;
    }
    if (params_.ReadParamCtrlr() != 1) {
        dialogs_.message("Ошибка чтения параметров", QString(), Dialogs::Icon::Error);
        setStatus("Ошибка чтения параметров");
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

void TAdvSettingsTab::bGetAdvSetTrkClick() {
    if (params_.ReadParamCtrlr() == 1 && ReadNaraSpecific() == 1) {
        setStatus("Параметры успешно считаны");
        bSetAdvSetTrk_->setEnabled(true);
    } else {
        dialogs_.message("Ошибка чтения параметров", QString(), Dialogs::Icon::Error);
        setStatus("Ошибка чтения параметров");
        bSetAdvSetTrk_->setEnabled(false);
    }
}

void TAdvSettingsTab::bSetAdvSetTrkClick() {
    if (!state_.PasswordStep()) return;
    if (state_.InvalidFieldCount > 0) {
        setStatus("Запись не произведена. Исправьте ошибку и повторите попытку");
        return;
    }
    ParamsPair& p = params_.params();
    if (p.changed()) {
        const int size = BlockSizes()[kSizeParams] > 0 ? BlockSizes()[kSizeParams] : p.length;
        std::vector<uint8_t> out(static_cast<size_t>(size), 0);
        std::copy_n(p.working.begin(), std::min(size, p.length), out.begin());
        out.back() = FrameChecksum(out.data(), out.size() - 1);
        if (WriteBlock(port(), ctrl(), kAddrCtrlrParams, size, out.data(), kBoardMain) != 1) {
            dialogs_.message("Ошибка записи!", QString(), Dialogs::Icon::Error);
            setStatus("Ошибка записи!");
            state_.ReidentifyPending = true;
            auto* tabs = frame_ ? frame_->findChild<QTabWidget*>("TabSetts") : nullptr;
            auto* ident = frame_ ? frame_->findChild<QWidget*>("TabIdent") : nullptr;
            if (tabs && ident) {
                tabs->setTabVisible(tabs->indexOf(ident), true);
                tabs->setCurrentWidget(ident);
            }
            state_.requestRepaint();
            return;
        }
        p.working[static_cast<size_t>(size - 1)] = out.back();
        p.accept();
        RestartController(port(), ctrl());
        setStatus("Параметры успешно записаны");
    } else {
        setStatus("Запись не произведена. Не было изменений параметров");
    }
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
        dialogs_.message("Ошибка записи параметров", QString(), Dialogs::Icon::Error);
        setStatus("Ошибка записи параметров");
        break;
    default:
        break;
    }
}

void TAdvSettingsTab::bTestReleTClick() {
    const uint8_t one = 1;
    if (WriteBlock(port(), ctrl(), kRegRelayTest, 1, &one, kBoardRegisters) != 1)
        dialogs_.message("Ошибка", QString(), Dialogs::Icon::Error);
}

void TAdvSettingsTab::checkbTrkModes2ClickCheck() {
    uint16_t mask = 0;
    for (int i = 0; i < 15; ++i)
        if (checkbTrkModes2_->item(i)->checkState() == Qt::Checked)
            mask = static_cast<uint16_t>(mask | (1u << i));
    PutU16(params_.params().working.data(), kModeMask2, mask);
}

void TAdvSettingsTab::RGDotClick(int item) {
    nara_.working[kNaraFlags] = FlagsForDotItem(nara_.working[kNaraFlags], item);
}

void TAdvSettingsTab::PrcShiftChange(const QString& text) {
    nara_.working[kPrcShift] = PrcShiftValue(text.toStdString());
}

void TAdvSettingsTab::eBmuPAdmChange(const QString& text) {
    fields_->setValid(eBmuPAdm_, BmuPasswordTextValid(text.toStdString()));
}

void TAdvSettingsTab::eBmuPAdmExit() {
    const auto v = BmuPasswordValue(eBmuPAdm_->text().toStdString());
    if (!v) {
        dialogs_.message(NotAnIntegerText(eBmuPAdm_->text()), QStringLiteral("Ошибка"), Dialogs::Icon::Error);
        return;
    }
    PutU32(nara_.working.data(), kBmuPAdm, *v);
}

void TAdvSettingsTab::cbBmuPUserChange(const QString& text) {
    fields_->setValid(cbBmuPUser_, BmuPasswordTextValid(text.toStdString()));
}

void TAdvSettingsTab::cbBmuPUserSelect(int index) {
    if (index >= 0 && index < 4) userSlot_ = index;
}

void TAdvSettingsTab::cbBmuPUserDropDown() {
    cbBmuPUserExit();
}

void TAdvSettingsTab::cbBmuPUserExit() {
    const QString text = cbBmuPUser_->currentText();
    if (text.isEmpty()) return;
    const auto v = BmuPasswordValue(text.toStdString());
    if (!v) {
        dialogs_.message(NotAnIntegerText(text), QStringLiteral("Ошибка"), Dialogs::Icon::Error);
        return;
    }
    PutU32(nara_.working.data(), kBmuPUser + 4 * userSlot_, *v);
    if (userSlot_ < cbBmuPUser_->count()) {
        const QSignalBlocker block(cbBmuPUser_);
        cbBmuPUser_->setItemText(userSlot_, text);
    }
}

void TAdvSettingsTab::eHydroHitExit() {
    long v = 0;
    if (!TextToLong(dialogs_, eHydroHit_->text(), v)) return;
    const bool ok = HydroHitValid(v);
    fields_->setValid(eHydroHit_, ok);
    if (ok) params_.params().working[kHydroHit] = HydroHitByte(v);
}

void TAdvSettingsTab::eTemp_heat_lowExit() {
    if (eTemp_heat_low_->text().isEmpty()) return;
    long v = 0;
    if (!TextToLong(dialogs_, eTemp_heat_low_->text(), v)) return;
    const bool ok = TempLowValid(v);
    fields_->setValid(eTemp_heat_low_, ok);
    if (ok) params_.params().working[kTempHeatLow] = static_cast<uint8_t>(v & 0xFF);
}

void TAdvSettingsTab::eTemp_heat_highExit() {
    if (eTemp_heat_high_->text().isEmpty()) return;
    long v = 0;
    if (!TextToLong(dialogs_, eTemp_heat_high_->text(), v)) return;
    const bool ok = TempHighValid(v);
    fields_->setValid(eTemp_heat_high_, ok);
    if (ok) params_.params().working[kTempHeatHigh] = static_cast<uint8_t>(v & 0xFF);
}
