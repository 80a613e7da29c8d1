// The advanced settings tab against the virtual controller.
#include "settings_rig.h"

#include "ctrl_params_core.h"
#include "demo_image.h"
#include "nara_core.h"
#include "protocol_state.h"

#include <QListWidget>

using Adv = SettingsRig;
using namespace settings;

namespace {

std::vector<uint8_t> NaraBlock() {
    std::vector<uint8_t> b(128, 0);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<uint8_t>(0x80 + i); // carried bytes with a pattern
    b[kNaraFlags] = 0x06;
    b[kShimDuration] = 5;
    b[kMinVolNara] = 0x2C; // 300
    b[kMinVolNara + 1] = 0x01;
    b[kStWaitForceNara] = 10;
    b[kValveDelay] = 3;
    b[kPrcShift] = 2;
    b[kUpgrCountNara] = 7;
    b[kUpgrCountNara + 1] = 0;
    b[kPbTimeoutNara] = 20;
    for (int k = 0; k < 4; ++k)
        PutU32(b.data(), kBmuPUser + 4 * k, 1111u * static_cast<uint32_t>(k + 1));
    PutU32(b.data(), kBmuPAdm, 123456u);
    return b;
}

} // namespace

class AdvTab : public SettingsRig {
protected:
    void show() {
        c->poke(0, NaraSpecific.address, NaraBlock());
        open();
        tabs->setCurrentWidget(adv);
        adv->TabAdvSetShow();
    }
    std::vector<uint8_t> nara() const { return c->peek(0, NaraSpecific.address, NaraSpecific.length); }
};

TEST_F(AdvTab, ShowReadsBothBlocks) {
    show();
    EXPECT_EQ(status(), "Параметры были успешно считаны");
    EXPECT_TRUE(ctl("bSetAdvSetTrk")->isEnabled());
    EXPECT_TRUE(state.ParamsLoaded);
    EXPECT_EQ(edit("eMinVolNara")->text(), "300");
    EXPECT_EQ(edit("eShimDuration")->text(), "5");
    EXPECT_EQ(edit("evalve_delay")->text(), "3");
    EXPECT_EQ(edit("PrcShift")->text(), "2");
    EXPECT_EQ(edit("eUpgrCountNara")->text(), "7");
    EXPECT_TRUE(edit("eUpgrCountNara")->isReadOnly());
    EXPECT_EQ(edit("eBmuPAdm")->text(), "123456");
    EXPECT_EQ(combo("cbBmuPUser")->count(), 4);
    EXPECT_EQ(combo("cbBmuPUser")->itemText(3), "4444");
    EXPECT_EQ(combo("cbBmuPUser")->currentText(), "1111");
    EXPECT_TRUE(ctl<QRadioButton>("RGDot_1")->isChecked()); // 0x06: "РРР.К"
    EXPECT_EQ(edit("eTemp_heat_low")->text(), "5");
    EXPECT_EQ(edit("eTemp_heat_high")->text(), "15");
    EXPECT_EQ(edit("ePcTimeout")->text(), "30");
    EXPECT_EQ(ctl<QLabel>("lHydroHit")->text(), "Буфер перелива, мл");
    EXPECT_FALSE(adv->nara().changed());
}

