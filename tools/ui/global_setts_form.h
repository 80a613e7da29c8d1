// The primary setup window "Первичная настройка": the basic configuration of
// a freshly installed controller on one screen, written in one go. The
// window is created once; every opening reads the controller again.
#pragma once

#include "block_tab.h"
#include "global_setts_core.h"

#include <QDialog>

class FieldBinder;
class FieldCheck;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

class TfGlobalSetts : public QDialog {
    Q_OBJECT
public:
    TfGlobalSetts(const TabContext& context, QWidget* parent = nullptr);
    ~TfGlobalSetts() override;

    tools::GlobalSetts& model() { return model_; }
    int invalidCount() const { return invalid_; }

public slots:
    void FormShow();
    void FormClose();
    void cbNumSideGlobalSelect(int index);
    void cbNumNozGlobalSelect(int index);
    void eAdrUtrkGlobalExit();
    void eAdrNaraGlobalExit();
    void eSlowLoadGlobalExit();
    void eSlowStartGlobalExit();
    void eNozzleFatGlobalExit();
    void eMetTimeoutGlobalExit();
    void ePcTimeoutGlobalExit();
    void eMinSpeedGlobalExit();
    void eMinSpTimeGlobalExit();
    void eNozzleWaitGlobalExit();
    void eHydroHitGlobalExit();
    void bSaveParamGlobalClick();
    void helpSideGlobalClick();
    void helpNozGlobalClick();
    void helpUtrkGlobalClick();
    void helpNaraGlobalClick();
    void helpTblGlobalClick();
    void AutoFillUtrkAdr(int sides);
    void AutoFillNaraAdr(int sides, int nozzles);
    void MonSettsFill();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void buildUi();
    void numberExit(const char* name);
    void addressExit(QLineEdit* box, int count, int* entries);
    void updateSaveButton();
    void showHelp(const char* control);
    tools::GlobalItems items() const;

    WorkingState& state_;
    Dialogs& dialogs_;
    Frame& frame_;
    tools::GlobalSetts model_;
    bool edited_ = false;
    int invalid_ = 0;
    bool opened_ = false; // the last opening read every block
    FieldCheck* fields_;
    FieldBinder* binder_ = nullptr;

    QComboBox *cbNumSideGlobal_, *cbNumNozGlobal_, *cbTblTypeGlobal_, *ImpE_;
    QLineEdit *eAdrUtrkGlobal_, *eAdrNaraGlobal_, *eHydroHitGlobal_;
    QButtonGroup* PhaseMeterGlobal_;
    QListWidget* lbMonSettsGlobal_;
    QPushButton* bSaveParamGlobal_;
    QProgressBar* progrSave_;
    QLabel* lErrorWriteGlobal_;
};
