// The main window as a whole: what the Enter key does (nothing) in every box,
// list and grid of every tab and form.
#include "block_transfer.h"
#include "channel_fields.h"
#include "com_setting.h"
#include "controller_fields.h"
#include "field_binder.h"
#include "global_setts_core.h"
#include "gui_rig.h"
#include "temperature_table.h"

#include <QAbstractItemView>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QHeaderView>
#include <QTest>
#include <QTimer>
#include <QTreeView>

namespace {

// Every box, list and grid of `root` that the engineer can reach.
std::vector<QWidget*> Inputs(QWidget* root) {
    std::vector<QWidget*> out;
    for (QWidget* w : root->findChildren<QWidget*>()) {
        if (!w->isVisibleTo(root) || !w->isEnabled() || w->focusPolicy() == Qt::NoFocus) continue;
        if (qobject_cast<QLineEdit*>(w) && qobject_cast<QComboBox*>(w->parentWidget())) continue;
        if (qobject_cast<QLineEdit*>(w) || qobject_cast<QComboBox*>(w) || qobject_cast<QAbstractItemView*>(w))
            out.push_back(w);
    }
    return out;
}

void PressEnter(QWidget* w) {
    w->setFocus();
    QTest::keyClick(w, Qt::Key_Return);
    QTest::keyClick(w, Qt::Key_Enter, Qt::KeypadModifier);
}

// Enter and keypad Enter in every input of `root`; in a grid, in every cell
// and in every cell's editor as well.
void EnterEverywhere(QWidget* root) {
    for (QWidget* w : Inputs(root)) {
        SCOPED_TRACE(w->objectName().toStdString());
        auto* view = qobject_cast<QAbstractItemView*>(w);
        if (!view || !view->model()) {
            PressEnter(w);
            continue;
        }
        const QAbstractItemModel* m = view->model();
        for (int r = 0; r < m->rowCount(); ++r)
            for (int c = 0; c < m->columnCount(); ++c) {
                const QModelIndex i = m->index(r, c);
                view->setCurrentIndex(i);
                PressEnter(view);
                if (!(m->flags(i) & Qt::ItemIsEditable) ||
                    view->editTriggers() == QAbstractItemView::NoEditTriggers)
                    continue;
                view->edit(i);
                if (QWidget* editor = QApplication::focusWidget();
                    editor && view->viewport()->isAncestorOf(editor))
                    PressEnter(editor);
            }
    }
    QCoreApplication::processEvents();
}

} // namespace

using Window = GuiRig;

TEST_F(Window, EnterIsNeverACommandInAnyBoxListOrGrid) {
    auto& c = line.addController(1);
    startLine();
    start(QString("1"), {"--service"});
    ASSERT_TRUE(state.Identified);
    const std::string comIni = ReadTextFile("com.ini");
    QTabWidget* tabs = ctl<QTabWidget>("TabSetts");
    const auto memory = c.imageBytes();
    const int writes = c.writeCount(), restarts = c.restartCount();

    for (int i = 0; i < tabs->count(); ++i) {
        QWidget* page = tabs->widget(i);
        SCOPED_TRACE(page->objectName().toStdString());
        tabs->setCurrentWidget(page);
        dialogs.clear();
        EnterEverywhere(page);
        EnterEverywhere(ctl("pnlPasswords"));
        EXPECT_EQ(dialogs.kinds().join(' ').toStdString(), "");
        EXPECT_EQ(c.writeCount(), writes);
    }

    tabs->setCurrentWidget(ctl("TabIdent"));
    for (const char* name : {"TfGlobalSetts", "TformDefSet", "TformViewParam", "AboutBox", "TComSetting"}) {
        SCOPED_TRACE(name);
        auto* form = w->findChild<QDialog*>(name);
        ASSERT_NE(form, nullptr);
        if (auto* com = qobject_cast<TComSetting*>(form)) com->FormShow();
        form->show();
        QCoreApplication::processEvents();
        dialogs.clear();
        EnterEverywhere(form);
        EXPECT_EQ(dialogs.kinds().join(' ').toStdString(), "");
        EXPECT_TRUE(form->isVisible()) << "Enter closed the form";
        EXPECT_EQ(c.writeCount(), writes);
        form->hide();
    }
    EXPECT_EQ(c.imageBytes(), memory);
    EXPECT_EQ(c.restartCount(), restarts);
    EXPECT_EQ(ReadTextFile("com.ini"), comIni);

    // No push button anywhere is a default button, nor becomes one.
    for (QPushButton* b : w->findChildren<QPushButton*>()) {
        EXPECT_FALSE(b->isDefault()) << b->objectName().toStdString();
        EXPECT_FALSE(b->autoDefault()) << b->objectName().toStdString();
    }
}

