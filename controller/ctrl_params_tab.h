// The tab "Настройки контроллера": the parameter block's boxes, the side
// addressing grids, read and save. It owns the block's working and as-read
// copies; the advanced tab and the channel tabs reach them through it.
#pragma once

#include "ctrl_params_core.h"
#include "side_addressing_core.h"

#include <QWidget>
#include <functional>

class Dialogs;
class FieldCheck;
class WorkingState;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

class TCtrlParamsTab : public QWidget {
    Q_OBJECT
public:
    // `frame` is the main window: the status line SB, lNumberCtrlr and the
    // tab widget TabSetts with the main tab TabIdent are found in it by name.
    TCtrlParamsTab(WorkingState& state, Dialogs& dialogs, QWidget* frame, QWidget* parent = nullptr);
    ~TCtrlParamsTab() override;

    settings::ParamsPair& params() { return params_; }
    FieldCheck& fields() { return *fields_; }
    // ReadNaraSpecific of the advanced tab, run after the parameter read.
    void setNaraReader(std::function<int()> read) { readNara_ = std::move(read); }
    // Fills the advanced tab's boxes of this block after every read.
    void setParamsShown(std::function<void(const settings::ParamsView&)> show) {
        paramsShown_ = std::move(show);
    }

    int ReadParamCtrlr();
    int Met2CtrlrSet();

public slots:
    void bGetParamClick();
    void TabCtrlrSettsShow();
    void bSetParamClick();
    void helpSpeedTrkClick();
    void ImmBoxClick();
    void checkbTrkModesClickCheck();
    void cbPhaseMetChange(int index);
    void cbSpeedTrkExit();
    void cbSpeed2CnlTrkExit();
    void cbPhaseMetExit();
    void cbTypeTblExit();
    void cbTypeTbl2Exit();
    void ImpEExit();
    void eSlowLoadExit();
    void eNozzleFatExit();
    void eMetTOutExit();
    void eSlowStartExit();
    // Side addressing.
    void cbCountSideTrkChange(int index);
    void cbCountNozTrkChange(int index);
    void eAdrTrk_1Exit();
    void eAdrTrk_2Exit();
    void sgAdrNaraTrk_1Exit();
    void sgAdrNaraTrk_2Exit();
    void sgPhysToLogTrk_1Exit();
    void sgPhysToLogTrk_2Exit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildUi();
    void setStatus(const QString& text);
    void showMainTab();
    void numberExit(QLineEdit* e, int bound, const std::function<void(int)>& store);
    void sideAddressExit(QLineEdit* own, QLineEdit* other, int byte);
    void setNozzleList(bool single, int index);
    void applyNozzleList(int keep);
    void sizeGrids(int columns);
    void checkNaraGridsAfterCount();
    settings::Cells cells(QTableWidget* t) const;
    void setCells(QTableWidget* t, const settings::Cells& c);
    int nozzles() const;
    int sides() const;
    int port() const;
    int ctrl() const;

    WorkingState& state_;
    Dialogs& dialogs_;
    QWidget* frame_;
    FieldCheck* fields_;
    settings::ParamsPair params_;
    uint8_t speedAsRead_ = 0;
    bool SpeedChanged = false;
    std::vector<bool> modeChecks_;
    std::function<int()> readNara_;
    std::function<void(const settings::ParamsView&)> paramsShown_;

    QComboBox *cbSpeedTrk_, *cbSpeed2CnlTrk_, *cbCountSideTrk_, *cbCountNozTrk_, *ImpE_, *cbPhaseMet_,
        *cbTypeTbl_, *cbTypeTbl2_;
    QLineEdit *eSlowStart_, *eSlowLoad_, *eNozzleFat_, *eMetTOut_, *eAdrTrk_1_, *eAdrTrk_2_;
    QCheckBox* ImmBox_;
    QListWidget* checkbTrkModes_;
    QGroupBox *gbSide1_, *gbSide2_;
    QTableWidget *sgAdrNaraTrk_1_, *sgAdrNaraTrk_2_, *sgPhysToLogTrk_1_, *sgPhysToLogTrk_2_;
    QPushButton *bGetParam_, *bSetParam_;
};
