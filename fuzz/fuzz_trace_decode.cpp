// The trace decoder over any bytes: every event becomes a line and a JSON
// object without a crash, and every line it prints is valid UTF-8 (the trace
// is CP866, hostile bytes included).
#include "fuzz_input.h"
#include "json_out.h"
#include "trace_decode.h"

#include <sstream>

using namespace tracedecode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    const auto errorText = [](int code) { return code == 7 ? std::string("ошибка \xff") : std::string(); };
    size_t events = 0;
    DecodeStream(in, [&](const Event& e) {
        ++events;
        const std::string line = EventLine(e, errorText);
        FUZZ_CHECK(line.find('\n') == std::string::npos || e.kind == Event::NotUnderstood);
        const std::string json = cli::JsonText(cli::Json{{"line", line}});
        FUZZ_CHECK(ValidUtf8(json));
    });
    FUZZ_CHECK(events <= size + 1);
    return 0;
}
