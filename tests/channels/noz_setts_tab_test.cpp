// The channel settings tab against the virtual controller and on the demo
// image: the lists after a read, the rescaled weights, the save with the
// parameter block written back, the channel change and the failures.
#include "channels_rig.h"
#include "demo_image.h"
#include "protocol_state.h"

#include <QPushButton>

namespace {

using NozSetts_ = ChannelsRig;

// Weights W and Wk (40 bits), the code, the phase mode, 3 adjustments, the reserved byte.
std::vector<uint8_t> Settings(uint64_t w, uint64_t wk, uint16_t code, uint8_t phase) {
    std::vector<uint8_t> b(NozSetts.length, 0);
    for (auto [at, v] : {std::pair{0, w}, {5, wk}}) {
        PutU32(b.data(), at, static_cast<uint32_t>(v));
        b[static_cast<size_t>(at) + 4] = static_cast<uint8_t>(v >> 32);
    }
    PutU32(b.data(), 10, static_cast<uint32_t>(wk - w));
    PutU16(b.data(), 14, code);
    b[16] = phase;
    b[17] = 3;
    b[19] = 0x5C;
    return b;
}

QStringList Weights(const QWidget* tab) {
    QStringList out;
    for (const char* name : {"eImpWLo", "eImpWHi", "eImpWkLo", "eImpWkHi", "eImpWkWLo", "eCountKor"})
        out << tab->findChild<QLineEdit*>(name)->text();
    return out;
}

} // namespace

TEST_F(NozSetts_, ReadSelectsTheItemsOfTheBlockAndRepairsAPhaseOutOfRange) {
    c->poke(0, ChannelAddress(NozSetts, 0), Settings(1ull << 30, (1ull << 30) + (1u << 23), 512, 2));
    c->poke(0, ChannelAddress(NozSetts, 1), Settings(1ull << 30, 1ull << 30, 300, 1));
    c->poke(0, ChannelAddress(NozSetts, 2), Settings(0x123456789A, 0x123456789A, 200, 5));
    loadParams();
    show(setts);
    EXPECT_EQ(status(), "Настройки канала считаны");
    EXPECT_EQ(combo("eImpLit")->currentText(), "256");
    EXPECT_EQ(combo("cbMeterPhaseNozSets")->currentText(), "Одна фаза(2)");
    EXPECT_EQ(Weights(setts), (QStringList{"40000000", "0", "40800000", "0", "800000", "3"}));
    // 300 stands for no item: none is shown, and leaving the list changes nothing.
    choose("cbNumNozSets", 1);
    EXPECT_EQ(combo("eImpLit")->currentIndex(), -1);
    focus(combo("eImpLit"), QEvent::FocusIn);
    focus(combo("eImpLit"), QEvent::FocusOut);
    EXPECT_FALSE(state.nozSetts.changed());
    // Phase mode 5: the message, the first item, and the save right after writes 0.
    choose("cbNumNozSets", 2);
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Ошибка чтения данных о фазах датчика. Количество фаз установлено - 1"});
    EXPECT_EQ(combo("cbMeterPhaseNozSets")->currentText(), "Одна фаза(1)");
    EXPECT_EQ(Weights(setts), (QStringList{"3456789A", "18", "3456789A", "18", "00", "3"}));
    setts->bSaveNozSetsClick();
    EXPECT_EQ(settsOf(2), Settings(0x123456789A, 0x123456789A, 200, 0));
}

TEST_F(NozSetts_, PulsesPerLitreRescaleTheWeightsAndTheSaveWritesThemWithTheParameterBlock) {
    c->poke(0, ChannelAddress(NozSetts, 0), Settings(1ull << 30, 1ull << 30, 200, 0));
    loadParams();
    show(setts);
    const std::vector<uint8_t> params = mem(CtrlrParams.address, CtrlrParams.length);
    choose("eImpLit", 1);
    EXPECT_EQ(Weights(setts), (QStringList{"19000000", "0", "19000000", "0", "00", "3"}));
    choose("eImpLit", 0);
    EXPECT_EQ(Weights(setts), (QStringList{"40000000", "0", "40000000", "0", "00", "3"}));
    choose("eImpLit", 1);
    choose("cbMeterPhaseNozSets", 1);
    type("eImpWkHi", "256"); // the byte cannot hold it: marked, not cut
    EXPECT_TRUE(marked("eImpWkHi"));
    const int writes = c->writeCount();
    setts->bSaveNozSetsClick(); // never written over a marked box
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(c->writeCount(), writes);
    type("eImpWkHi", "0");

    const int restarts = c->restartCount();
    setts->bSaveNozSetsClick();
    EXPECT_EQ(status(), "Настройки канала записаны");
    EXPECT_EQ(settsOf(0), Settings(419430400, 419430400, 512, 1));
    // A restart after the channel write and one after the parameter block went back unchanged.
    EXPECT_EQ(c->restartCount(), restarts + 2);
    EXPECT_EQ(mem(CtrlrParams.address, CtrlrParams.length), params);
    EXPECT_TRUE(dialogs.records.empty());
    setts->bSaveNozSetsClick();
    EXPECT_EQ(status(), "Запись не произведена. Не было изменений параметров");
    EXPECT_EQ(c->restartCount(), restarts + 3);

    // Another channel after an edit, answered OK: the channel read last gets it.
    choose("cbMeterPhaseNozSets", 2);
    choose("cbNumNozSets", 1);
    EXPECT_EQ(dialogs.kinds(), QStringList{"okCancel"});
    EXPECT_EQ(settsOf(0)[16], 2);
    EXPECT_EQ(combo("cbMeterPhaseNozSets")->currentText(), "Одна фаза(1)");
}

