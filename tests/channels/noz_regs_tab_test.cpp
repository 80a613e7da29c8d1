// The channel state tab against the virtual controller: the channel list,
// the formats of a read, what the boxes accept, the save byte for byte, the
// channel change with unsaved edits, the controller's block size and the
// failures.
#include "channels_rig.h"

#include <QListWidget>

namespace {

using NozRegs_ = ChannelsRig;
const char* const kUnsaved =
    "Данные о состоянии были изменены, но не записаны в контроллер!\nВы хотите сохранить данные в контроллер";

// A channel's registers with every field set, the reserved bytes marked.
std::vector<uint8_t> Registers(uint8_t state, uint16_t bits) {
    std::vector<uint8_t> b(NozRegs.length, 0);
    b[0] = 0xA1;
    b[1] = state;
    PutU16(b.data(), 2, bits);
    PutU32(b.data(), 4, 123456);      // SetVol
    PutU32(b.data(), 8, 0);           // SetSum
    PutU32(b.data(), 12, 12345);      // LoadVol
    PutU32(b.data(), 16, 0x12345);    // LoadVolLo
    PutU32(b.data(), 20, 7);          // KVol
    PutU32(b.data(), 24, 5);          // KVolLo
    PutU32(b.data(), 28, 0xFFFFFFFF); // LastVol
    PutU16(b.data(), 32, 0);          // Price
    b[34] = 0xB2;
    b[35] = 0xC3;
    PutU16(b.data(), 36, 65535);      // VolStart
    PutU32(b.data(), 38, 0xFFFFFFFF); // VolEnd
    PutU32(b.data(), 42, 99);         // DCount
    PutU32(b.data(), 46, 1000);       // FCount
    b[50] = 7;                        // FCMil
    PutU32(b.data(), 51, 1);
    PutU32(b.data(), 55, 250);
    PutU32(b.data(), 59, 3);
    PutU32(b.data(), 63, 4);
    b[67] = 0xD4;
    b[68] = 0xE5;
    return b;
}

QStringList Ticked(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->checkState() == Qt::Checked) out << list->item(i)->text();
    return out;
}

void Click(QListWidget* list, int item) {
    QListWidgetItem* it = list->item(item);
    it->setCheckState(it->checkState() == Qt::Checked ? Qt::Unchecked : Qt::Checked);
}

} // namespace

TEST_F(NozRegs_, ChannelListFollowsSidesAndHosesAndNeverPassesTen) {
    show(regs);
    EXPECT_EQ(dialogs.messages(), QStringList{"Ошибка. Не считаны параметры ТРК"});
    EXPECT_EQ(status(), "Ошибка. Не считаны параметры ТРК");
    EXPECT_FALSE(regs->isEnabled());

    loadParams(1, 4);
    state.params.pair.working[27] ^= 0x55; // an unsaved edit of the parameter block
    show(regs);
    EXPECT_TRUE(regs->isEnabled());
    EXPECT_EQ(state.params.pair.working, state.params.pair.asRead);
    QComboBox* list = combo("cbNumCnl");
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->itemText(0), "Сторона А. Рукав 1");
    EXPECT_EQ(list->itemText(3), "Сторона А. Рукав 4");
    EXPECT_EQ(status(), "Состояние канала считано");
    EXPECT_TRUE(button("bSaveNozRegs")->isEnabled());

    // Two sides of six hoses: side B's hoses 5 and 6 would be channels 10 and 11.
    loadParams(2, 6);
    show(regs);
    ASSERT_EQ(list->count(), 10);
    EXPECT_EQ(list->itemText(5), "Сторона А. Рукав 6");
    EXPECT_EQ(list->itemText(6), "Сторона Б. Рукав 1");
    EXPECT_EQ(list->itemText(9), "Сторона Б. Рукав 4");
    show(setts);
    QComboBox* other = combo("cbNumNozSets");
    ASSERT_EQ(other->count(), 10);
    EXPECT_EQ(other->itemText(9), "Сторона Б. Рукав 4");

    // The item's index is the channel: the last item reads 0x2900.
    show(regs);
    std::vector<uint8_t> b = regsOf(9);
    PutU16(b.data(), 32, 1234);
    c->poke(0, ChannelAddress(NozRegs, 9), b);
    choose(list, 9);
    EXPECT_EQ(edit("ePrice")->text(), "12,34");
    EXPECT_EQ(state.currentChannel, 9);
}

