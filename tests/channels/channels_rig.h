// The three channel tabs in a small frame (status line, tab widget with the
// main tab) on a virtual controller over a pseudo-terminal, scripted dialogs.
#pragma once

#include "block_transfer.h"
#include "field_binder.h"
#include "field_check.h"
#include "little_endian.h"
#include "noz_regs_tab.h"
#include "noz_setts_tab.h"
#include "shared_blocks.h"
#include "sides_tab.h"
#include "tab_rig.h"

#include <QTest>

class ChannelsRig : public TabRig {
protected:
    NozRegsTab* regs = nullptr;
    NozSettsTab* setts = nullptr;
    SidesTab* sides = nullptr;

    void SetUp() override {
        TabRig::SetUp();
        openLine(1, false);
        buildFrame();
        for (BlockTab* t : std::initializer_list<BlockTab*>{regs = new NozRegsTab(context()),
                           setts = new NozSettsTab(context()), sides = new SidesTab(context())})
            tabs->addTab(t, t->objectName());
        frame->show();
    }

    // The parameter block with these sides and hoses a side, read as the settings tab reads it.
    void loadParams(uint8_t sidesCount = 2, uint8_t hoses = 4) {
        std::vector<uint8_t> p = mem(CtrlrParams.address, CtrlrParams.length);
        p[4] = hoses;
        p[5] = sidesCount;
        p.back() = FrameChecksum(p.data(), p.size() - 1);
        c->poke(0, CtrlrParams.address, p);
        ASSERT_EQ(ReadParamCtrlr(state, dialogs), 1);
        state.ParamsLoaded = true;
        dialogs.clear();
    }
    void show(BlockTab* tab) {
        tabs->setCurrentWidget(tab);
        tab->tabShown();
    }

    std::vector<uint8_t> mem(uint32_t address, size_t n) const { return c->peek(0, address, n); }
    std::vector<uint8_t> regsOf(int ch, size_t n = NozRegs.length) const {
        return mem(ChannelAddress(NozRegs, ch), n);
    }
    std::vector<uint8_t> settsOf(int ch, size_t n = NozSetts.length) const {
        return mem(ChannelAddress(NozSetts, ch), n);
    }
    // Reads of this block of memory get no answer (no range: every fault off).
    void unreadable(uint32_t from = 0, int length = 0) {
        zelsim::Faults f;
        f.unreadableFrom = from;
        f.unreadableTo = from + static_cast<uint32_t>(length);
        c->setFaults(f);
    }

    // Enters the box, types the text as the engineer would and leaves it.
    void type(const char* box, const QString& text) const {
        QLineEdit* e = edit(box);
        focus(e, QEvent::FocusIn);
        e->selectAll();
        QTest::keyClick(e, Qt::Key_Backspace);
        QTest::keyClicks(e, text);
        focus(e, QEvent::FocusOut);
    }
    // Chooses an item of the box as the engineer would.
    void choose(const char* name, int index) const { TabRig::choose(combo(name), index); }
    bool marked(const char* box) const { return FieldCheck::marked(edit(box)) && FieldCheck::red(edit(box)); }
};
