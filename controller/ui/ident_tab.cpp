#include "ident_tab.h"

#include "block_transfer.h"
#include "controller_fields.h"
#include "demo_image.h"
#include "dialogs.h"
#include "field_binder.h"
#include "frame.h"
#include "ident_core.h"
#include "ident_ops.h"
#include "protocol_state.h"
#include "working_state.h"

#include <QCoreApplication>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString u8(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

IdentTab::IdentTab(const TabContext& context, QWidget* parent) : BlockTab(context, parent) {
    setObjectName("TIdentTabContent");

    bCallIdent_ = button("bCallIdent", "Запросить идентификатор");
    bReservCall_ = button("bReservCall", "Связь с контроллером по резервномому каналу");
    bFindCtrlr_ = button("bFindCtrlr", "Поиск контроллеров");
    bSimImp_ = button("bSimImp", "Вкл. имитатор импульсов");
    bSimImp_->setProperty("mark", 0);
    bReset_ = button("bReset", "Рестарт ТРК");
    bGlobalSet_ = button("bGlobalSet", "Первичная настройка");
    bGlobalDefaultSet_ = button("bGlobalDefaultSet", "Заводские установки");
    bSaveImage_ = button("bSaveImage", "Считать образ из контроллера");
    bLoadImage_ = button("bLoadImage", "Загрузить образ в контроллер");
    bLoadFisk_ = button("bLoadFisk", "Запрос фискальных счетчиков");
    bIrValRead_ = button("bIrValRead", "Прочитать регистр");
    bReadTemper_ = button("bReadTemper", "Считать температуру");
    ReadCRC_ = button("ReadCRC", "Прочитать CRC-16");
    TestButton_ = button("TestButton", "Подбор таблицы");
    bSaveParamToText_ = button("bSaveParamToText", "Печать параметров контроллера");
    bSetTabloTest_ = button("bSetTabloTest", "Установить");

    lSimulState_ = new QLabel(this);
    lSimulState_->setObjectName("lSimulState");
    lTemperature_ = new QLabel(this);
    lTemperature_->setObjectName("lTemperature");
    TestEdit_ = new QLineEdit("00", this);
    TestEdit_->setObjectName("TestEdit");
    TestEdit_->setMaximumWidth(60);
    LETimeout_ = new QLineEdit("1", this);
    LETimeout_->setObjectName("LETimeout");
    LETimeout_->setMaximumWidth(60);
    mIdent_ = new QPlainTextEdit(this);
    mIdent_->setObjectName("mIdent");
    mIdent_->setReadOnly(true);
    mIRsValue_ = new QPlainTextEdit(this);
    mIRsValue_->setObjectName("mIRsValue");
    mIRsValue_->setReadOnly(true);
    mIRsValue_->setMaximumHeight(120);

    auto* gbTablo = new QGroupBox("Отображать на табло", this);
    gbTablo->setObjectName("gbTablo");
    rbStandartTablo_ = new QRadioButton("Стандартный режим", gbTablo);
    rbStandartTablo_->setObjectName("rbStandartTablo");
    rbCapacityTablo_ = new QRadioButton("Производительность", gbTablo);
    rbCapacityTablo_->setObjectName("rbCapacityTablo");
    rbTestTablo_ = new QRadioButton("Тест табло", gbTablo);
    rbTestTablo_->setObjectName("rbTestTablo");
    rbFiskTablo_ = new QRadioButton("Фискальные суммарники", gbTablo);
    rbFiskTablo_->setObjectName("rbFiskTablo");
    auto* tabloLayout = new QVBoxLayout(gbTablo);
    for (QWidget* w : {static_cast<QWidget*>(rbStandartTablo_), static_cast<QWidget*>(rbCapacityTablo_),
                       static_cast<QWidget*>(rbTestTablo_), static_cast<QWidget*>(rbFiskTablo_),
                       static_cast<QWidget*>(bSetTabloTest_)})
        tabloLayout->addWidget(w);

    // Left: the commands; middle: the identification text; right: registers.
    auto* commands = new QVBoxLayout;
    for (QPushButton* b : {bCallIdent_, bReservCall_, bFindCtrlr_, bReset_, bSimImp_, bGlobalSet_,
                           bGlobalDefaultSet_, bSaveImage_, bLoadImage_, bLoadFisk_, bSaveParamToText_})
        commands->addWidget(b);
    commands->addWidget(lSimulState_);
    auto* timeoutRow = new QHBoxLayout;
    auto* lTimeout = new QLabel("Множитель таймаута", this);
    lTimeout->setObjectName("lTimeout");
    timeoutRow->addWidget(lTimeout);
    timeoutRow->addWidget(LETimeout_);
    commands->addLayout(timeoutRow);
    commands->addStretch();

    auto* right = new QVBoxLayout;
    right->addWidget(gbTablo);
    right->addWidget(bIrValRead_);
    right->addWidget(ReadCRC_);
    right->addWidget(mIRsValue_);
    right->addWidget(bReadTemper_);
    right->addWidget(lTemperature_);
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(TestEdit_);
    testRow->addWidget(TestButton_);
    right->addLayout(testRow);
    right->addStretch();

    auto* top = new QHBoxLayout(this);
    top->addLayout(commands, 0);
    top->addWidget(mIdent_, 1);
    top->addLayout(right, 0);

    tmFindTrk_ = new QTimer(this);
    tmFindTrk_->setObjectName("tmFindTrk");
    tmFindTrk_->setInterval(300);

    connect(bCallIdent_, &QPushButton::clicked, this, &IdentTab::bCallIdentClick);
    connect(bReservCall_, &QPushButton::clicked, this, &IdentTab::bReservCallClick);
    connect(bReset_, &QPushButton::clicked, this, &IdentTab::bResetClick);
    connect(bSimImp_, &QPushButton::clicked, this, &IdentTab::bSimImpClick);
    connect(bSetTabloTest_, &QPushButton::clicked, this, &IdentTab::bSetTabloTestClick);
    connect(bLoadFisk_, &QPushButton::clicked, this, &IdentTab::bLoadFiskClick);
    connect(bIrValRead_, &QPushButton::clicked, this, &IdentTab::bIrValReadClick);
    connect(bReadTemper_, &QPushButton::clicked, this, &IdentTab::bReadTemperClick);
    connect(ReadCRC_, &QPushButton::clicked, this, &IdentTab::ReadCRCClick);
    connect(TestButton_, &QPushButton::clicked, this, &IdentTab::TestButtonClick);
    connect(bGlobalSet_, &QPushButton::clicked, this, &IdentTab::bGlobalSetClick);
    connect(bGlobalDefaultSet_, &QPushButton::clicked, this, &IdentTab::bGlobalDefaultSetClick);
    connect(bSaveParamToText_, &QPushButton::clicked, this, &IdentTab::bSaveParamToTextClick);
    connect(LETimeout_, &QLineEdit::textChanged, this, &IdentTab::LETimeoutChange);

    // Nothing works with a controller before it was identified.
    for (QPushButton* b : {bSimImp_, bGlobalSet_, bGlobalDefaultSet_, bReset_, bSaveImage_, bLoadImage_,
                           bIrValRead_, bLoadFisk_, bSaveParamToText_, bReadTemper_})
        b->setEnabled(false);
    ApplyHints(this, settings::MainTabFields()); // hints are always on
}