TEST_F(NozRegs_, ReadShowsEveryFieldInItsFormat) {
    c->poke(0, ChannelAddress(NozRegs, 0), Registers(44, 0x1088));
    c->poke(0, ChannelAddress(NozRegs, 1), Registers(20, 0x0004));
    c->poke(0, ChannelAddress(NozRegs, 2), Registers(46, 0x0088));
    loadParams();
    show(regs);
    const std::pair<const char*, const char*> shown[] = {
        {"eSetVol", "1234,56"},
        {"eSetSum", "0,00"},
        {"eLoadVol", "123,45"},
        {"eLoadVolLo", "012345"},
        {"eKVol", "0,07"},
        {"eKVolLo", "05"},
        {"eLastVol", "42949672,95"},
        {"ePrice", "0,00"},
        {"eVolStart", "65535"},
        {"eVolEnd", "4294967295"},
        {"eDCount", "0,99"},
        {"eFCount", "1000"},
        {"eFCMil", "07"},
        {"eLCount", "0,01"},
        {"eSCount", "2,50"},
        {"eBCount", "0,03"},
        {"eMCount", "0,04"},
        {"eBitStatHex", "1088"},
    };
    for (auto [name, text] : shown)
        EXPECT_EQ(edit(name)->text(), text) << name;
    EXPECT_TRUE(edit("eLCount")->isReadOnly());
    EXPECT_EQ(combo("cbState")->currentText(), "Нормальное завершение");
    QListWidget* bits = ctl<QListWidget>("checkBitStat");
    EXPECT_EQ(Ticked(bits),
              (QStringList{"Пистолет снят", "Канал активирован", "Дoза задана по протоколу НАРА"}));
    EXPECT_TRUE(dialogs.messages().isEmpty());
    EXPECT_FALSE(state.nozRegs.changed());

    // State 20 has no item; bit 2 ticks both of its items.
    choose(combo("cbNumCnl"), 1);
    EXPECT_EQ(combo("cbState")->currentIndex(), -1);
    EXPECT_EQ(Ticked(bits), (QStringList{"Ошибка питания", "Авария датчика (нет фазы)"}));
    EXPECT_EQ(edit("eBitStatHex")->text(), "04");

    // 0x88 shows in whole bytes after a read, in four digits once the list has
    // rebuilt the word; a click on item 6 alone cannot set the shared bit 2.
    choose(combo("cbNumCnl"), 2);
    EXPECT_EQ(combo("cbState")->currentText(), "Продолжение на повешенный пистолет - ожидание");
    EXPECT_EQ(edit("eBitStatHex")->text(), "88");
    Click(bits, 6);
    EXPECT_EQ(edit("eBitStatHex")->text(), "0088");
    EXPECT_EQ(GetU16(state.nozRegs.working.data(), 2), 0x0088);
    EXPECT_EQ(Ticked(bits), (QStringList{"Пистолет снят", "Канал активирован"}));
    Click(bits, 7);
    EXPECT_EQ(edit("eBitStatHex")->text(), "008C");
    // A word typed in hexadecimal ticks the list again.
    type(edit("eBitStatHex"), "4a00");
    EXPECT_EQ(GetU16(state.nozRegs.working.data(), 2), 0x4A00);
    EXPECT_EQ(Ticked(bits),
              (QStringList{"Управляется БМУ", "Идет отпуск в мерник", "Отображать отпуск \"Полный Бак\""}));
}

