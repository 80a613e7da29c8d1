// The commands that talk to the line directly: the port list, identification,
// raw memory reads and writes, restart, the error query and the search.
#include "block_transfer.h"
#include "cli.h"
#include "cli_command.h"
#include "codepage.h"
#include "data_files.h"
#include "demo_image.h"
#include "dump_core.h"
#include "error_messages.h"
#include "frames.h"
#include "hex_text.h"
#include "json_out.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "search_core.h"
#include "transfer_result.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <ostream>

namespace cli {

namespace {

int CheckAddress(const Options& o, Io& io, uint32_t& addr) {
    if (!ParseHexNumber(o.args[0], addr) || addr > 0xFFFFFF)
        return Say(io.err, "ADDR must be a hex address up to FFFFFF", kCliUsage);
    return kCliOk;
}

// --area names the memory areas as the dump tab does: ER board 0, IR board 2, IM board 4.
int ReadBoard(const Options& o) {
    const auto name = o.value("--area");
    const auto area = name ? tools::AreaByName(*name) : std::nullopt;
    return area ? static_cast<int>(*area) : o.board;
}

int CheckRead(const Options& o, Io& io) {
    uint32_t addr = 0, len = 0;
    if (const int r = CheckAddress(o, io, addr); r != kCliOk) return r;
    if (const auto area = o.value("--area")) {
        if (!tools::AreaByName(*area)) return Say(io.err, "--area takes ER, IR or IM", kCliUsage);
        if (o.boardGiven && o.board != ReadBoard(o))
            return Say(io.err,
                       "--area " + *area + " is board " + std::to_string(ReadBoard(o)) + ", not " +
                           std::to_string(o.board),
                       kCliUsage);
    }
    if (o.args.size() == 2 && (!ParseHexNumber(o.args[1], len) || len == 0 || len > 0xFFFF))
        return Say(io.err, "LEN must be a hex length from 1 to FFFF", kCliUsage);
    return kCliOk;
}

int CheckWrite(const Options& o, Io& io) {
    uint32_t addr = 0;
    if (const int r = CheckAddress(o, io, addr); r != kCliOk) return r;
    std::vector<uint8_t> data;
    if (!ParseHexBytes(o.args[1], data) || data.empty() || data.size() > 0xFFFF)
        return Say(io.err, "HEXBYTES must be pairs of hex digits (spaces allowed), 1 to 65535 bytes",
                   kCliUsage);
    return kCliOk;
}

int RunPorts(const Options& o, Session&, Io& io) {
    EnumeratePorts();
    Json ports = Json::array();
    for (int i = 0; i < PortList.count; ++i) {
        const std::string& byId = PortList.info[i].byId;
        if (!WantsJson(o)) {
            io.out << PortList.names[i] << (byId.empty() ? "" : "  " + byId) << "\n";
            continue;
        }
        Json port = {{"name", PortList.names[i]}, {"byId", nullptr}};
        if (!byId.empty()) port["byId"] = byId;
        ports.push_back(port);
    }
    if (WantsJson(o)) PrintJson(io.out, Json{{"ports", ports}});
    return kCliOk;
}

int RunIdentify(const Options& o, Session& s, Io& io) {
    uint8_t ans[kIdentAnswerSize] = {};
    int outAddr = 0;
    const int r = Identify(s.handle(), s.ctrl(), ans, &outAddr);
    if (r != 1)
        return Fail(io.err,
                    r == kTransferFailed ? "no answer to identify" : "the identify answer is not valid", r);
    if (WantsJson(o)) {
        PrintJson(io.out, Json{{"address", ans[0]}, {"type", ans[1]}, {"extra", ans[2]}});
        return kCliOk;
    }
    io.out << "address=" << HexByte(ans[0]) << " type=" << HexByte(ans[1]) << " extra=" << HexByte(ans[2])
           << "\n";
    return kCliOk;
}

int RunIdentText(const Options&, Session& s, Io& io) {
    uint8_t text[kIdentTextSize] = {};
    const int r = ReadIdentText(s.handle(), s.ctrl(), text);
    if (r != 1)
        return Fail(io.err,
                    r == kTransferFailed ? "no identification text came"
                                         : "the identification text stopped before its end",
                    r);
    io.out << Cp1251ToUtf8(reinterpret_cast<const char*>(text)) << "\n";
    return kCliOk;
}

int RunSizes(const Options& o, Session& s, Io& io) {
    const int r = ReadBlockSizes(s.handle(), s.ctrl());
    if (r != 1) return Fail(io.err, "cannot read the block sizes", r);
    const int* sizes = BlockSizes();
    if (WantsJson(o)) {
        PrintJson(io.out, Json{{"sizes", std::vector<int>(sizes, sizes + 7)}});
        return kCliOk;
    }
    for (int i = 0; i < 7; ++i)
        io.out << (i ? " " : "") << sizes[i];
    io.out << "\n";
    return kCliOk;
}

// Demo mode keeps whole blocks, not memory: a read or write that does not
// address one of them exactly (or reaches past it) would report bytes the
// image does not have, or a write that changed nothing, as done.
int DemoRefusal(int board, Io& io, uint32_t addr, uint32_t len) {
    if (board != kBoardMain)
        return Fail(io.err, "the demo image keeps no memory on board " + std::to_string(board), -1);
    const int kept = DemoBlockLength(addr);
    if (kept < 0)
        return Fail(io.err,
                    "the demo image keeps no block at " + HexNumber(addr) +
                        " (its blocks start at 3101, 1000-1900, 2000-2900, 4000, 4100 and 5100)",
                    -1);
    if (len > static_cast<uint32_t>(kept))
        return Fail(io.err,
                    "the demo image keeps " + std::to_string(kept) + " bytes at " + HexNumber(addr) +
                        ", not " + std::to_string(len),
                    -1);
    return kCliOk;
}

int RunRead(const Options& o, Session& s, Io& io) {
    uint32_t addr = 0, len = 0;
    ParseHexNumber(o.args[0], addr);
    if (o.args.size() == 2) ParseHexNumber(o.args[1], len);
    const int board = ReadBoard(o);
    std::vector<uint8_t> buf(std::max<size_t>(len, kLengthQueryCapacity) + 1);
    int r = 0;
    if (Protocol().demoMode && (len == 0 || addr == CtrlrParams.address)) {
        // The demo image keeps the parameter block behind its length byte at 3100.
        if (len == 0 && (addr != kAddrParamLength || board != kBoardMain))
            return Fail(io.err, "in the demo image only 3100 is read by its length byte (give LEN)", -1);
        if (len != 0) {
            if (const int d = DemoRefusal(board, io, addr, len); d != kCliOk) return d;
            r = ReadBlock(s.handle(), s.ctrl(), kAddrParamLength, -1, buf.data(), kBoardMain);
            if (r < static_cast<int>(len)) return Fail(io.err, "the read failed", r < 0 ? r : -1);
            r = static_cast<int>(len);
        } else {
            r = ReadBlock(s.handle(), s.ctrl(), addr, -1, buf.data(), board);
        }
    } else {
        if (Protocol().demoMode) {
            if (const int d = DemoRefusal(board, io, addr, len); d != kCliOk) return d;
        }
        r = ReadBlock(s.handle(), s.ctrl(), addr, len == 0 ? -1 : static_cast<int>(len), buf.data(), board);
    }
    if (r < 0)
        return Fail(io.err, r == kTransferBadHandle ? TransferResultText(r) : "the read failed (no answer)",
                    r);
    if (WantsJson(o)) {
        // Without LEN the data starts after the length byte.
        PrintJson(io.out, Json{{"address", len == 0 ? addr + 1 : addr},
                               {"board", board},
                               {"length", r},
                               {"bytes", JsonBytes(buf.data(), r)}});
        return kCliOk;
    }
    io.out << HexBytes(buf.data(), r) << "\n";
    return kCliOk;
}

int RunWrite(const Options& o, Session& s, Io& io) {
    uint32_t addr = 0;
    ParseHexNumber(o.args[0], addr);
    std::vector<uint8_t> data;
    ParseHexBytes(o.args[1], data);
    if (Protocol().demoMode) {
        if (const int r = DemoRefusal(o.board, io, addr, static_cast<uint32_t>(data.size())); r != kCliOk)
            return r;
    }
    // The channel settings take the adjustment password where only that one is set.
    const bool channelSettings =
        o.board == 0 && addr >= NozSetts.address && addr < NozSetts.address + kMaxChannels * kChannelStride;
    if (!Protocol().demoMode && PasswordStep(o, s, io, channelSettings) != kCliOk) return kCliFailed;
    const int r = WriteBlock(s.handle(), s.ctrl(), addr, static_cast<int>(data.size()), data.data(), o.board);
    if (r != 1)
        return Fail(io.err, "the write failed (refused or no answer; the error command tells why)", r);
    // A controller can acknowledge a write it did not keep: memory is read
    // back (registers of board 2 are not memory: they read other values).
    if (o.has("--no-verify") || o.board == 2 || Protocol().demoMode) return kCliOk;
    std::vector<uint8_t> back(data.size());
    const int v = ReadBlock(s.handle(), s.ctrl(), addr, static_cast<int>(back.size()), back.data(), o.board);
    if (v != static_cast<int>(back.size()))
        return Fail(io.err,
                    "the controller acknowledged the write, but reading it back failed; what it holds is "
                    "not known (the write was not verified)",
                    v);
    if (back != data)
        return Fail(io.err,
                    "the controller acknowledged the write but holds " + HexBytes(back.data(), back.size()) +
                        " instead of " + HexBytes(data.data(), data.size()) + " (the write was not kept)",
                    -1);
    return kCliOk;
}

int RunRestart(const Options&, Session& s, Io& io) {
    const int r = RestartController(s.handle(), s.ctrl());
    if (r != 1) return Fail(io.err, "the restart failed", r);
    return kCliOk;
}

int RunError(const Options&, Session& s, Io& io) {
    int r = 0;
    const std::string text = Cp1251ToUtf8(ControllerErrorText(s.handle(), s.ctrl(), &r));
    if (r != 1) return Fail(io.err, "no answer to the error query", r);
    io.out << Protocol().lastErrorCode << (text.empty() ? "" : " ") << text << "\n";
    if (text.empty() && !Protocol().errorMessages.Loaded())
        io.err << "startzel-cli: note: " << ProgramFiles().donMsg
               << " could not be read: controller errors are shown without their texts\n";
    return kCliOk;
}

// A port that is gone (a converter unplugged, the far end of a pty closed):
// every later request would fail the same way.
bool PortGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EBADF || error == EPIPE;
}

int RunSearch(const Options& o, Session& s, Io& io) {
    Json found = Json::array();
    const int errorBefore = PortLastError(s.handle());
    // The search core polls the addresses and words each line; the answer's
    // bytes and the result stay here for the JSON and the checks of the port.
    uint8_t ans[kIdentAnswerSize] = {};
    int r = 0;
    settings::SearchRun run([&](int address) {
        std::fill(std::begin(ans), std::end(ans), uint8_t{0});
        int outAddr = 0;
        r = Identify(s.handle(), address, ans, &outAddr);
        return r;
    });
    for (run.start(); !run.done();) {
        const int a = run.next();
        const std::string line = run.tick();
        if (const int e = PortLastError(s.handle()); r < 1 && e != errorBefore && PortGone(e))
            return Fail(io.err,
                        "port " + s.portName() + " failed at address " + std::to_string(a) + ": " +
                            std::strerror(e) + "; the search stopped",
                        r);
        // An adapter that echoes with the echo setting off: no address can answer.
        if (r < 1 && PortEchoFindingOf(s.handle()) == EchoDetected)
            return Fail(io.err,
                        "the line returns what is sent; the search stopped at address " + std::to_string(a),
                        r);
        if (WantsJson(o)) {
            if (r >= 1) found.push_back({{"address", a}, {"type", ans[1]}, {"extra", ans[2]}});
            continue;
        }
        io.out << line << "\n";
        io.out.flush();
    }
    if (WantsJson(o)) PrintJson(io.out, Json{{"controllers", found}});
    return kCliOk;
}

} // namespace

