// The dump tab against a virtual controller: the address and count boxes,
// reads of the three areas, digit editing in the grid, the write with the
// controller's memory checked, failures and demo mode.
#include "tools_rig.h"

#include "field_check.h"

namespace {

using DumpTabTest = ToolsRig;

// The digits of every shown byte, read back from the grid.
std::vector<uint8_t> GridBytes(const DumpTab& d) {
    std::vector<uint8_t> out;
    for (int r = 0; r < d.sheet().rows(); ++r)
        for (int k = 0; k < 16; ++k) {
            const QString hi = d.cellText(3 * k + 1, r), lo = d.cellText(3 * k + 2, r);
            if (hi.isEmpty() && lo.isEmpty()) continue;
            out.push_back(static_cast<uint8_t>((hi + lo).toUInt(nullptr, 16)));
        }
    return out;
}

TEST_F(DumpTabTest, BoxesCheckTheirTextAndTheCountStaysInsideTheBank) {
    open();
    showDump();
    QLineEdit *address = edit("eAdresDump"), *count = edit("eCountByteDump");
    EXPECT_TRUE(FieldCheck::marked(address));
    EXPECT_TRUE(FieldCheck::marked(count));
    EXPECT_FALSE(btn("bReadDump")->isEnabled());
    EXPECT_FALSE(btn("bWriteDump")->isEnabled());

    paste(address, "31g1");
    EXPECT_TRUE(FieldCheck::marked(address));
    EXPECT_TRUE(FieldCheck::red(address));
    paste(address, "0000FF00"); // no length limit, leading zeros are fine
    EXPECT_FALSE(FieldCheck::marked(address));
    EXPECT_FALSE(FieldCheck::red(address));
    type(count, "1g0-0 ");
    EXPECT_EQ(count->text(), "100");
    EXPECT_TRUE(btn("bReadDump")->isEnabled());
    EXPECT_TRUE(dialogs.messages().isEmpty());
    const int invalid = state.InvalidFieldCount;

    // One byte past the bank: red box and a message; the read stays off.
    paste(count, "101");
    EXPECT_TRUE(FieldCheck::red(count));
    EXPECT_FALSE(btn("bReadDump")->isEnabled());
    EXPECT_EQ(dialogs.messages(), QStringList{"Слишком большое количество байт: 101. От адреса FF00 до конца "
                                              "банка памяти не более 100h (256) байт"});
    paste(count, "100");
    EXPECT_TRUE(btn("bReadDump")->isEnabled());
    // A later address that leaves fewer bytes judges the count again.
    dialogs.clear();
    paste(address, "FF80");
    EXPECT_TRUE(FieldCheck::red(count));
    EXPECT_FALSE(btn("bReadDump")->isEnabled());
    EXPECT_EQ(dialogs.messages().size(), 1);
    dialogs.clear();
    paste(count, "FFFFFFFFFF"); // not even 32 bits
    EXPECT_TRUE(FieldCheck::red(count));
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Слишком большое количество байт: FFFFFFFFFF. Банк памяти вмещает не "
                          "более 10000h (65536) байт"});
    paste(address, "1000000"); // beyond the 24-bit address
    EXPECT_TRUE(FieldCheck::red(address));
    EXPECT_EQ(dialogs.messages().last(), "Адрес вне памяти контроллера: не более FFFFFF");
    // The dump boxes keep their own marks, not the settings tabs' count.
    EXPECT_EQ(state.InvalidFieldCount, invalid);
    EXPECT_EQ(line.frameCount(), 0u);
}

