// The channel state tab against the virtual controller: the channel list,
// the formats of a read, what the boxes accept, the save byte for byte, the
// channel change with unsaved edits, the controller's block size, failures.
#include "channels_rig.h"

#include <QListWidget>
#include <QPushButton>

namespace {

using NozRegs_ = ChannelsRig;

// Registers with every field set (offset, width, value) and the reserved bytes marked.
std::vector<uint8_t> Registers(uint8_t state, uint16_t bits) {
    std::vector<uint8_t> b(NozRegs.length, 0);
    const std::tuple<int, int, uint32_t> fields[] = {
        {0, 1, 0xA1},     {1, 1, state},       {2, 2, bits}, {4, 4, 123456},      {12, 4, 12345},
        {16, 4, 0x12345}, {20, 4, 7},          {24, 4, 5},   {28, 4, 0xFFFFFFFF}, {34, 2, 0xC3B2},
        {36, 2, 65535},   {38, 4, 0xFFFFFFFF}, {42, 4, 99},  {46, 4, 1000},       {50, 1, 7},
        {51, 4, 1},       {55, 4, 250},        {59, 4, 3},   {63, 4, 4},          {67, 2, 0xE5D4}};
    for (auto [at, width, v] : fields)
        PutUInt(b.data(), at, width, v);
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
    state.params.pair.working[ctrlrparams::MetTOut.offset] ^=
        0x55; // an unsaved edit of the parameter block is dropped
    show(regs);
    EXPECT_TRUE(regs->isEnabled());
    EXPECT_EQ(state.params.pair.working, state.params.pair.asRead);
    QComboBox* list = combo("cbNumCnl");
    ASSERT_EQ(list->count(), 4);
    EXPECT_EQ(list->itemText(3), "Сторона А. Рукав 4");
    EXPECT_EQ(status(), "Состояние канала считано");

    // Two sides of six hoses: side B's hoses 5 and 6 would be channels 10 and 11.
    loadParams(2, 6);
    for (BlockTab* tab : {static_cast<BlockTab*>(setts), static_cast<BlockTab*>(regs)}) {
        show(tab);
        QComboBox* l = combo(tab == regs ? "cbNumCnl" : "cbNumNozSets");
        ASSERT_EQ(l->count(), 10);
        EXPECT_EQ(l->itemText(5), "Сторона А. Рукав 6");
        EXPECT_EQ(l->itemText(6), "Сторона Б. Рукав 1");
        EXPECT_EQ(l->itemText(9), "Сторона Б. Рукав 4");
    }
    // The item's index is the channel: the last item reads 0x2900.
    c->poke(0, ChannelAddress(NozRegs, 9) + 32, {0xD2, 0x04});
    choose("cbNumCnl", 9);
    EXPECT_EQ(edit("ePrice")->text(), "12,34");
    EXPECT_EQ(state.currentChannel, 9);
}

TEST_F(NozRegs_, ReadShowsEveryFieldInItsFormatAndTheBitsInBothControls) {
    c->poke(0, ChannelAddress(NozRegs, 0), Registers(44, 0x1088));
    c->poke(0, ChannelAddress(NozRegs, 1), Registers(20, 0x0004));
    c->poke(0, ChannelAddress(NozRegs, 2), Registers(46, 0x0088));
    loadParams();
    show(regs);
    const std::pair<const char*, const char*> shown[] = {
        {"eSetVol", "1234,56"},    {"eSetSum", "0,00"},
        {"eLoadVol", "123,45"},    {"eLoadVolLo", "012345"},
        {"eKVol", "0,07"},         {"eKVolLo", "05"},
        {"ePrice", "0,00"},        {"eVolStart", "65535"},
        {"eVolEnd", "4294967295"}, {"eLastVol", "42949672,95"},
        {"eDCount", "0,99"},       {"eFCount", "1000"},
        {"eFCMil", "07"},          {"eLCount", "0,01"},
        {"eSCount", "2,50"},       {"eBitStatHex", "1088"}};
    for (auto [name, text] : shown)
        EXPECT_EQ(edit(name)->text(), text) << name;
    EXPECT_TRUE(edit("eLCount")->isReadOnly());
    EXPECT_EQ(combo("cbState")->currentText(), "Нормальное завершение");
    auto* bits = ctl<QListWidget>("checkBitStat");
    EXPECT_EQ(Ticked(bits),
              (QStringList{"Пистолет снят", "Канал активирован", "Дoза задана по протоколу НАРА"}));
    EXPECT_FALSE(state.nozRegs.changed());

    // State 20 has no item; bit 2 ticks both of its items.
    choose("cbNumCnl", 1);
    EXPECT_EQ(combo("cbState")->currentIndex(), -1);
    EXPECT_EQ(Ticked(bits), (QStringList{"Ошибка питания", "Авария датчика (нет фазы)"}));

    // 0x88 shows in whole bytes after a read, in four digits once the list
    // rebuilt the word; item 6 alone cannot set the shared bit 2, item 7 can.
    choose("cbNumCnl", 2);
    EXPECT_EQ(edit("eBitStatHex")->text(), "88");
    Click(bits, 6);
    EXPECT_EQ(edit("eBitStatHex")->text(), "0088");
    EXPECT_EQ(Ticked(bits), (QStringList{"Пистолет снят", "Канал активирован"}));
    Click(bits, 7);
    EXPECT_EQ(edit("eBitStatHex")->text(), "008C");
    type("eBitStatHex", "4a00"); // a typed word ticks the list again
    EXPECT_EQ(GetU16(state.nozRegs.working.data(), 2), 0x4A00);
    EXPECT_EQ(Ticked(bits),
              (QStringList{"Управляется БМУ", "Идет отпуск в мерник", "Отображать отпуск \"Полный Бак\""}));
}

TEST_F(NozRegs_, EditsAreStoredAndTheSaveWritesTheBlockByteForByteOnce) {
    c->poke(0, ChannelAddress(NozRegs, 0), Registers(0, 0));
    loadParams();
    show(regs);
    std::vector<uint8_t> want = Registers(44, 0x0800);
    const std::tuple<const char*, const char*, int, int, uint32_t> edits[] = {
        {"ePrice", "0,5", 32, 2, 50},
        {"eSetVol", "12.05", 4, 4, 1205},
        {"eSetSum", "42949672,95", 8, 4, 0xFFFFFFFF},
        {"eLoadVolLo", "abc", 16, 4, 0xABC},
        {"eVolStart", "0", 36, 2, 0},
        {"eVolEnd", "2147483647", 38, 4, 0x7FFFFFFF},
        {"eFCount", "5", 46, 4, 5},
        {"eFCMil", "255", 50, 1, 255},
        {"eMCount", "12", 63, 4, 1200}};
    for (auto [box, text, at, width, v] : edits) {
        type(box, text);
        PutUInt(want.data(), at, width, v);
    }
    choose("cbState", 17);
    Click(ctl<QListWidget>("checkBitStat"), 5);
    EXPECT_EQ(edit("eBitStatHex")->text(), "0800");

    const int restarts = c->restartCount();
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Состояние канала записано");
    EXPECT_EQ(regsOf(0), want);
    EXPECT_EQ(c->restartCount(), restarts + 1);
    EXPECT_TRUE(dialogs.records.empty());
    const int writes = c->writeCount();
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Запись не произведена. Не было изменений параметров");
    EXPECT_EQ(c->writeCount(), writes);
}

TEST_F(NozRegs_, EntriesTheFieldsCannotHoldMarkTheBoxInvalidUntilValid) {
    loadParams();
    show(regs);
    const std::pair<const char*, const char*> bad[] = {{"eVolStart", "65536"},    {"eFCMil", "256"},
                                                       {"eBitStatHex", "1FFFF"},  {"eSetVol", "42949672,96"},
                                                       {"ePrice", "655,36"},      {"eVolEnd", "2147483648"},
                                                       {"eFCount", "4294967295"}, {"eSetSum", "12,345"},
                                                       {"eKVol", "12,"},          {"eDCount", ",5"}};
    int count = 0;
    for (auto [box, text] : bad) {
        type(box, text);
        EXPECT_TRUE(marked(box) && edit(box)->text() == text) << box;
        EXPECT_EQ(state.InvalidFieldCount, ++count) << box;
    }
    EXPECT_FALSE(state.nozRegs.changed());
    type("ePrice", "655,35");
    EXPECT_FALSE(marked("ePrice"));
    EXPECT_EQ(state.InvalidFieldCount, count - 1);
    EXPECT_EQ(GetU16(state.nozRegs.working.data(), 32), 65535);
    // A box left without typing is not judged, whatever it shows.
    edit("eLoadVol")->setText("x");
    focus(edit("eLoadVol"), QEvent::FocusIn);
    focus(edit("eLoadVol"), QEvent::FocusOut);
    EXPECT_FALSE(marked("eLoadVol"));
    regs->bCallNozRegsClick(); // a read clears every mark and the count
    EXPECT_EQ(state.InvalidFieldCount, 0);
    EXPECT_FALSE(marked("eVolStart"));
}

// A box the engineer typed a refused value into is never passed over: the
// save, and the save asked for on a channel change, refuse until it is put right.
TEST_F(NozRegs_, ASaveRefusesWhileABoxIsMarked) {
    loadParams();
    show(regs);
    type("ePrice", "2,00");
    type("eSetSum", "12,345");
    type("eSetVol", "99999999999");
    ASSERT_TRUE(marked("eSetSum") && marked("eSetVol"));
    const int writes = c->writeCount();
    const auto before = regsOf(0);
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(c->writeCount(), writes);
    dialogs.clear();
    dialogs.answers = {true};
    choose("cbNumCnl", 1);
    EXPECT_EQ(dialogs.kinds(), QStringList{"okCancel"});
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_EQ(combo("cbNumCnl")->currentIndex(), 0); // the edits stay with their channel
    EXPECT_EQ(edit("ePrice")->text(), "2,00");
    EXPECT_EQ(regsOf(0), before);
    type("eSetSum", "12,34");
    type("eSetVol", "1");
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Состояние канала записано");
    EXPECT_EQ(GetU16(regsOf(0).data(), 32), 200);
    EXPECT_EQ(GetU32(regsOf(0).data(), 8), 1234u);
}

// The channel saves look at the marks first: a marked box refuses without
// the password being asked; a refused password then sends nothing.
TEST_F(NozRegs_, TheMarksComeBeforeThePasswordStep) {
    loadParams();
    show(regs);
    type("eSetSum", "12,345");
    int asked = 0;
    state.passwordStep = [&asked] { return ++asked, false; };
    line.clearFrames();
    regs->bSaveNozRegsClick();
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    type("eSetSum", "12,34");
    regs->bSaveNozRegsClick();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(status(), "");
    EXPECT_TRUE(line.frames().empty());
    EXPECT_TRUE(dialogs.records.empty());
    state.passwordStep = nullptr;
}

TEST_F(NozRegs_, AnUnreadableStatusWordIsClearedAndTheSaveRightAfterWritesIt) {
    c->poke(0, ChannelAddress(NozRegs, 0), Registers(5, 0xFFFF));
    loadParams();
    show(regs);
    EXPECT_EQ(dialogs.messages(), QStringList{"Oшибка считывания битового статуса канала!"});
    EXPECT_TRUE(Ticked(ctl<QListWidget>("checkBitStat")).isEmpty());
    EXPECT_EQ(edit("eBitStatHex")->text(), "FFFF");
    regs->bSaveNozRegsClick();
    EXPECT_EQ(regsOf(0), Registers(5, 0));
}

// A channel whose status word could not be read after one with ticked bits:
// the list shows the cleared word the save writes, not the other channel's bits.
TEST_F(NozRegs_, AnUnreadableStatusWordAfterAnotherChannelClearsItsMarks) {
    c->poke(0, ChannelAddress(NozRegs, 1), Registers(5, 0xFFFF));
    c->poke(0, ChannelAddress(NozRegs, 0), Registers(5, 0x1088));
    loadParams();
    show(regs);
    auto* bits = ctl<QListWidget>("checkBitStat");
    ASSERT_EQ(Ticked(bits).size(), 3);
    choose("cbNumCnl", 1);
    EXPECT_EQ(dialogs.messages(), QStringList{"Oшибка считывания битового статуса канала!"});
    EXPECT_TRUE(Ticked(bits).isEmpty());
    Click(bits, 0); // the word the list makes starts from the cleared word
    EXPECT_EQ(edit("eBitStatHex")->text(), "0008");
    regs->bSaveNozRegsClick();
    EXPECT_EQ(regsOf(1), Registers(5, 0x0008));
}

TEST_F(NozRegs_, AnotherChannelAfterEditsAsksAndOkSavesTheChannelReadLast) {
    loadParams();
    show(regs);
    choose("cbNumCnl", 1); // no edits: no question
    choose("cbNumCnl", 0);
    EXPECT_TRUE(dialogs.records.empty());
    type("ePrice", "1,00");
    dialogs.answers = {true, false};
    choose("cbNumCnl", 1);
    ASSERT_EQ(dialogs.kinds(), QStringList{"okCancel"});
    EXPECT_EQ(dialogs.records[0].text, "Данные о состоянии были изменены, но не записаны в контроллер!\nВы "
                                       "хотите сохранить данные в контроллер");
    EXPECT_EQ(GetU16(regsOf(0).data(), 32), 100);
    EXPECT_EQ(edit("ePrice")->text(), "53,00");
    // Cancel: nothing is written and the new channel is read over the edits.
    type("ePrice", "2,00");
    const int writes = c->writeCount();
    choose("cbNumCnl", 2);
    EXPECT_EQ(dialogs.kinds().size(), 2);
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_EQ(edit("ePrice")->text(), "53,10");
    EXPECT_FALSE(state.nozRegs.changed());
}

TEST_F(NozRegs_, TheWriteHasTheLengthTheControllerReports) {
    loadParams();
    show(regs);
    std::vector<uint8_t> want = regsOf(0);
    c->poke(0, kAddrSizes + kSizeNozRegs, {72});
    c->poke(0, ChannelAddress(NozRegs, 0) + 69, {0xEE, 0xEE, 0xEE});
    type("eSetVol", "1");
    regs->bSaveNozRegsClick();
    PutU32(want.data(), 4, 100);
    want.insert(want.end(), {0, 0, 0});
    EXPECT_EQ(regsOf(0, 72), want);
    // 60 bytes: the fields beyond stay as the controller has them.
    c->poke(0, kAddrSizes + kSizeNozRegs, {60});
    type("eSetVol", "2");
    type("eMCount", "9");
    regs->bSaveNozRegsClick();
    PutU32(want.data(), 4, 200);
    EXPECT_EQ(regsOf(0, 72), want);
    // A size of 0 would write nothing and call it done.
    c->poke(0, kAddrSizes + kSizeNozRegs, {0});
    type("eSetVol", "3");
    regs->bSaveNozRegsClick();
    EXPECT_EQ(dialogs.messages(), (QStringList{"Ошибка чтения размеров параметров", "Ошибка записи"}));
    EXPECT_EQ(GetU32(regsOf(0).data(), 4), 200u);
}

TEST_F(NozRegs_, FailuresAreReportedAndNothingReachesTheWrongChannel) {
    loadParams();
    show(regs);
    const std::vector<uint8_t> ch0 = regsOf(0), ch1 = regsOf(1);
    type("ePrice", "7");
    zelsim::Faults refuse;
    refuse.refuseWrites = true;
    c->setFaults(refuse);
    regs->bSaveNozRegsClick();
    EXPECT_EQ(dialogs.messages(),
              (QStringList{"Ошибка записи!", "Ошибка записи!", "Ошибка записи!", "Ошибка записи"}));
    EXPECT_EQ(status(), "Ошибка записи");
    EXPECT_EQ(c->refusedWriteCount(), 3);
    EXPECT_TRUE(state.ReidentifyPending);
    EXPECT_EQ(tabs->currentWidget(), identPage);

    unreadable(kAddrSizes, kLenSizes);
    dialogs.clear();
    regs->bSaveNozRegsClick();
    EXPECT_EQ(dialogs.messages(), (QStringList{"Ошибка чтения размеров параметров", "Ошибка записи"}));
    unreadable();
    state.passwordStep = [] { return false; };
    dialogs.clear();
    regs->bSaveNozRegsClick();
    EXPECT_TRUE(dialogs.records.empty());
    EXPECT_EQ(regsOf(0), ch0);

    // A channel that cannot be read: the save button goes off, and edits made
    // afterwards never reach it as another channel's block.
    dialogs.answers = {false};
    unreadable(ChannelAddress(NozRegs, 1), NozRegs.length);
    choose("cbNumCnl", 1);
    EXPECT_EQ(dialogs.messages(), QStringList{"Ошибка чтения состояния канала"});
    EXPECT_FALSE(ctl<QPushButton>("bSaveNozRegs")->isEnabled());
    EXPECT_EQ(state.currentChannel, 1);
    unreadable();
    type("eSetVol", "5");
    dialogs.clear();
    choose("cbNumCnl", 2);
    EXPECT_TRUE(dialogs.records.empty());
    EXPECT_EQ(regsOf(1), ch1);
    EXPECT_EQ(regs->ReadNozRegs(11) + regs->SaveNozzleRegs(-1), -2);
    EXPECT_EQ(dialogs.messages(), (QStringList{"Ошибка номера канала", "Ошибка номера канала"}));
}

TEST_F(NozRegs_, EveryTableFindsTheControlsOfItsTab) {
    for (const FieldBinder* b : {&regs->binder(), &setts->binder(), &sides->binder(0), &sides->binder(1)})
        EXPECT_TRUE(b->missing().isEmpty()) << b->missing().join(", ").toStdString();
    EXPECT_EQ(edit("eVolEnd")->toolTip(), ctl("helpVolEnd")->toolTip());
    EXPECT_EQ(ctl("checkBitStat")->toolTip(), edit("eBitStatHex")->toolTip());
    ctl<QPushButton>("helpVolStart")->click();
    EXPECT_EQ(
        dialogs.messages(),
        QStringList{"Доза отпускаемая в режиме малой производительности в начале отпуска в милилитрах"});
}