TEST_F(NozRegs_, EditsAreStoredAndTheSaveWritesTheBlockByteForByte) {
    c->poke(0, ChannelAddress(NozRegs, 1), Registers(0, 0));
    loadParams();
    show(regs);
    choose(combo("cbNumCnl"), 1);
    std::vector<uint8_t> expected = Registers(0, 0);
    type(edit("ePrice"), "0,5");
    PutU16(expected.data(), 32, 50);
    type(edit("eSetVol"), "12.05");
    PutU32(expected.data(), 4, 1205);
    type(edit("eSetSum"), "42949672,95");
    PutU32(expected.data(), 8, 0xFFFFFFFF);
    type(edit("eLoadVolLo"), "abc");
    PutU32(expected.data(), 16, 0xABC);
    type(edit("eVolStart"), "0");
    PutU16(expected.data(), 36, 0);
    type(edit("eVolEnd"), "2147483647");
    PutU32(expected.data(), 38, 0x7FFFFFFF);
    type(edit("eFCount"), "5");
    PutU32(expected.data(), 46, 5);
    type(edit("eFCMil"), "255");
    expected[50] = 255;
    type(edit("eMCount"), "12");
    PutU32(expected.data(), 63, 1200);
    choose(combo("cbState"), 17);
    expected[1] = 44;
    Click(ctl<QListWidget>("checkBitStat"), 5);
    PutU16(expected.data(), 2, 0x0800);
    EXPECT_EQ(edit("eBitStatHex")->text(), "0800");
    EXPECT_EQ(state.InvalidFieldCount, 0);

    const int restarts = c->restartCount();
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Состояние канала записано");
    EXPECT_EQ(regsOf(1), expected);
    EXPECT_EQ(c->restartCount(), restarts + 1);
    EXPECT_TRUE(dialogs.messages().isEmpty());

    // Nothing changed since: nothing is written.
    const int writes = c->writeCount();
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Запись не произведена. Не было изменений параметров");
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_EQ(c->restartCount(), restarts + 1);
}

TEST_F(NozRegs_, EntriesTheFieldsCannotHoldMarkTheBoxInvalid) {
    loadParams();
    show(regs);
    const std::pair<const char*, const char*> bad[] = {
        {"eVolStart", "65536"},     {"eFCMil", "256"},     {"eBitStatHex", "1FFFF"},
        {"eSetVol", "42949672,96"}, {"ePrice", "655,36"},  {"eVolEnd", "2147483648"},
        {"eFCount", "4294967295"},  {"eSetSum", "12,345"}, {"eKVol", "12,"},
        {"eDCount", ",5"},
    };
    int count = 0;
    for (auto [name, text] : bad) {
        type(edit(name), text);
        EXPECT_EQ(edit(name)->text(), text) << name;
        EXPECT_TRUE(marked(edit(name))) << name;
        EXPECT_EQ(state.InvalidFieldCount, ++count) << name;
    }
    EXPECT_FALSE(state.nozRegs.changed());
    // The ends of the ranges are taken; the box turns white and the count drops.
    type(edit("ePrice"), "655,35");
    EXPECT_FALSE(marked(edit("ePrice")));
    EXPECT_EQ(state.InvalidFieldCount, count - 1);
    EXPECT_EQ(GetU16(state.nozRegs.working.data(), 32), 65535);
    // A box left without typing is not judged, whatever it shows.
    edit("eLoadVol")->setText("x");
    visit(edit("eLoadVol"));
    EXPECT_FALSE(marked(edit("eLoadVol")));
    // A read paints every box white and clears the count.
    regs->bCallNozRegsClick();
    EXPECT_EQ(state.InvalidFieldCount, 0);
    for (auto [name, text] : bad)
        EXPECT_FALSE(marked(edit(name))) << name;
}

TEST_F(NozRegs_, UnreadableStatusWordIsClearedAndTheSaveWritesIt) {
    c->poke(0, ChannelAddress(NozRegs, 0), Registers(5, 0xFFFF));
    loadParams();
    show(regs);
    EXPECT_EQ(dialogs.messages(), QStringList{"Oшибка считывания битового статуса канала!"});
    EXPECT_TRUE(Ticked(ctl<QListWidget>("checkBitStat")).isEmpty());
    EXPECT_EQ(edit("eBitStatHex")->text(), "FFFF");
    EXPECT_EQ(status(), "Состояние канала считано");
    regs->bSaveNozRegsClick();
    std::vector<uint8_t> expected = Registers(5, 0);
    EXPECT_EQ(regsOf(0), expected);
    EXPECT_EQ(status(), "Состояние канала записано");
}

