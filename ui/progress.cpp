#include "progress.h"

#include <QApplication>
#include <QCoreApplication>
#include <QProgressBar>

void ChangeProgress(int position, QProgressBar* bar) {
    if (!bar) return;
    if (position > bar->minimum() && position < bar->maximum()) bar->setValue(position);
    QCoreApplication::processEvents();
}

BusyCursor::BusyCursor() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor() {
    QApplication::restoreOverrideCursor();
}

OrdinaryCursor::OrdinaryCursor() : pushed_(QApplication::overrideCursor() != nullptr) {
    if (pushed_) QApplication::setOverrideCursor(Qt::ArrowCursor);
}

OrdinaryCursor::~OrdinaryCursor() {
    if (pushed_) QApplication::restoreOverrideCursor();
}
