// The advanced settings' box rules: any typed text is accepted only within
// its range, and every value stored fits its byte or word.
#include "fuzz_input.h"
#include "nara_core.h"

using namespace settings;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t flags = in.u8();
    const int item = in.u8() % 4;
    FUZZ_CHECK(DotItem(flags) >= 0 && DotItem(flags) <= 2);
    const uint8_t stored = FlagsForDotItem(flags, item);
    FUZZ_CHECK((stored & ~0x06) == (flags & ~0x06));
    if (item <= 2) FUZZ_CHECK(DotItem(stored) == item);

    const int lo = in.u8(), hi = lo + in.u8();
    const bool zero = in.u8() & 1;
    const long n = static_cast<long>(in.u32() % 5000) - 2000;
    const std::string text = in.text(in.left());
    int v = -1;
    if (InRange(text, lo, hi, zero, &v)) FUZZ_CHECK((v >= lo && v <= hi) || (zero && v == 0));
    struct Rule {
        bool (*check)(std::string_view, int*);
        int lo, hi;
    };
    const Rule rules[] = {{NozzleWaitValid, 0, 99},  {MinSpeedValid, 0, 30},    {MinSpTimeValid, 0, 180},
                          {PcTimeoutValid, 0, 60},   {ValveDelayValid, 0, 30},  {ShimDurationValid, 0, 19},
                          {MinVolNaraValid, 0, 500}, {StWaitForceValid, 0, 99}, {PbTimeoutNaraValid, 0, 100}};
    for (const Rule& r : rules) {
        v = -1;
        if (r.check(text, &v)) FUZZ_CHECK(v >= r.lo && v <= r.hi);
    }
    if (BmuPasswordTextValid(text)) BmuPasswordValue(text);
    PrcShiftValue(text);
    if (HydroHitValid(n)) FUZZ_CHECK(HydroHitByte(n) == n / 10);
    if (TempLowValid(n)) FUZZ_CHECK(n < 0 && n >= -128);
    if (TempHighValid(n)) FUZZ_CHECK(n >= -128 && n <= 127);
    return 0;
}
