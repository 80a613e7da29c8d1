// The controller settings tab against the virtual controller: read, repairs,
// number boxes, choice boxes, the save and its steps.
#include "settings_rig.h"

#include "ctrl_params_core.h"

#include <QListWidget>
#include <QPushButton>

using Params = SettingsRig;
using namespace settings;

TEST_F(Params, ReadFillsTheTab) {
    open();
    read();
    EXPECT_TRUE(dialogs.messages().isEmpty()) << dialogs.messages().join("|").toStdString();
    EXPECT_EQ(status(), "Параметры успешно считаны");
    EXPECT_TRUE(state.ParamsLoaded);
    EXPECT_TRUE(ctl("bSetParam")->isEnabled());
    EXPECT_EQ(combo("cbSpeedTrk")->currentText(), "4800");
    EXPECT_FALSE(combo("cbSpeedTrk")->isEnabled());
    EXPECT_EQ(combo("cbCountSideTrk")->currentText(), "2");
    EXPECT_EQ(combo("cbCountNozTrk")->currentText(), "4");
    EXPECT_EQ(combo("ImpE")->currentText(), "100");
    EXPECT_EQ(combo("cbPhaseMet")->currentText(), "одна фаза(1)");
    EXPECT_EQ(combo("cbTypeTbl")->currentText(), "TBL-209-17");
    EXPECT_EQ(edit("eSlowStart")->text(), "100");
    EXPECT_EQ(edit("eSlowLoad")->text(), "300");
    EXPECT_EQ(edit("eNozzleFat")->text(), "300");
    EXPECT_EQ(edit("eMetTOut")->text(), "15");
    EXPECT_EQ(edit("eAdrTrk_1")->text(), "1");
    EXPECT_EQ(edit("eAdrTrk_2")->text(), "2");
    EXPECT_EQ(cells(grid("sgAdrNaraTrk_1")), QStringList({"1", "2", "3", "4"}));
    EXPECT_EQ(cells(grid("sgAdrNaraTrk_2")), QStringList({"5", "6", "7", "8"}));
    EXPECT_EQ(cells(grid("sgPhysToLogTrk_1")), QStringList({"0", "1", "2", "3"}));
    EXPECT_EQ(cells(grid("sgPhysToLogTrk_2")), QStringList({"4", "5", "6", "7"}));
    EXPECT_EQ(grid("sgAdrNaraTrk_1")->width(), gridWidth(grid("sgAdrNaraTrk_1"), 4));
    auto* modes = ctl<QListWidget>("checkbTrkModes");
    EXPECT_EQ(modes->item(0)->checkState(), Qt::Checked);   // bit 0
    EXPECT_EQ(modes->item(9)->checkState(), Qt::Checked);   // bit 10
    EXPECT_EQ(modes->item(11)->checkState(), Qt::Checked);  // bit 12
    EXPECT_EQ(modes->item(8)->checkState(), Qt::Unchecked); // bit 9
    EXPECT_EQ(edit("eTemp_heat_low")->text(), "5");
    EXPECT_EQ(edit("ePcTimeout")->text(), "30");
    EXPECT_EQ(BlockSizes()[0], 58);
}

TEST_F(Params, OtherBlockLengthsWarnAndAreWrittenBackWithTheirLength) {
    for (int len : {57, 59}) {
        SCOPED_TRACE(len);
        if (!frame) open();
        setParams({}, len);
        c->poke(0, CtrlrParams.address + len, {0xA5}); // just beyond the block
        dialogs.clear();
        read();
        ASSERT_EQ(dialogs.messages(), QStringList({kSizeWarning}));
        type(edit("eMetTOut"), QString::number(len - 30));
        const int restarts = c->restartCount();
        save();
        EXPECT_EQ(status(), "Параметры успешно записаны");
        auto p = params(len);
        EXPECT_EQ(p[kMetTOut], len - 30);
        EXPECT_EQ(p.back(), FrameChecksum(p.data(), p.size() - 1));
        EXPECT_EQ(c->peek(0, CtrlrParams.address + len, 1)[0], 0xA5);
        EXPECT_EQ(c->restartCount(), restarts + 1);
    }
}

