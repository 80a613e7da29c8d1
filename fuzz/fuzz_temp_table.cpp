// The temperature table's parameters as typed: any text is a number or not,
// any three numbers give a table or a stated refusal, and every cell text of
// a computed table is valid UTF-8.
#include "fuzz_input.h"
#include "temperature_table.h"

#include <cmath>

using namespace tools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    double v[3] = {};
    for (double& x : v) {
        const auto p = ParseParameter(in.text(in.u8() % 24));
        if (!p) return 0;
        FUZZ_CHECK(std::isfinite(*p));
        x = *p;
    }
    const RecalcResult r = RecalculateTable(v[0], v[1], v[2]);
    if (r.status != Recalc::Ok) return 0;
    for (int i = 0; i < kTableEntries; ++i) {
        const auto k = static_cast<size_t>(i);
        FUZZ_CHECK(ValidUtf8(DegreesText(i)) && ValidUtf8(ResistanceText(r.rows[k].rt)) &&
                   ValidUtf8(ReadingText(r.table[k])));
    }
    const auto bytes = TableBytes(r.table);
    FUZZ_CHECK(TableFromBytes(bytes.data()) == r.table);
    return 0;
}
