#include "controller_search.h"

#include "dialogs.h"
#include "progress.h"
#include "working_state.h"

#include <QCoreApplication>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace {

const char* const kRemembered[] = {"bCallIdent", "bSimImp",     "bGlobalSet", "bGlobalDefaultSet",
                                   "bReset",     "bSaveImage",  "bLoadImage", "bReservCall",
                                   "bLoadFisk",  "bSaveStation"};

const char* const kPortClosed =
    "Порт не открыт: поиск контроллеров невозможен. Выберите порт в меню «Com порт» → «Настройки».";

} // namespace

ControllerSearch::ControllerSearch(WorkingState& state, Dialogs& dialogs, QWidget* tab, QTimer* tmFindTrk,
                                   QObject* parent)
    : QObject(parent), state_(state), dialogs_(dialogs), tab_(tab), timer_(tmFindTrk),
      mIdent_(tab->findChild<QPlainTextEdit*>("mIdent")), run_([this](int address) {
          station::Found f;
          bool ok = false;
          const int r = station::Probe(state_.portHandle, address, f, ok);
          if (ok) found_.push_back(f);
          return r;
      }) {
    connect(timer_, &QTimer::timeout, this, &ControllerSearch::tmFindTrkTimer);
    if (auto* b = tab_->findChild<QPushButton*>("bSaveStation"))
        connect(b, &QPushButton::clicked, this, &ControllerSearch::bSaveStationClick);
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
    found_.clear();
    for (const char* name : kRemembered)
        if (auto* b = tab_->findChild<QPushButton*>(name)) {
            remembered_[QString::fromLatin1(name)] = b->isEnabled();
            b->setEnabled(false);
        }
    run_.start();
    timer_->start();
}

void ControllerSearch::searchOver() {
    timer_->stop();
    restoreButtons();
    if (auto* b = tab_->findChild<QPushButton*>("bSaveStation")) b->setEnabled(!found_.empty());
}

void ControllerSearch::tmFindTrkTimer() {
    if (run_.done()) {
        searchOver();
        return;
    }
    const std::string line = run_.tick();
    if (mIdent_) mIdent_->appendPlainText(QString::fromStdString(line));
}

void ControllerSearch::bSaveStationClick() {
    if (found_.empty() || running() || state_.portHandle == 0) return;
    const QString folder = dialogs_.folderName("Сохранить все найденные");
    if (folder.isEmpty()) return;
    const std::string dir = QFile::encodeName(folder).toStdString();
    station::SaveResult r;
    {
        const BusyCursor busy;
        r = station::Save(
            state_.portHandle, dir, found_, ZEL_VERSION, std::string(), {}, [this](const station::Entry& e) {
                if (mIdent_)
                    mIdent_->appendPlainText(QString("Трк №%1: %2")
                                                 .arg(e.address)
                                                 .arg(e.saved ? "сохранен в " + QString::fromStdString(e.file)
                                                              : QString("не сохранен")));
                QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            });
    }
    const int saved = static_cast<int>(found_.size()) - r.failed;
    QString text =
        QString("Сохранено контроллеров: %1 из %2 в папку %3").arg(saved).arg(found_.size()).arg(folder);
    if (r.failed > 0) {
        QStringList missing;
        for (const station::Entry& e : r.manifest.controllers)
            if (!e.saved) missing << QString::number(e.address);
        text += ". Не сохранены: " + missing.join(", ");
    }
    if (!r.manifestError.empty()) text += ". Не удалось записать station.json";
    dialogs_.message(text, QString(),
                     r.failed > 0 || !r.manifestError.empty() ? Dialogs::Icon::Error
                                                              : Dialogs::Icon::Information);
}