TEST_F(Params, NumberBoxesBoundsStoresAndReadBack) {
    open();
    read();
    type(edit("eMetTOut"), "256");
    EXPECT_TRUE(FieldCheck::red(edit("eMetTOut")));
    EXPECT_EQ(edit("eMetTOut")->property("Tag").toInt(), 1);
    EXPECT_EQ(state.InvalidFieldCount, 1);
    type(edit("eMetTOut"), "257"); // still invalid: counted once
    EXPECT_EQ(state.InvalidFieldCount, 1);
    const int writes = c->writeCount();
    save();
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(c->writeCount(), writes);
    visit(edit("eMetTOut")); // not edited: no check
    EXPECT_EQ(state.InvalidFieldCount, 1);
    type(edit("eMetTOut"), "255");
    EXPECT_FALSE(FieldCheck::red(edit("eMetTOut")));
    EXPECT_EQ(state.InvalidFieldCount, 0);

    type(edit("eSlowLoad"), "150");
    type(edit("eNozzleFat"), "2559");
    type(edit("eSlowStart"), "25500");
    save();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    // The boxes show what was stored, not what was typed.
    EXPECT_EQ(edit("eSlowLoad")->text(), "100");
    EXPECT_EQ(edit("eNozzleFat")->text(), "2550");
    auto p = params();
    EXPECT_EQ(p[kMetTOut], 255);
    EXPECT_EQ(p[kSlowLoad], 1);
    EXPECT_EQ(p[kNozzleFat], 255);
    EXPECT_EQ(p[kSlowStart], 255);
    read();
    EXPECT_EQ(edit("eSlowLoad")->text(), "100");
    EXPECT_TRUE(ctl<QCheckBox>("ImmBox")->isChecked());
    EXPECT_EQ(edit("eSlowStart")->text(), "255");
    EXPECT_FALSE(edit("eSlowStart")->isEnabled());
    type(edit("eSlowLoad"), "25600");
    EXPECT_EQ(state.InvalidFieldCount, 1);
    read(); // a read clears every mark
    EXPECT_EQ(state.InvalidFieldCount, 0);
    EXPECT_FALSE(FieldCheck::red(edit("eSlowLoad")));
}

TEST_F(Params, ImmBoxAndSlowStart) {
    open();
    read();
    ctl<QCheckBox>("ImmBox")->click();
    EXPECT_FALSE(edit("eSlowStart")->isEnabled());
    EXPECT_EQ(tab->params().working[kSlowStart], 255);
    ctl<QCheckBox>("ImmBox")->click();
    EXPECT_TRUE(edit("eSlowStart")->isEnabled());
    EXPECT_EQ(tab->params().working[kSlowStart], 0);
}

TEST_F(Params, WrongSpeedIsRepairedAndTheNextSaveWritesAndReidentifies) {
    setParams({{kSpeed1, 4}});
    open();
    read();
    EXPECT_EQ(dialogs.messages(), QStringList({kSpeedWarning}));
    EXPECT_EQ(combo("cbSpeedTrk")->currentText(), "4800");
    save();
    EXPECT_EQ(params()[kSpeed1], 3);
    EXPECT_TRUE(state.ReidentifyPending);
    EXPECT_EQ(tabs->currentWidget()->objectName(), "TabIdent");
    EXPECT_EQ(state.portSettings.baud, 4800u); // SpeedChanged comes only from leaving cbSpeedTrk
    EXPECT_EQ(status(), "Параметры успешно записаны");
}

TEST_F(Params, ReadRepairsOfMeterPhasesMaskAndChecksum) {
    setParams({{kMeterType, 9}, {kMeterPhase, 7}, {kModeMask, 0xFF}, {kModeMask + 1, 0xFF}});
    auto p = params();
    p.back() ^= 0x55;
    c->poke(0, CtrlrParams.address, p);
    open();
    read();
    EXPECT_EQ(dialogs.messages(),
              QStringList({kMeterWarning, kPhaseWarning, kMaskWarning, kChecksumWarning}));
    EXPECT_EQ(combo("ImpE")->currentText(), "100");
    EXPECT_EQ(combo("cbPhaseMet")->currentText(), "две фазы");
    EXPECT_EQ(tab->params().working[kMeterType], 0);
    EXPECT_EQ(tab->params().working[kMeterPhase], 1);
    EXPECT_TRUE(tab->params().changed());
}

TEST_F(Params, SecondUnchangedSaveWritesNothing) {
    open();
    read();
    type(edit("eNozzleFat"), "100");
    save();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    const int writes = c->writeCount();
    const int restarts = c->restartCount();
    save();
    EXPECT_EQ(status(), "Запись не произведена. Не было изменений параметров");
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_EQ(c->restartCount(), restarts);
}