TEST_F(AdvTab, BoxesBoundsAndStores) {
    show();
    struct Case {
        const char* box;
        const char* text;
        bool valid;
    };
    const Case cases[] = {
        {"eMinSpTime", "0", true},        {"eMinSpTime", "1", false},       {"eMinSpTime", "2", false},
        {"eMinSpTime", "3", true},        {"eMinSpTime", "181", false},     {"eMinSpTime", "180", true},
        {"ePcTimeout", "2", false},       {"ePcTimeout", "61", false},      {"ePcTimeout", "0", true},
        {"ePcTimeout", "60", true},       {"eMinVolNara", "9", false},      {"eMinVolNara", "501", false},
        {"eMinVolNara", "10", true},      {"eMinVolNara", "500", true},     {"eNozzleWait", "99", true},
        {"eMinSpeed", "31", false},       {"eMinSpeed", "30", true},        {"eShimDuration", "1", false},
        {"eShimDuration", "19", true},    {"evalve_delay", "31", false},    {"evalve_delay", "30", true},
        {"eStWaitForceNara", "99", true}, {"ePbTimeoutNara", "101", false}, {"ePbTimeoutNara", "100", true},
    };
    for (const Case& k : cases) {
        type(edit(k.box), k.text);
        EXPECT_EQ(FieldCheck::red(edit(k.box)), !k.valid) << k.box << " " << k.text;
        EXPECT_EQ(state.InvalidFieldCount, k.valid ? 0 : 1) << k.box << " " << k.text;
    }
    auto& p = tab->params().working;
    EXPECT_EQ(p[kMinSpTime], 180);
    EXPECT_EQ(p[kPcTimeout], 60);
    EXPECT_EQ(p[kNozzleWait], 99);
    EXPECT_EQ(p[kMinSpeed], 30);
    auto& n = adv->nara().working;
    EXPECT_EQ(GetU16(n.data(), kMinVolNara), 500);
    EXPECT_EQ(n[kShimDuration], 19);
    EXPECT_EQ(n[kValveDelay], 30);
    EXPECT_EQ(n[kStWaitForceNara], 99);
    EXPECT_EQ(n[kPbTimeoutNara], 100);
}

TEST_F(AdvTab, HydroHitAndTemperatures) {
    show();
    auto& p = tab->params().working;
    type(edit("eHydroHit"), "2555");
    EXPECT_EQ(p[kHydroHit], 255);
    type(edit("eHydroHit"), "2556");
    EXPECT_TRUE(FieldCheck::red(edit("eHydroHit")));
    EXPECT_EQ(p[kHydroHit], 255);
    type(edit("eHydroHit"), "15");
    EXPECT_EQ(p[kHydroHit], 1);
    EXPECT_EQ(state.InvalidFieldCount, 0);

    type(edit("eTemp_heat_low"), "-5");
    EXPECT_EQ(p[kTempHeatLow], 0xFB);
    type(edit("eTemp_heat_low"), "0");
    EXPECT_TRUE(FieldCheck::red(edit("eTemp_heat_low")));
    type(edit("eTemp_heat_low"), "5");
    EXPECT_EQ(state.InvalidFieldCount, 1);
    EXPECT_EQ(p[kTempHeatLow], 0xFB);
    type(edit("eTemp_heat_low"), "-200"); // beyond the signed byte
    EXPECT_EQ(p[kTempHeatLow], 0xFB);
    type(edit("eTemp_heat_low"), "-20");
    EXPECT_EQ(state.InvalidFieldCount, 0);
    EXPECT_EQ(p[kTempHeatLow], static_cast<uint8_t>(-20));
    type(edit("eTemp_heat_high"), "5");
    EXPECT_EQ(p[kTempHeatHigh], 5);
    visit(edit("eTemp_heat_high")); // runs on every exit, same value
    EXPECT_EQ(p[kTempHeatHigh], 5);
    type(edit("eTemp_heat_high"), "-"); // not a number: the conversion message, nothing stored
    EXPECT_EQ(dialogs.messages().size(), 1);
    EXPECT_EQ(p[kTempHeatHigh], 5);
    type(edit("eTemp_heat_high"), ""); // empty: left alone
    EXPECT_EQ(dialogs.messages().size(), 1);
}

