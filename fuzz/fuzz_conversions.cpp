// Number texts, hexadecimal texts, pulse weights and code pages: every result
// is one of the documented ones, texts convert to the same length, and what
// goes round comes back (hexadecimal text and number, 1251 and UTF-8).
#include <algorithm>
#include <cstring>

#include "codepage.h"
#include "conversions.h"
#include "cp866.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    switch (in.u8() % 6) {
    case 0: {
        const uint32_t maximum = in.u32();
        const int flags = in.u8() & 3;
        const std::string text = in.text(in.left());
        const int r = CheckNumberText(text, maximum, flags);
        FUZZ_CHECK(r == 1 || r == -1 || r == -2 || r == -3);
        FUZZ_CHECK((r == -3) == text.empty());
        if (r == -2) FUZZ_CHECK((flags & kCheckNoMaximum) == 0);
        if (r == 1 && (flags & kCheckHex) && !(flags & kCheckNoMaximum) && text.size() <= 8) {
            std::string copy = text;
            FUZZ_CHECK(HexTextToNumber(copy) <= maximum);
        }
        break;
    }
    case 1: {
        std::string text = in.text(in.left());
        const uint32_t v = HexTextToNumber(text);
        // The text is read as a C string: up to its first zero byte.
        for (size_t i = 0; i < text.size() && text[i] != 0; ++i)
            FUZZ_CHECK(!(text[i] >= 'a' && text[i] <= 'z'));
        const std::string hex = NumberToHexText(v);
        FUZZ_CHECK(hex.size() >= 2 && hex.size() <= 8 && hex.size() % 2 == 0);
        std::string back = hex;
        FUZZ_CHECK(HexTextToNumber(back) == v);
        char dst[9];
        FUZZ_CHECK(NumberToHexText(v, dst) == 1 && hex == dst);
        break;
    }
    case 2: {
        const uint8_t b = in.u8();
        std::string two = ByteToHexDigits(b);
        FUZZ_CHECK(two.size() == 2 && HexTextToNumber(two) == b);
        const std::vector<uint8_t> bytes = in.rest();
        FUZZ_CHECK(AllBytesEqual(bytes.data(), static_cast<long>(bytes.size()), b) ==
                   (std::count(bytes.begin(), bytes.end(), b) == static_cast<long>(bytes.size()) ? 1 : 0));
        break;
    }
    case 3: {
        const int oldCode = in.u8(), newCode = in.u8();
        std::vector<uint8_t> record = in.bytes(kPulseRecordSize);
        record.resize(kPulseRecordSize, 0);
        const std::vector<uint8_t> before = record;
        const int r = ScalePulseWeights(record.data(), oldCode, newCode);
        FUZZ_CHECK(r == 1 || r == -1 || r == -2);
        if (newCode == 0) FUZZ_CHECK(r == -1);
        if (r != 1) FUZZ_CHECK(record == before);
        break;
    }
    case 4: {
        const std::string text = in.text(in.left());
        FUZZ_CHECK(Cp866ToCp1251(text).size() == text.size());
        FUZZ_CHECK(Cp866ToCp1251ErrorText(text).size() == text.size());
        FUZZ_CHECK(Cp1251ToCp866(text).size() == text.size());
        // 1251 -> UTF-8 -> 1251 gives every byte back but the one unassigned (0x98).
        const std::string back = Utf8ToCp1251(Cp1251ToUtf8(text));
        FUZZ_CHECK(back.size() == text.size());
        for (size_t i = 0; i < text.size(); ++i)
            FUZZ_CHECK(back[i] == text[i] || (static_cast<uint8_t>(text[i]) == 0x98 && back[i] == '?'));
        break;
    }
    default: {
        const std::string text = in.text(in.left());
        // Broken UTF-8 gives '?', never more bytes than it had.
        FUZZ_CHECK(Utf8ToCp1251(text).size() <= text.size());
        FUZZ_CHECK(Utf8ToCp866(text).size() <= text.size());
        const std::string utf8 = Cp866ToUtf8(text);
        FUZZ_CHECK(Utf8ToCp866(utf8).size() == text.size());
        break;
    }
    }
    return 0;
}
