// The controller parameter block as read: any bytes and length are inspected
// and repaired into values the tab's boxes can show; side addressing fills,
// checks and stores its grids within bytes 6..15 and 35..44 (blocks are
// allocated to the byte).
#include "ctrl_params_core.h"
#include "fuzz_input.h"
#include "side_addressing_core.h"

using namespace settings;

namespace {

Cells SomeCells(FuzzInput& in) {
    Cells c(in.u8() % 7);
    for (auto& t : c)
        t = in.text(in.u8() % 5);
    return c;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const int length = in.u8();
    ParamsPair pair;
    const std::vector<uint8_t> bytes = in.bytes(kParamsBufferSize);
    std::copy(bytes.begin(), bytes.end(), pair.working.begin());
    pair.loaded(length);
    const ParamsView v = InspectReadParams(pair);
    FUZZ_CHECK(v.speed1Item >= 0 && v.speed1Item < kSpeedItems && v.speed2Item >= 0 &&
               v.speed2Item < kSpeedItems);
    FUZZ_CHECK(v.nozzleItem >= 0 && v.nozzleItem < kMaxNozzles && (v.sideItem == 0 || v.sideItem == 1));
    FUZZ_CHECK(v.meterItem >= 0 && v.meterItem < kMeterItems && v.phaseItem >= 0 &&
               v.phaseItem < kPhaseItems);
    FUZZ_CHECK(v.tableA >= 0 && v.tableA < 16 && v.tableB >= 0 && v.tableB < 16);
    if (length > 0) FUZZ_CHECK(pair.working[length - 1] == FrameChecksum(pair.working.data(), length - 1));
    const std::vector<uint8_t> out = WriteBuffer(pair);
    FUZZ_CHECK(out.size() == static_cast<size_t>(pair.length));
    FUZZ_CHECK(ChannelCount(pair) >= 0 && ChannelCount(pair) <= 10);

    std::vector<uint8_t> block(pair.working.begin(), pair.working.begin() + CtrlrParams.length);
    const int nozzles = NozzlesOf(block.data()), sides = SidesOf(block.data());
    FUZZ_CHECK(nozzles >= 1 && nozzles <= kMaxNozzles && (sides == 1 || sides == 2));
    Cells a, b, pa, pb;
    FillNaraCells(block.data(), nozzles, a, b);
    FillPhysCells(block.data(), nozzles, sides, pa, pb);
    AutoNumberNara(block.data(), in.u8() % 8, a, b);
    const Cells ca = SomeCells(in), cb = SomeCells(in);
    const int bad = FirstBadNaraCell(ca, cb);
    FUZZ_CHECK(bad >= -1 && bad < static_cast<int>(ca.size()));
    const int badPhys = FirstBadPhysCell(ca, cb);
    FUZZ_CHECK(badPhys >= -1 && badPhys < static_cast<int>(ca.size()));
    CheckNaraGridA(ca);
    const int n = in.u8() % 8, s = in.u8() % 3;
    StoreNaraA(block.data(), ca);
    StoreNaraB(block.data(), n, cb);
    StorePhysA(block.data(), n, s, ca);
    StorePhysB(block.data(), cb);
    TakeGrids(block.data(), n, s, ca, cb, SomeCells(in), SomeCells(in));
    int value = 0;
    const std::string box = in.text(in.left());
    if (NumberBelow(box, kBoundSlowLoad, &value)) FUZZ_CHECK(value >= 0 && value < kBoundSlowLoad);
    if (SideAddressValid(box, &value)) FUZZ_CHECK(value >= 0 && value <= 255);
    return 0;
}