QPushButton* IdentTab::button(const char* name, const QString& caption) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(name);
    return b;
}

void IdentTab::setForms(QDialog* globalSetts, QDialog* defSet, QDialog* viewParam) {
    globalSetts_ = globalSetts;
    defSet_ = defSet;
    viewParam_ = viewParam;
}

void IdentTab::DisableCommands() {
    state_.Identified = false;
    for (QPushButton* b : {bSimImp_, bGlobalSet_, bGlobalDefaultSet_, bReset_, bSaveImage_, bLoadImage_,
                           bIrValRead_, bLoadFisk_, bSaveParamToText_})
        b->setEnabled(false);
}

void IdentTab::enableAfterIdent(bool withTemperature) {
    for (QPushButton* b : {bSimImp_, bGlobalSet_, bGlobalDefaultSet_, bReset_, bSaveImage_, bLoadImage_,
                           bReservCall_, bCallIdent_, bIrValRead_, bLoadFisk_, bSaveParamToText_})
        b->setEnabled(true);
    if (withTemperature) bReadTemper_->setEnabled(true);
}

void IdentTab::bCallIdentClick() {
    IdentToForm();
}

void IdentTab::IdentToForm() {
    // The primary setup button is offered only until the first identification.
    bGlobalSet_->hide();
    mIdent_->clear();
    // Nothing read from the previous controller stays on screen.
    mIRsValue_->clear();
    lTemperature_->clear();
    lSimulState_->clear();
    setStatus(QString());
    QCoreApplication::processEvents();

    if (state_.demo) {
        if (LoadDemoImage(Protocol().demoFileName) != 1) {
            DisableCommands();
            return;
        }
        for (QWidget* w : {static_cast<QWidget*>(bIrValRead_), static_cast<QWidget*>(bSimImp_),
                           static_cast<QWidget*>(lSimulState_), static_cast<QWidget*>(bSaveImage_),
                           static_cast<QWidget*>(bLoadImage_), static_cast<QWidget*>(bReadTemper_)})
            w->hide();
        mIdent_->appendPlainText("Демонстрационная версия программы");
        state_.ParamsLoaded = false;
        state_.Identified = true;
        frame_.setPortMenusVisible(false);
        enableAfterIdent(false);
        return;
    }

    state_.ParamsLoaded = false;
    state_.ReidentifyPending = false;
    lSimulState_->hide();

    const int port = state_.portHandle;
    const ident::IdentifyAnswer answer = ident::IdentifyAt(port, state_.controllerNumber & 0xFF);
    if (answer.result != 1) {
        QString text;
        if (answer.result == -2)
            text = "C данным устройством не поддерживается работа";
        else if (state_.controllerNumber == WorkingState::ReserveAddress)
            text = "По резервному каналу связь не установлена";
        else
            text = "Нет связи с устройством №" + QString::number(state_.controllerNumber);
        frame_.setNumberLabel(text);
        setStatus(text);
        mIdent_->appendPlainText(text);
        DisableCommands();
        return;
    }
    state_.DeviceType = answer.deviceType;
    emit state_.deviceTypeRead();

    if (state_.controllerNumber == WorkingState::ReserveAddress) state_.controllerNumber = answer.address;
    const int ctrl = state_.controllerNumber & 0xFF;

    if (!ident::ReadRegister24(port, ctrl)) {
        setStatus("Ошибка чтения регистра IR 24");
        DisableCommands();
        return;
    }

    mIdent_->appendPlainText("Получение идентификатора.");
    state_.identText = ident::ReadIdentTextUtf8(port, ctrl);
    emit state_.identTextRead();
    mIdent_->setPlainText(QString::fromStdString(state_.identText));

    state_.Identified = true;
    lSimulState_->show();
    enableAfterIdent(true);
    setStatus("Идентификатор считан");
    if (state_.controllerNumber == WorkingState::ReserveAddress)
        frame_.setNumberLabel("Контроллер найден");
    else
        frame_.setNumberLabel("Работа с Адресом №" + QString::number(state_.controllerNumber));

    const int sim = ReadSimulator(port, ctrl);
    if (sim < 0) {
        lSimulState_->setText("Ошибка чтения имитатора");
    } else if (sim == 0) {
        lSimulState_->setText("Имитатор выключен");
        bSimImp_->setText("Вкл. имитатор импульсов");
        bSimImp_->setProperty("mark", 0);
    } else {
        lSimulState_->setText("Имитатор включен");
        bSimImp_->setText("Выкл. имитатор импульсов");
        bSimImp_->setProperty("mark", 1);
    }
}