TEST_F(NozSetts_, TheWriteHasTheLengthTheControllerReportsAndFailuresReidentify) {
    loadParams();
    show(setts);
    c->poke(0, kAddrSizes + kSizeNozSetts, {24});
    c->poke(0, ChannelAddress(NozSetts, 0) + 20, {0xEE, 0xEE, 0xEE, 0xEE});
    std::vector<uint8_t> want = settsOf(0);
    choose("cbMeterPhaseNozSets", 1);
    setts->bSaveNozSetsClick();
    want[16] = 1;
    want.insert(want.end(), {0, 0, 0, 0});
    EXPECT_EQ(settsOf(0, 24), want);

    // One refused attempt; the parameter block's write-back is tried all the same.
    zelsim::Faults refuse;
    refuse.refuseWrites = true;
    c->setFaults(refuse);
    choose("cbMeterPhaseNozSets", 2);
    setts->bSaveNozSetsClick();
    EXPECT_EQ(dialogs.messages(), (QStringList{"Ошибка записи!", "Ошибка записи",
                                               "Ошибка записи данных в настройки контроллера"}));
    EXPECT_EQ(c->refusedWriteCount(), 2);
    EXPECT_EQ(status(), "Ошибка записи");
    EXPECT_TRUE(state.ReidentifyPending);
    EXPECT_EQ(tabs->currentWidget(), identPage);

    unreadable(ChannelAddress(NozSetts, 0), NozSetts.length);
    dialogs.clear();
    setts->bCallNozSetsClick();
    EXPECT_EQ(dialogs.messages(), QStringList{"Ошибка чтения настроек канала"});
    EXPECT_FALSE(ctl<QPushButton>("bSaveNozSets")->isEnabled());
}

TEST_F(NozSetts_, TheChannelTabsSaveIntoTheDemoImage) {
    zelsim::VirtualController image;
    const auto bytes = image.demoImageBytes();
    WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
    Protocol().demoMode = state.demo = true;
    ASSERT_EQ(LoadDemoImage(), 1);
    ASSERT_EQ(ReadParamCtrlr(state, dialogs), 1);
    state.ParamsLoaded = true;

    // The image has no sizes record: its header gives the channel blocks' sizes.
    show(regs);
    type("ePrice", "1,23");
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Состояние канала записано");
    show(setts);
    choose("cbNumNozSets", 3);
    choose("cbMeterPhaseNozSets", 2);
    setts->bSaveNozSetsClick();
    EXPECT_EQ(status(), "Настройки канала записаны");
    show(sides);
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Состояния первой и второй стороны записаны");
    EXPECT_TRUE(dialogs.messages().isEmpty());
    const std::string file = ReadTextFile("demo_trk.bin");
    ASSERT_EQ(file.size(), bytes.size());
    EXPECT_EQ(file.substr(417 + 32, 2), std::string("\x7B\x00", 2));
    EXPECT_EQ(file[65 + 3 * 20 + 16], 2);
    ReleaseDemoImage();
    ::unlink("demo_trk.bin");
}

// A controller busy for 45 ms after each frame (it writes its memory), on a
// line paced at 4800 baud: each channel save goes through, and the controller
// ignored no frame.
TEST_F(NozSetts_, TheChannelSavesGoThroughToABusyControllerAtTheWireRate) {
    openServerLine(4800);
    zelsim::Faults busy;
    busy.minGapMs = 45;
    c->setFaults(busy);
    loadParams();
    line.clearFrames();

    show(regs);
    type("ePrice", "1,23");
    regs->bSaveNozRegsClick();
    EXPECT_EQ(status(), "Состояние канала записано");
    EXPECT_EQ(GetU16(regsOf(0).data(), 32), 123);
    show(setts);
    choose("cbMeterPhaseNozSets", 2);
    setts->bSaveNozSetsClick();
    EXPECT_EQ(status(), "Настройки канала записаны");
    EXPECT_EQ(settsOf(0)[16], 2);
    show(sides);
    sides->bWriteRegsSidesClick();
    EXPECT_EQ(status(), "Состояния первой и второй стороны записаны");
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("\n").toStdString();
    int refused = 0;
    for (const zelsim::ReceivedFrame& f : line.frames())
        refused += f.refused;
    EXPECT_EQ(refused, 0);
}
