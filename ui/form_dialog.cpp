#include "form_dialog.h"

#include "field_check.h"
#include "frame.h"
#include "progress.h"

#include <QShowEvent>

FormDialog::FormDialog(const TabContext& context, const char* name, const QString& title, QWidget* parent)
    : QDialog(parent), state_(context.state), dialogs_(context.dialogs), frame_(context.frame),
      fields_(new FieldCheck(edited_, invalid_, this)) {
    setObjectName(name);
    setWindowTitle(title);
}

void FormDialog::FormClose() {
    frame_.repaint();
}

void FormDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window shown again after being minimised is not opened again.
    if (event->spontaneous()) return;
    const BusyCursor busy;
    FormShow();
}

void FormDialog::done(int result) {
    FormClose();
    QDialog::done(result);
}
