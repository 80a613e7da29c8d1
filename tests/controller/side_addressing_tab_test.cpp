// Side addressing on the controller settings tab.
#include "settings_rig.h"

#include "ctrl_params_core.h"

using Sides = SettingsRig;
using namespace settings;

TEST_F(Sides, TwoSidesNumberSideBOnFromSideA) {
    setParams({{kSideCount, 1}, {kNozzlesPerSide, 2}, {6, 3}, {7, 4}, {8, 0}, {9, 0}, {10, 0}, {11, 0}});
    open();
    read();
    EXPECT_TRUE(ctl("gbSide2")->isHidden());
    choose(combo("cbCountSideTrk"), 1);
    EXPECT_FALSE(ctl("gbSide2")->isHidden());
    EXPECT_EQ(tab->params().working[kSideCount], 2);
    EXPECT_EQ(cells(grid("sgAdrNaraTrk_1")), QStringList({"3", "4"}));
    EXPECT_EQ(cells(grid("sgAdrNaraTrk_2")), QStringList({"5", "6"}));
    EXPECT_EQ(cells(grid("sgPhysToLogTrk_2")), QStringList({"2", "3"}));
    save();
    auto p = params();
    EXPECT_EQ(p[8], 5);
    EXPECT_EQ(p[9], 6);
    EXPECT_EQ(p[36], 2);
    EXPECT_EQ(p[38], 3);
}

TEST_F(Sides, EqualSideAddresses) {
    setParams({{kSideCount, 1}});
    open();
    read();
    type(edit("eAdrTrk_2"), "1"); // one side: accepted
    EXPECT_EQ(state.InvalidFieldCount, 0);
    EXPECT_EQ(tab->params().working[kAddrSideB], 1);
    choose(combo("cbCountSideTrk"), 1);
    type(edit("eAdrTrk_2"), "1");
    EXPECT_TRUE(FieldCheck::red(edit("eAdrTrk_1"), FieldCheck::Style::Font));
    EXPECT_TRUE(FieldCheck::red(edit("eAdrTrk_2"), FieldCheck::Style::Font));
    EXPECT_EQ(state.InvalidFieldCount, 2);
    const int writes = c->writeCount();
    save();
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(c->writeCount(), writes);
    type(edit("eAdrTrk_2"), "300"); // not an address: its own mark stays, nothing stored
    EXPECT_EQ(state.InvalidFieldCount, 2);
    type(edit("eAdrTrk_2"), "2");
    EXPECT_EQ(state.InvalidFieldCount, 0);
    EXPECT_EQ(tab->params().working[kAddrSideB], 2);
}

TEST_F(Sides, LogicalNumber255MayRepeat) {
    open();
    read();
    setCell(grid("sgPhysToLogTrk_1"), 2, "255");
    setCell(grid("sgPhysToLogTrk_1"), 3, "255");
    EXPECT_EQ(state.InvalidFieldCount, 0);
    EXPECT_EQ(tab->params().working[35 + 4], 255);
    setCell(grid("sgPhysToLogTrk_2"), 0, "1"); // grid A holds 1 already
    EXPECT_TRUE(FieldCheck::red(grid("sgPhysToLogTrk_2"), FieldCheck::Style::Font));
    EXPECT_EQ(state.InvalidFieldCount, 1);
    setCell(grid("sgPhysToLogTrk_2"), 0, "9");
    EXPECT_EQ(state.InvalidFieldCount, 0);
    EXPECT_EQ(tab->params().working[36], 9);
}

// Grid A's zero only colours the grid (no mark, no count), but a red cell is
// never written: the save refuses as for a marked box.
TEST_F(Sides, ZeroInGridAColoursAnd256InGridBMarksAndBothBlockTheSave) {
    open();
    read();
    setCell(grid("sgAdrNaraTrk_1"), 0, "0");
    EXPECT_TRUE(FieldCheck::red(grid("sgAdrNaraTrk_1"), FieldCheck::Style::Font));
    EXPECT_EQ(state.InvalidFieldCount, 0);
    save();
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(params()[6], 1);
    setCell(grid("sgAdrNaraTrk_1"), 0, "9");
    save();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    EXPECT_EQ(params()[6], 9);
    setCell(grid("sgAdrNaraTrk_2"), 1, "256");
    EXPECT_EQ(state.InvalidFieldCount, 1);
    const int writes = c->writeCount();
    save();
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(c->writeCount(), writes);
}