TEST_F(DumpTabTest, ReadsOfTheThreeAreasFillTheGrid) {
    open();
    showDump();
    std::vector<uint8_t> bytes(0x21, 0x41);
    bytes[0] = 0x00;
    bytes[1] = 0xAB;
    bytes[2] = 0x8A; // К in code page 866
    c->poke(0, 0x6000, bytes);
    readDump("6000", "21");
    EXPECT_EQ(status(), "Чтение(ER) прошло успешно.");
    EXPECT_TRUE(btn("bWriteDump")->isEnabled());
    ASSERT_EQ(sg1()->model()->rowCount(), 3);
    EXPECT_EQ(dump->cellText(0, 0), "00006000");
    EXPECT_EQ(dump->cellText(0, 2), "00006020");
    EXPECT_EQ(dump->cellText(1, 0) + dump->cellText(2, 0), "00");
    EXPECT_EQ(dump->cellText(4, 0) + dump->cellText(5, 0), "AB");
    EXPECT_EQ(dump->cellText(49, 0), " лКAAAAAAAAAAAAA");
    // The last row: one byte in columns 1-3, nothing after it.
    EXPECT_EQ(dump->cellText(1, 2) + dump->cellText(2, 2) + dump->cellText(4, 2), "41");
    EXPECT_EQ(sg1()->model()->index(0, 49).data().toString(), dump->cellText(49, 0));
    EXPECT_EQ(sg1()->currentIndex(), sg1()->model()->index(0, 1));
    EXPECT_TRUE(sg1()->font().fixedPitch());

    c->poke(2, 0x20, {0x11, 0x22});
    readDump("20", "2", "rbIR");
    EXPECT_EQ(status(), "Чтение(IR) прошло успешно.");
    EXPECT_EQ(dump->sheet().bytes(), (std::vector<uint8_t>{0x11, 0x22}));
    EXPECT_EQ(ctl<QLabel>("lGridPointer")->text(), "100%");
    c->poke(4, 0x12345 & 0xFFFF, {0x99});
    readDump("2345", "1", "rbIM");
    EXPECT_EQ(status(), "Чтение(IM) прошло успешно.");
    EXPECT_EQ(dump->sheet().bytes(), std::vector<uint8_t>{0x99});
}

TEST_F(DumpTabTest, DigitsTypedInTheGridAreWrittenToTheAddressRead) {
    open();
    showDump();
    std::vector<uint8_t> bytes(0x40);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(0xA0 + i);
    c->poke(0, 0x6000, bytes);
    c->poke(0, 0x7000, std::vector<uint8_t>(0x40, 0xEE));
    readDump("6000", "40");
    ASSERT_EQ(status(), "Чтение(ER) прошло успешно.");

    // Row 2, byte 3: the high digit (column 10), typed over.
    QTableView* g = sg1();
    g->setFocus();
    g->setCurrentIndex(g->model()->index(2, 10));
    EXPECT_EQ(ctl<QLabel>("lGridPointer")->text(), "66%");
    QTest::keyClick(g, Qt::Key_5, Qt::NoModifier);
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    ASSERT_NE(editor, nullptr);
    EXPECT_EQ(editor->text(), "5");
    EXPECT_EQ(dump->sheet().bytes()[0x23], 0x53);
    EXPECT_EQ(dump->cellText(49, 2).at(3), QChar('S'));
    // A second character is refused: the digit of the selection comes back.
    QTest::keyClick(editor, Qt::Key_7, Qt::NoModifier);
    EXPECT_EQ(editor->text(), "C");
    EXPECT_EQ(dump->sheet().bytes()[0x23], 0xC3);
    QTest::keyClick(editor, Qt::Key_Backspace);
    QTest::keyClick(editor, Qt::Key_F, Qt::NoModifier, 'f');
    QTest::keyClick(editor, Qt::Key_Return);
    QCoreApplication::processEvents();
    EXPECT_EQ(dump->cellText(10, 2), "f");
    EXPECT_EQ(dump->sheet().bytes()[0x23], 0xF3);

    EXPECT_EQ(GridBytes(*dump), dump->sheet().bytes());
    // The character column, the last spacer and the address column cannot be chosen.
    for (int column : {49, 48, 0}) {
        g->setCurrentIndex(g->model()->index(3, column));
        EXPECT_EQ(g->currentIndex(), g->model()->index(2, 10)) << column;
    }

    // The boxes and the area changed since the read: the write still goes to
    // 6000 in ER, as read.
    paste(edit("eAdresDump"), "7000");
    ctl<QRadioButton>("rbIM")->setChecked(true);
    btn("bWriteDump")->click();
    EXPECT_EQ(status(), "Запись(ER) прошла успешно.");
    std::vector<uint8_t> expected = bytes;
    expected[0x23] = 0xF3;
    EXPECT_EQ(c->peek(0, 0x6000, 0x40), expected);
    EXPECT_EQ(c->peek(0, 0x7000, 0x40), std::vector<uint8_t>(0x40, 0xEE));
    EXPECT_EQ(c->peek(4, 0x6000, 0x40), std::vector<uint8_t>(0x40, 0));

    zelsim::Faults f;
    f.refuseWrites = true;
    c->setFaults(f);
    btn("bWriteDump")->click();
    EXPECT_EQ(status(), "Ошибка записи");
}

