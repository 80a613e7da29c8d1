// The tools' transfer sequences against the virtual controller on a
// pseudo-terminal: the factory defaults written byte for byte, the primary
// setup's reads, repairs and write, and the report's collection.
#include <gtest/gtest.h>

#include "../support/line_rig.h"
#include "block_layout.h"
#include "block_transfer.h"
#include "checksum.h"
#include "ctrl_params_core.h"
#include "defaults_core.h"
#include "global_setts_core.h"
#include "guarded_write.h"
#include "little_endian.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "report_core.h"
#include "virtual_controller.h"

using namespace tools;

namespace {

class ToolsE2e : public LineRig {
protected:
    // The controller's blocks in the fixed layout.
    FixedImage controllerImage() const {
        FixedImage img{};
        auto put = [&](uint32_t address, int length, int offset) {
            const auto b = c->peek(0, address, static_cast<size_t>(length));
            std::copy(b.begin(), b.end(), img.begin() + offset);
        };
        put(CtrlrParams.address, CtrlrParams.length, kFixParams);
        for (int n = 0; n < kMaxChannels; ++n) {
            put(ChannelAddress(NozSetts, n), NozSetts.length, FixNozSetts(n));
            put(ChannelAddress(NozRegs, n), NozRegs.length, FixNozRegs(n));
        }
        put(SideAddress(0), SidesSetts.length, kFixSide1);
        put(SideAddress(1), SidesSetts.length, kFixSide2);
        put(NaraSpecific.address, NaraSpecific.length, kFixNara);
        return img;
    }
    std::vector<uint8_t> regs(int n) const { return c->peek(0, ChannelAddress(NozRegs, n), NozRegs.length); }
    void setParams(std::initializer_list<std::pair<int, uint8_t>> bytes, int length = 58,
                   bool goodSum = true) {
        std::vector<uint8_t> p = c->peek(0, CtrlrParams.address, static_cast<size_t>(length));
        for (auto [at, v] : bytes)
            p[static_cast<size_t>(at)] = v;
        p.back() = FrameChecksum(p.data(), p.size() - 1) ^ (goodSum ? 0 : 0x01);
        c->poke(0, kAddrParamLength, {static_cast<uint8_t>(length)});
        c->poke(0, CtrlrParams.address, p);
    }
    void silentReads(uint32_t from, uint32_t to) {
        zelsim::Faults f;
        f.silentReadFrom = from;
        f.silentReadTo = to;
        c->setFaults(f);
    }
};

// The image the factory defaults tables give for each type, as the form opens
// it (types 0 and 1: two sides of four; type 2: two sides of one; type 3: one
// side of one).
FixedImage TableImage(int type) {
    struct Row {
        uint8_t sideB, nozzles, sides, phases;
        uint16_t mask, mask2;
        uint8_t display, minSpeed, minTime, overflow, nara15;
        uint32_t impW;
        uint8_t map[10];
    };
    const Row rows[4] = {
        {2, 4, 2, 0, 0x1401, 0, 6, 0, 0, 0, 0, 2147483648u, {0, 4, 1, 5, 2, 6, 3, 7, 255, 255}},
        {2, 4, 2, 1, 0x1400, 0, 3, 0, 0, 0, 0, 2147483648u, {0, 4, 1, 5, 2, 6, 3, 7, 255, 255}},
        {2,
         1,
         2,
         1,
         0x0403,
         0x0080,
         7,
         5,
         3,
         255,
         4,
         1308622848u,
         {0, 1, 255, 255, 255, 255, 255, 255, 255, 255}},
        {0,
         1,
         1,
         1,
         0x0403,
         0x0080,
         4,
         5,
         3,
         255,
         4,
         1308622848u,
         {0, 255, 255, 255, 255, 255, 255, 255, 255, 255}},
    };
    const Row& r = rows[type];
    FixedImage img{};
    uint8_t* p = img.data();
    using namespace ctrlrparams;
    using fields::PutField;
    PutField(Speed1, p, 3);
    PutField(Speed2, p, 3);
    PutField(AddrSideA, p, 1);
    PutField(AddrSideB, p, r.sideB);
    PutField(NozzlesPerSide, p, r.nozzles);
    PutField(SideCount, p, r.sides);
    for (int i = 0; i < NaraAddr.count; ++i)
        PutField(NaraAddr, p,
                 type <= 1 ? static_cast<uint8_t>(i + 1) : (i < 2 ? static_cast<uint8_t>(i + 1) : 0), i);
    PutField(ctrlrparams::MeterPhase, p, r.phases);
    PutField(SlowStart, p, 1);
    PutField(SlowLoad, p, 3);
    PutField(NozzleFat, p, 30);
    PutField(MetTOut, p, 15);
    PutField(ModeMask, p, r.mask);
    PutField(ModeMask2, p, r.mask2);
    PutField(DisplayTypes, p, r.display);
    for (int j = 0; j < PhysToLogA.count; ++j) {
        PutField(PhysToLogA, p, r.map[2 * j], j);
        PutField(PhysToLogB, p, r.map[2 * j + 1], j);
    }
    PutField(MinSpeed, p, r.minSpeed);
    PutField(MinSpTime, p, r.minTime);
    PutField(HydroHit, p, r.overflow);
    PutField(Checksum, p, FrameChecksum(p, Checksum.offset));
    for (int n = 0; n < 10; ++n) {
        uint8_t* s = img.data() + CtrlrParams.length + NozSetts.length * n;
        PutField(nozsetts::ImpWLo, s, r.impW);
        PutField(nozsetts::ImpWkLo, s, 2147483648u);
        PutField(nozsetts::ImpLit, s, 200);
        PutField(nozsetts::MeterPhase, s, r.phases);
    }
    uint8_t* nara = img.data() + 282;
    PutU16(nara, 0,
           static_cast<uint16_t>((1u << (r.sides * r.nozzles)) - 1)); // reserved bytes: the channel mask
    PutField(naraspecific::ShimDuration, nara, r.nara15);
    PutField(naraspecific::PbTimeoutNara, nara, 15);
    return img;
}

} // namespace

