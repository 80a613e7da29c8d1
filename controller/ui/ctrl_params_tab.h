// The tab "Настройки контроллера": the parameter block's boxes, the side
// addressing grids, read and save. The block itself is the working state's
// shared model; the advanced tab and the channel tabs see the same copies.
#pragma once

#include "block_tab.h"
#include "ctrl_params_core.h"
#include "side_addressing_core.h"

#include <QWidget>
#include <functional>
#include <memory>

class FieldBinder;
class QCheckBox;
class QComboBox;
class QGroupBox;
class SideAddressPanel;
class QLineEdit;
class QListWidget;
class QPushButton;

class CtrlParamsTab : public BlockTab {
    Q_OBJECT
public:
    CtrlParamsTab(const TabContext& context, QWidget* parent = nullptr);
    ~CtrlParamsTab() override;

    settings::ParamsPair& params();
    FieldCheck& fields() { return *fields_; }
    const FieldBinder& binder() const { return *binder_; }

    int ReadParamCtrlr();
    int Met2CtrlrSet();
    void tabShown() override { TabCtrlrSettsShow(); }
    bool hasUnsavedEdits() const override;
    bool saveEdits() override;

public slots:
    void bGetParamClick();
    void TabCtrlrSettsShow();
    void bSetParamClick();
    void ImmBoxClick();
    void checkbTrkModesClickCheck();
    void cbPhaseMetChange(int index);
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

private:
    void buildUi();
    void showParams(const settings::ParamsView& v);
    void showDeviceCaptions();
    void showTableCaptions();
    void afterWrite(int newAddress);
    void setLoaded(bool ok);
    void showStored();
    void applyNozzleList(int keep);

    settings::ParamsPair& params_;
    FieldBinder* binder_ = nullptr;
    uint8_t speedAsRead_ = 0;

    QComboBox *cbSpeedTrk_, *cbSpeed2CnlTrk_, *cbCountSideTrk_, *cbCountNozTrk_, *ImpE_, *cbPhaseMet_,
        *cbTypeTbl_, *cbTypeTbl2_;
    QLineEdit* eSlowStart_;
    QCheckBox* ImmBox_;
    QListWidget* checkbTrkModes_;
    std::unique_ptr<SideAddressPanel> sides_;
    QPushButton *bGetParam_, *bSetParam_;
};
