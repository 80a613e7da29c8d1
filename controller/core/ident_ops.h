// The transfer sequences of the main tab: identification, the register and
// fiscal totalizer views, the CRC and the small register writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ident {

struct IdentifyAnswer {
    int result = -1;        // Identify: 1, -1 no answer, -2 device not supported
    int address = 0;        // the answering controller's address (reserve address: its own)
    uint8_t deviceType = 0; // DeviceType of the answer
};
IdentifyAnswer IdentifyAt(int port, int ctrl);

// Register 0x24 (board 2): the byte, or nothing when the read failed.
std::optional<uint8_t> ReadRegister24(int port, int ctrl);
// The identification text, UTF-8 (empty when none came).
std::string ReadIdentTextUtf8(int port, int ctrl);

// The register view: "IR 24h = .." and the six registers from 0x28. `ok` is
// false when a read failed; `lines` then holds what was read before it.
struct RegisterLines {
    std::vector<std::string> lines;
    bool ok = false;
};
RegisterLines ReadRegisterLines(int port, int ctrl);

// The fiscal totalizer lines of every channel (at most ten), or nothing when
// a read failed.
std::optional<std::vector<std::string>> ReadFiscalLines(int port, int ctrl);

// The CRC-16 register: its text, or nothing when the read failed.
std::optional<std::string> ReadCrcText(int port, int ctrl);

// Display mode register write (0 standard .. 3 fiscal totalizers). The WriteBlock result.
int WriteDisplayMode(int port, int ctrl, int code);
// Table fitting step: 0x80 and the low byte of n to register 0x28. The WriteBlock result.
int WriteFittingStep(int port, int ctrl, long n);

} // namespace ident
