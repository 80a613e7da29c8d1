#include "controller_search.h"

#include "working_state.h"

#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace {

const char* const kRemembered[] = {"bCallIdent", "bSimImp",    "bGlobalSet",  "bGlobalDefaultSet", "bReset",
                                   "bSaveImage", "bLoadImage", "bReservCall", "bLoadFisk"};

const char* const kPortClosed =
    "Порт не открыт: поиск контроллеров невозможен. Выберите порт в меню «Com порт» → «Настройки».";

} // namespace

ControllerSearch::ControllerSearch(WorkingState& state, QWidget* tab, QTimer* tmFindTrk, QObject* parent)
    : QObject(parent), state_(state), tab_(tab), timer_(tmFindTrk),
      mIdent_(tab->findChild<QPlainTextEdit*>("mIdent")),
      run_([this](int address) { return settings::IdentifyAddress(state_.portHandle, address); }) {
    connect(timer_, &QTimer::timeout, this, &ControllerSearch::tmFindTrkTimer);
}

bool ControllerSearch::running() const {
    return timer_->isActive();
}

void ControllerSearch::restoreButtons() {
    for (const auto& [name, enabled] : remembered_)
        if (auto* b = tab_->findChild<QPushButton*>(name))
            if (enabled) b->setEnabled(true);
    remembered_.clear();
}

void ControllerSearch::bFindCtrlrClick() {
    if (mIdent_) mIdent_->clear();
    if (timer_->isActive()) {
        timer_->stop();
        restoreButtons();
        return;
    }
    if (state_.portHandle == 0) {
        // With the port closed every address would read "не найдено".
        if (mIdent_) mIdent_->appendPlainText(kPortClosed);
        return;
    }
    remembered_.clear();
    for (const char* name : kRemembered)
        if (auto* b = tab_->findChild<QPushButton*>(name)) {
            remembered_[QString::fromLatin1(name)] = b->isEnabled();
            b->setEnabled(false);
        }
    run_.start();
    timer_->start();
}

void ControllerSearch::tmFindTrkTimer() {
    if (run_.done()) {
        timer_->stop();
        restoreButtons();
        return;
    }
    const std::string line = run_.tick();
    if (mIdent_) mIdent_->appendPlainText(QString::fromStdString(line));
}