TEST_F(ToolsE2e, EachTypesDefaultsAreWrittenByteForByteThenTheControllerRestarts) {
    for (int type = 0; type < kDefaultTypes; ++type) {
        SCOPED_TRACE(type);
        DefaultsForm f;
        f.typeChanged(type);
        ASSERT_TRUE(f.checkForWrite());
        f.sealForWrite();
        const int restarts = c->restartCount();
        long last = 0;
        image::WholeWriteRequest q = DefaultsWriteRequest(port, 1, f.image);
        q.snapshot = false;
        q.progress = [&](image::WholeStage stage, long done, long) {
            if (stage == image::WholeStage::Write) last = done;
        };
        const image::WholeWriteResult w = image::WriteWholeController(q);
        EXPECT_TRUE(w.ok());
        EXPECT_TRUE(w.failures().empty());
        EXPECT_EQ(w.failed(), 0);
        EXPECT_EQ(w.differing(), 0);
        EXPECT_EQ(w.restart, 1);
        EXPECT_EQ(w.foundAt, 1);
        EXPECT_EQ(last, kFixedImageSize);
        EXPECT_EQ(c->restartCount(), restarts + 1);
        const FixedImage expected = TableImage(type);
        const FixedImage got = controllerImage();
        for (int i = 0; i < kFixedImageSize; ++i)
            EXPECT_EQ(got[i], expected[i]) << "byte " << i;
    }
}

TEST_F(ToolsE2e, DefaultsMoveTheControllerToItsNewSideAddress) {
    c->setAddress(7);
    DefaultsForm f;
    f.typeChanged(1);
    ASSERT_TRUE(f.checkForWrite());
    f.sealForWrite();
    image::WholeWriteRequest q = DefaultsWriteRequest(port, 7, f.image);
    q.snapshot = false;
    const image::WholeWriteResult w = image::WriteWholeController(q);
    EXPECT_EQ(w.foundAt, 1);
    EXPECT_TRUE(w.moved());
    EXPECT_EQ(c->address(), 1);

    // A controller that refuses the blocks stays where it is, and each
    // refusal is told in its own words, once.
    c->setFaults({.refuseWrites = true});
    q.ctrl = 1;
    const image::WholeWriteResult refused = image::WriteWholeController(q);
    EXPECT_EQ(refused.failed(), 24);
    EXPECT_EQ(refused.foundAt, 1);
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.failures(),
              (std::vector<std::string>{
                  "Ошибка записи параметров контроллера", "Ошибка записи состояния первой стороны",
                  "Ошибка записи состояния второй стороны", "Ошибка записи настроек НАРА_АЗС",
                  "Ошибка записи настроек шланга", "Ошибка записи состояния шланга"}));
}