// The controller's own value 5 in the heater box is shown as it is: passing
// through the box neither marks it nor blocks a save of the tab.
TEST_F(AdvTab, TheHeaterBoxIsCheckedOnlyWhenEdited) {
    show();
    ASSERT_EQ(edit("eTemp_heat_low")->text(), "5");
    visit(edit("eTemp_heat_low"));
    EXPECT_FALSE(FieldCheck::red(edit("eTemp_heat_low")));
    EXPECT_EQ(state.InvalidFieldCount, 0);
    type(edit("eMinSpeed"), "7");
    type(edit("eHydroHit"), "15");
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    EXPECT_EQ(params()[kMinSpeed], 7);
    EXPECT_EQ(edit("eHydroHit")->text(), "10"); // what was stored
    EXPECT_EQ(params()[kTempHeatLow], 5);
    type(edit("eTemp_heat_low"), "5"); // typed: judged
    EXPECT_TRUE(FieldCheck::red(edit("eTemp_heat_low")));
    EXPECT_TRUE(edit("eTemp_heat_low")->toolTip().contains("Значение должно быть отрицательным"));
}

TEST_F(AdvTab, PasswordsAtTheThirtyTwoBitLimit) {
    show();
    auto* admin = edit("eBmuPAdm");
    type(admin, "4294967295");
    EXPECT_FALSE(FieldCheck::red(admin));
    EXPECT_EQ(GetU32(adv->nara().working.data(), kBmuPAdm), 4294967295u);
    type(admin, "4294967296");
    EXPECT_TRUE(FieldCheck::red(admin));
    EXPECT_EQ(state.InvalidFieldCount, 1);
    type(admin, "999999999");
    EXPECT_EQ(state.InvalidFieldCount, 0);
    EXPECT_EQ(GetU32(adv->nara().working.data(), kBmuPAdm), 999999999u);

    auto* user = combo("cbBmuPUser");
    choose(user, 2);
    EXPECT_EQ(adv->editedUserSlot(), 2);
    focus(user, QEvent::FocusIn);
    user->setEditText("5000000000");
    EXPECT_EQ(state.InvalidFieldCount, 1);
    user->setEditText("4000000000");
    EXPECT_EQ(state.InvalidFieldCount, 0);
    focus(user, QEvent::FocusOut);
    EXPECT_EQ(GetU32(adv->nara().working.data(), kBmuPUser + 8), 4000000000u);
    EXPECT_EQ(user->itemText(2), "4000000000");
    // A read shows item 0 and edits go to that slot again.
    adv->bGetAdvSetTrkClick();
    EXPECT_EQ(adv->editedUserSlot(), 0);
}

TEST_F(AdvTab, DotFlagsPriceShiftAndModes2) {
    show();
    ctl<QRadioButton>("RGDot_2")->click(); // "РРРР"
    EXPECT_EQ(adv->nara().working[kNaraFlags], 0x02);
    edit("PrcShift")->setText("7");
    EXPECT_EQ(adv->nara().working[kPrcShift], 7);
    auto* modes = ctl<QListWidget>("checkbTrkModes2");
    modes->item(14)->setCheckState(Qt::Checked);
    modes->item(1)->setCheckState(Qt::Checked);
    EXPECT_EQ(GetU16(tab->params().working.data(), kModeMask2), 0x4002);
    // A read shows the word's bits; a mark makes the word again from the
    // marks alone (bit 15 has no item and is cleared).
    setParams({{kModeMask2, 0x05}, {kModeMask2 + 1, 0x80}});
    adv->bGetAdvSetTrkClick();
    ASSERT_EQ(modes->count(), 15);
    EXPECT_EQ(modes->item(14)->text(), "Работа с внутренним ЖК табло (одношланговая ТРК)");
    for (int i : {0, 1, 2, 14})
        EXPECT_EQ(modes->item(i)->checkState() == Qt::Checked, i != 1 && i != 14) << i;
    modes->item(1)->setCheckState(Qt::Checked);
    EXPECT_EQ(GetU16(tab->params().working.data(), kModeMask2), 0x0007);
}

