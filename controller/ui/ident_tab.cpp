#include "ident_tab.h"

#include "block_transfer.h"
#include "controller_fields.h"
#include "demo_image.h"
#include "dialogs.h"
#include "field_binder.h"
#include "frame.h"
#include "guarded_write.h"
#include "guarded_write_text.h"
#include "ident_core.h"
#include "ident_ops.h"
#include "image_core.h"
#include "image_files.h"
#include "image_texts.h"
#include "progress.h"
#include "protocol_state.h"
#include "working_state.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QString u8(const std::string& s) {
    return QString::fromStdString(s);
}

const QString kImageFilter = QStringLiteral("файл образа (*.bin);;любой файл (*.*)");
constexpr int kProgressStep = 10; // the bar's step, added to the maximum of the load's bar

// An image transfer from start to end: the idle flag is clear (the function
// keys and the exit do nothing) and, on every way out, the label and the bar
// are hidden and the flag set again.
class ImageOperation {
public:
    ImageOperation(WorkingState& state, QLabel* label, QProgressBar* bar)
        : state_(state), label_(label), bar_(bar) {
        state_.idle = false;
    }
    ~ImageOperation() {
        label_->hide();
        bar_->hide();
        state_.idle = true;
    }
    ImageOperation(const ImageOperation&) = delete;
    ImageOperation& operator=(const ImageOperation&) = delete;

private:
    WorkingState& state_;
    QLabel* label_;
    QProgressBar* bar_;
};

void ShowProgress(QLabel* label, const QString& text, QProgressBar* bar, int maximum) {
    label->setText(text);
    label->show();
    bar->setRange(0, maximum);
    bar->setValue(0);
    bar->show();
}

std::string LocalPath(const QString& name) {
    return QFile::encodeName(name).toStdString();
}

} // namespace

