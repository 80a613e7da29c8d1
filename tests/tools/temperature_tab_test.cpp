// The temperature table tab against a virtual controller: headers, key
// filters, the recalculation and its refusals, read and write with the
// controller's memory checked, demo mode.
#include "tools_rig.h"

#include "field_binder.h"
#include "temperature_table.h"
#include "write_journal.h"

#include <QPushButton>
#include <filesystem>

namespace {

using TemperatureTab = ToolsRig;

TEST_F(TemperatureTab, ShowWritesTheHeadersAndFitsThreeColumns) {
    open();
    btn("bReadTblT")->setEnabled(false);
    showTemp();
    QTableWidget* t = table();
    EXPECT_EQ(t->rowCount(), 39);
    EXPECT_EQ(t->horizontalHeaderItem(0)->text(), "Температура (T) ['C]");
    EXPECT_EQ(t->horizontalHeaderItem(1)->text(), "Сопротивление (Rt) [KOм]");
    EXPECT_EQ(t->horizontalHeaderItem(2)->text(), "Показание ацп (A) [Hex] ");
    EXPECT_EQ(t->columnWidth(1), t->viewport()->width() / 3 - 1);
    EXPECT_TRUE(btn("bReadTblT")->isEnabled());
    EXPECT_FALSE(btn("bWriteTblT")->isEnabled()); // no table read or computed yet
    EXPECT_FALSE(btn("bRecalcTblT")->isEnabled());
    EXPECT_TRUE(ApplyHints(temp, tools::TemperatureTblFields()).isEmpty());
    EXPECT_EQ(btn("bReadTblT")->toolTip(), "Загрузить таблицу температур из устройства");
}

TEST_F(TemperatureTab, KeyFiltersAndTheRecalculateButton) {
    open();
    showTemp();
    QLineEdit *rn = edit("eRn"), *b = edit("eB"), *tn = edit("eTn");
    type(rn, "1a-0,5");
    EXPECT_EQ(rn->text(), "10,5");
    type(b, "39,5x0");
    EXPECT_EQ(b->text(), "3950");
    EXPECT_EQ(b->maxLength(), 9);
    // The button follows the other two boxes at each accepted key, never the box typed into.
    EXPECT_FALSE(btn("bRecalcTblT")->isEnabled()); // eTn was empty while keys went to eRn and eB
    type(tn, "2");
    EXPECT_TRUE(btn("bRecalcTblT")->isEnabled());
    rn->clear();
    type(tn, "5");
    EXPECT_FALSE(btn("bRecalcTblT")->isEnabled());
    type(rn, "q"); // a refused key changes nothing
    EXPECT_FALSE(btn("bRecalcTblT")->isEnabled());
    QTest::keyClick(rn, Qt::Key_Backspace); // Backspace is an accepted key: judged by eB and eTn
    EXPECT_TRUE(btn("bRecalcTblT")->isEnabled());
    EXPECT_EQ(tn->text(), "25");
}

// A full stop is a decimal separator as the comma is, in both real boxes:
// "25.5" is 25,5 °C, never 255 °C.
TEST_F(TemperatureTab, AFullStopIsADecimalSeparator) {
    open();
    showTemp();
    type(edit("eRn"), "10,5");
    type(edit("eB"), "3950");
    type(edit("eTn"), "25,5");
    btn("bRecalcTblT")->click();
    const auto withComma = state.temperatureTable;
    const QStringList row0 = row(0);
    for (QLineEdit* e : {edit("eRn"), edit("eTn")})
        e->clear();
    type(edit("eRn"), "10.5");
    type(edit("eTn"), "25.5");
    EXPECT_EQ(edit("eRn")->text(), "10.5");
    EXPECT_EQ(edit("eTn")->text(), "25.5");
    state.temperatureTable = {};
    btn("bRecalcTblT")->click();
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("|").toStdString();
    EXPECT_EQ(state.temperatureTable, withComma);
    EXPECT_EQ(row(0), row0);
    type(edit("eB"), "39.5"); // B stays a whole number
    EXPECT_EQ(edit("eB")->text(), "3950395");
}

TEST_F(TemperatureTab, RecalculationFillsGridAndBufferAndTheWriteSendsIt) {
    open();
    showTemp();
    type(edit("eRn"), "10");
    type(edit("eB"), "3950");
    type(edit("eTn"), "25");
    btn("bRecalcTblT")->click();
    EXPECT_TRUE(dialogs.messages().isEmpty());
    EXPECT_EQ(row(0), (QStringList{"-50", "863,121975691635", "B"}));
    EXPECT_EQ(row(19).first(), "26");
    EXPECT_EQ(row(19).last(), "20B");
    EXPECT_EQ(row(38).first(), "102");
    EXPECT_EQ(row(38).last(), "3C0");
    EXPECT_EQ(state.temperatureTable[0], 11);
    EXPECT_EQ(line.frameCount(), 0u); // computed on the PC alone

    btn("bWriteTblT")->click();
    EXPECT_EQ(status(), "Таблица записана");
    const auto expected = tools::TableBytes(state.temperatureTable);
    EXPECT_EQ(tableInController(), std::vector<uint8_t>(expected.begin(), expected.end()));
}

TEST_F(TemperatureTab, RefusedParametersChangeNothing) {
    open();
    showTemp();
    type(edit("eRn"), "10");
    type(edit("eB"), "3950");
    type(edit("eTn"), "0");
    btn("bRecalcTblT")->click(); // 0 °C is a nominal temperature like any other
    ASSERT_TRUE(dialogs.messages().isEmpty());
    const QStringList first = row(0);
    const auto buffer = state.temperatureTable;

    struct Case {
        const char *rn, *b, *tn;
        QString message;
    };
    const Case cases[] = {
        {"10", "3950", "-273", "Неправильно введена температура"}, // only a paste brings the minus
        {"10", "3950", "-300", "Неправильно введена температура"},
        {"", "3950", "25", "«» не является числом. Проверьте поле «Rn (КОм)»"},
        {"10", "3950", "2,5,", "«2,5,» не является числом. Проверьте поле «Tn ('C)»"},
        {"10", "999999999", "25",
         "Таблица не пересчитана: при этих параметрах сопротивление или показание АЦП не "
         "выражается числом. Проверьте Rn, B и Tn"},
        {"0", "3950", "25",
         "Таблица не пересчитана: при этих параметрах сопротивление или показание АЦП не "
         "выражается числом. Проверьте Rn, B и Tn"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.message.toStdString());
        dialogs.clear();
        paste(edit("eRn"), k.rn);
        paste(edit("eB"), k.b);
        paste(edit("eTn"), k.tn);
        temp->bRecalcTblTClick();
        EXPECT_EQ(dialogs.messages(), QStringList{k.message});
        EXPECT_EQ(row(0), first);
        EXPECT_EQ(state.temperatureTable, buffer);
    }
}

// The table block is in no image and no snapshot: nothing is written over it
// before a table was read or computed, and the journal keeps the table each
// write replaces.
TEST_F(TemperatureTab, TheWriteWaitsForATableAndTheJournalKeepsTheOneReplaced) {
    setenv("XDG_STATE_HOME", std::filesystem::absolute("state").c_str(), 1);
    std::filesystem::remove_all("state");
    journal::Install();
    open();
    showTemp();
    const std::vector<uint8_t> old(kLenTemperatureTable, 0x77);
    c->poke(0, kAddrTemperatureTable, old);
    EXPECT_FALSE(btn("bWriteTblT")->isEnabled());
    const int writes = c->writeCount();
    temp->bWriteTblTClick();
    EXPECT_EQ(status(), "Таблица не записана: считайте ее из устройства или пересчитайте");
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_EQ(tableInController(), old);
    showTemp(); // showing the tab again does not offer the write either
    EXPECT_FALSE(btn("bWriteTblT")->isEnabled());

    type(edit("eRn"), "10");
    type(edit("eB"), "3950");
    type(edit("eTn"), "25");
    btn("bRecalcTblT")->click();
    EXPECT_TRUE(btn("bWriteTblT")->isEnabled());
    btn("bWriteTblT")->click();
    EXPECT_EQ(status(), "Таблица записана");
    const journal::Contents j = journal::ReadJournal(journal::JournalPath(false));
    journal::Uninstall();
    ASSERT_EQ(j.records.size(), 1u);
    EXPECT_EQ(j.records[0].address, kAddrTemperatureTable);
    ASSERT_TRUE(j.records[0].beforeKnown);
    EXPECT_EQ(j.records[0].before, old);
    EXPECT_EQ(j.records[0].after, tableInController());
}

TEST_F(TemperatureTab, AReadShowsNoResistancesAndGoesBackUnchanged) {
    open();
    showTemp();
    std::vector<uint8_t> bytes(kLenTemperatureTable, 0);
    bytes[0] = 0x0B;
    bytes[2] = 0x0B;
    bytes[3] = 0x02;
    bytes[76] = 0xFF; // the last entry, read as a signed 16-bit number
    bytes[77] = 0xFF;
    c->poke(0, kAddrTemperatureTable, bytes);
    btn("bReadTblT")->click();
    EXPECT_EQ(status(), "Таблица считана");
    EXPECT_EQ(row(0), (QStringList{"-50", "---", "B"}));
    EXPECT_EQ(row(1), (QStringList{"-46", "---", "20B"}));
    EXPECT_EQ(row(38), (QStringList{"102", "---", "FFFFFFFF"}));
    for (int i = 0; i < 39; ++i)
        EXPECT_EQ(table()->item(i, 1)->text(), "---") << i;
    EXPECT_EQ(state.temperatureTable[38], 0xFFFF);

    // What was read goes back unchanged.
    c->poke(0, kAddrTemperatureTable, std::vector<uint8_t>(kLenTemperatureTable, 0));
    btn("bWriteTblT")->click();
    EXPECT_EQ(tableInController(), bytes);
}

TEST_F(TemperatureTab, FailedTransfersAndDemoModeLeaveGridAndBuffer) {
    open();
    showTemp();
    type(edit("eRn"), "10");
    type(edit("eB"), "3950");
    type(edit("eTn"), "25");
    btn("bRecalcTblT")->click();
    const QStringList first = row(0);
    const auto buffer = state.temperatureTable;

    zelsim::Faults f;
    f.refuseWrites = true;
    c->setFaults(f);
    btn("bWriteTblT")->click();
    EXPECT_EQ(status(), "Таблица не записана");
    f = {};
    f.noAnswer = true;
    c->setFaults(f);
    btn("bReadTblT")->click();
    EXPECT_EQ(status(), "Таблица не считана");
    EXPECT_EQ(row(0), first);
    EXPECT_EQ(state.temperatureTable, buffer);

    c->setFaults({});
    state.demo = true;
    line.clearFrames();
    for (const char* b : {"bReadTblT", "bWriteTblT"}) {
        testFrame->setStatus("x");
        btn(b)->click();
        EXPECT_EQ(status(), "Демонстрационная версия программы") << b;
    }
    EXPECT_EQ(line.frameCount(), 0u);
    EXPECT_EQ(row(0), first);
    EXPECT_EQ(state.temperatureTable, buffer);
    // Recalculation works in demo mode.
    type(edit("eTn"), "0");
    btn("bRecalcTblT")->click();
    EXPECT_NE(row(0), first);
}

} // namespace