TEST_F(NozRegs_, AnotherChannelAfterEditsAsksAndSavesTheChannelReadLast) {
    loadParams();
    show(regs);
    QComboBox* list = combo("cbNumCnl");
    // No edits: no question.
    choose(list, 1);
    choose(list, 0);
    EXPECT_TRUE(dialogs.kinds().filter("okCancel").isEmpty());

    type(edit("ePrice"), "1,00");
    const int restarts = c->restartCount();
    dialogs.answers.push_back(true);
    choose(list, 1);
    ASSERT_EQ(dialogs.kinds().filter("okCancel").size(), 1);
    EXPECT_EQ(dialogs.records.back().text, kUnsaved);
    EXPECT_EQ(dialogs.records.back().icon, Dialogs::Icon::Warning);
    EXPECT_EQ(GetU16(regsOf(0).data(), 32), 100);
    EXPECT_EQ(c->restartCount(), restarts + 1);
    EXPECT_EQ(edit("ePrice")->text(), "53,00");
    EXPECT_EQ(state.currentChannel, 1);

    // Cancel: nothing is written and the new channel is read over the edits.
    type(edit("ePrice"), "2,00");
    dialogs.answers.push_back(false);
    const int writes = c->writeCount();
    choose(list, 2);
    EXPECT_EQ(dialogs.kinds().filter("okCancel").size(), 2);
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_EQ(GetU16(regsOf(1).data(), 32), 5300);
    EXPECT_EQ(edit("ePrice")->text(), "53,10");
    EXPECT_FALSE(state.nozRegs.changed());
}

TEST_F(NozRegs_, TheWriteHasTheLengthTheControllerReports) {
    loadParams();
    show(regs);
    const std::vector<uint8_t> before = regsOf(0);
    // 72 bytes: the block and three zero bytes.
    c->poke(0, kAddrSizes + kSizeNozRegs, {72});
    c->poke(0, ChannelAddress(NozRegs, 0) + 69, {0xEE, 0xEE, 0xEE});
    type(edit("eSetVol"), "1");
    regs->bSaveNozRegsClick();
    std::vector<uint8_t> expected = before;
    PutU32(expected.data(), 4, 100);
    expected.insert(expected.end(), {0, 0, 0});
    EXPECT_EQ(regsOf(0, 72), expected);

    // 60 bytes: the fields beyond stay as the controller has them.
    c->poke(0, kAddrSizes + kSizeNozRegs, {60});
    type(edit("eSetVol"), "2");
    type(edit("eMCount"), "9");
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Состояние канала записано");
    PutU32(expected.data(), 4, 200);
    EXPECT_EQ(regsOf(0), std::vector<uint8_t>(expected.begin(), expected.begin() + 69));

    // A size of 0 would write nothing and call it done.
    c->poke(0, kAddrSizes + kSizeNozRegs, {0});
    type(edit("eSetVol"), "3");
    const int writes = c->writeCount();
    regs->bSaveNozRegsClick();
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_EQ(dialogs.messages(), (QStringList{"Ошибка чтения размеров параметров", "Ошибка записи"}));
    EXPECT_TRUE(state.ReidentifyPending);
}