TEST_F(AdvTab, SaveWritesBothBlocksInOrderWithCarriedBytes) {
    show();
    type(edit("eNozzleWait"), "12");
    type(edit("eShimDuration"), "7");
    const int restarts = c->restartCount();
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    auto p = params();
    EXPECT_EQ(p[kNozzleWait], 12);
    EXPECT_EQ(p[57], FrameChecksum(p.data(), 57));
    auto expected = NaraBlock();
    expected[kShimDuration] = 7;
    EXPECT_EQ(nara(), expected);
    EXPECT_EQ(c->restartCount(), restarts + 1);
    EXPECT_FALSE(adv->nara().changed());
    EXPECT_FALSE(tab->params().changed());
}

TEST_F(AdvTab, NaraOnlyChangeWritesOnlyTheNaraBlock) {
    show();
    const auto before = params();
    type(edit("ePbTimeoutNara"), "33");
    const int restarts = c->restartCount();
    line.clearFrames();
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    EXPECT_EQ(params(), before);
    EXPECT_EQ(nara()[kPbTimeoutNara], 33);
    EXPECT_EQ(c->restartCount(), restarts); // no restart after the Nara block
    for (const auto& f : line.frames()) {
        if (f.kind == zelsim::FrameKind::Address && f.bytes.size() == 8) {
            EXPECT_FALSE(f.bytes[2] == 0x31 && f.bytes[4] == 0x01) << "parameter block written";
        }
    }
}

TEST_F(AdvTab, RedBoxBlocksTheSave) {
    show();
    type(edit("eMinSpeed"), "99");
    const int writes = c->writeCount();
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(status(), "Запись не произведена. Исправьте ошибку и повторите попытку");
    EXPECT_EQ(c->writeCount(), writes);
}

TEST_F(AdvTab, NothingChangedAndFailures) {
    show();
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(status(), "Запись не произведена. Не было изменений параметров");
    type(edit("eShimDuration"), "8");
    zelsim::Faults f;
    f.refuseWrites = true;
    c->setFaults(f);
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(dialogs.messages().back(), "Ошибка записи параметров");
    EXPECT_EQ(status(), "Ошибка записи параметров");
    adv->bTestReleTClick();
    EXPECT_EQ(dialogs.messages().back(), "Ошибка");
    c->setFaults({});
    const int relays = c->relayTestCount();
    adv->bTestReleTClick();
    EXPECT_EQ(c->relayTestCount(), relays + 1);
}

TEST_F(AdvTab, ShowBeforeIdentification) {
    open();
    state.Identified = false;
    adv->TabAdvSetShow();
    EXPECT_EQ(dialogs.messages(), QStringList({"Идентификатор не считан! Считайте идентификатор"}));
    EXPECT_FALSE(ctl("bGetAdvSetTrk")->isEnabled());
    EXPECT_FALSE(ctl("bSetAdvSetTrk")->isEnabled());
}

TEST_F(AdvTab, BothTabsWorkOnTheDemoImage) {
    zelsim::VirtualController image;
    const auto bytes = image.demoImageBytes();
    WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
    open();
    Protocol().demoMode = true;
    state.demo = true;
    ASSERT_EQ(LoadDemoImage(), 1);
    read();
    EXPECT_EQ(status(), "Параметры успешно считаны");
    EXPECT_EQ(combo("cbCountNozTrk")->currentText(), "4");
    type(edit("eAdrTrk_1"), "9"); // no probe in demo mode
    type(edit("eMetTOut"), "42");
    save();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    EXPECT_FALSE(state.AddressChanged);
    EXPECT_EQ(state.controllerNumber, 1);
    adv->TabAdvSetShow();
    EXPECT_EQ(status(), "Параметры были успешно считаны");
    type(edit("ePbTimeoutNara"), "44");
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    ReleaseDemoImage();
    ASSERT_EQ(LoadDemoImage(), 1);
    read();
    EXPECT_EQ(edit("eMetTOut")->text(), "42");
    EXPECT_EQ(edit("eAdrTrk_1")->text(), "9");
    adv->bGetAdvSetTrkClick();
    EXPECT_EQ(edit("ePbTimeoutNara")->text(), "44");
    ReleaseDemoImage();
    ::unlink("demo_trk.bin");
}