// Each tab gives its controls their hints where it makes them; the window
// only switches the tooltips, of every hinted control of its tabs and forms.
TEST_F(Window, EveryHintIsGivenByItsTabAndSwitchedByTheWindow) {
    line.addController(1);
    startLine();
    start(QString("1"));
    using namespace settings;
    const fields::Table tables[] = {MainTabFields(),
                                    CtrlrSettsFields(),
                                    AdvParamsFields(),
                                    NaraFields(),
                                    NozRegsFields(),
                                    NozSettsFields(),
                                    SideFields(0),
                                    SideFields(1),
                                    tools::TemperatureTblFields(),
                                    tools::GlobalSettsFields()};
    std::vector<QWidget*> hinted;
    for (const fields::Table& table : tables)
        for (const fields::Field& f : table)
            for (const char* name : {f.name, f.helpButton}) {
                if (!f.hint || !name) continue;
                SCOPED_TRACE(name);
                QWidget* c = ctl(name);
                ASSERT_NE(c, nullptr);
                EXPECT_EQ(c->toolTip(), QString::fromUtf8(f.hint));
                hinted.push_back(c);
            }
    auto shown = [&hinted](bool on) {
        for (QWidget* c : hinted)
            EXPECT_EQ(c->property(kShowHintProperty), QVariant(on)) << c->objectName().toStdString();
    };
    shown(true);
    w->EnabledHint(false);
    shown(false);
    // A tooltip that is no field's hint is never switched off.
    EXPECT_FALSE(ctl("Button2")->property(kShowHintProperty).isValid());
    w->EnabledHint(true);
    shown(true);
}

// The questions of the dialogs seam: Enter answers none of them (the focus
// sits on a button all the same); Escape cancels, a click answers.
TEST(QuestionBoxes, EnterAnswersNothing) {
    TestApp();
    QtDialogs dialogs;
    for (const bool yesNo : {false, true}) {
        SCOPED_TRACE(yesNo);
        bool stillOpen = false;
        QTimer::singleShot(0, [&] {
            QWidget* box = QApplication::activeModalWidget();
            ASSERT_NE(box, nullptr);
            for (QPushButton* b : box->findChildren<QPushButton*>())
                EXPECT_FALSE(b->isDefault()) << b->text().toStdString();
            QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
            QTest::keyClick(box, Qt::Key_Enter, Qt::KeypadModifier);
            stillOpen = box->isVisible();
            QTest::keyClick(box, Qt::Key_Escape);
        });
        const bool answer =
            yesNo ? dialogs.yesNo("Вы хотите изменить пароль?", "Вы уверены?", Dialogs::Icon::Error)
                  : dialogs.okCancel("Образ считан, записать его в контроллер", QString(),
                                     Dialogs::Icon::Warning);
        EXPECT_TRUE(stillOpen);
        EXPECT_FALSE(answer);
    }
    // A choice: Escape picks its last button, the one that changes nothing.
    bool stillOpen = false;
    QTimer::singleShot(0, [&] {
        QWidget* box = QApplication::activeModalWidget();
        ASSERT_NE(box, nullptr);
        QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Return);
        stillOpen = box->isVisible();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    EXPECT_EQ(dialogs.choice("Сохранить их?", "Внимание", {"Сохранить", "Не сохранять", "Остаться"},
                             Dialogs::Icon::Warning),
              2);
    EXPECT_TRUE(stillOpen);
}

// What a newcomer meets before and around identification: the commands that
// talk to a controller wait for one, a wrong or missing password is said
// plainly, and every command leaves its own result in the status line.
TEST_F(Window, CommandsWaitForAControllerAndSayWhatHappened) {
    auto& c = line.addController(1);
    startLine();
    start(QString("7")); // nobody answers at 7
    ASSERT_FALSE(state.Identified);
    for (const char* b : {"Button1", "Button2", "Button4", "ReadCRC", "bSetTabloTest"})
        EXPECT_FALSE(btn(b)->isEnabled()) << b;

    dialogs.inputs.push_back(QString("1"));
    w->menuChangeNumTrkClick();
    ASSERT_TRUE(state.Identified);
    for (const char* b : {"Button1", "Button2", "Button4", "ReadCRC", "bSetTabloTest"})
        EXPECT_TRUE(btn(b)->isEnabled()) << b;

    // An earlier failure does not stay over a later success.
    btn("bSetTabloTest")->click(); // no mode chosen
    EXPECT_EQ(status(), "Ошибка");
    btn("bIrValRead")->click();
    EXPECT_EQ(status(), "Регистры считаны");

    // A wrong password for a save: the panel shows the attempts left.
    c.setPasswords(1234, 0);
    w->ReadPasswordStatus();
    ASSERT_EQ(ctl<QLabel>("Label8")->text(), "Установлен");
    ctl<QLineEdit>("Edit5")->setText("1111");
    dialogs.clear();
    btn("bGlobalDefaultSet")->click();
    EXPECT_EQ(dialogs.messages(), QStringList({"Ошибка! Неверный пароль"}));
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "Попыток ввода: 6");

    // A controller that stopped answering: the reason, not a bare "Ошибка!".
    zelsim::Faults f;
    f.noAnswer = true;
    c.setFaults(f);
    dialogs.clear();
    dialogs.answers.push_back(true);
    btn("Button1")->click();
    EXPECT_EQ(dialogs.messages(),
              QStringList({"Ошибка! Устройство не ответило. Если контроллер отвечает медленно, "
                           "увеличьте «Множитель таймаута» на вкладке «Основное меню»."}));
}

