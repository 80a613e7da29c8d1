// com.ini: any content parses without overrun, and every entry the writer
// takes reads back as the same line and the same settings (parse, write,
// re-read), through memory and through the file.
#include "com_ini.h"
#include "fuzz_input.h"

namespace {

// What the reader gives back for an entry the writer took.
void CheckReadsBack(const ComPortSetting& e, const ComPortSetting& back) {
    FUZZ_CHECK(back.name == e.name);
    FUZZ_CHECK(back.baud == e.baud);
    FUZZ_CHECK(back.reservedByte == e.reservedByte);
    FUZZ_CHECK(back.flag0 == (e.flag0 != 0 ? 1 : 0));
    FUZZ_CHECK(back.flag1 == (e.flag1 != 0 ? 1 : 0));
    FUZZ_CHECK(back.dataBits == e.dataBits);
    FUZZ_CHECK(back.parity == (e.parity != 0 ? e.parity : 'N'));
    FUZZ_CHECK(back.stopCode == e.stopCode);
}

void RoundTrip(const ComPortSetting& e, bool throughFile) {
    if (!ComIniWritable(e)) {
        if (throughFile) FUZZ_CHECK(WriteComIni(e, "com.ini") == 0);
        return;
    }
    const std::string line = ComIniLine(e);
    FUZZ_CHECK(line.size() <= static_cast<size_t>(kComIniLineMax));
    ComIniTable t;
    if (throughFile) {
        FUZZ_CHECK(WriteComIni(e, "com.ini") == 1);
        FUZZ_CHECK(ReadComIni(t, "com.ini") == 1);
    } else {
        ParseComIniText(t, line);
    }
    FUZZ_CHECK(!t.refused[0]);
    CheckReadsBack(e, t.entries[0]);
    FUZZ_CHECK(ComIniLine(t.entries[0]) == line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t mode = in.u8();
    if (mode % 2 == 0) {
        // A file's content: every entry it gives goes round once more.
        ComIniTable t;
        ParseComIniText(t, in.text(in.left()));
        for (const ComPortSetting& e : t.entries) {
            FUZZ_CHECK(e.name.size() <= static_cast<size_t>(kComNameMax));
            RoundTrip(e, false);
        }
        return 0;
    }
    // An entry as the dialog or a caller might hand it over.
    ComPortSetting e;
    e.name = in.text(in.u16() % 320);
    e.baud = in.u32();
    e.reservedByte = in.u8();
    e.flag0 = in.u8() & 1;
    e.flag1 = in.u8() & 1;
    e.dataBits = in.u8();
    e.parity = static_cast<char>(in.u8());
    e.stopCode = in.u8();
    if (e.name.size() > static_cast<size_t>(kComNameMax)) FUZZ_CHECK(!ComIniWritable(e));
    RoundTrip(e, (mode & 2) != 0);
    return 0;
}
