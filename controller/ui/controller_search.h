// The controller search of the main tab: bFindCtrlr starts it, tmFindTrk
// polls one address a tick and mIdent lists the results; a second press
// stops it. The command buttons are disabled while it runs and given back
// their earlier states afterwards.
#pragma once

#include "search_core.h"

#include <QObject>
#include <QString>
#include <map>

class WorkingState;
class QPlainTextEdit;
class QPushButton;
class QTimer;
class QWidget;

class ControllerSearch : public QObject {
    Q_OBJECT
public:
    // `tab` holds bFindCtrlr, mIdent and the command buttons by name.
    ControllerSearch(WorkingState& state, QWidget* tab, QTimer* tmFindTrk, QObject* parent = nullptr);
    bool running() const;

public slots:
    void bFindCtrlrClick();
    void tmFindTrkTimer();

private:
    void restoreButtons();

    WorkingState& state_;
    QWidget* tab_;
    QTimer* timer_;
    QPlainTextEdit* mIdent_;
    settings::SearchRun run_;
    std::map<QString, bool> remembered_;
};