TEST_F(DumpTabTest, AFailedReadKeepsTheGridWithItsBytes) {
    open();
    showDump();
    c->poke(0, 0x6000, {1, 2, 3, 4});
    readDump("6000", "4");
    ASSERT_EQ(status(), "Чтение(ER) прошло успешно.");

    zelsim::Faults f;
    f.noAnswer = true;
    c->setFaults(f);
    readDump("100", "30", "rbIR");
    EXPECT_EQ(status(), "Ошибка чтения IR");
    EXPECT_FALSE(btn("bWriteDump")->isEnabled());
    EXPECT_EQ(dump->cellText(0, 0), "00006000");
    EXPECT_EQ(dump->sheet().bytes(), (std::vector<uint8_t>{1, 2, 3, 4}));
    // Digits typed now edit the bytes this grid shows, never a buffer of the failed request.
    QTableView* g = sg1();
    g->setCurrentIndex(g->model()->index(0, 5));
    EXPECT_EQ(dump->sg1SetEditText(5, 0, "9"), "9");
    EXPECT_EQ(dump->sheet().bytes(), (std::vector<uint8_t>{1, 9, 3, 4}));
    EXPECT_EQ(GridBytes(*dump), dump->sheet().bytes());

    // A count of 0 reads nothing and keeps the grid; writing stays off.
    c->setFaults({});
    line.clearFrames();
    readDump("6000", "0");
    EXPECT_EQ(line.frameCount(), 0u);
    EXPECT_FALSE(btn("bWriteDump")->isEnabled());
    EXPECT_EQ(dump->sheet().bytes(), (std::vector<uint8_t>{1, 9, 3, 4}));
}

TEST_F(DumpTabTest, DemoModeShowsRandomBytesAndRefusesTheWrite) {
    open();
    showDump();
    state.demo = true;
    readDump("12345", "20", "rbIR");
    ASSERT_EQ(sg1()->model()->rowCount(), 2);
    EXPECT_EQ(dump->cellText(0, 0), "00012345");
    EXPECT_EQ(dump->sheet().bytes().size(), 0x20u);
    for (uint8_t b : dump->sheet().bytes())
        EXPECT_LE(b, 254);
    EXPECT_EQ(dump->sheet().area(), tools::DumpArea::ER);
    EXPECT_TRUE(btn("bWriteDump")->isEnabled());
    testFrame->setStatus("x");
    btn("bWriteDump")->click();
    EXPECT_EQ(status(), "Демонстрационная версия программы");
    readDump("12345", "0");
    EXPECT_FALSE(btn("bWriteDump")->isEnabled());
    EXPECT_EQ(line.frameCount(), 0u);
    EXPECT_EQ(dump->sheet().bytes().size(), 0x20u); // the grid stays as it was
}

} // namespace
