// The tab "Настройки канала": the metrology block of one channel (NozSetts):
// the meter's pulses per litre and phases, and the panel of pulse weights the
// main window keeps hidden (still filled on every read).
#pragma once

#include "channel_tab.h"
#include "noz_setts_core.h"

#include <QGroupBox>

class FieldBinder;
class QComboBox;
class QPushButton;

class NozSettsTab : public ChannelTab {
    Q_OBJECT
public:
    NozSettsTab(const TabContext& context, QWidget* parent = nullptr);
    ~NozSettsTab() override;

    void tabShown() override { TabNozSettsShow(); }
    bool hasUnsavedEdits() const override;
    bool saveEdits() override;
    const FieldBinder& binder() const { return *binder_; }
    // The window opens with the weights panel pnlKorr hidden; nothing shows it again.
    void hideWeights() { pnlKorr_->hide(); }

    // Reads the channel into the shared block and fills the tab: 1 or -1.
    int ReadNozSetts(int channel);
    // Writes the shared block to the channel when it changed: 0 or -1.
    int SaveNozSetts(int channel);

public slots:
    void TabNozSettsShow();
    void bCallNozSetsClick();
    void bSaveNozSetsClick();
    void cbNumNozSetsChange(int index);
    void eImpLitExit();

private:
    SaveOutcome saveSetts(int channel);
    void buildUi();

    settings::NozSettsPair& setts_;
    FieldBinder* binder_ = nullptr;
    QComboBox *cbNumNozSets_ = nullptr, *eImpLit_ = nullptr;
    QGroupBox *pnMetNoz_ = nullptr, *pnlKorr_ = nullptr;
    QPushButton *bCallNozSets_ = nullptr, *bSaveNozSets_ = nullptr;
};
