#include "main_window.h"

#include "about_box.h"
#include "adv_settings_tab.h"
#include "block_tab.h"
#include "block_transfer.h"
#include "com_ini.h"
#include "com_setting.h"
#include "controller_search.h"
#include "ctrl_params_tab.h"
#include "data_files.h"
#include "def_set_form.h"
#include "demo_image.h"
#include "dialogs.h"
#include "dump_tab.h"
#include "error_messages.h"
#include "field_binder.h"
#include "form_builder.h"
#include "frames.h"
#include "global_setts_form.h"
#include "ident_core.h"
#include "ident_tab.h"
#include "image_host.h"
#include "line_options.h"
#include "noz_regs_tab.h"
#include "noz_setts_tab.h"
#include "password_core.h"
#include "port_layer.h"
#include "progress.h"
#include "protocol_state.h"
#include "sides_tab.h"
#include "snapshot.h"
#include "temperature_table_tab.h"
#include "view_param_form.h"
#include "working_state.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

namespace {

const QString kComOpen = QStringLiteral("Соm порт (открыт)");
const char* const kAskAdminPassword =
    "Для записи нужен текущий пароль администратора контроллера.\nВведите его:";
const char* const kAskAdjustPassword = "Для записи нужен текущий пароль юстировки контроллера.\nВведите его:";
const QString kComClosed = QStringLiteral("Соm порт (закрыт)");

QWidget* page(const char* name) {
    auto* w = new QWidget;
    w->setObjectName(name);
    return w;
}

} // namespace

TStartZelMain::TStartZelMain(WorkingState& state, Dialogs& dialogs, const QStringList& arguments,
                             QWidget* parent)
    : QMainWindow(parent), state_(state), dialogs_(dialogs) {
    setObjectName("StartZelMain");
    buildUi();

    // The tabs (identification sets some of their captions, so they exist
    // before it runs), their show handlers, and the controller search of the main tab.
    const TabContext context{state_, dialogs_, *this};
    addBlockTab("TabCtrlrSetts", new CtrlParamsTab(context));
    addBlockTab("TabAdvSet", new AdvSettingsTab(context));
    addBlockTab("TabNozzRegs", new NozRegsTab(context));
    nozSettsTab_ = new NozSettsTab(context);
    addBlockTab("TabNozSetts", nozSettsTab_);
    addBlockTab("TabRegsSides", new SidesTab(context));
    addBlockTab("TabTemperatureTbl", new TemperatureTableTab(context));
    addBlockTab("TabDump", new DumpTab(context));
    connect(TabSetts_, &QTabWidget::currentChanged, this, [this](int index) {
        if (snappingBack_ || index != TabSetts_->currentIndex()) return; // the tabs snapped back meanwhile
        QWidget* shown = TabSetts_->widget(index);
        // The engineer leaving a tab with unsaved edits is asked first (the
        // program's own switches to the main tab are not asked about).
        QWidget* left = shownPage_;
        shownPage_ = shown;
        if (!programmaticSwitch_ && left && left != shown && !leaveTab(left)) {
            shownPage_ = left;
            snappingBack_ = true;
            TabSetts_->setCurrentWidget(left);
            snappingBack_ = false;
            return;
        }
        if (TabSetts_->currentWidget() != shown) return; // the save went to the main tab
        // With the port closed no tab can reach a controller: the repaint's
        // port-failed step brings the main tab back instead.
        if (state_.portFailed && shown != TabIdent_) {
            RepaintChecks();
            return;
        }
        for (const auto& [page, tab] : blockTabs_)
            if (page == shown) {
                const BusyCursor busy;
                tab->tabShown();
            }
    });
    auto* search = new ControllerSearch(state_, dialogs_, identTab_, identTab_->findTimer(), this);
    connect(identTab_->findButton(), &QPushButton::clicked, search, &ControllerSearch::bFindCtrlrClick);

    Protocol().controllerErrorSink = [this](const std::string& text1251) {
        QString text = QString::fromStdString(ControllerErrorMessageUtf8(text1251));
        // No text in don.msg: why, instead of a bare "Ошибка!".
        if (text1251.empty())
            text += Protocol().lastErrorCode == kErrorCodeTimeout
                        ? QString("Устройство не ответило. ") + ident::kSlowControllerHint
                        : QString("Код ошибки устройства %1, его расшифровки нет в don.msg")
                              .arg(Protocol().lastErrorCode);
        dialogs_.error(text);
    };
    connect(&state_, &WorkingState::repaintRequested, this, [this] {
        if (repaintQueued_) return;
        repaintQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                repaintQueued_ = false;
                RepaintChecks();
            },
            Qt::QueuedConnection);
    });
    connect(&state_, &WorkingState::passwordStatusRequested, this, &TStartZelMain::ReadPasswordStatus);
    // The password buttons talk to the controller identified: without one
    // they stay off (the password status read then sets them).
    connect(&state_, &WorkingState::commandsEnabled, this, [this](bool on) {
        for (QPushButton* b : {Button1_, Button2_, Button4_})
            b->setEnabled(on && !state_.demo);
        if (on && state_.demo) ReadPasswordStatus();
    });
    qApp->installEventFilter(this);

    FormCreate(arguments);
    createForms();
}