TEST_F(Window, SearchNeedsAnOpenPort) {
    startLine();
    start(QString("1"), {"-tfind", "1"});
    w->Setting1Click(); // closes the port; the dialog is left without applying
    QCoreApplication::processEvents();
    ASSERT_EQ(state.portHandle, 0);
    w->identTab()->findChild<QPushButton*>("bFindCtrlr")->click();
    EXPECT_FALSE(w->identTab()->findTimer()->isActive());
    EXPECT_EQ(identText(), "Порт не открыт: поиск контроллеров невозможен. Выберите порт в меню «Com порт» → "
                           "«Настройки».");
}

TEST_F(Window, DemoPasswordPanelSaysDemo) {
    WriteTextFile("com.ini", "STUB 0 4800 0 1 0 8 N 1\n");
    zelsim::VirtualController image;
    const auto bytes = image.demoImageBytes();
    WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
    start(QString("1"), {"/i"});
    ASSERT_TRUE(state.Identified);
    ctl<QTabWidget>("TabSetts")->setCurrentWidget(ctl("TabCtrlrSetts")); // reads the password status too
    EXPECT_EQ(ctl<QLabel>("Label8")->text(), "Демонстрационная версия");
    EXPECT_EQ(ctl<QLabel>("Label9")->text(), "");
    for (const char* b : {"Button1", "Button2", "Button4", "ReadCRC"})
        EXPECT_FALSE(btn(b)->isEnabled()) << b;
}

namespace {

// Enters a box, puts the text in as typed and leaves it.
void Type(QLineEdit* e, const QString& text) {
    QFocusEvent in(QEvent::FocusIn, Qt::OtherFocusReason), out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(e, &in);
    e->setText(text);
    emit e->textEdited(text);
    QApplication::sendEvent(e, &out);
}

} // namespace