TEST_F(AdvTab, StoredValuesShowWholeAndOverlongOnesAreMarked) {
    // Values a box cannot be typed with still read back whole: 120 is not cut
    // to "12", 1000 not to "100"; a price shift of 12 exceeds the one-character
    // box and is shown whole but marked, so it cannot be saved unnoticed.
    std::vector<uint8_t> b = NaraBlock();
    PutU16(b.data(), kMinVolNara, 1000);
    b[kShimDuration] = 150;
    b[kPrcShift] = 12;
    setParams({{kNozzleWait, 120}, {kMinSpeed, 200}, {kPcTimeout, 255}});
    c->poke(0, NaraSpecific.address, b);
    open();
    tabs->setCurrentWidget(adv);
    adv->TabAdvSetShow();
    EXPECT_EQ(edit("eNozzleWait")->text(), "120");
    EXPECT_EQ(edit("eMinSpeed")->text(), "200");
    EXPECT_EQ(edit("ePcTimeout")->text(), "255");
    EXPECT_EQ(edit("eMinVolNara")->text(), "1000");
    EXPECT_EQ(edit("eShimDuration")->text(), "150");
    EXPECT_EQ(edit("PrcShift")->text(), "12");
    EXPECT_TRUE(FieldCheck::marked(edit("PrcShift")));
    EXPECT_TRUE(FieldCheck::red(edit("PrcShift")));
    EXPECT_FALSE(FieldCheck::marked(edit("eMinVolNara")));
    EXPECT_EQ(state.InvalidFieldCount, 1);
    // The Part's one-character limit comes back once the value fits.
    c->poke(0, NaraSpecific.address + kPrcShift, {3});
    adv->bGetAdvSetTrkClick();
    EXPECT_EQ(edit("PrcShift")->text(), "3");
    EXPECT_EQ(edit("PrcShift")->maxLength(), 1);
    EXPECT_FALSE(FieldCheck::marked(edit("PrcShift")));
}

// The save's steps, each stopping it: a refused password sends nothing at
// all; a failed write of the parameter block is reported, identifies the
// controller again and never goes on to the Nara block; with nothing changed
// in either block nothing is written.
TEST_F(AdvTab, EachSaveStepStopsTheSaveAndAFailedWriteReidentifies) {
    show();
    type(edit("eNozzleWait"), "12");
    type(edit("eShimDuration"), "7");
    int asked = 0;
    state.passwordStep = [&asked] { return ++asked, false; };
    line.clearFrames();
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(line.frames().empty());
    state.passwordStep = nullptr;

    zelsim::Faults refuse;
    refuse.refuseWrites = true;
    c->setFaults(refuse);
    dialogs.clear();
    adv->bSetAdvSetTrkClick();
    ASSERT_FALSE(dialogs.messages().isEmpty());
    EXPECT_EQ(dialogs.messages().back(), "Ошибка записи!");
    EXPECT_EQ(status(), "Ошибка записи!");
    EXPECT_TRUE(state.ReidentifyPending);
    EXPECT_EQ(tabs->currentWidget()->objectName(), "TabIdent");
    for (const auto& f : line.frames())
        EXPECT_FALSE(f.kind == zelsim::FrameKind::Address && f.bytes.size() == 8 && f.bytes[2] == 0x51)
            << "the Nara block was touched after the failed write";
    EXPECT_TRUE(tab->params().changed() && adv->nara().changed()); // the next save writes both again

    c->setFaults({});
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(status(), "Параметры успешно записаны");
    EXPECT_EQ(params()[kNozzleWait], 12);
    EXPECT_EQ(nara()[kShimDuration], 7);
    const int writes = c->writeCount(), restarts = c->restartCount();
    adv->bSetAdvSetTrkClick();
    EXPECT_EQ(status(), "Запись не произведена. Не было изменений параметров");
    EXPECT_EQ(c->writeCount(), writes);
    EXPECT_EQ(c->restartCount(), restarts);
}