TStartZelMain::~TStartZelMain() {
    qApp->removeEventFilter(this);
    shutDown();
    Protocol().controllerErrorSink = nullptr;
}

void TStartZelMain::buildUi() {
    setWindowTitle("StartZel");
    setMinimumSize(792, 600);
    setMaximumSize(800, 700);
    resize(792, 700);

    auto* menuTRK = menuBar()->addMenu("TRK");
    menuTRK->setObjectName("menuTRK");
    menuChangeNumTrk_ = menuTRK->addAction("Сменить номер трк");
    menuChangeNumTrk_->setObjectName("menuChangeNumTrk");
    auto* exit = menuTRK->addAction("Выход");
    exit->setObjectName("Exit1");
    exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));
    menuCom_ = menuBar()->addMenu("Com порт");
    menuCom_->setObjectName("menuCom");
    auto* settings = menuCom_->addAction("Настройки");
    settings->setObjectName("Setting1");
    menuLog_ = menuBar()->addMenu("Лог(выкл)");
    menuLog_->setObjectName("menuLog");
    menuWriteLog_ = menuLog_->addAction("Записывать лог");
    menuWriteLog_->setObjectName("menuWriteLog");
    menuWriteLog_->setCheckable(true);
    auto* help = menuBar()->addMenu("Помощь");
    help->setObjectName("menuHelp");
    auto* about = help->addAction("О программе");
    about->setObjectName("About1");

    connect(menuChangeNumTrk_, &QAction::triggered, this, &TStartZelMain::menuChangeNumTrkClick);
    connect(exit, &QAction::triggered, this, &QWidget::close);
    connect(settings, &QAction::triggered, this, &TStartZelMain::Setting1Click);
    connect(menuWriteLog_, &QAction::triggered, this, [this] {
        // The handler decides the mark itself.
        menuWriteLog_->setChecked(!menuWriteLog_->isChecked());
        menuWriteLogClick();
    });
    connect(about, &QAction::triggered, this, &TStartZelMain::AboutClick);

    auto* central = new QWidget(this);
    central->setObjectName("centralWidget");
    auto* layout = new QVBoxLayout(central);
    lNumberCtrlr_ = new QLabel("Номер контроллера", central);
    lNumberCtrlr_->setObjectName("lNumberCtrlr");
    layout->addWidget(lNumberCtrlr_);

    TabSetts_ = new QTabWidget(central);
    TabSetts_->setObjectName("TabSetts");
    // All eight captions fit the window's width side by side.
    TabSetts_->setStyleSheet("QTabBar::tab { padding: 4px 5px; margin-right: 1px; border: 1px solid #a0a0a0; "
                             "border-bottom: none; background: #e4e4e4; }"
                             "QTabBar::tab:selected { background: #fafafa; }");
    TabIdent_ = page("TabIdent");
    identTab_ = new IdentTab(TabContext{state_, dialogs_, *this}, TabIdent_);
    auto* identLayout = new QVBoxLayout(TabIdent_);
    identLayout->setContentsMargins(0, 0, 0, 0);
    identLayout->addWidget(identTab_);
    QWidget* ctrlrSetts = page("TabCtrlrSetts");
    QWidget* advSet = page("TabAdvSet");
    TabSetts_->addTab(TabIdent_, "Основное меню");
    shownPage_ = TabIdent_;
    TabSetts_->addTab(ctrlrSetts, "Настройки контроллера");
    TabSetts_->addTab(advSet, "Доп настройки");
    TabSetts_->addTab(page("TabNozzRegs"), "Сост канала");
    TabSetts_->addTab(page("TabNozSetts"), "Настройки канала");
    TabSetts_->addTab(page("TabRegsSides"), "Настройка стороны");
    TabSetts_->addTab(page("TabTemperatureTbl"), "Табл. Тc");
    TabSetts_->addTab(page("TabDump"), "Dump");
    layout->addWidget(TabSetts_, 1);
    connect(TabSetts_, &QTabWidget::currentChanged, this, &TStartZelMain::TabSettsChange);

    layout->addWidget(buildPasswordPanel());
    setCentralWidget(central);

    SB_ = new QStatusBar(this);
    SB_->setObjectName("SB");
    setStatusBar(SB_);
    SB_->showMessage("Идентификатор не считан");
}

