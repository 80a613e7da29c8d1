// Pictures of the temperature table and dump tabs with data, in the main
// window started with --service against a virtual controller.
#include "codepage.h"
#include "cp866.h"
#include "dump_tab.h"
#include "gui_rig.h"
#include "memory_map.h"
#include "temperature_table_tab.h"

#include <QDir>
#include <QRadioButton>
#include <QTableView>
#include <QTest>

using ToolsShots = GuiRig;

TEST_F(ToolsShots, TemperatureTableAndDumpWithData) {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    const QString dir = QString::fromLocal8Bit(bin ? bin : ".") + "/screenshots";
    ASSERT_TRUE(QDir().mkpath(dir));

    zelsim::VirtualController& c = line.addController(1);
    // Text, Cyrillic, box drawing and control bytes for the character column.
    std::string text = Utf8ToCp866("StartZel: Контроллер ТРК ");
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0xFC); // №
    for (char ch : Utf8ToCp866("1, ёлка"))
        bytes.push_back(static_cast<uint8_t>(ch));
    for (int b = 0; b < 32; ++b)
        bytes.push_back(static_cast<uint8_t>(b));
    for (int b = 0xB0; b < 0x100; ++b)
        bytes.push_back(static_cast<uint8_t>(b));
    c.poke(0, 0x6000, bytes);
    startLine();
    start(QString("1"), {"--service"});
    ASSERT_TRUE(state.Identified);
    QTabWidget* tabs = ctl<QTabWidget>("TabSetts");

    tabs->setCurrentWidget(w->tabPage("TabTemperatureTbl"));
    QCoreApplication::processEvents();
    for (auto [box, value] : {std::pair{"eRn", "10"}, {"eB", "3950"}, {"eTn", "25"}})
        for (QChar ch : QString(value))
            QTest::sendKeyEvent(QTest::Click, ctl<QLineEdit>(box), Qt::Key_unknown, QString(ch),
                                Qt::NoModifier);
    EXPECT_TRUE(ctl<QPushButton>("bRecalcTblT")->isEnabled());
    ctl<TemperatureTableTab>("TemperatureTableTab")->bRecalcTblTClick();
    QCoreApplication::processEvents();
    EXPECT_TRUE(w->grab().save(dir + "/tools-TabTemperatureTbl.png"));

    tabs->setCurrentWidget(w->tabPage("TabDump"));
    QCoreApplication::processEvents();
    ctl<QLineEdit>("eAdresDump")->setText("6000");
    ctl<QLineEdit>("eCountByteDump")->setText("FA");
    auto* dump = ctl<DumpTab>("DumpTab");
    dump->eAdresDumpExit();
    dump->eCountByteDumpExit();
    dump->bReadDumpClick();
    ASSERT_EQ(status(), "Чтение(ER) прошло успешно.");
    auto* sg1 = ctl<QTableView>("sg1");
    sg1->setCurrentIndex(sg1->model()->index(3, 10));
    QCoreApplication::processEvents();
    EXPECT_TRUE(w->grab().save(dir + "/tools-TabDump.png"));
    // The first rows twice as large, to judge the glyphs and the lines.
    const QPixmap rows = sg1->grab(QRect(0, 0, 360, 90));
    EXPECT_TRUE(rows.scaled(rows.size() * 3).save(dir + "/tools-TabDump-rows.png"));
}