TEST_F(ToolsE2e, PrimarySetupRepairsWhatItReads) {
    // A side count of 0: repaired as any count the block cannot mean.
    setParams({{5, 0}, {4, 3}, {34, 0x55}, {22, 9}, {23, 7}});
    GlobalSetts m;
    GlobalOpening o = ReadGlobalSetts(port, 1, m);
    ASSERT_EQ(o.result, GlobalOpening::Done);
    EXPECT_EQ(o.messages, (std::vector<std::string>{"Ошибка чтения к-ва сторон. Установлено значение 1",
                                                    "Ошибка чтения типа табло. Установлен тип - T-209"}));
    EXPECT_EQ(m.sideCount, 1);
    EXPECT_EQ(m.nozzleCount, 3);
    EXPECT_EQ(o.items.side, 0);
    EXPECT_EQ(o.items.nozzle, 2);
    EXPECT_EQ(o.items.meter, 0);
    EXPECT_EQ(o.items.phase, 0);
    EXPECT_EQ(o.items.table, 5);
    EXPECT_EQ(m.p()[5], 1);
    EXPECT_EQ(m.p()[22], 0);
    EXPECT_EQ(m.p()[34], 5);
    EXPECT_EQ(AddressText(m.channelAddrs.data(), m.channelCount()), "1,2,3");
    const auto summary = GlobalSummary(m, 1);
    EXPECT_EQ(summary[0], "Установлена связь с контроллером №1");
    EXPECT_EQ(summary[3], "Количество сторон - 1");
    EXPECT_EQ(summary[9], "Табло типа T-209");

    // Two sides of eight nozzles: cut to five a side; nine nozzles: repaired.
    setParams({{5, 2}, {4, 8}, {34, 6}});
    o = ReadGlobalSetts(port, 1, m);
    EXPECT_TRUE(o.messages.empty());
    EXPECT_EQ(m.nozzleCount, 5);
    EXPECT_EQ(o.items.nozzle, 4);
    setParams({{4, 9}});
    o = ReadGlobalSetts(port, 1, m);
    EXPECT_EQ(o.messages, std::vector<std::string>{"Ошибка чтения к-ва пистолетов. Установлено значение 1"});

    // A block of 57 bytes with a wrong checksum: both told, the checksum renewed.
    setParams({{4, 4}, {22, 0}}, 57, false);
    o = ReadGlobalSetts(port, 1, m);
    EXPECT_EQ(o.messages, (std::vector<std::string>{settings::kSizeWarning, kGlobalChecksum}));
    EXPECT_EQ(m.params.length, 57);
    EXPECT_EQ(m.p()[56], FrameChecksum(m.p(), 56));

    // A channel settings block that never comes: three failures end the opening.
    setParams({});
    silentReads(0x1200, 0x1300);
    o = ReadGlobalSetts(port, 1, m);
    EXPECT_EQ(o.result, GlobalOpening::ChannelsFailed);
    EXPECT_TRUE(o.textsReady);
    EXPECT_EQ(o.messages.back(), "Ошибка чтения");

    c->setFaults({.noAnswer = true});
    o = ReadGlobalSetts(port, 1, m);
    EXPECT_EQ(o.result, GlobalOpening::LinkFailed);
    EXPECT_FALSE(o.textsReady);
    EXPECT_EQ(o.messages, std::vector<std::string>{"Ошибка связи с ТРК"});
}