QWidget* TStartZelMain::buildPasswordPanel() {
    auto* panel = new QGroupBox(this);
    panel->setObjectName("pnlPasswords");
    auto* grid = new QGridLayout(panel);
    auto edit = [panel](const char* name) {
        auto* e = new QLineEdit(panel);
        e->setObjectName(name);
        e->setMaximumWidth(90);
        return e;
    };
    auto label = [panel](const char* name, const QString& text) {
        auto* l = new QLabel(text, panel);
        l->setObjectName(name);
        return l;
    };
    Edit5_ = edit("Edit5");
    Edit2_ = edit("Edit2");
    Edit6_ = edit("Edit6");
    Edit3_ = edit("Edit3");
    Label8_ = label("Label8", QString());
    Label9_ = label("Label9", QString());
    Button1_ = form::Button(panel, "Button1", "Изменить");
    Button1_->setProperty("Tag", 0);
    Button2_ = form::Button(panel, "Button2", "Изменить");
    Button2_->setProperty("Tag", 2);
    Button2_->setToolTip("Требует верного пароля юстировки");
    Button4_ = form::Button(panel, "Button4", "Сброс пароля юстировки");
    Button4_->setToolTip("Требует верного пароля администратора");

    grid->addWidget(label("Label3", "Текущий пароль"), 0, 1);
    grid->addWidget(label("Label4", "Новый пароль"), 0, 2);
    grid->addWidget(label("Label1", "Администратора"), 1, 0);
    grid->addWidget(Edit5_, 1, 1);
    grid->addWidget(Edit2_, 1, 2);
    grid->addWidget(Button1_, 1, 3);
    grid->addWidget(Label8_, 1, 4);
    grid->addWidget(label("Label2", "Юстировки"), 2, 0);
    grid->addWidget(Edit6_, 2, 1);
    grid->addWidget(Edit3_, 2, 2);
    grid->addWidget(Button2_, 2, 3);
    grid->addWidget(Label9_, 2, 4);
    grid->addWidget(Button4_, 1, 5, 2, 1);
    grid->setColumnStretch(4, 1);
    grid->setVerticalSpacing(2);
    grid->setContentsMargins(9, 4, 9, 4);

    for (QPushButton* b : {Button1_, Button2_, Button4_})
        b->setEnabled(false); // until a controller is identified
    connect(Button1_, &QPushButton::clicked, this, &TStartZelMain::Button1Click);
    connect(Button2_, &QPushButton::clicked, this, &TStartZelMain::Button1Click);
    connect(Button4_, &QPushButton::clicked, this, &TStartZelMain::Button4Click);
    return panel;
}

