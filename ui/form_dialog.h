// The shape the secondary windows (primary setup, factory defaults, report)
// share: the working state, the dialogs seam and the frame they talk to, a
// field convention with counters of their own, FormShow each time the
// program shows the window (under the busy cursor) and FormClose each time it
// is closed, however it is closed.
#pragma once

#include "block_tab.h"

#include <QDialog>

class FieldCheck;
class QShowEvent;

class FormDialog : public QDialog {
    Q_OBJECT
public:
    // `name` is the window's objectName, `title` its caption.
    FormDialog(const TabContext& context, const char* name, const QString& title, QWidget* parent);

    // Boxes of the window marked invalid now.
    int invalidCount() const { return invalid_; }

public slots:
    virtual void FormShow() = 0;
    // Queues the repaint checks of the main window.
    virtual void FormClose();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

    WorkingState& state_;
    Dialogs& dialogs_;
    Frame& frame_;
    bool edited_ = false;
    int invalid_ = 0;
    FieldCheck* fields_; // the window's own FieldEdited and invalid count
};
