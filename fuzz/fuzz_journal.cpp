// The write journal's line format: any line is a record or not (never a
// crash), a record read back is written back the same way, and a record made
// of any fields survives the round trip.
#include "fuzz_input.h"
#include "write_journal.h"

namespace {

bool SameRecord(const journal::Record& a, const journal::Record& b) {
    return a.time == b.time && a.port == b.port && a.ctrl == b.ctrl && a.board == b.board &&
           a.address == b.address && a.count == b.count && a.hidden == b.hidden && a.kind == b.kind &&
           a.beforeKnown == b.beforeKnown && a.before == b.before && a.after == b.after;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t mode = in.u8();
    if (mode & 1) {
        // A line as it may lie in a hostile or torn file.
        const std::string line = in.text(in.left());
        if (const auto r = journal::ParseLine(line)) {
            const auto again = journal::ParseLine(journal::FormatLine(*r));
            FUZZ_CHECK(again && SameRecord(*r, *again));
            FUZZ_CHECK(r->count >= 0 && r->count <= 65535 && r->ctrl >= 0 && r->ctrl <= 255);
        }
        return 0;
    }
    journal::Record r;
    r.time = "2026-12-10T10:00:00.000+0000";
    r.port = in.text(in.u8() % 200);
    r.ctrl = in.u8();
    r.board = in.u8();
    r.address = in.u32() & 0xFFFFFF;
    const uint8_t kind = in.u8() % 3;
    r.kind = static_cast<journal::Record::Kind>(kind);
    r.hidden = (in.u8() & 3) == 0 && r.kind != journal::Record::Kind::Done; // a confirmation carries no bytes
    const size_t n = in.u8();
    r.count = static_cast<int>(n);
    if (r.kind != journal::Record::Kind::Done && !r.hidden) {
        r.after = in.bytes(n);
        r.count = static_cast<int>(r.after.size());
        r.beforeKnown = in.u8() & 1;
        if (r.beforeKnown) {
            r.before = r.after;
            for (auto& b : r.before)
                b ^= in.u8();
        }
    }
    const std::string line = journal::FormatLine(r);
    FUZZ_CHECK(line.find('\n') == std::string::npos);
    const auto back = journal::ParseLine(line);
    FUZZ_CHECK(back && SameRecord(r, *back));
    return 0;
}
