// Every field table names only controls its tab has, and a table that names
// one the tab lacks is caught.
#include "settings_rig.h"

#include "channel_fields.h"
#include "controller_fields.h"
#include "field_binder.h"
#include "ident_tab.h"
#include "little_endian.h"

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>

#include <array>
#include <functional>

namespace {

using Binder = SettingsRig;

TEST_F(Binder, EveryTableFindsItsControls) {
    open();
    EXPECT_TRUE(tab->binder().missing().isEmpty()) << tab->binder().missing().join(", ").toStdString();
    EXPECT_TRUE(adv->paramsBinder().missing().isEmpty())
        << adv->paramsBinder().missing().join(", ").toStdString();
    EXPECT_TRUE(adv->naraBinder().missing().isEmpty())
        << adv->naraBinder().missing().join(", ").toStdString();
    IdentTab ident(TabContext{state, dialogs, *testFrame});
    EXPECT_TRUE(ApplyHints(&ident, settings::MainTabFields()).isEmpty());
    // The hint reaches the box and its "?" button, and the button shows it.
    EXPECT_EQ(edit("eMetTOut")->toolTip(), ctl<QPushButton>("helpMetTOut")->toolTip());
    ctl<QPushButton>("helpMetTOut")->click();
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Время ожидание счетных импульсов от датчика расходомера в секундах"});
}

TEST(BinderAlone, ATableNamingAMissingControlFails) {
    TestApp();
    QWidget root;
    auto* e = new QLineEdit(&root);
    e->setObjectName("eHere");
    static const fields::Field rows[] = {
        {.name = "eHere",
         .field = "A",
         .offset = 0,
         .width = 1,
         .codec = fields::Codec::Decimal,
         .hint = "a"},
        {.name = "eGone",
         .field = "B",
         .offset = 1,
         .width = 1,
         .codec = fields::Codec::Decimal,
         .hint = "b"},
    };
    uint8_t block[2] = {7, 9};
#ifdef QT_NO_DEBUG
    FieldBinder binder(&root, rows, block, nullptr);
    EXPECT_EQ(binder.missing(), QStringList{"eGone"});
    binder.fill(false);
    EXPECT_EQ(e->text(), "7");
#else
    EXPECT_DEATH(FieldBinder(&root, rows, block, nullptr), "eGone");
#endif
}

// Choices, check lists and check boxes: filled from the block, and what the
// engineer picks stored at once, without touching the other bytes.
TEST(BinderAlone, ChoicesListsAndCheckBoxesStoreTheirCodes) {
    TestApp();
    QWidget root;
    auto* combo = new QComboBox(&root);
    combo->setObjectName("cbMode");
    auto* list = new QListWidget(&root);
    list->setObjectName("lFlags");
    auto* check = new QCheckBox(&root);
    check->setObjectName("chOn");
    static constexpr fields::Item kModes[] = {{"нет", 0}, {"да", 5}, {"ручной", 255}};
    static constexpr fields::Item kFlags[] = {{"a", 0x01}, {"b", 0x04}, {"b тоже", 0x04}, {"c", 0x80}};
    static constexpr fields::Item kOn[] = {{"on", 0x10}};
    static const fields::Field rows[] = {
        {.name = "cbMode",
         .field = "Mode",
         .offset = 0,
         .width = 1,
         .codec = fields::Codec::Choice,
         .items = kModes},
        {.name = "lFlags",
         .field = "Flags",
         .offset = 1,
         .width = 1,
         .codec = fields::Codec::Bits,
         .items = kFlags,
         .unread = 0xFF},
        {.name = "chOn", .field = "On", .offset = 2, .width = 1, .codec = fields::Codec::Bits, .items = kOn},
    };
    uint8_t block[4] = {5, 0x44, 0x03, 0xEE};
    FieldBinder binder(&root, rows, block, nullptr);
    QStringList edited;
    QObject::connect(&binder, &FieldBinder::edited, [&](const char* name) { edited << name; });
    // The items come from the rows.
    ASSERT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(2), "ручной");
    ASSERT_EQ(list->count(), 4);

