// The main window: menus, the eight tabs, the status line SB and the
// controller password panel; start-up, repaint checks and closing.
#pragma once

#include "frame.h"

#include <QMainWindow>
#include <QStringList>
#include <memory>
#include <vector>

class BlockTab;
class Dialogs;
class WorkingState;
class IdentTab;
class NozSettsTab;
class TComSetting;
class AboutBox;
class QAction;
class QDialog;
class QLabel;
namespace zelsim {
class ImageHost;
}
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTabWidget;

class TStartZelMain : public QMainWindow, public Frame {
    Q_OBJECT
public:
    // Builds the window and runs its creation step: port layer, command line
    // (`arguments` without the program name), com.ini, port, controller number
    // prompt, identification, don.msg. The other forms are created after it.
    TStartZelMain(WorkingState& state, Dialogs& dialogs, const QStringList& arguments,
                  QWidget* parent = nullptr);
    ~TStartZelMain() override;

    IdentTab* identTab() const { return identTab_; }
    TComSetting* comSetting() const { return comSetting_; }
    QTabWidget* tabs() const { return TabSetts_; }
    WorkingState& state() const { return state_; }
    // The page of a tab by its name ("TabCtrlrSetts", ...).
    QWidget* tabPage(const QString& name) const;
    // Puts a tab's own widget into its page, replacing what the page held.
    void setTabContent(const QString& name, QWidget* content);
    // Adds a tab of the framework to its page; its show handler runs whenever
    // the page becomes current.
    void addBlockTab(const QString& page, BlockTab* tab);

    // Switches the tooltips of the controls given their field's hint (by
    // their tab, where the controls are made) on or off; the "?" buttons show
    // the texts either way.
    void EnabledHint(bool show);

    // Frame.
    void setStatus(const QString& text) override;
    QString status() const override;
    void showMainTab() override;
    void setNumberLabel(const QString& text) override;
    void setControllerNumber(int number) override;
    void requestReidentify() override;
    void repaint() override;
    void setPortMenusVisible(bool visible) override;
    bool passwordStep() override;
    bool adjustPasswordStep() override;
    bool demo() const override;

public slots:
    void menuChangeNumTrkClick();
    void Setting1Click();
    void menuWriteLogClick();
    void TabSettsChange(int index);
    void AboutClick();
    void Button1Click();
    void Button4Click();
    // Reads PasswordStatus and updates the panel.
    void ReadPasswordStatus();
    // The repaint checks, in order: re-identify, port failed, refresh buttons.
    void RepaintChecks();

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Opens the image file as the controller to work on; false (with the
    // message shown) when it cannot be opened.
    bool openImageFile(const QString& file, uint8_t deviceType);
    void buildUi();
    QWidget* buildPasswordPanel();
    void FormCreate(const QStringList& arguments);
    void createForms();
    void showIdentTab();
    // The engineer leaves `page` (or the current tab): with unsaved edits the
    // question save / discard / stay. True: the tab may be left.
    bool leaveTab(QWidget* page);
    bool leaveCurrentTab();
    void setCommandButtons(bool portFailed, bool noNumber);
    bool presentAdminPassword();
    // Presents the password of the panel's box (administrator or adjustment),
    // asking for it when the box holds none; a refusal refreshes the panel.
    bool presentPassword(QLineEdit* box, bool admin);
    // The port (or the image file) could not be opened: why, and the window
    // works without a line until the port settings open one.
    void noLine(const QString& why);
    void shutDown();

    WorkingState& state_;
    Dialogs& dialogs_;
    IdentTab* identTab_ = nullptr;
    NozSettsTab* nozSettsTab_ = nullptr; // hides its weights panel when the window opens
    TComSetting* comSetting_ = nullptr;
    QDialog* globalSetts_ = nullptr;
    AboutBox* aboutBox_ = nullptr;
    QDialog* defSet_ = nullptr;
    QDialog* viewParam_ = nullptr;

    QLabel* lNumberCtrlr_ = nullptr;
    QStatusBar* SB_ = nullptr;
    QTabWidget* TabSetts_ = nullptr;
    QWidget* TabIdent_ = nullptr;
    QMenu* menuCom_ = nullptr;
    QMenu* menuLog_ = nullptr;
    QAction* menuChangeNumTrk_ = nullptr;
    QAction* menuWriteLog_ = nullptr;
    QLineEdit *Edit2_ = nullptr, *Edit3_ = nullptr, *Edit5_ = nullptr, *Edit6_ = nullptr;
    QLabel *Label8_ = nullptr, *Label9_ = nullptr;
    QPushButton *Button1_ = nullptr, *Button2_ = nullptr, *Button4_ = nullptr;
    std::vector<std::pair<QWidget*, BlockTab*>> blockTabs_; // page and tab
    bool repaintQueued_ = false;
    QWidget* shownPage_ = nullptr;    // the page whose show handler ran last
    bool programmaticSwitch_ = false; // the program shows the main tab: nobody is asked
    bool snappingBack_ = false;       // back to a tab the engineer chose to stay on
    bool shownOnce_ = false;
    bool shutDown_ = false;
    std::unique_ptr<zelsim::ImageHost> imageHost_; // --image: the file's controller
};
