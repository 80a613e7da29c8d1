// The tool's receive path against a scripted controller in virtual time: any
// bytes at any moments in answer to identify, the text request, reads (given
// length and length query), writes, sizes, restart, password presentation, the
// whole-image write, the simulator register and the error query. Every call
// returns one of its documented results, writes nothing past its destination
// (destinations are allocated to the byte), and ends by its deadline.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

#include "block_transfer.h"
#include "error_messages.h"
#include "frames.h"
#include "fuzz_input.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "virtual_line.h"

namespace {

int Pieces(int length) {
    return (length + kPieceSize - 1) / kPieceSize;
}

// Longest a read of `length` bytes may take: each piece one stall time per
// expected byte.
int64_t ReadBound(int length, int m) {
    int64_t t = 0;
    for (int left = length; left > 0; left -= kPieceSize)
        t += (20LL * m + 1) * 10 * (std::min(left, kPieceSize) + 1);
    return t;
}

int64_t WriteBound(int count, int m) {
    return Pieces(count) * ((50LL * m + 1) * 10 + 50);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const bool started = [] {
        PortLayerStart();
        std::atexit([] { PortLayerStop(); }); // the worker thread ends before the program does
        return true;
    }();
    (void)started;
    FuzzInput in(data, size);
    const int op = in.u8() % 12;
    const int m = 1 + in.u8() % 3;
    const int ctrl = in.u8();
    const int failWrite = in.u8() % 24; // 0: every write goes out
    const int length = in.u8();
    std::vector<vline::Event> events;
    while (in.more() && events.size() < 4096) {
        vline::Event e;
        e.afterWrites = in.u8() % 24;
        e.delayMs = in.u8() * 2;
        e.bytes = in.bytes(in.u8() % 64);
        events.push_back(std::move(e));
    }

    ResetProtocolState();
    SetTimeoutMultiplier(m);
    Protocol().errorMessages.Parse("16,1,refused\n16,2,wrong password\n");
    std::string shown;
    Protocol().controllerErrorSink = [&](const std::string& t) { shown = t; };
    vline::Install(std::move(events), failWrite);
    int h = 0;
    FUZZ_CHECK(PortOpen(&h, "STUB") == 0 && h >= 1 && h <= 4);

    int r = 0;
    int64_t bound = 0;
    switch (op) {
    case 0: {
        std::vector<uint8_t> ans(4);
        int addr = -1000;
        r = Identify(h, ctrl, ans.data(), &addr);
        FUZZ_CHECK(r == 1 || r == -1 || r == -2);
        if (r == 1) FUZZ_CHECK(addr == ans[0] && (ctrl == kReserveAddress || ans[0] == ctrl));
        bound = (10LL * m + 2) * 10;
        break;
    }
    case 1: {
        std::vector<uint8_t> text(kIdentTextSize);
        r = ReadIdentText(h, ctrl, text.data());
        FUZZ_CHECK(r == 1 || r == -1 || r == -2);
        FUZZ_CHECK(std::memchr(text.data(), 0, text.size()) != nullptr);
        bound = 250LL * m + 1 + 10240LL * m;
        break;
    }
    case 2: {
        const int len = 1 + length;
        std::vector<uint8_t> dst(static_cast<size_t>(len));
        r = ReadBlock(h, ctrl, 0x2000, len, dst.data(), kBoardMain);
        FUZZ_CHECK(r == len || r == -1);
        bound = ReadBound(len, m);
        break;
    }
    case 3: {
        std::vector<uint8_t> dst(kLengthQueryCapacity);
        r = ReadBlock(h, ctrl, kAddrParamLength, -1, dst.data(), kBoardMain);
        FUZZ_CHECK(r >= -1 && r <= kLengthQueryCapacity);
        bound = 200LL * m + ReadBound(kLengthQueryCapacity, m);
        break;
    }
    case 4: {
        const std::vector<uint8_t> bytes(static_cast<size_t>(1 + length), 0x5A);
        r = WriteBlock(h, ctrl, 0x1000, static_cast<int>(bytes.size()), bytes.data(), length % 2 ? 2 : 0);
        FUZZ_CHECK(r == 1 || r == -1);
        bound = WriteBound(static_cast<int>(bytes.size()), m);
        break;
    }
    case 5:
        r = ReadBlockSizes(h, ctrl);
        FUZZ_CHECK(r == 1 || r == -1);
        if (r == -1)
            for (int i = 0; i < 7; ++i)
                FUZZ_CHECK(BlockSizes()[i] == 0);
        bound = ReadBound(kLenSizes, m);
        break;
    case 6:
        r = RestartController(h, ctrl);
        FUZZ_CHECK(r == 1 || r == -1);
        bound = WriteBound(1, m);
        break;
    case 7:
        r = PresentAdminPassword(h, ctrl, length * 97);
        FUZZ_CHECK(r == 1 || r == -1);
        FUZZ_CHECK(shown.empty() || shown == "refused" || shown == "wrong password");
        bound = WriteBound(2, m) + 300;
        break;
    case 8: {
        // A small image: the header's sizes, then the blocks.
        int8_t hdr[7] = {
            int8_t(length % 60), 0, 0, int8_t(length % 21), int8_t(length % 3), int8_t(length % 70),
            int8_t(length % 13)};
        std::vector<uint8_t> image(static_cast<size_t>(ImageLength(hdr)), 0x33);
        std::memcpy(image.data(), hdr, 7);
        r = WriteImage(h, ctrl, image.data(), image.size());
        FUZZ_CHECK(r == 1 || r == -1);
        break;
    }
    case 9: {
        const std::string text = ControllerErrorText(h, ctrl);
        FUZZ_CHECK(text.empty() || text == "refused" || text == "wrong password");
        FUZZ_CHECK(Protocol().errorQueryPhase == 0);
        bound = 300;
        break;
    }
    case 10: {
        r = SetSimulator(h, ctrl, length % 2 == 0);
        FUZZ_CHECK(r == 1 || r == -1);
        const int on = ReadSimulator(h, ctrl);
        FUZZ_CHECK(on == 1 || on == 0 || on == -1);
        std::vector<uint8_t> t(3);
        const int got = ReadTemperatureRaw(h, ctrl, t.data());
        FUZZ_CHECK(got == 0 || got == 1);
        bound = 2 * ReadBound(1, m) + WriteBound(1, m) + ReadBound(3, m);
        break;
    }
    default: {
        // The error query one step at a time, as a caller driving it would.
        Protocol().errorQueryPhase = 0;
        r = QueryErrorCode(h, ctrl);
        int steps = 0;
        while (r == 0 && ++steps < 1000) {
            zel::line::LinePause(1);
            r = QueryErrorCode(h, ctrl);
        }
        FUZZ_CHECK(r == 1 || r == -6);
        if (r == -6) FUZZ_CHECK(Protocol().lastErrorCode == kErrorCodeTimeout);
        bound = 302;
        break;
    }
    }
    if (bound > 0) FUZZ_CHECK(vline::Now() <= bound);
    PortClose(h);
    vline::Uninstall();
    return 0;
}