void TStartZelMain::FormCreate(const QStringList& givenArguments) {
    // "--service" may stand anywhere; the other parameters keep their places.
    QStringList arguments = givenArguments;
    const bool service = arguments.removeAll(QStringLiteral("--service")) > 0;
    // "--image FILE [--type HEX]": a controller image file worked on as a controller.
    QString imageFile;
    uint8_t imageType = 0x21;
    for (const QString& option : {QStringLiteral("--image"), QStringLiteral("--type")}) {
        const qsizetype at = arguments.indexOf(option);
        if (at < 0 || at + 1 >= arguments.size()) continue;
        if (option == "--image") {
            imageFile = arguments.at(at + 1);
        } else {
            bool ok = false;
            const uint type = arguments.at(at + 1).toUInt(&ok, 16);
            if (ok && (type == 0x21 || type == 0x22 || type == 0x17 || type == 0x27))
                imageType = static_cast<uint8_t>(type);
        }
        arguments.remove(at, 2);
    }
    PortLayerStart();
    // USB devices are bound when the USB subsystem is present; the error
    // message table starts empty.
    Protocol().errorMessages.Clear();

    TabSetts_->setTabVisible(TabSetts_->indexOf(tabPage("TabDump")), false);

    state_.demo = !arguments.isEmpty() && arguments.first().toUpper() == "/I";
    if (arguments.size() == 2 && arguments.first() == "-tfind") {
        bool ok = false;
        const int interval = arguments.at(1).trimmed().toInt(&ok);
        if (ok && interval > 0) identTab_->findTimer()->setInterval(interval);
    }
    Protocol().demoMode = state_.demo;

    TabSetts_->setCurrentWidget(TabIdent_);
    for (const char* tab : {"TabCtrlrSetts", "TabNozSetts"})
        TabSetts_->setTabVisible(TabSetts_->indexOf(tabPage(tab)), true);
    TabSetts_->setTabVisible(TabSetts_->indexOf(tabPage("TabNozzRegs")), false);
    // Service engineers see the channel state and dump tabs as well.
    if (service) {
        for (const char* tab : {"TabNozzRegs", "TabDump"})
            TabSetts_->setTabVisible(TabSetts_->indexOf(tabPage(tab)), true);
        // Eight captions fit the window's width with tighter tabs.
        QFont small = TabSetts_->tabBar()->font();
        small.setPointSizeF(small.pointSizeF() * 0.9);
        TabSetts_->tabBar()->setFont(small);
        TabSetts_->setStyleSheet(TabSetts_->styleSheet() + "QTabBar::tab { padding: 4px 2px; }");
    }
    nozSettsTab_->hideWeights();
    identTab_->hideDiagnostics();

    EnumeratePorts();
    if (!imageFile.isEmpty()) {
        // No line and no com.ini: the file's own controller.
        openImageFile(imageFile, imageType);
        if (!Protocol().errorMessages.Load(ProgramFiles().donMsg))
            dialogs_.error("Ошибка чтения don.msg, расшифровка кодов ошибок недоступна");
        return;
    }
    ComIniTable table;
    if (ReadComIni(table, ProgramFiles().comIni) != 1) {
        dialogs_.error("Ошибка чтения com.ini. Восстановлены параметры порта по умолчанию (Com1 4800 8 1 N)");
        ComPortSetting def;
        def.name = "COM1";
        def.baud = 4800;
        def.flag0 = 1;
        def.dataBits = 8;
        def.parity = 'N';
        def.stopCode = 1;
        state_.portSettings = def;
    } else {
        state_.portSettings = table.entries[0];
    }

    const ComPortSetting& s = state_.portSettings;
    int handle = 0;
    if (PortOpen(&handle, s.name.c_str()) == 0) {
        state_.portHandle = handle;
        U_xxx(handle, s.baud, s.dataBits, s.parity, s.stopCode);
        // Echo and RS-485 from line.ini; a port refusing RS-485 is told about in the settings dialog.
        ApplyLineOptions(handle, ReadLineOptions(LineOptionsPath(ProgramFiles().comIni)));
        menuCom_->setTitle(kComOpen);
        state_.portFailed = false;
        const QString prompt = "Введите номер Контроллера(HEX)";
        std::optional<QString> answer;
        for (;;) {
            // In demo mode the image answers at any number.
            answer = dialogs_.inputBox(
                prompt, state_.demo ? prompt + "\nДемонстрационный режим: подойдет любой номер" : prompt,
                QString());
            if (!answer || ident::ParseHexNumber(answer->toStdString()) <= ident::kMaxControllerNumber) break;
            dialogs_.error(ident::kNumberTooLarge);
        }
        if (answer) {
            state_.controllerNumber = static_cast<int32_t>(ident::StartupNumber(answer->toStdString()));
            state_.noControllerNumber = false;
            identTab_->IdentToForm();
        } else {
            state_.closeAtShow = true;
        }
    } else {
        noLine("Ошибка открытия порта " + QString::fromStdString(s.name) + ". Проверьте настройки");
    }

    if (!Protocol().errorMessages.Load(ProgramFiles().donMsg))
        dialogs_.error("Ошибка чтения don.msg, расшифровка кодов ошибок недоступна");
}