TEST_F(Params, AddressInUseAsksAndCancelWritesNothing) {
    setParams({{kSideCount, 1}});
    line.addController(9);
    open();
    read();
    type(edit("eAdrTrk_1"), "9");
    dialogs.answers.push_back(false);
    const int writes = c->writeCount();
    save();
    ASSERT_EQ(dialogs.kinds().count("okCancel"), 1);
    EXPECT_TRUE(dialogs.records.back().text.contains("Выбранный вами адрес уже используется!"));
    EXPECT_EQ(dialogs.records.back().text,
              "                             ВНИМАНИЕ!\n\r Выбранный вами адрес уже используется!\n\r Если вы "
              "продолжите программирование, связь\n\r                      с этими ТРК пропадет!\n\r         "
              "       "
              "    Вы хотите продолжить?");
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_EQ(params()[kAddrSideA], 1);

    dialogs.answers.push_back(true);
    save();
    EXPECT_EQ(params()[kAddrSideA], 9);
    EXPECT_EQ(state.controllerNumber, 9);
    EXPECT_TRUE(state.AddressChanged);
    EXPECT_EQ(number->text(), "Работа с Адресом №9");
    EXPECT_EQ(tabs->currentWidget()->objectName(), "TabIdent");
}

// A new side A address: the controller is looked for there after the
// restart, then at its old address, whatever the restart answered; the
// working number follows it.
TEST_F(Params, AnAddressChangeFollowsTheControllerWhereItAnswers) {
    setParams({{kSideCount, 1}});
    open();
    read();
    c->setFaults({.silentRestart = true});
    type(edit("eAdrTrk_1"), "4");
    save();
    EXPECT_EQ(c->address(), 4);
    EXPECT_EQ(state.controllerNumber, 4);
    EXPECT_EQ(number->text(), "Работа с Адресом №4");

    // A controller that keeps its address over the restart is kept where it answers.
    c->setFaults({});
    c->setAdoptAddressOnRestart(false);
    read();
    type(edit("eAdrTrk_1"), "6");
    save();
    EXPECT_EQ(params()[kAddrSideA], 6);
    EXPECT_EQ(c->address(), 4);
    EXPECT_EQ(state.controllerNumber, 4);
    EXPECT_EQ(number->text(), "Работа с Адресом №4");
}

TEST_F(Params, DemoAddressChangeNeverProbes) {
    setParams({{kSideCount, 1}});
    open();
    read();
    state.demo = true;
    type(edit("eAdrTrk_1"), "7");
    line.clearFrames();
    save();
    for (const auto& f : line.frames())
        EXPECT_FALSE(f.kind == zelsim::FrameKind::Command && f.bytes.size() > 2 && f.bytes[2] == 0x21)
            << "probe sent";
    EXPECT_FALSE(state.AddressChanged);
}

TEST_F(Params, PasswordStepRefusingWritesNothing) {
    open();
    read();
    type(edit("eNozzleFat"), "100");
    state.passwordStep = [] { return false; };
    const int writes = c->writeCount();
    save();
    EXPECT_EQ(c->writeCount(), writes);
    state.passwordStep = nullptr;
}

TEST_F(Params, WriteFailureReportsAndReidentifies) {
    open();
    read();
    type(edit("eNozzleFat"), "100");
    zelsim::Faults f;
    f.refuseWrites = true;
    c->setFaults(f);
    save();
    EXPECT_TRUE(dialogs.messages().contains("Ошибка записи!"));
    EXPECT_EQ(status(), "Ошибка записи!");
    EXPECT_TRUE(state.ReidentifyPending);
    EXPECT_TRUE(tab->params().changed()); // the next save writes again
}

TEST_F(Params, NorthModeKeepsFiveNozzlesOnlyForDeviceType39) {
    setParams({{kModeMask + 1, 0x94}});
    open();
    read();
    EXPECT_EQ(combo("cbCountNozTrk")->count(), 1);
    EXPECT_EQ(tab->params().working[kNozzlesPerSide], 1);
    state.DeviceType = 39;
    read();
    EXPECT_EQ(combo("cbCountNozTrk")->count(), 5);
    EXPECT_EQ(combo("cbCountNozTrk")->currentText(), "4");
    // Unticking North mode brings the list back; bit 8 is never set by the list.
    state.DeviceType = 0x21;
    auto* modes = ctl<QListWidget>("checkbTrkModes");
    modes->item(14)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(combo("cbCountNozTrk")->count(), 5);
    EXPECT_EQ(GetU16(tab->params().working.data(), kModeMask), 0x1401);
    modes->item(14)->setCheckState(Qt::Checked);
    EXPECT_EQ(combo("cbCountNozTrk")->count(), 1);
}

TEST_F(Params, LeavingManualPhasesAsks) {
    setParams({{kMeterPhase, 3}});
    open();
    read();
    dialogs.answers.push_back(false);
    choose(combo("cbPhaseMet"), 1);
    EXPECT_EQ(dialogs.records.back().kind, "okCancel");
    EXPECT_TRUE(dialogs.records.back().text.startsWith(
        "                             ВНИМАНИЕ!\n\r Выставлен ручной"));
    EXPECT_EQ(combo("cbPhaseMet")->currentIndex(), 3);
    EXPECT_EQ(tab->params().working[kMeterPhase], 3);
    choose(combo("cbPhaseMet"), 2); // OK
    EXPECT_EQ(tab->params().working[kMeterPhase], 2);
}

