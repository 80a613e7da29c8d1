// don.msg: any content gives a table within its capacities; every text found
// fits a line piece and converts for display.
#include <string_view>

#include "codepage.h"
#include "error_messages.h"
#include "frames.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ErrorMessageTable t;
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    t.Parse(content);
    FUZZ_CHECK(t.Count() <= kErrorTableEntries);
    FUZZ_CHECK(t.TextBytes() <= kErrorTablePool);
    // The codes a controller reports, and a few the content itself names.
    int codes[20];
    for (int i = 0; i < 16; ++i)
        codes[i] = i;
    for (int i = 16; i < 20; ++i)
        codes[i] = size > static_cast<size_t>(i) ? data[i] - '0' : -1;
    for (int code : codes) {
        const std::string text = t.Lookup(kErrorGroupController, code);
        FUZZ_CHECK(text.size() <= kErrorLinePiece);
        FUZZ_CHECK(Cp866ToCp1251ErrorText(text).size() == text.size());
    }
    Cp1251ToUtf8(Cp866ToCp1251ErrorText(t.Lookup(kErrorGroupController, codes[19])));
    // Parsing is a function of the content alone.
    ErrorMessageTable again;
    again.Parse(content);
    FUZZ_CHECK(again.Count() == t.Count() && again.TextBytes() == t.TextBytes());
    return 0;
}
