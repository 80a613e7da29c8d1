// The channel settings tab against the virtual controller: the lists after a
// read, the rescaling of the pulse weights, the save with the parameter block
// written back, the channel change and the failures.
#include "channels_rig.h"
#include "demo_image.h"
#include "protocol_state.h"

namespace {

using NozSetts_ = ChannelsRig;

// A settings block: weights W and Wk (40 bits), the code, the phase mode, the
// adjustment count and the reserved byte.
std::vector<uint8_t> Settings(uint64_t w, uint64_t wk, uint16_t code, uint8_t phase, uint16_t countKor = 3) {
    std::vector<uint8_t> b(NozSetts.length, 0);
    PutU32(b.data(), 0, static_cast<uint32_t>(w));
    b[4] = static_cast<uint8_t>(w >> 32);
    PutU32(b.data(), 5, static_cast<uint32_t>(wk));
    b[9] = static_cast<uint8_t>(wk >> 32);
    PutU32(b.data(), 10, static_cast<uint32_t>(wk - w));
    PutU16(b.data(), 14, code);
    b[16] = phase;
    PutU16(b.data(), 17, countKor);
    b[19] = 0x5C;
    return b;
}

QStringList Texts(const QWidget* tab) {
    QStringList out;
    for (const char* name : {"eImpWLo", "eImpWHi", "eImpWkLo", "eImpWkHi", "eImpWkWLo", "eCountKor"})
        out << tab->findChild<QLineEdit*>(name)->text();
    return out;
}

} // namespace

TEST_F(NozSetts_, ReadSelectsTheItemsOfTheBlockAndRepairsAPhaseOutOfRange) {
    c->poke(0, ChannelAddress(NozSetts, 0), Settings(1ull << 30, (1ull << 30) + (1u << 23), 512, 2, 7));
    c->poke(0, ChannelAddress(NozSetts, 1), Settings(1ull << 30, 1ull << 30, 300, 1));
    c->poke(0, ChannelAddress(NozSetts, 2), Settings(0x123456789A, 0x123456789A, 200, 5));
    loadParams();
    show(setts);
    EXPECT_EQ(status(), "Настройки канала считаны");
    EXPECT_TRUE(button("bSaveNozSets")->isEnabled());
    EXPECT_EQ(combo("eImpLit")->currentText(), "256");
    EXPECT_EQ(combo("cbMeterPhaseNozSets")->currentText(), "Одна фаза(2)");
    // The hidden panel is filled all the same.
    EXPECT_EQ(Texts(setts), (QStringList{"40000000", "0", "40800000", "0", "800000", "7"}));
    EXPECT_TRUE(edit("eCountKor")->isReadOnly());

    // 300 stands for no item: none is shown, and leaving the list changes nothing.
    choose(combo("cbNumNozSets"), 1);
    EXPECT_EQ(combo("eImpLit")->currentIndex(), -1);
    visit(combo("eImpLit"));
    EXPECT_FALSE(state.nozSetts.changed());
    EXPECT_EQ(combo("cbMeterPhaseNozSets")->currentText(), "Две фазы");

    // Phase mode 5: the message, the first item, and the save writes 0.
    choose(combo("cbNumNozSets"), 2);
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Ошибка чтения данных о фазах датчика. Количество фаз установлено - 1"});
    EXPECT_EQ(combo("cbMeterPhaseNozSets")->currentText(), "Одна фаза(1)");
    EXPECT_EQ(Texts(setts), (QStringList{"3456789A", "18", "3456789A", "18", "00", "3"}));
    setts->bSaveNozSetsClick();
    EXPECT_EQ(settsOf(2), Settings(0x123456789A, 0x123456789A, 200, 0));
    EXPECT_EQ(status(), "Настройки канала записаны");
}

TEST_F(NozSetts_, PulsesPerLitreRescaleTheWeightsAndTheSaveWritesThemWithTheParameterBlock) {
    c->poke(0, ChannelAddress(NozSetts, 0), Settings(1ull << 30, 1ull << 30, 200, 0));
    loadParams();
    show(setts);
    const std::vector<uint8_t> params = mem(CtrlrParams.address, CtrlrParams.length);
    QComboBox* imp = combo("eImpLit");
    ASSERT_EQ(imp->currentText(), "100");
    choose(imp, 1);
    EXPECT_EQ(Texts(setts), (QStringList{"19000000", "0", "19000000", "0", "00", "3"}));
    choose(imp, 0);
    EXPECT_EQ(Texts(setts), (QStringList{"40000000", "0", "40000000", "0", "00", "3"}));
    choose(imp, 1);
    choose(combo("cbMeterPhaseNozSets"), 1);

    const int restarts = c->restartCount();
    setts->bSaveNozSetsClick();
    EXPECT_EQ(status(), "Настройки канала записаны");
    EXPECT_EQ(settsOf(0), Settings(419430400, 419430400, 512, 1));
    // The controller restarts after the channel write and after the parameter
    // block went back unchanged.
    EXPECT_EQ(c->restartCount(), restarts + 2);
    EXPECT_EQ(mem(CtrlrParams.address, CtrlrParams.length), params);
    EXPECT_TRUE(dialogs.messages().isEmpty());

    // Nothing changed: no channel write, the parameter block is still written back.
    setts->bSaveNozSetsClick();
    EXPECT_EQ(status(), "Запись не произведена. Не было изменений параметров");
    EXPECT_EQ(c->restartCount(), restarts + 3);
    EXPECT_EQ(settsOf(0), Settings(419430400, 419430400, 512, 1));
}