    binder.fill(true);
    EXPECT_EQ(combo->currentIndex(), 1);
    EXPECT_EQ(list->item(1)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(2)->checkState(), Qt::Checked);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
    EXPECT_FALSE(check->isChecked());
    EXPECT_TRUE(edited.isEmpty()) << "a fill is no edit";

    // A code no item has selects nothing, and leaving it so stores nothing.
    block[0] = 9;
    binder.fill(false);
    EXPECT_EQ(combo->currentIndex(), -1);
    emit combo->activated(-1);
    EXPECT_EQ(block[0], 9);
    combo->setCurrentIndex(2);
    emit combo->activated(2);
    EXPECT_EQ(block[0], 255);
    EXPECT_EQ(edited, QStringList{"cbMode"});

    // A mark makes the word from the marks alone (bit 6, which no item has, goes).
    list->item(3)->setCheckState(Qt::Checked);
    EXPECT_EQ(block[1], 0x84);
    // A caption that changes is no edit.
    edited.clear();
    list->item(0)->setText("a'");
    EXPECT_TRUE(edited.isEmpty());
    EXPECT_EQ(block[1], 0x84);

    // A word not read leaves the marks as they were.
    block[1] = 0xFF;
    binder.fill(false);
    EXPECT_EQ(list->item(0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(list->item(3)->checkState(), Qt::Checked);

    // The check box sets and clears its bit, the others stay.
    check->click();
    EXPECT_EQ(block[2], 0x13);
    check->click();
    EXPECT_EQ(block[2], 0x03);
    EXPECT_EQ(block[3], 0xEE);
}

// A hex box and a check list of one word: a mark shows the word in the box
// (and clears its mark), a valid entry re-ticks the list, a refused one
// leaves word and marks alone; the bits no item has are kept, as the box shows them.
TEST(BinderAlone, AHexBoxAndAListShareOneWord) {
    TestApp();
    QWidget root;
    auto* box = new QLineEdit(&root);
    box->setObjectName("eWord");
    auto* list = new QListWidget(&root);
    list->setObjectName("lWord");
    static constexpr fields::Item kItems[] = {
        {"a", 0x0001}, {"b", 0x0004}, {"b тоже", 0x0004}, {"c", 0x0100}};
    static const fields::Field rows[] = {
        {.name = "eWord", .field = "W", .offset = 1, .width = 2, .codec = fields::Codec::Hex, .maxLength = 8},
        {.name = "lWord",
         .field = "W",
         .offset = 1,
         .width = 2,
         .codec = fields::Codec::Hex,
         .items = kItems,
         .unread = 0xFFFF},
    };
    uint8_t block[4] = {0x77, 0x40, 0x00, 0x77};
    bool edited = false;
    int invalid = 0;
    FieldCheck check(edited, invalid);
    FieldBinder binder(&root, rows, block, &check);
    auto marks = [list] {
        QString m;
        for (int i = 0; i < list->count(); ++i)
            m += list->item(i)->checkState() == Qt::Checked ? 'x' : '.';
        return m;
    };
    auto type = [&](const QString& text) {
        check.enter(box);
        box->setText(text);
        check.change();
        check.leave(box);
    };
    binder.fill(true);
    EXPECT_EQ(box->text(), "40");
    EXPECT_EQ(marks(), "....");

    struct Step {
        const char* what;
        std::function<void()> act;
        const char* box;
        const char* marks;
        uint16_t word;
        bool marked;
    };
    const Step steps[] = {
        {"a mark: the word in four digits, bit 6 kept", [&] { list->item(0)->setCheckState(Qt::Checked); },
         "0041", "x...", 0x0041, false},
        {"the first of two items of one bit cannot set it alone",
         [&] { list->item(1)->setCheckState(Qt::Checked); }, "0041", "x...", 0x0041, false},
        {"the later one can, and both show it", [&] { list->item(2)->setCheckState(Qt::Checked); }, "0045",
         "xxx.", 0x0045, false},
        {"a typed word re-ticks the list", [&] { type("1fe"); }, "1fe", ".xxx", 0x01FE, false},
        {"a word the width cannot hold is marked, nothing else moves", [&] { type("1FFFF"); }, "1FFFF",
         ".xxx", 0x01FE, true},
        {"a mark puts the stored word back in the box and clears its mark",
         [&] { list->item(3)->setCheckState(Qt::Unchecked); }, "00FE", ".xx.", 0x00FE, false},
        {"a typed unread word ticks every item", [&] { type("FFFF"); }, "FFFF", "xxxx", 0xFFFF, false},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(box->text(), s.box);
        EXPECT_EQ(marks(), s.marks);
        EXPECT_EQ(GetU16(block, 1), s.word);
        EXPECT_EQ(FieldCheck::marked(box), s.marked);
        EXPECT_EQ(invalid, s.marked ? 1 : 0);
    }
    EXPECT_EQ(block[0], 0x77);
    EXPECT_EQ(block[3], 0x77);

    // A read of an unread word keeps the marks; once the tab cleared the
    // word, the list shows it.
    list->item(0)->setCheckState(Qt::Unchecked);
    block[1] = block[2] = 0xFF;
    binder.fill(true);
    EXPECT_EQ(box->text(), "FFFF");
    EXPECT_EQ(marks(), ".xxx");
    block[1] = block[2] = 0;
    binder.refill("lWord");
    EXPECT_EQ(marks(), "....");
    EXPECT_EQ(box->text(), "FFFF");
}

// A date box (with its input mask): filled as "dd.mm.yy", a changed date is
// checked and stored on leaving, a bad one marked and not stored, a byte the
// mask cannot show kept until the engineer changes the date.
TEST(BinderAlone, ADateIsStoredWhenItIsOne) {
    TestApp();
    QWidget root;
    auto* box = new QLineEdit(&root);
    box->setObjectName("mDate");
    box->setInputMask("00.00.99;_");
    static const fields::Field rows[] = {{.name = "mDate",
                                          .field = "D",
                                          .offset = 1,
                                          .width = 3,
                                          .codec = fields::Codec::Date,
                                          .maxLength = 8}};
    uint8_t block[5] = {0x77, 3, 11, 24, 0x77};
    bool edited = false;
    int invalid = 0;
    FieldCheck check(edited, invalid);
    FieldBinder binder(&root, rows, block, &check);
    binder.fill(true);
    EXPECT_EQ(box->text(), "03.11.24");
    const struct {
        const char* typed;
        const char* shown;
        std::array<uint8_t, 3> stored;
        bool marked;
    } steps[] = {
        {"290224", "29.02.24", {29, 2, 24}, false}, {"300224", "30.02.24", {29, 2, 24}, true},
        {"290224", "29.02.24", {29, 2, 24}, false}, {"310425", "31.04.25", {29, 2, 24}, true},
        {"000000", "00.00.00", {0, 0, 0}, false},   {"311299", "31.12.99", {31, 12, 99}, false},
        {"1312", "13.12.", {31, 12, 99}, true},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.typed);
        check.enter(box);
        box->setText(s.typed);
        check.change();
        check.leave(box);
        EXPECT_EQ(box->text(), s.shown);
        EXPECT_EQ((std::array<uint8_t, 3>{block[1], block[2], block[3]}), s.stored);
        EXPECT_EQ(FieldCheck::marked(box), s.marked);
        EXPECT_EQ(invalid, s.marked ? 1 : 0);
    }
    EXPECT_EQ(block[0], 0x77);
    EXPECT_EQ(block[4], 0x77);
    // A day of 150 cannot show in two digits: leaving the box unchanged keeps it.
    block[1] = 150;
    binder.fill(true);
    EXPECT_FALSE(FieldCheck::marked(box));
    check.enter(box);
    check.change();
    check.leave(box);
    EXPECT_EQ(block[1], 150);
    EXPECT_FALSE(FieldCheck::marked(box));
}

} // namespace
