// Reads one whole controller image's worth of blocks from the virtual
// controller over a pseudo-terminal, with the line paced at a real baud rate,
// and compares the time taken with the time the bytes need on the wire.
//
//   transfer_bench [baud ...]     (default: 1200 2400 4800 9600 115200)
//
// Wire-time bound: (bytes sent + bytes received) x 10 bits / baud; the line is
// half duplex, so the two directions add up. Ratio = time / bound.
//
// One line per case, the ratio last:
//   read    4800 baud  time 3.900 s  wire 3.883 s  out 528 B  in 1336 B  ratio 1.004
#include "block_transfer.h"
#include "port_layer.h"
#include "virtual_controller.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Figures {
    double seconds = 0;
    size_t out = 0, in = 0;
    bool ok = true;
};

// Every group of a controller image: sizes, parameters (length query),
// 10 channel settings, 2 sides, 10 channel state registers, 0x5100, 0x3000.
bool ReadImage(int port, int ctrl) {
    uint8_t buf[300];
    bool ok = ReadBlockSizes(port, ctrl) == 1;
    ok &= ReadBlock(port, ctrl, kAddrParamLength, -1, buf, 0) == 58;
    for (uint32_t n = 0; n < 10; ++n)
        ok &= ReadBlock(port, ctrl, NozSetts.address + n * kChannelStride, 20, buf, 0) == 20;
    ok &= ReadBlock(port, ctrl, SideAddress(0), 12, buf, 0) == 12;
    ok &= ReadBlock(port, ctrl, SideAddress(1), 12, buf, 0) == 12;
    for (uint32_t n = 0; n < 10; ++n)
        ok &= ReadBlock(port, ctrl, NozRegs.address + n * kChannelStride, 69, buf, 0) == 69;
    ok &= ReadBlock(port, ctrl, NaraSpecific.address, kNaraSpecificImageLength, buf, 0) ==
          kNaraSpecificImageLength;
    ok &= ReadBlock(port, ctrl, kAddrBlock3000, kLenBlock3000, buf, 0) == kLenBlock3000;
    return ok;
}

Figures Measure(int baud) {
    Figures f;
    zelsim::Line line;
    line.addController(1);
    zelsim::PtyTransport pty(line, baud);
    std::string error;
    if (!pty.start(&error)) {
        std::fprintf(stderr, "transfer_bench: %s\n", error.c_str());
        f.ok = false;
        return f;
    }
    int port = 0;
    if (PortOpen(&port, pty.slavePath().c_str()) != 0) {
        f.ok = false;
        return f;
    }
    U_xxx(port, static_cast<uint32_t>(baud), 8, 'N', 1);
    const auto t0 = std::chrono::steady_clock::now();
    f.ok = ReadImage(port, 1);
    f.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    PortClose(port);
    pty.stop();
    // What crossed the line: every frame the controller received, and for each
    // read request the n data bytes plus the trailing byte it answered.
    for (const auto& fr : line.frames()) {
        f.out += fr.bytes.size();
        if (fr.kind == zelsim::FrameKind::Address && fr.bytes.size() == 8) f.in += fr.bytes[6] + 1u;
    }
    return f;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> rates;
    for (int i = 1; i < argc; ++i)
        rates.push_back(std::atoi(argv[i]));
    if (rates.empty()) rates = {1200, 2400, 4800, 9600, 115200};
    PortLayerStart();
    int status = 0;
    for (int baud : rates) {
        if (baud <= 0) continue;
        const Figures f = Measure(baud);
        const double wire = static_cast<double>(f.out + f.in) * 10.0 / baud;
        if (!f.ok) status = 1;
        std::printf("read  %7d baud  time %7.3f s  wire %7.3f s  out %5zu B  in %5zu B%s  ratio %.3f\n", baud,
                    f.seconds, wire, f.out, f.in, f.ok ? "" : "  (transfer failed)",
                    wire > 0 ? f.seconds / wire : 0.0);
        std::fflush(stdout);
    }
    PortLayerStop();
    return status;
}
