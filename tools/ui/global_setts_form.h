// The primary setup window "Первичная настройка": the basic configuration of
// a freshly installed controller on one screen, written in one go. The
// window is created once; every opening reads the controller again.
#pragma once

#include "form_dialog.h"
#include "global_setts_core.h"

class FieldBinder;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;

class TfGlobalSetts : public FormDialog {
    Q_OBJECT
public:
    TfGlobalSetts(const TabContext& context, QWidget* parent = nullptr);
    ~TfGlobalSetts() override;

    tools::GlobalSetts& model() { return model_; }
    void FormShow() override;

public slots:
    void cbNumSideGlobalSelect(int index);
    void cbNumNozGlobalSelect(int index);
    void eAdrUtrkGlobalExit();
    void eAdrNaraGlobalExit();
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

private:
    void buildUi();
    void addressExit(QLineEdit* box, int count, int* entries);
    void updateSaveButton();
    void showHelp(const char* control);
    tools::GlobalItems items() const;

    tools::GlobalSetts model_;
    bool opened_ = false; // the last opening read every block
    FieldBinder* binder_ = nullptr;

    QComboBox *cbNumSideGlobal_, *cbNumNozGlobal_, *cbTblTypeGlobal_, *ImpE_;
    QLineEdit *eAdrUtrkGlobal_, *eAdrNaraGlobal_, *eHydroHitGlobal_;
    QButtonGroup* PhaseMeterGlobal_;
    QListWidget* lbMonSettsGlobal_;
    QPushButton* bSaveParamGlobal_;
    QProgressBar* progrSave_;
    QLabel* lErrorWriteGlobal_;
};