void TStartZelMain::noLine(const QString& why) {
    dialogs_.error(why);
    menuCom_->setTitle(kComClosed);
    lNumberCtrlr_->setText("Номер контроллера не введен");
    state_.portFailed = true;
    state_.noControllerNumber = true;
}

bool TStartZelMain::openImageFile(const QString& file, uint8_t deviceType) {
    const std::string path = QFile::encodeName(file).toStdString();
    imageHost_ = std::make_unique<zelsim::ImageHost>();
    std::string why;
    int handle = 0;
    if (!imageHost_->open(path, deviceType, image::ImageFileSnapshotPath(path), &why) ||
        PortOpen(&handle, imageHost_->portName().c_str()) != 0) {
        imageHost_.reset();
        noLine("Не удалось открыть файл образа " + file + "\n" + QString::fromStdString(why));
        return false;
    }
    state_.imageFile = path;
    SetTimeoutMultiplier(std::max(TimeoutMultiplier(), zelsim::kImageHostTimeoutMultiplier));
    state_.portHandle = handle;
    state_.portSettings = ComPortSetting{};
    state_.portSettings.name = imageHost_->portName();
    state_.portSettings.baud = 115200;
    state_.portSettings.dataBits = 8;
    state_.portSettings.parity = 'N';
    state_.portSettings.stopCode = 1;
    U_xxx(handle, 115200, 8, 'N', 1);
    state_.portFailed = false;
    // The file stands in for the line: the port menus and the image transfers have no place.
    setPortMenusVisible(false);
    setWindowTitle("StartZel — " + file);
    auto* where = new QLabel("Файл образа: " + file, SB_);
    where->setObjectName("lImageFile");
    SB_->addPermanentWidget(where);
    state_.controllerNumber = imageHost_->address();
    state_.noControllerNumber = false;
    identTab_->IdentToForm();
    return true;
}

void TStartZelMain::createForms() {
    comSetting_ = new TComSetting(state_, dialogs_, this);
    connect(comSetting_, &TComSetting::portOpened, this, [this] { menuCom_->setTitle(kComOpen); });
    const TabContext context{state_, dialogs_, *this};
    globalSetts_ = new TfGlobalSetts(context, this);
    aboutBox_ = new AboutBox(this);
    defSet_ = new TformDefSet(context, this);
    viewParam_ = new TformViewParam(context, this);
    identTab_->setForms(globalSetts_, defSet_, viewParam_);
}

QWidget* TStartZelMain::tabPage(const QString& name) const {
    for (int i = 0; i < TabSetts_->count(); ++i)
        if (TabSetts_->widget(i)->objectName() == name) return TabSetts_->widget(i);
    return nullptr;
}

void TStartZelMain::setTabContent(const QString& name, QWidget* content) {
    QWidget* p = tabPage(name);
    if (!p || !content) return;
    delete p->layout();
    for (QWidget* child : p->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly))
        delete child;
    auto* layout = new QVBoxLayout(p);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content);
}

void TStartZelMain::addBlockTab(const QString& page, BlockTab* tab) {
    setTabContent(page, tab);
    if (QWidget* p = tabPage(page)) blockTabs_.emplace_back(p, tab);
}

