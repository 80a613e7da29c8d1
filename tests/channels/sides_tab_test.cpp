// The side registers tab against the virtual controller: the read-only show,
// a side that cannot be read, the edits and the write byte for byte.
#include "channels_rig.h"

#include <QGroupBox>

namespace {

using Sides_ = ChannelsRig;

std::vector<uint8_t> Side(uint8_t nozzle, uint16_t corrections, uint8_t d, uint8_t m, uint8_t y,
                          uint32_t tranz) {
    std::vector<uint8_t> b(SidesSetts.length, 0);
    b[0] = nozzle;
    PutU16(b.data(), 1, corrections);
    b[3] = d;
    b[4] = m;
    b[5] = y;
    PutU32(b.data(), 6, tranz);
    b[10] = 0xA5; // reserved, carried
    b[11] = 0x5A;
    return b;
}

} // namespace

TEST_F(Sides_, ShowingTheTabReadsBothSidesIntoReadOnlyBoxes) {
    c->poke(0, SideAddress(0), Side(2, 12, 7, 3, 24, 123456789));
    c->poke(0, SideAddress(1), Side(1, 65535, 0, 0, 0, 4294967295u));
    show(sides);
    EXPECT_EQ(status(), "Состояния первой и второй стороны считаны");
    EXPECT_TRUE(dialogs.records.empty());
    const std::pair<const char*, const char*> shown[] = {
        {"eActiveNoz_s1", "2"},
        {"eCountKor_s1", "12"},
        {"maskDateLastKor_s1", "07.03.24"},
        {"eCountTranz_s1", "123456789"},
        {"eActiveNoz_s2", "1"},
        {"eCountKor_s2", "65535"},
        {"maskDateLastKor_s2", "00.00.00"},
        {"eCountTranz_s2", "4294967295"},
    };
    for (auto [name, text] : shown) {
        EXPECT_EQ(edit(name)->text(), text) << name;
        EXPECT_TRUE(edit(name)->isReadOnly()) << name;
    }
    EXPECT_TRUE(button("bWriteRegsSides")->isHidden());
    EXPECT_TRUE(button("bWriteRegsSides")->isEnabled());
    // Leaving the boxes changes nothing in the buffers.
    for (auto [name, text] : shown)
        visit(edit(name));
    EXPECT_EQ(std::vector<uint8_t>(sides->buffer(1).begin(), sides->buffer(1).end()),
              Side(1, 65535, 0, 0, 0, 4294967295u));
}

TEST_F(Sides_, ASideThatCannotBeReadDisablesItsGroup) {
    zelsim::Faults f;
    f.unreadableFrom = SideAddress(1);
    f.unreadableTo = SideAddress(1) + SidesSetts.length;
    setFaults(f);
    show(sides);
    EXPECT_TRUE(ctl<QGroupBox>("gbRegsSide1")->isEnabled());
    EXPECT_FALSE(ctl<QGroupBox>("gbRegsSide2")->isEnabled());
    EXPECT_EQ(status(), "Состояние второй стороны не считаны!");
    EXPECT_EQ(dialogs.messages(), QStringList{"Ошибка чтения состояния стороны 2"});
    sides->bCallRegsSidesClick();
    EXPECT_EQ(status(), "Состояние второй стороны не считано!");

    // Side A unreadable: only side B is written, and its own text stays.
    f.unreadableFrom = SideAddress(0);
    f.unreadableTo = SideAddress(0) + SidesSetts.length;
    setFaults(f);
    dialogs.clear();
    sides->bCallRegsSidesClick();
    EXPECT_EQ(dialogs.messages(), QStringList{"Ошибка чтения состояния стороны А"});
    EXPECT_EQ(status(), "Состояние первой стороны не считано!");
    EXPECT_FALSE(ctl<QGroupBox>("gbRegsSide1")->isEnabled());
    EXPECT_TRUE(ctl<QGroupBox>("gbRegsSide2")->isEnabled());
    const int writes = c->writeCount();
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Запись состояния стороны 2 произведена");
    EXPECT_EQ(c->writeCount(), writes + 1);

    // Neither side answers.
    f = {};
    f.noAnswer = true;
    setFaults(f);
    sides->TabRegsSidesShow();
    EXPECT_FALSE(ctl<QGroupBox>("gbRegsSide1")->isEnabled());
    EXPECT_FALSE(ctl<QGroupBox>("gbRegsSide2")->isEnabled());
    EXPECT_FALSE(button("bWriteRegsSides")->isEnabled());
    EXPECT_EQ(status(), "Состояния первой и второй стороны не считаны!");
}

TEST_F(Sides_, EditsGoIntoTheBuffersAndTheWriteSendsThemWhole) {
    c->poke(0, SideAddress(0), Side(2, 12, 7, 3, 24, 5));
    c->poke(0, SideAddress(1), Side(1, 3, 28, 2, 25, 6));
    sides->bCallRegsSidesClick(); // the boxes stay editable
    EXPECT_EQ(status(), "Состояния первой и второй стороны считаны");

    // A correction count above 65535: the message and the stored count back.
    type(edit("eCountKor_s1"), "65536");
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Введено число превышающее максимальное количество корректировок"});
    EXPECT_EQ(edit("eCountKor_s1")->text(), "12");
    type(edit("eCountKor_s1"), "65535");
    // An empty count is not a number: the conversion message, the field kept.
    dialogs.clear();
    type(edit("eCountKor_s2"), "");
    EXPECT_EQ(dialogs.messages(), QStringList{"«» не является целым числом"});

    // Dates: a real one is taken; one that is not keeps the stored date.
    QLineEdit* dateA = edit("maskDateLastKor_s1");
    type(dateA, "290224");
    EXPECT_EQ(dateA->text(), "29.02.24");
    EXPECT_FALSE(marked(dateA));
    QLineEdit* dateB = edit("maskDateLastKor_s2");
    for (const char* bad : {"310225", "001225", "1312", "290225"}) {
        type(dateB, bad);
        EXPECT_TRUE(marked(dateB)) << bad;
    }
    type(edit("eCountTranz_s2"), "99999999");
    type(edit("eCountTranz_s1"), "123456789"); // at most eight digits are typed
    EXPECT_EQ(edit("eCountTranz_s1")->text(), "12345678");

    const int restarts = c->restartCount();
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Состояния первой и второй стороны записаны");
    EXPECT_EQ(mem(SideAddress(0), 12), Side(2, 65535, 29, 2, 24, 12345678));
    EXPECT_EQ(mem(SideAddress(1), 12), Side(1, 3, 28, 2, 25, 99999999));
    EXPECT_EQ(c->restartCount(), restarts);

    // Unchanged buffers are written all the same; refused writes are reported.
    const int writes = c->writeCount();
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(c->writeCount(), writes + 2);
    zelsim::Faults f;
    f.refuseWrites = true;
    setFaults(f);
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Состояния первой и второй стороны не записаны!");
    state.passwordStep = [] { return false; };
    setFaults({});
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(c->writeCount(), writes + 2);
}
