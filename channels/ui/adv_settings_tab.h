// The tab "Доп настройки": the advanced boxes of the parameter block and the
// NaraSpecific block with the passwords of the local control unit.
#pragma once

#include "block_tab.h"
#include "ctrl_params_core.h"
#include "nara_core.h"

#include <QWidget>

class FieldBinder;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class AdvSettingsTab : public BlockTab {
    Q_OBJECT
public:
    // Every read of the parameter block fills this tab's boxes of it, every
    // read of the Nara block its Nara group (WorkingState signals).
    AdvSettingsTab(const TabContext& context, QWidget* parent = nullptr);
    ~AdvSettingsTab() override;

    settings::NaraPair& nara() { return nara_; }
    int ReadNaraSpecific();
    int WriteNaraSpecific();
    int editedUserSlot() const { return userSlot_; }
    const FieldBinder& paramsBinder() const { return *paramsBinder_; }
    const FieldBinder& naraBinder() const { return *naraBinder_; }
    void tabShown() override { TabAdvSetShow(); }
    bool hasUnsavedEdits() const override;
    bool saveEdits() override;

public slots:
    void TabAdvSetShow();
    void bGetAdvSetTrkClick();
    void bSetAdvSetTrkClick();
    void bTestReleTClick();
    void RGDotClick(int item);
    void PrcShiftChange(const QString& text);
    void eBmuPAdmChange(const QString& text);
    void eBmuPAdmExit();
    void cbBmuPUserChange(const QString& text);
    void cbBmuPUserSelect(int index);
    void cbBmuPUserExit();
    void cbBmuPUserDropDown();
    void eHydroHitExit();
    void eTemp_heat_lowExit();
    void eTemp_heat_highExit();

private:
    void numberExit(QLineEdit* box, bool (*store)(uint8_t* params, long value));
    void buildUi();
    void showParams(const settings::ParamsView& v);
    void showNara(bool ok);
    void showDeviceCaptions();

    settings::ParamsPair& params_;
    settings::NaraPair& nara_;
    FieldBinder* paramsBinder_ = nullptr;
    FieldBinder* naraBinder_ = nullptr;
    int userSlot_ = 0;

    QLineEdit *eNozzleWait_, *eMinSpeed_, *eMinSpTime_, *ePcTimeout_, *eHydroHit_, *eTemp_heat_low_,
        *eTemp_heat_high_, *eShimDuration_, *eMinVolNara_, *eStWaitForceNara_, *evalve_delay_, *PrcShift_,
        *eUpgrCountNara_, *ePbTimeoutNara_, *eBmuPAdm_, *eStopTimeNara_;
    QComboBox* cbBmuPUser_;
    QLabel* lHydroHit_;
    QListWidget* checkbTrkModes2_;
    QGroupBox *gbAdvSetTrk_, *gbSetNaraTrk_, *RGDot_;
    QButtonGroup* dotButtons_;
    QPushButton *bGetAdvSetTrk_, *bSetAdvSetTrk_, *bTestReleT_;
};
