// The parameter report over any image and any mix of blocks read or missing:
// no crash, every line valid UTF-8 with no line break inside it.
#include "fuzz_input.h"
#include "report_core.h"

using namespace tools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    ReportImage img;
    const uint32_t read = in.u32();
    const int ctrl = in.u8();
    const bool extended = in.u8() & 1;
    img.paramsRead = read & 1;
    img.naraRead = read & 2;
    img.sidesRead = {bool(read & 4), bool(read & 8)};
    for (int n = 0; n < 10; ++n) {
        img.nozSettsRead[static_cast<size_t>(n)] = (read >> (4 + n)) & 1;
        img.nozRegsRead[static_cast<size_t>(n)] = (read >> (14 + n % 8)) & 1;
    }
    const std::vector<uint8_t> bytes = in.rest();
    std::copy(bytes.begin(), bytes.begin() + static_cast<long>(std::min(bytes.size(), img.bytes.size())),
              img.bytes.begin());
    for (const std::string& line : ReportText(img, ctrl, extended)) {
        FUZZ_CHECK(ValidUtf8(line));
        FUZZ_CHECK(line.find('\n') == std::string::npos || line.size() < 2 || line.back() != '\r');
    }
    return 0;
}
