// The factory defaults window: a dispenser type, its sides, nozzles and
// addresses, a summary of what will be set, and "Записать в устройство",
// which rewrites the whole controller (or, in demo mode, the demo file).
#pragma once

#include "defaults_core.h"
#include "form_dialog.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTableWidget;

class TformDefSet : public FormDialog {
    Q_OBJECT
public:
    TformDefSet(const TabContext& context, QWidget* parent = nullptr);
    ~TformDefSet() override;

    tools::DefaultsForm& model() { return model_; }
    void FormShow() override;

public slots:
    void cbTypeTrkChange(int index);
    void cbCountSize_DSChange(int index);
    void cbCountNoz_DSChange(int index);
    void eAdrTrk1_DSChange(const QString& text) { sideAddressEdited(0, text); }
    void eAdrTrk1_DSExit() { sideAddressLeft(0); }
    void eAdrTrk2_DSChange(const QString& text) { sideAddressEdited(1, text); }
    void eAdrTrk2_DSExit() { sideAddressLeft(1); }
    void sgAdrNaraTrk1_DSExit() { gridLeft(0); }
    void sgAdrNaraTrk2_DSExit() { gridLeft(1); }
    void bSaveParam_DSClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    // Puts the model into every control (signals held back).
    void showModel();
    // Both sides' address box and grid: edited, left.
    void sideAddressEdited(int side, const QString& text);
    void sideAddressLeft(int side);
    void cellChanged(int side, int column);
    void gridLeft(int side);

    tools::DefaultsForm model_;
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
