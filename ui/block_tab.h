// The shape every tab of the main window shares: the working state, the
// dialogs seam and the frame it talks to, the field convention, the "?"
// buttons that show their hint, and the show handler the main window runs
// when the tab's page becomes current.
#pragma once

#include "field_check.h"
#include "form_builder.h"

#include <QWidget>
#include <initializer_list>

class Dialogs;
class Frame;
class QPushButton;
class WorkingState;

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
    // A save refuses while any box or cell of this tab is marked invalid (or,
    // in `red`, only coloured red), and with `withCount` while
    // InvalidFieldCount is above 0 (the parameter block's saves): the status
    // line says so. True: refused.
    bool refuseWhileMarked(bool withCount, std::initializer_list<const QWidget*> red = {});
    // A box or cell of this tab is marked invalid (or, in `red`, coloured red).
    bool anyMarked(std::initializer_list<const QWidget*> red = {}) const;
    // A failure: the text in a message box and in the status line.
    void showError(const QString& text);
    int port() const;
    int ctrl() const;

    WorkingState& state_;
    Dialogs& dialogs_;
    Frame& frame_;
    FieldCheck* fields_; // the main window's field convention (FieldEdited, InvalidFieldCount)
};
