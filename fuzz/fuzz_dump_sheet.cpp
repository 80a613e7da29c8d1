// The memory dump sheet under any sequence of selections, edits and Enter:
// no crash, and the bytes always match the two digits and the character each
// byte shows.
#include "dump_core.h"
#include "fuzz_input.h"

using namespace tools;

namespace {

int FuzzHex(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    DumpSheet sheet;
    const uint32_t address = in.u32() & 0xFFFFFF;
    sheet.show(address, static_cast<DumpArea>(in.u8() % 3), in.bytes(in.u8()));
    const int rows = sheet.rows();
    while (in.more()) {
        const uint8_t op = in.u8();
        const int column = in.u8() % (kDumpColumns + 2) - 1;
        const int row = rows ? in.u8() % (rows + 2) - 1 : in.u8() % 3 - 1;
        if (op % 3 == 0) {
            sheet.select(column, row);
        } else if (op % 3 == 1) {
            std::u16string text;
            for (size_t n = in.u8() % 3; n > 0; --n)
                text.push_back(static_cast<char16_t>(in.u16()));
            sheet.editText(column, row, text);
        } else {
            sheet.enter(column, row);
        }
        if (row >= 0 && row < rows) FUZZ_CHECK(!sheet.pointerText(row).empty());
    }
    const std::vector<uint8_t>& bytes = sheet.bytes();
    for (size_t i = 0; i < bytes.size(); ++i) {
        const int r = static_cast<int>(i / kDumpBytesPerRow), k = static_cast<int>(i % kDumpBytesPerRow);
        const std::u16string& hi = sheet.cell(3 * k + 1, r);
        const std::u16string& lo = sheet.cell(3 * k + 2, r);
        if (hi.size() == 1 && lo.size() == 1 && FuzzHex(hi[0]) >= 0 && FuzzHex(lo[0]) >= 0)
            FUZZ_CHECK(bytes[i] == FuzzHex(hi[0]) * 16 + FuzzHex(lo[0]));
        const std::u16string& chars = sheet.cell(kDumpCharColumn, r);
        FUZZ_CHECK(static_cast<size_t>(k) < chars.size() &&
                   chars[static_cast<size_t>(k)] == OemChar(bytes[i]));
    }
    return 0;
}
