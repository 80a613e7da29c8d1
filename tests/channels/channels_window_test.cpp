// The channel tabs inside the main window: the hidden channel state tab works
// when shown, the hidden weights panel is filled, the channel settings save
// presents the adjustment password, every field table finds its controls, and
// EnabledHint switches the tooltips while the "?" buttons keep their texts.
#include "../gui/gui_rig.h"
#include "channel_fields.h"
#include "channels_rig.h"
#include "controller_fields.h"
#include "field_binder.h"
#include "hint_filter.h"

#include <QHelpEvent>
#include <QToolTip>

namespace {

class InWindow : public GuiRig {
protected:
    zelsim::VirtualController* c = nullptr;

    void startWindow() {
        c = &line.addController(1);
        startLine();
        start(QString("1"));
        ASSERT_TRUE(state.Identified);
    }
    QTabWidget* tabs() const { return ctl<QTabWidget>("TabSetts"); }
    void showPage(const char* name) {
        QWidget* page = ctl(name);
        tabs()->setTabVisible(tabs()->indexOf(page), true);
        tabs()->setCurrentWidget(page);
    }
};

// Sends the tooltip event a resting mouse would and returns what shows.
QString TooltipOf(QWidget* w) {
    QToolTip::hideText(); // the label goes after a short delay
    EXPECT_TRUE(WaitFor([] { return !QToolTip::isVisible(); }));
    QHelpEvent e(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(w, &e);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

TEST_F(InWindow, TheHiddenStateTabWorksWhenShownAndTheWeightsPanelIsFilled) {
    startWindow();
    QWidget* page = ctl("TabNozzRegs");
    EXPECT_FALSE(tabs()->isTabVisible(tabs()->indexOf(page)));
    showPage("TabNozzRegs");
    EXPECT_EQ(status(), "Ошибка. Не считаны параметры ТРК");

    showPage("TabCtrlrSetts");
    ASSERT_TRUE(state.ParamsLoaded);
    showPage("TabNozzRegs");
    EXPECT_EQ(status(), "Состояние канала считано");
    EXPECT_EQ(ctl<QComboBox>("cbNumCnl")->count(), 8);
    EXPECT_EQ(ctl<QLineEdit>("ePrice")->text(), "52,90");
    ctl<QComboBox>("cbNumCnl")->setCurrentIndex(7);
    btn("bCallNozRegs")->click();
    EXPECT_EQ(ctl<QLineEdit>("eFCount")->text(), "1959");
    EXPECT_EQ(state.currentChannel, 7);

    showPage("TabNozSetts");
    EXPECT_EQ(status(), "Настройки канала считаны");
    EXPECT_TRUE(ctl("pnlKorr")->isHidden());
    EXPECT_EQ(ctl<QLineEdit>("eImpWLo")->text(), "80000000");
    EXPECT_EQ(state.currentChannel, 0);

    showPage("TabRegsSides");
    EXPECT_EQ(status(), "Состояния первой и второй стороны считаны");
}

TEST_F(InWindow, TheChannelSettingsSavePresentsTheAdjustmentPassword) {
    startWindow();
    c->setPasswords(0, 1234);
    showPage("TabCtrlrSetts"); // reads the password status too
    ASSERT_EQ(state.PasswordStatus[0], 0x02);
    showPage("TabNozSetts");
    auto* phase = ctl<QComboBox>("cbMeterPhaseNozSets");

    // A wrong adjustment password: the controller's error, nothing written.
    ctl<QLineEdit>("Edit6")->setText("1111");
    phase->setCurrentIndex(1);
    emit phase->activated(1);
    dialogs.clear();
    btn("bSaveNozSets")->click();
    EXPECT_EQ(c->peek(0, 0x1000 + 16, 1)[0], 0);
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_FALSE(c->adjustPresented());
    EXPECT_EQ(c->adjustWrongEntries(), 1);

    ctl<QLineEdit>("Edit6")->setText("1234");
    btn("bSaveNozSets")->click();
    EXPECT_EQ(c->peek(0, 0x1000 + 16, 1)[0], 1);
    EXPECT_EQ(status(), "Настройки канала записаны");
}

TEST_F(InWindow, EveryFieldTableFindsItsControlsAndEnabledHintSwitchesTheTooltips) {
    startWindow();
    using namespace settings;
    const fields::Table tables[] = {MainTabFields(), CtrlrSettsFields(), AdvParamsFields(), NaraFields(),
                                    NozRegsFields(), NozSettsFields(),   SideFields(0),     SideFields(1)};
    for (const fields::Table& t : tables)
        EXPECT_TRUE(ApplyHints(w.get(), t).isEmpty());

    HintFilter filter;
    qApp->installEventFilter(&filter);
    QWidget* price = ctl("ePrice");
    EXPECT_EQ(TooltipOf(price), "Текущая цена установленная для данного раздаточного рукава в рублях");
    w->EnabledHint(false);
    EXPECT_EQ(TooltipOf(price), QString());
    EXPECT_EQ(TooltipOf(ctl("helpPhaseMet")), QString());
    EXPECT_EQ(price->toolTip(), "Текущая цена установленная для данного раздаточного рукава в рублях");
    // The "?" buttons still show the texts, line breaks and all.
    dialogs.clear();
    btn("helpPhaseMet")->click();
    btn("helpFCount")->click();
    EXPECT_EQ(
        dialogs.messages(),
        (QStringList{
            "Параметр пересчета импульсов датчика расходомера.\r- Одна фаза(1) - пересчет по первой фазе, "
            "вторая игнорируется\r- Две фазы - пересчет по обеим фазам\r- Одна фаза(2) - пересчет по второй "
            "фазе, первая игнорируется\r- Ручной режим - отдельно для каждого раздачтоного рукава, "
            "устанавливается в \"Настройках канала\"",
            "Фискальный сумматор по данному раздаточному рукаву"}));
    EXPECT_EQ(DisplayText(dialogs.messages().first()).count('\n'), 4);
    w->EnabledHint(true);
    EXPECT_EQ(TooltipOf(ctl("cbMeterPhaseNozSets")).count('\n'), 3);
    qApp->removeEventFilter(&filter);
}

TEST_F(InWindow, TheSettingsSaveBringsTheChannelsInLineThroughTheSharedBlock) {
    startWindow();
    showPage("TabCtrlrSetts");
    auto* meter = ctl<QComboBox>("ImpE");
    meter->setCurrentIndex(1);
    emit meter->activated(1);
    btn("bSetParam")->click();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    // Every channel of the controller got 256 pulses a litre; the channel
    // settings model holds the last one handled.
    for (int ch = 0; ch < 8; ++ch)
        EXPECT_EQ(c->peek(0, 0x1000 + 0x100 * ch + 14, 1)[0], 0x00) << ch; // 512 = 0x0200
    const std::vector<uint8_t> last = c->peek(0, 0x1700, 20);
    EXPECT_EQ(std::vector<uint8_t>(state.nozSetts.working.begin(), state.nozSetts.working.end()), last);
    EXPECT_EQ(GetU16(last.data(), 14), 512);
}