void TStartZelMain::EnabledHint(bool show) {
    for (QWidget* w : findChildren<QWidget*>())
        if (w->property(kShowHintProperty).isValid()) w->setProperty(kShowHintProperty, show);
}

void TStartZelMain::setStatus(const QString& text) {
    SB_->showMessage(text);
}

QString TStartZelMain::status() const {
    return SB_->currentMessage();
}

void TStartZelMain::showMainTab() {
    showIdentTab();
}

void TStartZelMain::setNumberLabel(const QString& text) {
    lNumberCtrlr_->setText(text);
}

void TStartZelMain::setControllerNumber(int number) {
    state_.controllerNumber = number;
    showControllerNumber(number);
}

void TStartZelMain::requestReidentify() {
    state_.ReidentifyPending = true;
    showIdentTab();
    state_.requestRepaint();
}

void TStartZelMain::repaint() {
    state_.requestRepaint();
}

void TStartZelMain::setPortMenusVisible(bool visible) {
    menuCom_->menuAction()->setVisible(visible);
    menuLog_->menuAction()->setVisible(visible);
}

bool TStartZelMain::demo() const {
    return state_.demo;
}

bool TStartZelMain::passwordStep() {
    return state_.passwordStep ? state_.passwordStep() : presentAdminPassword();
}

bool TStartZelMain::event(QEvent* event) {
    // Menus send status tips when they open and close; the status line keeps
    // the program's last result until the program replaces it.
    if (event->type() == QEvent::StatusTip) return true;
    return QMainWindow::event(event);
}

void TStartZelMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shownOnce_) return;
    shownOnce_ = true;
    if (state_.closeAtShow) {
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        return;
    }
    for (QLineEdit* e : {Edit2_, Edit3_, Edit5_, Edit6_})
        e->setText(ident::kDefaultPassword);
    Label8_->clear();
    Label9_->clear();
    state_.requestRepaint();
}

void TStartZelMain::showIdentTab() {
    const bool was = programmaticSwitch_;
    programmaticSwitch_ = true;
    TabSetts_->setTabVisible(TabSetts_->indexOf(TabIdent_), true);
    TabSetts_->setCurrentWidget(TabIdent_);
    programmaticSwitch_ = was;
}

bool TStartZelMain::leaveTab(QWidget* page) {
    BlockTab* tab = nullptr;
    for (const auto& [p, t] : blockTabs_)
        if (p == page) tab = t;
    if (!tab || !tab->hasUnsavedEdits()) return true;
    const int answer =
        dialogs_.choice("Данные вкладки «" + TabSetts_->tabText(TabSetts_->indexOf(page)) +
                            "» были изменены, но не записаны в контроллер!\nСохранить их?",
                        "Внимание", {"Сохранить", "Не сохранять", "Остаться"}, Dialogs::Icon::Warning);
    if (answer == 0) return tab->saveEdits();
    return answer == 1;
}

bool TStartZelMain::leaveCurrentTab() {
    QWidget* page = TabSetts_->currentWidget();
    return page == TabIdent_ || leaveTab(page);
}

void TStartZelMain::setCommandButtons(bool portFailed, bool noNumber) {
    identTab_->setCommandsEnabled(!portFailed && !noNumber, !portFailed);
    menuChangeNumTrk_->setEnabled(!portFailed);
}

void TStartZelMain::RepaintChecks() {
    if (state_.ReidentifyPending || state_.AddressChanged) {
        showIdentTab();
        identTab_->IdentToForm();
        state_.ReidentifyPending = false;
        state_.AddressChanged = false;
    }
    if (state_.portFailed) {
        showIdentTab();
        setCommandButtons(true, true);
    } else if (state_.refreshButtons) {
        showIdentTab();
        setCommandButtons(false, state_.noControllerNumber);
    }
    state_.refreshButtons = false;
}

