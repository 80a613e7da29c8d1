// The settings tabs and the search inside the main window.
#include "gui_rig.h"

#include <QTableWidget>

using SettingsInWindow = GuiRig;

TEST_F(SettingsInWindow, ShowingTheTabsReadsTheBlocksAndIdentificationSetsTheirCaptions) {
    auto& c = line.addController(1, 0x17);
    c.setIdentTextUtf8("stm32 ТРК-УЗСГ");
    startLine();
    start(QString("1"));
    ASSERT_TRUE(state.Identified);
    EXPECT_EQ(ctl<QListWidget>("checkbTrkModes")->item(14)->text(), "Пистолет всегда висит по АЗТ2.0");
    EXPECT_EQ(ctl<QLabel>("lHydroHit")->text(), "Вес струбцины,гр");
    QTabWidget* tabs = ctl<QTabWidget>("TabSetts");
    tabs->setCurrentWidget(ctl("TabCtrlrSetts"));
    EXPECT_EQ(status(), "Параметры успешно считаны");
    EXPECT_TRUE(state.ParamsLoaded);
    EXPECT_EQ(ctl<QTableWidget>("sgAdrNaraTrk_2")->columnCount(), 4);
    tabs->setCurrentWidget(ctl("TabAdvSet"));
    EXPECT_EQ(status(), "Параметры были успешно считаны");
    EXPECT_TRUE(btn("bSetAdvSetTrk")->isEnabled());
}

TEST_F(SettingsInWindow, SearchButtonRunsTheSearchOnTheMainTab) {
    line.addController(1);
    line.addController(30);
    startLine();
    start(QString("1"), {"-tfind", "1"});
    btn("bFindCtrlr")->click();
    EXPECT_FALSE(btn("bCallIdent")->isEnabled());
    QTimer* timer = w->identTab()->findTimer();
    ASSERT_TRUE(WaitFor([&] { return !timer->isActive(); }, 30000));
    const QStringList lines = identText().split('\n');
    ASSERT_EQ(lines.size(), 31);
    EXPECT_EQ(lines[29], "Трк №30 найдено.");
    EXPECT_TRUE(btn("bCallIdent")->isEnabled());
    EXPECT_EQ(state.controllerNumber, 1);
}
