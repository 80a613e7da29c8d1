// The tab "Сост канала": the state registers of one channel (NozRegs) with
// the state list, the status-bit list and the status word in hexadecimal.
// The main window keeps its header hidden; the tab works all the same.
#pragma once

#include "channel_tab.h"
#include "noz_regs_core.h"

class FieldBinder;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;

class NozRegsTab : public ChannelTab {
    Q_OBJECT
public:
    NozRegsTab(const TabContext& context, QWidget* parent = nullptr);
    ~NozRegsTab() override;

    void tabShown() override { TabNozzRegsShow(); }
    bool hasUnsavedEdits() const override;
    bool saveEdits() override;
    const FieldBinder& binder() const { return *binder_; }

    // Reads the channel into the shared block and fills the tab: 1 or -1.
    int ReadNozRegs(int channel);
    // Writes the shared block to the channel when it changed: 0 or -1.
    int SaveNozzleRegs(int channel);

public slots:
    void TabNozzRegsShow();
    void bCallNozRegsClick();
    void bSaveNozRegsClick();
    void cbNumCnlChange(int index);

private:
    SaveOutcome saveRegs(int channel);
    void buildUi();

    settings::NozRegsPair& regs_;
    FieldBinder* binder_ = nullptr;
    QComboBox *cbNumCnl_ = nullptr, *cbState_ = nullptr;
    QListWidget* checkBitStat_ = nullptr;
    QLineEdit* eFCMil_ = nullptr;
    QPushButton *bCallNozRegs_ = nullptr, *bSaveNozRegs_ = nullptr;
};