void IdentTab::bReservCallClick() {
    if (!dialogs_.okCancel("Внимание, если подключено более одного устройства, не пользуйтесь этой функцией. "
                           "Вы хотите использовать эту функцию?",
                           "Внимание", Dialogs::Icon::Warning))
        return;
    state_.controllerNumber = WorkingState::ReserveAddress;
    IdentToForm();
}

void IdentTab::bResetClick() {
    if (state_.demo) return;
    // A restart that was not accepted must not pass for one that was.
    const bool done = RestartController(state_.portHandle, state_.controllerNumber & 0xFF) == 1;
    setStatus(done ? "Контроллер перезапущен" : "Ошибка");
}

void IdentTab::bSimImpClick() {
    const int port = state_.portHandle, ctrl = state_.controllerNumber & 0xFF;
    if (bSimImp_->property("mark").toInt() == 1) {
        SetSimulator(port, ctrl, false);
        bSimImp_->setText("Вкл имитатор импульсов");
        lSimulState_->setText("Имитатор выключен");
        bSimImp_->setProperty("mark", 0);
    } else {
        SetSimulator(port, ctrl, true);
        bSimImp_->setText("Выкл имитатор импульсов");
        lSimulState_->setText("Имитатор включен");
        bSimImp_->setProperty("mark", 1);
    }
}