TEST_F(Sides, FiveNozzlesReachTheBlock) {
    open();
    read();
    choose(combo("cbCountNozTrk"), 4);
    EXPECT_EQ(grid("sgAdrNaraTrk_1")->columnCount(), 5);
    EXPECT_EQ(grid("sgAdrNaraTrk_1")->width(), gridWidth(grid("sgAdrNaraTrk_1"), 5));
    for (const char* name : {"sgAdrNaraTrk_2", "sgPhysToLogTrk_1", "sgPhysToLogTrk_2"})
        EXPECT_EQ(grid(name)->width(), gridWidth(grid(name), 5)) << name;
    EXPECT_EQ(cells(grid("sgAdrNaraTrk_1")), QStringList({"1", "2", "3", "4", "5"}));
    // Side B's bytes start at 6 + 5 = 11, where the block holds 6..10 and zeros.
    EXPECT_EQ(cells(grid("sgAdrNaraTrk_2")), QStringList({"6", "7", "8", "9", "10"}));
    setCell(grid("sgAdrNaraTrk_2"), 4, "40");
    save();
    auto p = params();
    for (int j = 0; j < 9; ++j)
        EXPECT_EQ(p[6 + j], j + 1) << j;
    EXPECT_EQ(p[15], 40);
    EXPECT_EQ(p[kNozzlesPerSide], 5);
    for (int j = 0; j < 5; ++j) {
        EXPECT_EQ(p[35 + 2 * j], j);
        EXPECT_EQ(p[36 + 2 * j], 5 + j);
    }
}

TEST_F(Sides, OneSideTwoNozzlesMap) {
    setParams({{kSideCount, 1}, {kNozzlesPerSide, 2}, {35, 1}, {36, 0}});
    open();
    read();
    EXPECT_EQ(cells(grid("sgPhysToLogTrk_1")), QStringList({"1", "0"}));
    type(edit("eMetTOut"), "16");
    save();
    auto p = params();
    EXPECT_EQ(p[35], 1);
    EXPECT_EQ(p[36], 0);
    for (int i = 37; i <= 44; ++i)
        EXPECT_EQ(p[i], 255) << i;
    for (int i = 10; i <= 15; ++i)
        EXPECT_EQ(p[i], 0) << i;
}

TEST_F(Sides, MarkFromTheNozzleCountCheckSurvivesUntilTheNextCountChange) {
    // Side A's second address equals one of side B's.
    setParams({{6, 1}, {7, 5}});
    open();
    read();
    EXPECT_TRUE(FieldCheck::marked(grid("sgAdrNaraTrk_1")));
    EXPECT_EQ(state.InvalidFieldCount, 0); // the read clears the count at its end
    choose(combo("cbCountNozTrk"), 3);     // the count change checks again
    EXPECT_TRUE(FieldCheck::marked(grid("sgAdrNaraTrk_1")));
    EXPECT_EQ(state.InvalidFieldCount, 1);
    setCell(grid("sgAdrNaraTrk_1"), 1, "2"); // corrected: only the font follows
    EXPECT_FALSE(FieldCheck::red(grid("sgAdrNaraTrk_1"), FieldCheck::Style::Font));
    EXPECT_EQ(state.InvalidFieldCount, 1);
    save();
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    choose(combo("cbCountNozTrk"), 3);
    EXPECT_EQ(state.InvalidFieldCount, 0);
    save();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    EXPECT_EQ(params()[7], 2);
}

TEST_F(Sides, GridAValueBeyondAByteIsNeverTruncated) {
    open();
    read();
    setCell(grid("sgAdrNaraTrk_1"), 0, "257");
    EXPECT_EQ(state.InvalidFieldCount, 1);
    EXPECT_EQ(tab->params().working[6], 1);
}

TEST_F(Sides, EnterMovesRightAndWraps) {
    open();
    read();
    auto* g = grid("sgAdrNaraTrk_1");
    g->setCurrentCell(0, 2);
    QTest::keyClick(g, Qt::Key_Return);
    EXPECT_EQ(g->currentColumn(), 3);
    QTest::keyClick(g, Qt::Key_Return);
    EXPECT_EQ(g->currentColumn(), 0);
    auto* a = edit("eAdrTrk_1");
    a->clear();
    QTest::keyClicks(a, "1x2");
    EXPECT_EQ(a->text(), "12");
    EXPECT_EQ(a->maxLength(), 3);
}

// The Tab key walks the tab in reading order: the boxes top to bottom, each
// row left to right, then side A, side B, the mode list and the buttons.
TEST_F(Sides, TheTabKeyFollowsTheReadingOrder) {
    open();
    read();
    QStringList order;
    QWidget* w = edit("eSlowStart");
    while (w->nextInFocusChain() != edit("eSlowStart") && order.size() < 200) {
        w = w->nextInFocusChain();
        if (tab->isAncestorOf(w) && w->focusPolicy() & Qt::TabFocus && !w->objectName().isEmpty() &&
            w->isEnabled() && w->isVisibleTo(tab))
            order << w->objectName();
    }
    EXPECT_EQ(order, QStringList({"ImmBox",         "eSlowLoad",        "eNozzleFat",       "eMetTOut",
                                  "eAdrTrk_1",      "sgAdrNaraTrk_1",   "sgPhysToLogTrk_1", "eAdrTrk_2",
                                  "sgAdrNaraTrk_2", "sgPhysToLogTrk_2", "checkbTrkModes",   "bGetParam",
                                  "bSetParam",      "cbSpeed2CnlTrk",   "cbCountSideTrk",   "cbCountNozTrk",
                                  "ImpE",           "cbPhaseMet",       "cbTypeTbl",        "cbTypeTbl2"}));
}
