// The controller search of the main tab: bFindCtrlr starts it, tmFindTrk
// polls one address a tick and mIdent lists the results; a second press
// stops it. The command buttons are disabled while it runs and given back
// their earlier states afterwards. bSaveStation then saves every controller
// found into a folder chosen (ctrl-XX.bin and station.json), as the command
// line's station save does.
#pragma once

#include "search_core.h"
#include "station.h"

#include <QObject>
#include <QString>
#include <map>

class Dialogs;
class WorkingState;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;

class ControllerSearch : public QObject {
    Q_OBJECT
public:
    // `tab` holds bFindCtrlr, mIdent and the command buttons by name.
    ControllerSearch(WorkingState& state, Dialogs& dialogs, QWidget* tab, QTimer* tmFindTrk,
                     QObject* parent = nullptr);
    bool running() const;
    // The controllers the last search found (those that answered from their own address).
    const std::vector<station::Found>& found() const { return found_; }

public slots:
    void bFindCtrlrClick();
    void tmFindTrkTimer();
    void bSaveStationClick();

private:
    void restoreButtons();
    void searchOver();

    WorkingState& state_;
    Dialogs& dialogs_;
    std::vector<station::Found> found_;
    QWidget* tab_;
    QTimer* timer_;
    QPlainTextEdit* mIdent_;
    settings::SearchRun run_;
    std::map<QString, bool> remembered_;
};