TEST_F(NozSetts_, WeightBoxesTakeWhatTheirFieldsHold) {
    loadParams();
    show(setts);
    type(edit("eImpWHi"), "256");
    EXPECT_TRUE(marked(edit("eImpWHi")));
    EXPECT_EQ(state.InvalidFieldCount, 1);
    type(edit("eImpWHi"), "255");
    EXPECT_FALSE(marked(edit("eImpWHi")));
    type(edit("eImpWkWLo"), "ffffffff");
    type(edit("eImpWLo"), "1");
    EXPECT_EQ(state.InvalidFieldCount, 0);
    const uint8_t* b = state.nozSetts.working.data();
    EXPECT_EQ(b[4], 255);
    EXPECT_EQ(GetU32(b, 10), 0xFFFFFFFFu);
    EXPECT_EQ(GetU32(b, 0), 1u);
    // A rescaling refreshes the weight boxes but leaves their marks alone.
    type(edit("eImpWkHi"), "300");
    choose(combo("eImpLit"), 3);
    EXPECT_TRUE(marked(edit("eImpWkHi")));
    EXPECT_EQ(edit("eImpWkHi")->text(), "0");
    EXPECT_EQ(edit("eImpWkLo")->text(), "40000000");
}

TEST_F(NozSetts_, AnotherChannelAfterEditsSavesTheChannelReadLast) {
    loadParams();
    show(setts);
    const std::vector<uint8_t> ch1 = settsOf(1);
    choose(combo("cbMeterPhaseNozSets"), 2);
    dialogs.answers.push_back(true);
    choose(combo("cbNumNozSets"), 1);
    ASSERT_EQ(dialogs.kinds(), QStringList{"okCancel"});
    EXPECT_EQ(settsOf(0)[16], 2);
    EXPECT_EQ(settsOf(1), ch1);
    EXPECT_EQ(state.currentChannel, 1);
    EXPECT_EQ(combo("cbMeterPhaseNozSets")->currentText(), "Одна фаза(1)");

    // The current channel is the one either tab read last.
    loadParams();
    show(regs);
    EXPECT_EQ(state.currentChannel, 0);
}

TEST_F(NozSetts_, TheWriteHasTheLengthTheControllerReportsAndFailuresReidentify) {
    loadParams();
    show(setts);
    c->poke(0, kAddrSizes + kSizeNozSetts, {24});
    c->poke(0, ChannelAddress(NozSetts, 0) + 20, {0xEE, 0xEE, 0xEE, 0xEE});
    std::vector<uint8_t> expected = settsOf(0);
    choose(combo("cbMeterPhaseNozSets"), 1);
    setts->bSaveNozSetsClick();
    expected[16] = 1;
    expected.insert(expected.end(), {0, 0, 0, 0});
    EXPECT_EQ(settsOf(0, 24), expected);

    // A refused write: one attempt, the messages, re-identification; the
    // parameter block's write-back is tried all the same.
    zelsim::Faults f;
    f.refuseWrites = true;
    setFaults(f);
    choose(combo("cbMeterPhaseNozSets"), 2);
    setts->bSaveNozSetsClick();
    EXPECT_EQ(dialogs.messages(), (QStringList{"Ошибка записи!", "Ошибка записи",
                                               "Ошибка записи данных в настройки контроллера"}));
    EXPECT_EQ(c->refusedWriteCount(), 2);
    EXPECT_EQ(status(), "Ошибка записи");
    EXPECT_TRUE(state.ReidentifyPending);
    EXPECT_EQ(tabs->currentWidget(), identPage);
    EXPECT_EQ(settsOf(0)[16], 1);

    // A read that fails keeps the save button off.
    f = {};
    f.unreadableFrom = ChannelAddress(NozSetts, 0);
    f.unreadableTo = f.unreadableFrom + NozSetts.length;
    setFaults(f);
    dialogs.clear();
    setts->bCallNozSetsClick();
    EXPECT_EQ(dialogs.messages(), QStringList{"Ошибка чтения настроек канала"});
    EXPECT_FALSE(button("bSaveNozSets")->isEnabled());
}

TEST_F(NozSetts_, TheChannelTabsSaveIntoTheDemoImage) {
    zelsim::VirtualController image;
    const auto bytes = image.demoImageBytes();
    WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
    Protocol().demoMode = true;
    state.demo = true;
    ASSERT_EQ(LoadDemoImage(), 1);
    ASSERT_EQ(ReadParamCtrlr(state, dialogs), 1);
    state.ParamsLoaded = true;

    // The image has no sizes record: its header gives the channel blocks' sizes.
    show(regs);
    type(edit("ePrice"), "1,23");
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Состояние канала записано");
    show(setts);
    choose(combo("cbNumNozSets"), 3);
    choose(combo("cbMeterPhaseNozSets"), 2);
    setts->bSaveNozSetsClick();
    EXPECT_EQ(status(), "Настройки канала записаны");
    show(sides);
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Состояния первой и второй стороны записаны");
    EXPECT_TRUE(dialogs.messages().isEmpty());

    const std::string file = ReadTextFile("demo_trk.bin");
    ASSERT_EQ(file.size(), bytes.size());
    EXPECT_EQ(static_cast<uint8_t>(file[417 + 32]), 123);
    EXPECT_EQ(static_cast<uint8_t>(file[417 + 33]), 0);
    EXPECT_EQ(static_cast<uint8_t>(file[65 + 3 * 20 + 16]), 2);
    ReleaseDemoImage();
    ::unlink("demo_trk.bin");
}