void IdentTab::bSetTabloTestClick() {
    if (state_.demo) {
        setStatus("Демонстрационная версия программы");
        return;
    }
    int code = -1;
    const QRadioButton* order[] = {rbStandartTablo_, rbCapacityTablo_, rbTestTablo_, rbFiskTablo_};
    for (int i = 0; i < 4 && code < 0; ++i)
        if (order[i]->isChecked()) code = i;
    if (code < 0) {
        setStatus("Ошибка");
        return;
    }
    setStatus(ident::WriteDisplayMode(port(), ctrl(), code) == 1 ? "Запись завершена успешно" : "Ошибка");
}

void IdentTab::bLoadFiskClick() {
    if (state_.demo) {
        mIdent_->setPlainText("Демонстрационная версия");
        return;
    }
    const auto lines = ident::ReadFiscalLines(port(), ctrl());
    if (!lines) {
        setStatus("Ошибка чтения фискальных сумматоров");
        return;
    }
    for (const std::string& line : *lines)
        mIdent_->appendPlainText(u8(line));
    setStatus("Фискальные сумматоры считаны");
}

void IdentTab::bIrValReadClick() {
    mIRsValue_->clear();
    const ident::RegisterLines regs = ident::ReadRegisterLines(port(), ctrl());
    for (const std::string& line : regs.lines)
        mIRsValue_->appendPlainText(u8(line));
    if (!regs.ok) setStatus("Ошибка чтения регистров");
}

void IdentTab::bReadTemperClick() {
    uint8_t raw[kLenTemperature] = {};
    if (ReadTemperatureRaw(state_.portHandle, state_.controllerNumber & 0xFF, raw) != 1) {
        setStatus("Ошибка чтения температуры");
        lTemperature_->setText("Ошибка чтения температуры");
        return;
    }
    lTemperature_->setText(u8(ident::TemperatureText(raw)));
}

void IdentTab::ReadCRCClick() {
    const auto text = ident::ReadCrcText(port(), ctrl());
    mIRsValue_->appendPlainText(text ? u8(*text) : QString("Ошибка чтения"));
}

void IdentTab::TestButtonClick() {
    long n = 0;
    if (!TextToInt(dialogs_, TestEdit_->text(), n)) return;
    if (ident::WriteFittingStep(port(), ctrl(), n) != 1) {
        setStatus("Ошибка");
        return;
    }
    setStatus("Запись завершена успешно");
    TestEdit_->setText(QString::number(ident::NextTableStep(n)));
}

void IdentTab::bGlobalSetClick() {
    if (!globalSetts_) return;
    globalSetts_->setProperty("mode", false);
    globalSetts_->setWindowTitle("Первичная настройка");
    if (!frame_.passwordStep()) return;
    dialogs_.execModal(*globalSetts_);
}

void IdentTab::bGlobalDefaultSetClick() {
    if (!defSet_ || !frame_.passwordStep()) return;
    dialogs_.execModal(*defSet_);
}

void IdentTab::bSaveParamToTextClick() {
    if (viewParam_) dialogs_.execModal(*viewParam_);
}

void IdentTab::LETimeoutChange(const QString& text) {
    SetTimeoutMultiplier(TimeoutMultiplierFromText(text.toStdString()));
}