TEST_F(Params, ChoiceBoxesStoreTheirBytes) {
    open();
    read();
    choose(combo("ImpE"), 4);
    EXPECT_EQ(tab->params().working[kMeterType], 255);
    choose(combo("cbTypeTbl2"), 12);
    EXPECT_EQ(tab->params().working[kDisplayTypes], 0xC6);
    choose(combo("cbSpeed2CnlTrk"), 0);
    EXPECT_EQ(tab->params().working[kSpeed2], 0);
}

TEST_F(Params, SaveBringsTheChannelsToTheNewMeterType) {
    open();
    read();
    choose(combo("ImpE"), 1); // 256 pulses per litre
    choose(combo("cbPhaseMet"), 1);
    save();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    for (int ch = 0; ch < 8; ++ch) {
        auto b = c->peek(0, 0x1000 + 0x100 * ch, 20);
        EXPECT_EQ(b[14] | b[15] << 8, 512) << ch;
        EXPECT_EQ(b[16], 1) << ch;
    }
    EXPECT_EQ(c->peek(0, 0x1000 + 0x100 * 8, 20)[14], 200); // beyond 4 x 2 channels
    EXPECT_EQ(params()[kMeterType], 1);
}

TEST_F(Params, ShowBeforeIdentificationRefuses) {
    open();
    state.Identified = false;
    tab->TabCtrlrSettsShow();
    EXPECT_EQ(dialogs.messages(), QStringList({"Идентификатор не считан! Считайте идентификатор"}));
    EXPECT_EQ(status(), "Идентификатор не считан! Считайте идентификатор");
    EXPECT_FALSE(ctl("bGetParam")->isEnabled());
    EXPECT_FALSE(state.ParamsLoaded);
    state.Identified = true;
    tab->TabCtrlrSettsShow();
    EXPECT_TRUE(state.ParamsLoaded);
    EXPECT_TRUE(ctl("bSetParam")->isEnabled());
}

TEST_F(Params, ReadFailureDisablesTheSave) {
    open();
    zelsim::Faults f;
    f.noAnswer = true;
    c->setFaults(f);
    read();
    EXPECT_EQ(dialogs.messages(), QStringList({"Ошибка чтения параметров"}));
    EXPECT_EQ(status(), "Ошибка чтения параметров");
    EXPECT_FALSE(ctl("bSetParam")->isEnabled());
    EXPECT_FALSE(state.ParamsLoaded);
}

TEST_F(Params, HelpButtonsShowTheirHint) {
    open();
    ctl<QPushButton>("helpPhaseMet")->click();
    ASSERT_EQ(dialogs.messages().size(), 1);
    EXPECT_EQ(
        dialogs.messages().front(),
        "Параметр пересчета импульсов датчика расходомера.\r- Одна фаза(1) - пересчет по первой фазе, вторая "
        "игнорируется\r- Две фазы - пересчет по обеим фазам\r- Одна фаза(2) - пересчет по второй фазе, "
        "первая "
        "игнорируется\r- Ручной режим - отдельно для каждого раздачтоного рукава, устанавливается в "
        "\"Настройках канала\"");
    EXPECT_EQ(combo("cbPhaseMet")->toolTip(), dialogs.messages().front());
    EXPECT_EQ(ctl("bSetParam")->toolTip(), "Записать настройки в устройство");
}

TEST_F(Params, Met2CtrlrSetWritesTheWorkingCopyBack) {
    open();
    read();
    tab->params().working[kMetTOut] = 33;
    const int restarts = c->restartCount();
    EXPECT_EQ(tab->Met2CtrlrSet(), 0);
    auto p = params();
    EXPECT_EQ(p[kMetTOut], 33);
    EXPECT_EQ(p.back(), FrameChecksum(p.data(), 57));
    EXPECT_EQ(c->restartCount(), restarts + 1);
    EXPECT_FALSE(tab->params().changed());
}

// The password step comes before the marks: a refused password leaves the
// status line as it was; a mark refuses only once the password went through,
// and nothing is written either way.
TEST_F(Params, ThePasswordStepComesBeforeTheMarks) {
    open();
    read();
    type(edit("eMetTOut"), "256");
    int asked = 0;
    bool allow = false;
    state.passwordStep = [&] { return ++asked, allow; };
    const int writes = c->writeCount();
    save();
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(status(), "Параметры успешно считаны");
    allow = true;
    save();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(c->writeCount(), writes);
    state.passwordStep = nullptr;
}