IdentTab::IdentTab(const TabContext& context, QWidget* parent) : BlockTab(context, parent) {
    setObjectName("TIdentTabContent");

    bCallIdent_ = button("bCallIdent", "Запросить идентификатор");
    bReservCall_ = button("bReservCall", "Связь с контроллером по резервномому каналу");
    bFindCtrlr_ = button("bFindCtrlr", "Поиск контроллеров");
    bSaveStation_ = button("bSaveStation", "Сохранить все найденные");
    bSaveStation_->setEnabled(false); // until a search found a controller
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
    lImageStat_ = new QLabel(this);
    lImageStat_->setObjectName("lImageStat");
    lImageStat_->setWordWrap(true);
    lImageStat_->hide();
    progrImage_ = new QProgressBar(this);
    progrImage_->setObjectName("progrImage");
    progrImage_->setRange(0, 100);
    progrImage_->hide();

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
    for (QPushButton* b :
         {bCallIdent_, bReservCall_, bFindCtrlr_, bSaveStation_, bReset_, bSimImp_, bGlobalSet_,
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

    // Right of the commands: the identification text across the width (long
    // identification texts and fiscal totalizer lines stay on one line each),
    // below it the display mode and the register views side by side.
    auto* registers = new QVBoxLayout;
    registers->addWidget(bIrValRead_);
    registers->addWidget(ReadCRC_);
    registers->addWidget(mIRsValue_);
    registers->addWidget(bReadTemper_);
    registers->addWidget(lTemperature_);
    auto* testRow = new QHBoxLayout;
    testRow->addWidget(TestEdit_);
    testRow->addWidget(TestButton_);
    registers->addLayout(testRow);
    registers->addStretch();
    auto* below = new QHBoxLayout;
    below->addWidget(gbTablo, 0, Qt::AlignTop);
    below->addLayout(registers, 1);
    auto* right = new QVBoxLayout;
    right->addWidget(mIdent_, 1);
    right->addLayout(below, 0);

    auto* top = new QHBoxLayout;
    top->addLayout(commands, 0);
    top->addLayout(right, 1);
    // Below them, across the tab: the image transfer's label and bar (hidden at rest).
    auto* page = new QVBoxLayout(this);
    page->addLayout(top, 1);
    page->addWidget(lImageStat_);
    page->addWidget(progrImage_);

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
    connect(bSaveImage_, &QPushButton::clicked, this, &IdentTab::bSaveImageClick);
    connect(bLoadImage_, &QPushButton::clicked, this, &IdentTab::bLoadImageClick);
    connect(LETimeout_, &QLineEdit::textChanged, this, &IdentTab::LETimeoutChange);

    // Nothing works with a controller before it was identified.
    for (QPushButton* b :
         {bSimImp_, bGlobalSet_, bGlobalDefaultSet_, bReset_, bSaveImage_, bLoadImage_, bIrValRead_,
          bLoadFisk_, bSaveParamToText_, bReadTemper_, ReadCRC_, bSetTabloTest_})
        b->setEnabled(false);
    ApplyHints(this, settings::MainTabFields()); // hints are always on
}

QPushButton* IdentTab::button(const char* name, const QString& caption) {
    return form::Button(this, name, caption);
}

void IdentTab::setForms(QDialog* globalSetts, QDialog* defSet, QDialog* viewParam) {
    globalSetts_ = globalSetts;
    defSet_ = defSet;
    viewParam_ = viewParam;
}

void IdentTab::setCommandsEnabled(bool commands, bool reserve) {
    for (QPushButton* b :
         {bCallIdent_, bSimImp_, bGlobalSet_, bGlobalDefaultSet_, bReset_, bSaveImage_, bLoadImage_})
        b->setEnabled(commands);
    bReservCall_->setEnabled(reserve);
}

void IdentTab::hideDiagnostics() {
    for (QWidget* w : {static_cast<QWidget*>(TestEdit_), static_cast<QWidget*>(TestButton_),
                       static_cast<QWidget*>(lSimulState_)})
        w->hide();
}

void IdentTab::DisableCommands() {
    state_.Identified = false;
    // The firmware CRC and the display mode talk to the controller as well.
    for (QPushButton* b : {bSimImp_, bGlobalSet_, bGlobalDefaultSet_, bReset_, bSaveImage_, bLoadImage_,
                           bIrValRead_, bLoadFisk_, bSaveParamToText_, ReadCRC_, bSetTabloTest_})
        b->setEnabled(false);
    emit state_.commandsEnabled(false);
}

void IdentTab::enableAfterIdent(bool hardware) {
    for (QPushButton* b :
         {bSimImp_, bGlobalSet_, bGlobalDefaultSet_, bReset_, bSaveImage_, bLoadImage_, bReservCall_,
          bCallIdent_, bIrValRead_, bLoadFisk_, bSaveParamToText_, bSetTabloTest_})
        b->setEnabled(true);
    // Registers exist only on a real controller (the demo image has none).
    for (QPushButton* b : {bReadTemper_, ReadCRC_})
        b->setEnabled(hardware);
    emit state_.commandsEnabled(true);
}

void IdentTab::bCallIdentClick() {
    IdentToForm();
}

void IdentTab::IdentToForm() {
    const BusyCursor busy;
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
    // An image file worked on as a controller is itself the image.
    if (!state_.imageFile.empty())
        for (QWidget* w : {static_cast<QWidget*>(bSaveImage_), static_cast<QWidget*>(bLoadImage_)})
            w->hide();

    const int port = state_.portHandle;
    const ident::IdentifyAnswer answer = ident::IdentifyAt(port, state_.controllerNumber & 0xFF);
    if (answer.result != 1) {
        const QString text = u8(ident::IdentFailureText(answer.result, state_.controllerNumber));
        frame_.setNumberLabel(text);
        setStatus(text);
        mIdent_->appendPlainText(text);
        if (answer.result != -2) mIdent_->appendPlainText(ident::kSlowControllerHint);
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
    frame_.showControllerNumber(state_.controllerNumber);

    showSimulator(ReadSimulator(port, ctrl), false);
}

void IdentTab::showSimulator(int simulator, bool switched) {
    const ident::SimulatorView view = ident::SimulatorShown(simulator, switched);
    lSimulState_->setText(view.label);
    if (!view.caption) return;
    bSimImp_->setText(view.caption);
    bSimImp_->setProperty("mark", view.mark);
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
    // The mark holds the state; the write's result is not looked at.
    const bool on = bSimImp_->property("mark").toInt() != 1;
    SetSimulator(port(), ctrl(), on);
    showSimulator(on ? 1 : 0, true);
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
    // Each command leaves its own result: no earlier "Ошибка" stays over a good read.
    setStatus(regs.ok ? "Регистры считаны" : "Ошибка чтения регистров");
}

void IdentTab::bReadTemperClick() {
    uint8_t raw[kLenTemperature] = {};
    if (ReadTemperatureRaw(state_.portHandle, state_.controllerNumber & 0xFF, raw) != 1) {
        setStatus("Ошибка чтения температуры");
        lTemperature_->setText("Ошибка чтения температуры");
        return;
    }
    lTemperature_->setText(u8(ident::TemperatureText(raw)));
    setStatus("Температура считана");
}

void IdentTab::ReadCRCClick() {
    const auto text = ident::ReadCrcText(port(), ctrl());
    mIRsValue_->appendPlainText(text ? u8(*text) : QString("Ошибка чтения"));
    setStatus(text ? "CRC-16 считан" : "Ошибка чтения CRC-16");
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

bool IdentTab::identifyForImage(bool sizes) {
    IdentToForm();
    if (state_.Identified && (!sizes || ReadBlockSizes(port(), ctrl()) == 1)) return true;
    dialogs_.error(QString("Нет связи с устройством\n") + ident::kSlowControllerHint);
    return false;
}

void IdentTab::bSaveImageClick() {
    if (!state_.idle || state_.demo) return;
    ImageOperation operation(state_, lImageStat_, progrImage_);
    if (!identifyForImage(true)) return;
    int8_t h[7];
    for (int i = 0; i < 7; ++i)
        h[i] = static_cast<int8_t>(BlockSizes()[i] & 0xFF);
    const QString name = dialogs_.saveFileName("Выберите файл для записи образа контроллера", kImageFilter);
    if (name.isEmpty()) return;
    const std::string path = image::WithDefaultExtension(LocalPath(name));

    ShowProgress(lImageStat_, "Подождите, идет процесс чтения данных из контроллера", progrImage_,
                 static_cast<int>(image::ImageProgressMeasure(h)));
    const int r = image::SaveImageFile(
        port(), ctrl(), path, [this](long done) { ChangeProgress(static_cast<int>(done), progrImage_); });
    const image::ResultText result = image::SaveResultText(r, path);
    if (result.error)
        dialogs_.error(u8(result.text));
    else
        setStatus(u8(result.text));
}

void IdentTab::bLoadImageClick() {
    if (!state_.idle || state_.demo) return;
    bool ok = false;
    {
        ImageOperation operation(state_, lImageStat_, progrImage_);
        ok = loadImage();
    }
    if (ok) setStatus("Образ успешно записан в контроллер");
    frame_.requestReidentify();
}

bool IdentTab::loadImage() {
    if (!frame_.passwordStep() || !identifyForImage(false)) return false;
    const QString name = dialogs_.openFileName(QString(), kImageFilter);
    if (name.isEmpty()) return false;
    const image::ImageFile file = image::ReadImageFile(LocalPath(name));
    if (file.check != image::FileCheck::Ok) {
        dialogs_.error(u8(image::LoadRefusalText(file, name.toStdString())));
        return false;
    }
    if (!dialogs_.okCancel("Образ считан, записать его в контроллер")) return false;

    // The image laid out by this controller's sizes, and its side addresses
    // beside the image's: an image from another controller either keeps this
    // one's addresses or moves it to the image's.
    image::ImageLoadPlan plan = image::PlanImageLoad(port(), ctrl(), file.bytes);
    if (plan.result != 1) {
        dialogs_.error(u8(image::PlanFailureText(plan.result)));
        return false;
    }
    if (plan.sidesDiffer()) {
        const int answer = dialogs_.choice(u8(image::CloneAddressQuestion(plan)), "Внимание",
                                           {image::kCloneKeep, image::kCloneTake, image::kCloneCancel},
                                           Dialogs::Icon::Warning);
        if (answer != 0 && answer != 1) return false;
        if (answer == 0) image::KeepTargetAddresses(plan);
    }

    // The controller as it is goes into the state folder first, so that a bad
    // load can be undone with an ordinary load of that file.
    int8_t h[7];
    image::ImageHeader(file.bytes, h);
    const long measure = image::ImageProgressMeasure(h) + kProgressStep;
    ShowProgress(lImageStat_, "Подождите, идет сохранение текущего содержимого контроллера", progrImage_, 0);
    image::WholeWriteRequest q;
    q.port = port();
    q.ctrl = ctrl();
    q.demoImage = Protocol().demoFileName;
    q.blocks = std::move(plan.blocks);
    q.imagePacing = true;
    q.restart = image::RestartWhen::AllWritten;
    q.goOnWithoutSnapshot = [this](const image::Snapshot& snap) {
        return dialogs_.okCancel(u8(image::SnapshotFailedQuestion(snap, false)), QString(),
                                 Dialogs::Icon::Warning);
    };
    q.progress = [this, measure](image::WholeStage stage, long done, long total) {
        const image::StageView v = image::LoadStageView(stage, done, total, measure, kProgressStep);
        if (v.text && (!v.restart || lImageStat_->text() != v.text)) {
            if (v.restart)
                ShowProgress(lImageStat_, v.text, progrImage_, static_cast<int>(v.maximum));
            else
                lImageStat_->setText(v.text);
            QCoreApplication::processEvents();
        } else if (!v.text && v.maximum > 0 && progrImage_->maximum() != v.maximum) {
            progrImage_->setRange(0, static_cast<int>(v.maximum));
        }
        if (v.position >= 0) ChangeProgress(static_cast<int>(v.position), progrImage_);
    };
    const image::WholeWriteResult r = image::WriteWholeController(q);
    if (r.stopped != image::WholeWriteResult::Stop::None) return false;
    if (r.moved()) frame_.setControllerNumber(r.foundAt);
    // One message at the end: what was written, what differs, where the
    // controller answers, the snapshot to restore from.
    dialogs_.outcome(u8(image::WholeWriteResultText(image::kImageWords, r)), r.ok());
    return r.ok();
}
