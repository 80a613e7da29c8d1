// The shape every tab of the main window shares: the working state, the
// dialogs seam and the frame it talks to, the field convention, the "?"
// buttons that show their hint, and the show handler the main window runs
// when the tab's page becomes current.
#pragma once

#include "field_check.h"
#include "form_builder.h"

#include <QWidget>
#include <functional>
#include <initializer_list>
#include <vector>

class Dialogs;
class Frame;
class QPushButton;
class WorkingState;

// How a save went: refused before anything was written (the password step,
// a marked box, a question answered Cancel), nothing to write, written, or a
// failed write (reported, the controller identified again).
enum class SaveOutcome { Refused, Unchanged, Written, Failed };

// One save of a tab's block (every member has its default, so a save names
// only what it changes), in the order every tab takes it: the password
// step and the refusal while a box is marked (their order is the tab's), the
// tab's own checks, "unchanged", the write, then what follows a good write or
// the report of a failed one and a new identification.
struct SaveStep {
    // The password step of this save: the administrator password, or for the
    // channel settings the adjustment password.
    bool (Frame::*password)() = nullptr; // null: Frame::passwordStep
    // True: the password step comes first, then the marks (the parameter
    // block's saves). False: the status line is cleared, the marks are looked
    // at and the password step follows (the channel saves).
    bool passwordFirst = true;
    // InvalidFieldCount above 0 refuses too.
    bool withCount = false;
    // Boxes or cells that refuse while only coloured red.
    std::vector<const QWidget*> red = {};
    // The tab's own steps before the write; false ends the save with nothing written.
    std::function<bool()> check = {};
    // The block differs from what was read. Null: the write itself says
    // whether there was anything to write (and words it).
    std::function<bool()> changed = {};
    // The write: Written, Unchanged or Failed.
    std::function<SaveOutcome()> write = {};
    // A failed write: the message box text, which also goes to the status line
    // unless the write worded the status already; the controller's own error
    // between the two.
    QString failedText = QStringLiteral("Ошибка записи!");
    bool failedStatus = true;
    bool controllerError = false;
    // What follows a good write.
    std::function<void()> written = {};
};

struct TabContext {
    WorkingState& state;
    Dialogs& dialogs;
    Frame& frame;
};

class BlockTab : public QWidget {
    Q_OBJECT
public:
    BlockTab(const TabContext& context, QWidget* parent = nullptr);

    // The show handler of the tab (TabCtrlrSettsShow, TabAdvSetShow, ...).
    virtual void tabShown() = 0;
    // Edits made on the tab and not yet written: a box marked invalid counts
    // too. The engineer leaving the tab is asked first.
    virtual bool hasUnsavedEdits() const { return false; }
    // Runs the tab's save for them: true when nothing is left unwritten.
    virtual bool saveEdits() { return true; }

public slots:
    // Every "?" button: shows the pressed button's hint in a message box.
    void helpSpeedTrkClick();

protected:
    // A "?" button of the given name, wired to helpSpeedTrkClick.
    QPushButton* helpButton(const char* name, QWidget* parent);
    form::Grid::HelpFactory helpFactory();
    // Leaving `w` runs the tab's handler: after an edit, or on every exit.
    template <class Tab>
    void onExit(QWidget* w, void (Tab::*handler)(), FieldCheck::When when = FieldCheck::When::Edited) {
        fields_->attach(
            w, [this, handler] { (static_cast<Tab*>(this)->*handler)(); }, when);
    }
    void setStatus(const QString& text);
    // The status line cleared and painted before a transfer starts.
    void clearStatus();
    // The save of this tab's block (see SaveStep), under the busy cursor.
    SaveOutcome save(const SaveStep& step);
    // A failed write: the text in a message box, the controller's own error,
    // the text in the status line, and the controller identified again.
    void reportFailedWrite(const QString& text, bool status = true, bool controllerError = false);
    // A save refuses while any box or cell of this tab is marked invalid (or,
    // in `red`, only coloured red), and with `withCount` while
    // InvalidFieldCount is above 0 (the parameter block's saves): the status
    // line says so. True: refused.
    bool refuseWhileMarked(bool withCount, const std::vector<const QWidget*>& red = {});
    // A box or cell of this tab is marked invalid (or, in `red`, coloured red).
    bool anyMarked(const std::vector<const QWidget*>& red = {}) const;
    // A failure: the text in a message box and in the status line.
    void showError(const QString& text);
    int port() const;
    int ctrl() const;

    WorkingState& state_;
    Dialogs& dialogs_;
    Frame& frame_;
    FieldCheck* fields_; // the main window's field convention (FieldEdited, InvalidFieldCount)
};