TEST_F(NozRegs_, FailuresAreReportedAndNothingReachesTheWrongChannel) {
    loadParams();
    show(regs);
    const std::vector<uint8_t> ch0 = regsOf(0);

    // Three refused attempts.
    type(edit("ePrice"), "7");
    zelsim::Faults f;
    f.refuseWrites = true;
    setFaults(f);
    regs->bSaveNozRegsClick();
    EXPECT_EQ(dialogs.messages(),
              (QStringList{"Ошибка записи!", "Ошибка записи!", "Ошибка записи!", "Ошибка записи"}));
    EXPECT_EQ(status(), "Ошибка записи");
    EXPECT_EQ(c->refusedWriteCount(), 3);
    EXPECT_TRUE(state.ReidentifyPending);
    EXPECT_EQ(tabs->currentWidget(), identPage);
    EXPECT_EQ(regsOf(0), ch0);

    // The sizes record unreadable.
    state.ReidentifyPending = false;
    dialogs.clear();
    f = {};
    f.unreadableFrom = kAddrSizes;
    f.unreadableTo = kAddrSizes + kLenSizes;
    setFaults(f);
    regs->bSaveNozRegsClick();
    EXPECT_EQ(dialogs.messages(), (QStringList{"Ошибка чтения размеров параметров", "Ошибка записи"}));
    EXPECT_TRUE(state.ReidentifyPending);

    // The password step refused: nothing happens.
    setFaults({});
    dialogs.clear();
    state.passwordStep = [] { return false; };
    const int writes = c->writeCount();
    regs->bSaveNozRegsClick();
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_TRUE(dialogs.records.empty());
    state.passwordStep = nullptr;

    // A channel that cannot be read: the save button goes off, and edits made
    // afterwards are never written to it as another channel's block.
    dialogs.answers.push_back(false);
    f = {};
    f.unreadableFrom = ChannelAddress(NozRegs, 1);
    f.unreadableTo = ChannelAddress(NozRegs, 1) + NozRegs.length;
    setFaults(f);
    dialogs.clear();
    choose(combo("cbNumCnl"), 1);
    EXPECT_EQ(dialogs.messages(), QStringList{"Ошибка чтения состояния канала"});
    EXPECT_EQ(status(), "Ошибка чтения состояния канала");
    EXPECT_FALSE(button("bSaveNozRegs")->isEnabled());
    EXPECT_EQ(state.currentChannel, 1);
    setFaults({});
    const std::vector<uint8_t> ch1 = regsOf(1);
    type(edit("eSetVol"), "5");
    dialogs.clear();
    choose(combo("cbNumCnl"), 2);
    EXPECT_TRUE(dialogs.kinds().filter("okCancel").isEmpty());
    EXPECT_EQ(regsOf(1), ch1);
    EXPECT_EQ(regsOf(0), ch0);
    EXPECT_TRUE(button("bSaveNozRegs")->isEnabled());

    // Channel numbers the blocks do not have.
    dialogs.clear();
    EXPECT_EQ(regs->ReadNozRegs(11), -1);
    EXPECT_EQ(regs->SaveNozzleRegs(-1), -1);
    EXPECT_EQ(dialogs.messages(), (QStringList{"Ошибка номера канала", "Ошибка номера канала"}));
}

TEST_F(NozRegs_, EveryTableFindsTheControlsOfItsTab) {
    EXPECT_TRUE(regs->binder().missing().isEmpty()) << regs->binder().missing().join(", ").toStdString();
    EXPECT_TRUE(setts->binder().missing().isEmpty()) << setts->binder().missing().join(", ").toStdString();
    for (int s = 0; s < 2; ++s)
        EXPECT_TRUE(sides->binder(s).missing().isEmpty())
            << sides->binder(s).missing().join(", ").toStdString();
    // A hint reaches its box and the "?" button (or the second control), and the button shows it.
    EXPECT_EQ(edit("eVolEnd")->toolTip(), button("helpVolEnd")->toolTip());
    EXPECT_EQ(ctl<QListWidget>("checkBitStat")->toolTip(), edit("eBitStatHex")->toolTip());
    EXPECT_EQ(edit("eFCMil")->toolTip(),
              "Дробная часть фискального сумматора по данному раздаточному рукаву");
    button("helpVolStart")->click();
    EXPECT_EQ(
        dialogs.messages(),
        QStringList{"Доза отпускаемая в режиме малой производительности в начале отпуска в милилитрах"});
}
