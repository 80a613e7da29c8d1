// The port settings dialog "Настройки com порта".
#pragma once

#include <QDialog>

class Dialogs;
class WorkingState;
class QCheckBox;
class QComboBox;
class QPushButton;

class TComSetting : public QDialog {
    Q_OBJECT
public:
    TComSetting(WorkingState& state, Dialogs& dialogs, QWidget* parent = nullptr);

    // Runs the show step: closes nothing (the menu action closed the port),
    // reads com.ini and fills and selects the lists.
    void FormShow();

signals:
    // The chosen port opened; the main window shows it in its menu.
    void portOpened();

public slots:
    void SaveParamClick();

private:
    WorkingState& state_;
    Dialogs& dialogs_;
    QComboBox *cbComNumber_, *cbPortBRate_, *cbPortDataBits_, *cbPortParity_, *cbPortStopBits_;
    // Kept in line.ini beside com.ini (com.ini has no room for them).
    QCheckBox *cbEcho_, *cbRs485_;
    QPushButton* SaveParam_;
};