std::vector<Command> LineCommands() {
    return {
        {"ports",
         "ports               the port list, one port a line, with its stable name",
         "usage: startzel-cli ports [--json]\n"
         "Lists the serial ports and USB converter channels found, one a line, sorted. A port\n"
         "udev also names under /dev/serial/by-id shows that stable name beside the short one;\n"
         "either can be given to --port or kept in com.ini.\n"
         "--json: {\"ports\": [{\"name\": ..., \"byId\": ... or null}]}\n",
         Needs::Nothing,
         0,
         0,
         {kJsonFlag},
         nullptr,
         RunPorts},
        {"identify",
         "identify            address, device type and extra byte of the controller",
         "usage: startzel-cli [--addr HEX] identify [--json]\n"
         "Sends the identify request and prints one line: address=XX type=XX extra=XX (hex).\n"
         "At the reserve address F0 the answering controller tells its own address.\n"
         "--json: {\"address\": N, \"type\": N, \"extra\": N} (numbers)\n",
         Needs::Controller,
         0,
         0,
         {kJsonFlag},
         nullptr,
         RunIdentify},
        {"ident-text",
         "ident-text          the controller's identification text",
         "usage: startzel-cli [--addr HEX] ident-text\n"
         "Prints the controller's identification text.\n",
         Needs::Controller,
         0,
         0,
         {},
         nullptr,
         RunIdentText},
        {"sizes",
         "sizes               the seven block sizes the controller reports",
         "usage: startzel-cli [--addr HEX] sizes [--json]\n"
         "Prints the seven block sizes of the sizes record at 3040, decimal, space-separated.\n"
         "--json: {\"sizes\": [7 numbers]}\n",
         Needs::Controller,
         0,
         0,
         {kJsonFlag},
         nullptr,
         RunSizes},
        {"read",
         "read ADDR [LEN]     read LEN bytes (hex) at ADDR (hex); without LEN the block's length byte is "
         "asked",
         "usage: startzel-cli [--addr HEX] read ADDR [LEN] [--board B | --area ER|IR|IM] [--json]\n"
         "Reads LEN bytes at ADDR (both hex) from board B (0, 2 or 4; default 0). Without LEN the\n"
         "byte at ADDR gives the length and the data follows from ADDR + 1. Prints the bytes as\n"
         "two-digit hex separated by spaces. --area names the memory areas of the dump tab:\n"
         "ER is board 0, IR board 2, IM board 4.\n"
         "--json: {\"address\": N, \"board\": N, \"length\": N, \"bytes\": [numbers]} (address of\n"
         "the first data byte). With --demo, ADDR starts a block of the demo image\n"
         "(3101, 1000-1900, 2000-2900, 4000, 4100, 5100; 3100 without LEN) and LEN stays within it.\n",
         Needs::Memory,
         1,
         2,
         {kJsonFlag, {"--area", true}},
         CheckRead,
         RunRead},
        {"write",
         "write ADDR HEX      write the bytes HEX (\"0A1B2C\" or \"0A 1B 2C\") at ADDR",
         "usage: startzel-cli [--addr HEX] write ADDR HEXBYTES [--board B] [--no-verify]\n"
         "Writes the bytes at ADDR (hex) on board B (0, 2 or 4; default 0). HEXBYTES are hex\n"
         "digits, spaces allowed: 0A1B2C or \"0A 1B 2C\". With --demo, ADDR starts a block of the\n"
         "demo image (3101, 1000-1900, 2000-2900, 4000, 4100, 5100) and the bytes stay within it.\n"
         "Memory (boards 0 and 4) is read back after the write and compared: bytes the controller\n"
         "acknowledged but did not keep fail the command. --no-verify skips the read.\n",
         Needs::Memory,
         2,
         2,
         {{"--no-verify", false}, kPasswordFileFlag},
         CheckWrite,
         RunWrite},
        {"restart",
         "restart             restart the controller",
         "usage: startzel-cli [--addr HEX] restart\n"
         "Restarts the controller (the byte 01 written to 88FFFF).\n",
         Needs::Controller,
         0,
         0,
         {},
         nullptr,
         RunRestart},
        {"error",
         "error               the controller's last error code and its text from don.msg",
         "usage: startzel-cli [--addr HEX] error\n"
         "Asks the controller for its last error code and prints it with its text from don.msg.\n",
         Needs::Controller,
         0,
         0,
         {},
         nullptr,
         RunError},
        {"search",
         "search              poll the addresses 1 to 31",
         "usage: startzel-cli search [--json]\n"
         "Sends the identify request to the addresses 1 to 31 and prints a line for each.\n"
         "--json: {\"controllers\": [{\"address\": N, \"type\": N, \"extra\": N}]} for those found\n",
         Needs::Controller,
         0,
         0,
         {kJsonFlag},
         nullptr,
         RunSearch},
    };
}

} // namespace cli