// Leaving a tab with edits not yet written, by another tab or an F key: the
// engineer is asked to save, to drop them, or to stay; nothing is dropped
// silently any more.
TEST_F(Window, LeavingATabWithUnsavedEditsAsks) {
    auto& c = line.addController(1);
    line.addController(2);
    startLine();
    start(QString("1"));
    QTabWidget* tabs = ctl<QTabWidget>("TabSetts");
    tabs->setCurrentWidget(ctl("TabCtrlrSetts"));
    auto* slowLoad = ctl<QLineEdit>("eSlowLoad");
    ASSERT_EQ(slowLoad->text(), "300");
    const auto slowLoadByte = [&] { return c.peek(0, CtrlrParams.address + 25, 1).at(0); };

    // Stay: the tab and its edit remain.
    Type(slowLoad, "500");
    dialogs.clear();
    dialogs.choices = {2};
    tabs->setCurrentWidget(ctl("TabAdvSet"));
    ASSERT_EQ(dialogs.kinds(), QStringList({"choice"}));
    EXPECT_EQ(dialogs.records[0].text,
              "Данные вкладки «Настройки контроллера» были изменены, но не записаны в "
              "контроллер!\nСохранить их?");
    EXPECT_EQ(dialogs.lastButtons, QStringList({"Сохранить", "Не сохранять", "Остаться"}));
    EXPECT_EQ(tabs->currentWidget(), ctl("TabCtrlrSetts"));
    EXPECT_EQ(slowLoad->text(), "500");

    // Do not save: the other tab is shown and the controller keeps its value.
    dialogs.choices = {1};
    tabs->setCurrentWidget(ctl("TabAdvSet"));
    EXPECT_EQ(tabs->currentWidget(), ctl("TabAdvSet"));
    EXPECT_EQ(slowLoadByte(), 3);

    // Save: written first, then the other tab.
    tabs->setCurrentWidget(ctl("TabCtrlrSetts"));
    EXPECT_EQ(slowLoad->text(), "300");
    Type(slowLoad, "500");
    dialogs.clear();
    dialogs.choices = {0};
    tabs->setCurrentWidget(ctl("TabNozSetts"));
    EXPECT_EQ(slowLoadByte(), 5);
    EXPECT_EQ(tabs->currentWidget(), ctl("TabNozSetts"));

    // A save that refuses keeps the engineer on the tab with the marked box.
    tabs->setCurrentWidget(ctl("TabCtrlrSetts"));
    Type(slowLoad, "25600");
    dialogs.choices = {0};
    tabs->setCurrentWidget(ctl("TabAdvSet"));
    EXPECT_EQ(tabs->currentWidget(), ctl("TabCtrlrSetts"));
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");

    // An F key asks the same; staying keeps the controller too.
    dialogs.choices = {2};
    QTest::keyClick(slowLoad, Qt::Key_F2);
    EXPECT_EQ(state.controllerNumber, 1);
    EXPECT_EQ(tabs->currentWidget(), ctl("TabCtrlrSetts"));
    dialogs.choices = {1};
    QTest::keyClick(slowLoad, Qt::Key_F2);
    EXPECT_EQ(state.controllerNumber, 2);
    EXPECT_EQ(tabs->currentWidget(), ctl("TabIdent"));

    // A tab left without edits asks nothing.
    dialogs.clear();
    tabs->setCurrentWidget(ctl("TabCtrlrSetts"));
    tabs->setCurrentWidget(ctl("TabAdvSet"));
    EXPECT_FALSE(dialogs.kinds().contains("choice"));

    // Closing the program asks the same.
    Type(ctl<QLineEdit>("eMinSpeed"), "7");
    dialogs.clear();
    dialogs.choices = {2};
    EXPECT_FALSE(w->close());
    EXPECT_EQ(dialogs.kinds(), QStringList({"choice"}));
    dialogs.choices = {1};
    EXPECT_TRUE(w->close());
}

// The file dialog shows its columns whole: the names get the room the size,
// type and date columns leave.
TEST(FileDialogs, ColumnsAreNotCut) {
    TestApp();
    QtDialogs dialogs;
    int nameWidth = 0, allWidth = 0, viewWidth = 0;
    bool found = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!d) return;
        if (auto* view = d->findChild<QTreeView*>()) {
            found = true;
            QCoreApplication::processEvents();
            nameWidth = view->header()->sectionSize(0);
            for (int c = 0; c < view->header()->count(); ++c)
                if (!view->header()->isSectionHidden(c)) allWidth += view->header()->sectionSize(c);
            viewWidth = view->viewport()->width();
        }
        d->reject();
    });
    EXPECT_TRUE(dialogs.saveFileName("Сохранить параметры в файл", "Текстовый файл (*.txt);;Все файлы (*)")
                    .isEmpty());
    ASSERT_TRUE(found);
    EXPECT_GE(nameWidth, 300);
    EXPECT_LE(allWidth, viewWidth);
}