TEST_F(ToolsE2e, PrimarySetupWritesEveryBlockAndKeepsTheFiscalTotalizers) {
    for (int n = 0; n < 10; ++n) {
        auto r = regs(n);
        PutU32(r.data(), nozregs::SetVol.offset, 123456);
        r[nozregs::State.offset] = 5;
        c->poke(0, ChannelAddress(NozRegs, n), r);
    }
    GlobalSetts m;
    ASSERT_EQ(ReadGlobalSetts(port, 1, m).result, GlobalOpening::Done);
    m.sideCount = 1;
    m.nozzleCount = 3;
    m.channelAddrs = {7, 8, 9, 0, 0, 0, 0, 0, 0, 0};
    m.sideAddrs = {1, 2};
    const GlobalItems items{.side = 0, .nozzle = 2, .meter = 1, .phase = 1, .table = 3};
    BuildGlobalParams(m, items);
    BuildGlobalChannels(m, items);
    const int restarts = c->restartCount();
    const GlobalPlan plan = PlanGlobalSetts(port, 1, m);
    EXPECT_EQ(plan.nozRegsUnread, -1);
    image::WholeWriteRequest q;
    q.port = port;
    q.ctrl = 1;
    q.snapshot = false;
    q.blocks = plan.blocks;
    long last = 0;
    q.progress = [&](image::WholeStage stage, long done, long) {
        if (stage == image::WholeStage::Write) last = done;
    };
    const image::WholeWriteResult w = image::WriteWholeController(q);
    EXPECT_TRUE(w.ok());
    EXPECT_EQ(last, GlobalWriteTotal(58));
    EXPECT_EQ(c->restartCount(), restarts + 1);
    m.p()[4] = 9; // accepted: the copies take what was written
    AcceptGlobalWrite(m, w);
    EXPECT_EQ(m.params.asRead[4], 9);

    const auto p = c->peek(0, CtrlrParams.address, 58);
    EXPECT_EQ(p[5], 1);
    EXPECT_EQ(p[4], 3);
    EXPECT_EQ(GetU16(p.data(), 30), 0x1401);
    EXPECT_EQ(std::vector<uint8_t>(p.begin() + 6, p.begin() + 16),
              (std::vector<uint8_t>{7, 8, 9, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(p.begin() + 35, p.begin() + 45),
              (std::vector<uint8_t>{0, 255, 1, 255, 2, 255, 255, 255, 255, 255}));
    EXPECT_EQ(p[22], 1);
    EXPECT_EQ(p[23], 1);
    EXPECT_EQ(p[34], 3);
    EXPECT_EQ(p[57], FrameChecksum(p.data(), 57));
    for (int n = 0; n < 10; ++n) {
        const auto s = c->peek(0, ChannelAddress(NozSetts, n), 20);
        EXPECT_EQ(GetU16(s.data(), nozsetts::ImpLit.offset), 512) << n;
        EXPECT_EQ(GetU32(s.data(), nozsetts::ImpWLo.offset), 838860800u) << n; // 2^31 x 200 / 512
        EXPECT_EQ(s[nozsetts::MeterPhase.offset], 1) << n;
        std::vector<uint8_t> clean(69, 0);
        PutU16(clean.data(), nozregs::Price.offset, 1000);
        PutU32(clean.data(), nozregs::FCount.offset, 1000 + 137 * n); // as the controller had it
        clean[nozregs::FCMil.offset] = static_cast<uint8_t>(7 * n);
        EXPECT_EQ(regs(n), clean) << n;
    }
}

TEST_F(ToolsE2e, PrimarySetupWritesNoStateRegistersWhenOneCannotBeRead) {
    GlobalSetts m;
    ASSERT_EQ(ReadGlobalSetts(port, 1, m).result, GlobalOpening::Done);
    const GlobalItems items{.side = 1, .nozzle = 3, .meter = 0, .phase = 0, .table = 6};
    BuildGlobalParams(m, items);
    BuildGlobalChannels(m, items);
    std::vector<std::vector<uint8_t>> before;
    for (int n = 0; n < 10; ++n)
        before.push_back(regs(n));
    silentReads(ChannelAddress(NozRegs, 6), ChannelAddress(NozRegs, 7));
    const int restarts = c->restartCount();
    const GlobalPlan plan = PlanGlobalSetts(port, 1, m);
    EXPECT_EQ(plan.nozRegsUnread, 6);
    ASSERT_EQ(plan.blocks.size(), 11u); // the parameters and the channel settings only
    c->setFaults({});
    image::WholeWriteRequest q;
    q.port = port;
    q.ctrl = 1;
    q.snapshot = false;
    q.blocks = plan.blocks;
    const image::WholeWriteResult w = image::WriteWholeController(q);
    EXPECT_EQ(w.failed(), 0);
    for (int n = 0; n < 10; ++n)
        EXPECT_EQ(regs(n), before[n]) << n;
    EXPECT_EQ(c->restartCount(), restarts + 1);
    EXPECT_EQ(NozRegsNotWritten(6), "Не удалось считать состояние канала 7. Состояние каналов не записано, "
                                    "фискальные счетчики в контроллере сохранены без изменений.");
}

TEST_F(ToolsE2e, ReportPutsEveryBlockInItsPlaceWhateverFails) {
    silentReads(ChannelAddress(NozRegs, 1), ChannelAddress(NozRegs, 2));
    const ReportImage img = CollectReport(port, 1);
    EXPECT_TRUE(img.paramsRead);
    EXPECT_FALSE(img.nozRegsRead[1]);
    EXPECT_TRUE(img.nozRegsRead[2]);
    EXPECT_TRUE(img.anyShownBlockMissing());
    const FixedImage mem = controllerImage();
    EXPECT_TRUE(std::equal(mem.begin(), mem.begin() + FixNozRegs(1), img.bytes.begin()));
    EXPECT_TRUE(std::equal(mem.begin() + FixNozRegs(2), mem.end(), img.bytes.begin() + FixNozRegs(2)));
    const auto t = ReportText(img, 1, false);
    const std::vector<std::string> fiscal(t.end() - 8, t.end() - 5);
    EXPECT_EQ(fiscal, (std::vector<std::string>{"Фискальный счетчик  сторона А, 1 рукав = 1000,00",
                                                "Фискальный счетчик  сторона А, 2 рукав = не считан",
                                                "Фискальный счетчик  сторона А, 3 рукав = 1274,14"}));
}
