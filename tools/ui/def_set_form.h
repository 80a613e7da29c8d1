// The factory defaults window: a dispenser type, its sides, nozzles and
// addresses, a summary of what will be set, and "Записать в устройство",
// which rewrites the whole controller (or, in demo mode, the demo file).
#pragma once

#include "block_tab.h"
#include "defaults_core.h"

#include <QDialog>

class FieldCheck;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

class TformDefSet : public QDialog {
    Q_OBJECT
public:
    TformDefSet(const TabContext& context, QWidget* parent = nullptr);
    ~TformDefSet() override;

    tools::DefaultsForm& model() { return model_; }

public slots:
    void FormShow();
    void FormClose();
    void cbTypeTrkChange(int index);
    void cbCountSize_DSChange(int index);
    void cbCountNoz_DSChange(int index);
    void eAdrTrk1_DSChange(const QString& text);
    void eAdrTrk1_DSExit();
    void eAdrTrk2_DSChange(const QString& text);
    void eAdrTrk2_DSExit();
    void sgAdrNaraTrk1_DSExit();
    void sgAdrNaraTrk2_DSExit();
    void bSaveParam_DSClick();

protected:
    void showEvent(QShowEvent* event) override;
    void done(int result) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    // Puts the model into every control (signals held back).
    void showModel();
    void cellChanged(int side, int column);

    WorkingState& state_;
    Dialogs& dialogs_;
    Frame& frame_;
    tools::DefaultsForm model_;
    bool edited_ = false;
    int invalid_ = 0;
    FieldCheck* fields_;
    bool syncing_ = false;

    QComboBox *cbTypeTrk_, *cbCountSize_DS_, *cbCountNoz_DS_;
    QGroupBox *gbTrk1_DS_, *gbTrk2_DS_;
    QLineEdit *eAdrTrk1_DS_, *eAdrTrk2_DS_;
    QTableWidget* sgAdrNaraTrk_DS_[2];
    QPlainTextEdit* mParamTrk_DS_;
    QPushButton* bSaveParam_DS_;
    QProgressBar* progressbar_DS_;
    QLabel* lChannelLimit_DS_;
    QLabel* lSnapshot_DS_; // while the snapshot is read
};
