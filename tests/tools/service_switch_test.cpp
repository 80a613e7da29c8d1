// The main window's hidden tabs: "--service" shows the channel state and dump
// tabs; without it the window hides them. The tools tabs are registered and
// their show handlers run when their pages become current.
#include "gui_rig.h"

#include <QTableWidget>

namespace {

using ServiceSwitch = GuiRig;

TEST_F(ServiceSwitch, ShowsTheHiddenTabsAndKeepsTheOtherParameters) {
    WriteTextFile("com.ini", "STUB 0 4800 0 1 0 8 N 1\n");
    struct Case {
        QStringList args;
        bool service, demo;
        int interval;
    };
    const Case cases[] = {
        {{}, false, false, 300},
        {{"--service"}, true, false, 300},
        {{"-tfind", "500", "--service"}, true, false, 500},
        {{"--service", "/i"}, true, true, 300},
        {{"/I"}, false, true, 300},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.args.join(" ").toStdString());
        w.reset();
        state.demo = false;
        start(std::nullopt, k.args); // the number prompt cancelled: no identification
        QTabWidget* tabs = ctl<QTabWidget>("TabSetts");
        auto visible = [&](const char* page) { return tabs->isTabVisible(tabs->indexOf(w->tabPage(page))); };
        EXPECT_EQ(visible("TabNozzRegs"), k.service);
        EXPECT_EQ(visible("TabDump"), k.service);
        EXPECT_TRUE(visible("TabTemperatureTbl"));
        EXPECT_EQ(state.demo, k.demo);
        EXPECT_EQ(w->identTab()->findTimer()->interval(), k.interval);
    }
}

TEST_F(ServiceSwitch, TheToolsTabsLiveInTheirPages) {
    WriteTextFile("com.ini", "STUB 0 4800 0 1 0 8 N 1\n");
    start(std::nullopt, {"--service"});
    QTabWidget* tabs = ctl<QTabWidget>("TabSetts");
    tabs->setCurrentWidget(w->tabPage("TabTemperatureTbl"));
    QCoreApplication::processEvents();
    auto* grid = w->tabPage("TabTemperatureTbl")->findChild<QTableWidget*>("sgTblT");
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->horizontalHeaderItem(2)->text(), "Показание ацп (A) [Hex] ");
    EXPECT_NE(w->tabPage("TabDump")->findChild<QWidget*>("sg1"), nullptr);
}

} // namespace
