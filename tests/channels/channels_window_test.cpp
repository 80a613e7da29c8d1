// The channel tabs in the main window: the hidden state tab works when shown,
// the hidden weights panel is filled, the channel settings save presents the
// adjustment password, the settings save rescales the channels through the
// shared block, and EnabledHint switches the tooltips while the "?" buttons
// keep showing the texts.
#include "block_layout.h"
#include "channel_fields.h"
#include "controller_fields.h"
#include "dialogs.h"
#include "field_binder.h"
#include "gui_rig.h"
#include "hint_filter.h"
#include "little_endian.h"
#include "memory_map.h"

#include <QHelpEvent>
#include <QToolTip>

namespace {

class ChannelsInWindow : public GuiRig {
protected:
    zelsim::VirtualController* c = nullptr;

    void SetUp() override {
        GuiRig::SetUp();
        c = &line.addController(1);
        startLine();
        start(QString("1"));
        ASSERT_TRUE(state.Identified);
    }
    void showPage(const char* name) {
        auto* tabs = ctl<QTabWidget>("TabSetts");
        tabs->setTabVisible(tabs->indexOf(ctl(name)), true);
        tabs->setCurrentWidget(ctl(name));
    }
    void choose(const char* name, int index) {
        auto* cb = ctl<QComboBox>(name);
        cb->setCurrentIndex(index);
        emit cb->activated(index);
    }
};

// What a mouse resting on the control shows.
QString TooltipOf(QWidget* w) {
    QToolTip::hideText(); // the label goes after a short delay
    EXPECT_TRUE(WaitFor([] { return !QToolTip::isVisible(); }));
    QHelpEvent e(QEvent::ToolTip, QPoint(2, 2), w->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(w, &e);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

TEST_F(ChannelsInWindow, TheHiddenStateTabWorksWhenShownAndTheWeightsPanelIsFilled) {
    auto* tabs = ctl<QTabWidget>("TabSetts");
    EXPECT_FALSE(tabs->isTabVisible(tabs->indexOf(ctl("TabNozzRegs"))));
    showPage("TabNozzRegs");
    EXPECT_EQ(status(), "Ошибка. Не считаны параметры ТРК");
    showPage("TabCtrlrSetts");
    showPage("TabNozzRegs");
    EXPECT_EQ(status(), "Состояние канала считано");
    ctl<QComboBox>("cbNumCnl")->setCurrentIndex(7);
    btn("bCallNozRegs")->click();
    EXPECT_EQ(ctl<QLineEdit>("eFCount")->text(), "1959");
    showPage("TabNozSetts");
    EXPECT_EQ(status(), "Настройки канала считаны");
    EXPECT_TRUE(ctl("pnlKorr")->isHidden());
    EXPECT_EQ(ctl<QLineEdit>("eImpWLo")->text(), "80000000");
    EXPECT_EQ(state.currentChannel, 0);
    showPage("TabRegsSides");
    EXPECT_EQ(status(), "Состояния первой и второй стороны считаны");
}

TEST_F(ChannelsInWindow, TheChannelSettingsSavePresentsTheAdjustmentPassword) {
    c->setPasswords(0, 1234);
    showPage("TabCtrlrSetts"); // reads the password status too
    ASSERT_EQ(state.PasswordStatus[0], 0x02);
    showPage("TabNozSetts");
    ctl<QLineEdit>("Edit6")->setText("1111");
    choose("cbMeterPhaseNozSets", 1);
    dialogs.clear();
    btn("bSaveNozSets")->click();
    EXPECT_EQ(dialogs.messages().size(), 1); // the controller's error
    EXPECT_EQ(c->adjustWrongEntries(), 1);
    EXPECT_EQ(c->peek(0, 0x1010, 1)[0], 0);
    ctl<QLineEdit>("Edit6")->setText("1234");
    btn("bSaveNozSets")->click();
    EXPECT_EQ(status(), "Настройки канала записаны");
    EXPECT_EQ(c->peek(0, 0x1010, 1)[0], 1);
}

TEST_F(ChannelsInWindow, TheSettingsSaveBringsTheChannelsInLineThroughTheSharedBlock) {
    showPage("TabCtrlrSetts");
    choose("ImpE", 1);
    btn("bSetParam")->click();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    for (int ch = 0; ch < 8; ++ch)
        EXPECT_EQ(
            fields::GetField(nozsetts::ImpLit,
                             c->peek(0, NozSetts.address + kChannelStride * ch, NozSetts.length).data()),
            512u)
            << ch;
    const std::vector<uint8_t> last = c->peek(0, 0x1700, 20);
    EXPECT_EQ(std::vector<uint8_t>(state.nozSetts.working.begin(), state.nozSetts.working.end()), last);
}

TEST_F(ChannelsInWindow, EveryTableFindsItsControlsAndEnabledHintSwitchesTheTooltips) {
    using namespace settings;
    for (const fields::Table& t : {MainTabFields(), CtrlrSettsFields(), AdvParamsFields(), NaraFields(),
                                   NozRegsFields(), NozSettsFields(), SideFields(0), SideFields(1)})
        EXPECT_TRUE(ApplyHints(w.get(), t).isEmpty());
    HintFilter filter;
    qApp->installEventFilter(&filter);
    const QString price = "Текущая цена установленная для данного раздаточного рукава в рублях";
    EXPECT_EQ(TooltipOf(ctl("ePrice")), price);
    w->EnabledHint(false);
    EXPECT_EQ(TooltipOf(ctl("ePrice")), QString());
    EXPECT_EQ(TooltipOf(ctl("helpPhaseMet")), QString());
    EXPECT_EQ(ctl("ePrice")->toolTip(), price);
    dialogs.clear();
    btn("helpPhaseMet")->click(); // the "?" buttons still show the texts
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_TRUE(dialogs.messages()[0].startsWith(
        "Параметр пересчета импульсов датчика расходомера.\r- Одна фаза(1)"));
    EXPECT_EQ(DisplayText(dialogs.messages()[0]).count('\n'), 4); // five lines
    w->EnabledHint(true);
    EXPECT_EQ(TooltipOf(ctl("cbMeterPhaseNozSets")).count('\n'), 3);
    qApp->removeEventFilter(&filter);
}
