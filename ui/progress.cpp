#include "progress.h"

#include <QCoreApplication>
#include <QProgressBar>

void ChangeProgress(int position, QProgressBar* bar) {
    if (!bar) return;
    if (position > bar->minimum() && position < bar->maximum()) bar->setValue(position);
    QCoreApplication::processEvents();
}
