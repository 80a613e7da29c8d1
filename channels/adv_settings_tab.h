// The tab "Доп настройки": the advanced boxes of the parameter block and the
// NaraSpecific block with the passwords of the local control unit.
#pragma once

#include "ctrl_params_core.h"
#include "nara_core.h"

#include <QWidget>

class Dialogs;
class FieldCheck;
class TCtrlParamsTab;
class WorkingState;
class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class TAdvSettingsTab : public QWidget {
    Q_OBJECT
public:
    // Registers itself with the controller settings tab: its read fills this
    // tab's boxes of the parameter block and reads the Nara block.
    TAdvSettingsTab(WorkingState& state, Dialogs& dialogs, QWidget* frame, TCtrlParamsTab& params,
                    QWidget* parent = nullptr);
    ~TAdvSettingsTab() override;

    settings::NaraPair& nara() { return nara_; }
    int ReadNaraSpecific();
    int WriteNaraSpecific();
    int editedUserSlot() const { return userSlot_; }

public slots:
    void TabAdvSetShow();
    void bGetAdvSetTrkClick();
    void bSetAdvSetTrkClick();
    void bTestReleTClick();
    void checkbTrkModes2ClickCheck();
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
    void helpClick();

private:
    void buildUi();
    void showParams(const settings::ParamsView& v);
    void setStatus(const QString& text);
    // A box of the edit convention: the rule decides, a valid value is stored.
    void ruleBox(QLineEdit* e, bool (*rule)(std::string_view, int*), std::function<void(int)> store);
    int port() const;
    int ctrl() const;

    WorkingState& state_;
    Dialogs& dialogs_;
    QWidget* frame_;
    TCtrlParamsTab& params_;
    FieldCheck* fields_;
    settings::NaraPair nara_;
    int userSlot_ = 0;

    QLineEdit *eNozzleWait_, *eMinSpeed_, *eMinSpTime_, *ePcTimeout_, *eHydroHit_, *eTemp_heat_low_,
        *eTemp_heat_high_, *eShimDuration_, *eMinVolNara_, *eStWaitForceNara_, *evalve_delay_, *PrcShift_,
        *eUpgrCountNara_, *ePbTimeoutNara_, *eBmuPAdm_;
    QComboBox* cbBmuPUser_;
    QLabel* lHydroHit_;
    QListWidget* checkbTrkModes2_;
    QGroupBox *gbAdvSetTrk_, *gbSetNaraTrk_, *RGDot_;
    QButtonGroup* dotButtons_;
    QPushButton *bGetAdvSetTrk_, *bSetAdvSetTrk_, *bTestReleT_;
};