bool TStartZelMain::eventFilter(QObject* watched, QEvent* event) {
    if (!state_.idle) {
        // An image transfer lets the window repaint, but nothing the engineer
        // does to it may start another transfer in the middle (its own
        // questions are windows of their own).
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            if (auto* w = qobject_cast<QWidget*>(watched); w && w->window() == this) return true;
            break;
        default:
            break;
        }
    }
    if (event->type() == QEvent::KeyPress) {
        auto* w = qobject_cast<QWidget*>(watched);
        auto* key = static_cast<QKeyEvent*>(event);
        if (w && w->window() == this && key->key() >= Qt::Key_F1 && key->key() <= Qt::Key_F9 &&
            key->modifiers() == Qt::NoModifier && state_.idle) {
            if (!leaveCurrentTab()) return true;
            state_.controllerNumber = key->key() - Qt::Key_F1 + 1;
            showIdentTab();
            identTab_->IdentToForm();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TStartZelMain::menuChangeNumTrkClick() {
    if (!leaveCurrentTab()) return;
    const auto answer = dialogs_.inputBox("Введите номер ТРК(HEX)", "Введите номер ТРК(HEX)", QString());
    if (answer) {
        const long n = ident::ParseHexNumber(answer->toStdString());
        if (n > ident::kMaxControllerNumber) {
            dialogs_.error(ident::kNumberTooLarge);
        } else if (n <= 0) {
            if (state_.controllerNumber != 0) {
                dialogs_.error("Введен неправильный номер ТРК!");
            } else {
                dialogs_.error("Введен неправильный номер ТРК! Номер установлен = 1");
                state_.controllerNumber = 1;
            }
        } else {
            state_.controllerNumber = static_cast<int32_t>(n);
        }
    } else if (state_.controllerNumber <= 0) {
        dialogs_.error("Неправильный номер ТРК! Номер установлен = 1");
        state_.controllerNumber = 1;
    }
    state_.noControllerNumber = false;
    showIdentTab();
    identTab_->IdentToForm();
}

void TStartZelMain::Setting1Click() {
    PortClose(state_.portHandle);
    state_.portHandle = 0;
    menuCom_->setTitle(kComClosed);
    state_.refreshButtons = true;
    comSetting_->FormShow();
    dialogs_.execModal(*comSetting_);
    state_.requestRepaint();
}

void TStartZelMain::menuWriteLogClick() {
    if (menuWriteLog_->isChecked()) {
        menuWriteLog_->setChecked(false);
        menuLog_->setTitle("Лог(выкл)");
        TraceMask = 0;
    } else {
        TraceMask = 1;
        menuWriteLog_->setChecked(true);
        menuLog_->setTitle("Лог(вкл)");
    }
}

void TStartZelMain::TabSettsChange(int index) {
    if (identTab_->findTimer()->isActive() && TabSetts_->widget(index) != TabIdent_) {
        showIdentTab();
        TabIdent_->update();
    }
}

void TStartZelMain::AboutClick() {
    dialogs_.execModal(*aboutBox_);
}

bool TStartZelMain::adjustPasswordStep() {
    if (state_.passwordStep) return state_.passwordStep();
    if (state_.PasswordStatus[0] & 0x01) return presentAdminPassword();
    if (!(state_.PasswordStatus[0] & 0x02)) return true;
    return presentPassword(Edit6_, false);
}

bool TStartZelMain::presentAdminPassword() {
    if (!(state_.PasswordStatus[0] & 0x01)) return true;
    return presentPassword(Edit5_, true);
}

bool TStartZelMain::presentPassword(QLineEdit* box, bool admin) {
    QString text = box->text();
    bool number = false;
    text.trimmed().toLongLong(&number);
    if (!number) {
        // The box holds no password (the placeholder shown while one is set):
        // the write asks for it instead of failing on the placeholder.
        const auto typed = dialogs_.inputBox(admin ? "Пароль администратора" : "Пароль юстировки",
                                             admin ? kAskAdminPassword : kAskAdjustPassword, QString());
        if (!typed) return false;
        text = *typed;
    }
    long value = 0;
    if (!TextToInt(dialogs_, text, value)) return false;
    const int port = state_.portHandle, ctrl = state_.controllerNumber & 0xFF;
    if ((admin ? PresentAdminPassword(port, ctrl, value) : PresentAdjustPassword(port, ctrl, value)) != 1) {
        ReadPasswordStatus(); // the panel shows the attempts left
        return false;
    }
    box->setText(text.trimmed());
    return true;
}

void TStartZelMain::ReadPasswordStatus() {
    if (state_.demo) {
        // The demo image keeps no passwords: nothing to read or to change.
        Label8_->setText("Демонстрационная версия");
        Label9_->clear();
        for (QPushButton* b : {Button1_, Button2_, Button4_})
            b->setEnabled(false);
        return;
    }
    uint8_t buf[kLenPasswordStatus] = {};
    const int r = ReadBlock(state_.portHandle, state_.controllerNumber & 0xFF, kAddrPasswordStatus,
                            kLenPasswordStatus, buf, kBoardMain);
    const bool ok = r >= kLenPasswordStatus;
    std::array<uint8_t, 16> status = state_.PasswordStatus;
    if (ok) std::copy(buf, buf + kLenPasswordStatus, status.begin());
    const ident::PasswordPanelView view = ident::DecodePasswordStatus(ok, status);
    if (ok) state_.PasswordStatus = status;

    auto apply = [](const ident::PasswordRowView& row, QLabel* label, QLineEdit* edit, QPushButton* button) {
        label->setText(QString::fromStdString(row.label));
        if (row.buttonEnabled) button->setEnabled(*row.buttonEnabled);
        if (row.edit == ident::PasswordRowView::EditAction::SetDefault)
            edit->setText(ident::kDefaultPassword);
        else if (row.edit == ident::PasswordRowView::EditAction::HideDefault &&
                 edit->text() == ident::kDefaultPassword)
            edit->setText(ident::kHiddenPassword);
    };
    apply(view.admin, Label8_, Edit5_, Button1_);
    apply(view.adjust, Label9_, Edit6_, Button2_);
    if (view.resetEnabled) Button4_->setEnabled(*view.resetEnabled);
}

void TStartZelMain::Button1Click() {
    const int tag = sender() ? sender()->property("Tag").toInt() : 0;
    QLineEdit* current = tag == 2 ? Edit6_ : Edit5_;
    QLineEdit* next = tag == 2 ? Edit3_ : Edit2_;
    if (!dialogs_.yesNo("Вы хотите изменить пароль?", "Вы уверены?", Dialogs::Icon::Error)) return;
    long cur = 0, nxt = 0;
    if (!TextToInt(dialogs_, current->text(), cur) || !TextToInt(dialogs_, next->text(), nxt)) return;
    const int port = state_.portHandle, ctrl = state_.controllerNumber & 0xFF;
    const int r = ChangePassword(port, ctrl, tag, cur, nxt);
    if (r == 1)
        dialogs_.message("Ok", QString(), Dialogs::Icon::Information);
    else
        ShowControllerError(port, ctrl);
    ReadPasswordStatus();
    if (r == 1) current->setText(next->text());
}

void TStartZelMain::Button4Click() {
    long admin = 0;
    if (!TextToInt(dialogs_, Edit5_->text(), admin)) return;
    if (!dialogs_.yesNo("Вы хотите убрать пароль?", "Вы уверены?", Dialogs::Icon::Error)) return;
    const int port = state_.portHandle, ctrl = state_.controllerNumber & 0xFF;
    const int r = ResetAdjustPassword(port, ctrl, admin);
    if (r == 1)
        dialogs_.message("Ok", QString(), Dialogs::Icon::Information);
    else
        ShowControllerError(port, ctrl);
    ReadPasswordStatus();
}

void TStartZelMain::shutDown() {
    if (shutDown_) return;
    shutDown_ = true;
    ReleaseDemoImage();
    PortClose(state_.portHandle);
    state_.portHandle = 0;
    if (imageHost_) imageHost_->close();
    PortLayerStop();
}

void TStartZelMain::closeEvent(QCloseEvent* event) {
    if (!state_.idle || !leaveCurrentTab()) { // the exit waits for the image transfer, or the engineer stays
        event->ignore();
        return;
    }
    shutDown();
    event->accept();
}
