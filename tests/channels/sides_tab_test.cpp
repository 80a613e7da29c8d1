// The side registers tab against the virtual controller: the read-only show,
// a side that cannot be read, the edits and the write byte for byte.
#include "channels_rig.h"

#include <QGroupBox>

namespace {

using Sides_ = ChannelsRig;

std::vector<uint8_t> Side(uint8_t nozzle, uint16_t corrections, uint8_t d, uint8_t m, uint8_t y,
                          uint32_t tranz) {
    std::vector<uint8_t> b = {nozzle, 0, 0, d, m, y, 0, 0, 0, 0, 0xA5, 0x5A}; // bytes 10, 11 carried
    PutU16(b.data(), 1, corrections);
    PutU32(b.data(), 6, tranz);
    return b;
}

} // namespace

TEST_F(Sides_, ShowingTheTabReadsBothSidesIntoReadOnlyBoxes) {
    c->poke(0, SideAddress(0), Side(2, 12, 7, 3, 24, 123456789));
    c->poke(0, SideAddress(1), Side(1, 65535, 0, 0, 0, 4294967295u));
    show(sides);
    EXPECT_EQ(status(), "Состояния первой и второй стороны считаны");
    const std::pair<const char*, const char*> shown[] = {
        {"eActiveNoz_s1", "2"},          {"eCountKor_s1", "12"},    {"maskDateLastKor_s1", "07.03.24"},
        {"eCountTranz_s1", "123456789"}, {"eCountKor_s2", "65535"}, {"maskDateLastKor_s2", "00.00.00"},
        {"eCountTranz_s2", "4294967295"}};
    for (auto [name, text] : shown) {
        EXPECT_EQ(edit(name)->text(), text) << name;
        EXPECT_TRUE(edit(name)->isReadOnly()) << name;
        focus(edit(name), QEvent::FocusIn); // leaving a box changes nothing
        focus(edit(name), QEvent::FocusOut);
    }
    EXPECT_TRUE(ctl("bWriteRegsSides")->isHidden());
    EXPECT_TRUE(dialogs.records.empty());
    const settings::SideBuffer& b = sides->buffer(1);
    EXPECT_EQ(std::vector<uint8_t>(b.begin(), b.end()), Side(1, 65535, 0, 0, 0, 4294967295u));
}

TEST_F(Sides_, ASideThatCannotBeReadDisablesItsGroupAndOnlyTheOtherIsWritten) {
    unreadable(SideAddress(1), SidesSetts.length);
    show(sides);
    EXPECT_TRUE(ctl("gbRegsSide1")->isEnabled());
    EXPECT_FALSE(ctl("gbRegsSide2")->isEnabled());
    EXPECT_EQ(status(), "Состояние второй стороны не считаны!");
    EXPECT_EQ(dialogs.messages(), QStringList{"Ошибка чтения состояния стороны 2"});
    sides->bCallRegsSidesClick();
    EXPECT_EQ(status(), "Состояние второй стороны не считано!");

    unreadable(SideAddress(0), SidesSetts.length);
    sides->bCallRegsSidesClick();
    EXPECT_EQ(dialogs.messages().last(), "Ошибка чтения состояния стороны А");
    EXPECT_EQ(status(), "Состояние первой стороны не считано!");
    const int writes = c->writeCount();
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Запись состояния стороны 2 произведена");
    EXPECT_EQ(c->writeCount(), writes + 1);

    zelsim::Faults deaf;
    deaf.noAnswer = true;
    c->setFaults(deaf);
    sides->TabRegsSidesShow();
    EXPECT_FALSE(ctl("gbRegsSide1")->isEnabled() || ctl("gbRegsSide2")->isEnabled());
    EXPECT_FALSE(ctl("bWriteRegsSides")->isEnabled());
    EXPECT_EQ(status(), "Состояния первой и второй стороны не считаны!");
}

TEST_F(Sides_, EditsGoIntoTheBuffersAndEveryWriteSendsThemWhole) {
    c->poke(0, SideAddress(0), Side(2, 12, 7, 3, 24, 5));
    c->poke(0, SideAddress(1), Side(1, 3, 28, 2, 25, 6));
    sides->bCallRegsSidesClick(); // the boxes stay editable
    type("eCountKor_s1", "65536");
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Введено число превышающее максимальное количество корректировок"});
    EXPECT_EQ(edit("eCountKor_s1")->text(), "12");
    type("eCountKor_s1", "65535");
    type("eCountKor_s2", "");
    EXPECT_EQ(dialogs.messages().last(), "«» не является целым числом");
    // A real date is taken; one that is not keeps the stored date.
    type("maskDateLastKor_s1", "290224");
    EXPECT_EQ(edit("maskDateLastKor_s1")->text(), "29.02.24");
    EXPECT_FALSE(marked("maskDateLastKor_s1"));
    for (const char* bad : {"310225", "001225", "1312", "290225"}) {
        type("maskDateLastKor_s2", bad);
        EXPECT_TRUE(marked("maskDateLastKor_s2")) << bad;
    }
    type("eCountTranz_s2", "99999999");
    type("eCountTranz_s1", "123456789"); // eight digits at most
    EXPECT_EQ(edit("eCountTranz_s1")->text(), "12345678");

    // A marked date is never passed over: nothing is written until it is mended.
    const int before = c->writeCount();
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(c->writeCount(), before);
    type("maskDateLastKor_s2", "280225"); // the date as read
    EXPECT_FALSE(marked("maskDateLastKor_s2"));

    const int restarts = c->restartCount(), writes = c->writeCount();
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Состояния первой и второй стороны записаны");
    EXPECT_EQ(mem(SideAddress(0), 12), Side(2, 65535, 29, 2, 24, 12345678));
    EXPECT_EQ(mem(SideAddress(1), 12), Side(1, 3, 28, 2, 25, 99999999));
    EXPECT_EQ(c->restartCount(), restarts);
    sides->bWriteRegsSidesClick(); // unchanged buffers are written all the same
    EXPECT_EQ(c->writeCount(), writes + 4);
    zelsim::Faults refuse;
    refuse.refuseWrites = true;
    c->setFaults(refuse);
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Состояния первой и второй стороны не записаны!");
}
