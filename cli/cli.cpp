#include "cli.h"

#include "block_transfer.h"
#include "codepage.h"
#include "com_ini.h"
#include "demo_image.h"
#include "error_messages.h"
#include "frames.h"
#include "port_layer.h"
#include "protocol_state.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <ostream>
#include <sstream>
#include <thread>

namespace {

const char* const kToolHelp =
    "usage: startzel-cli [options] COMMAND [ARGS]\n"
    "\n"
    "Talks to one fuel-dispenser controller on the line named by the port.\n"
    "\n"
    "options:\n"
    "  --port NAME         port name (COM1, /dev/ttyUSB0, ttyUSB0, U_1234, TCPC_a.b.c.d:port, TCPS_port, STUB)\n"
    "  --baud N            line speed (default from com.ini, else 4800)\n"
    "  --data-bits N       7 or 8 (default 8)\n"
    "  --parity L          N, E, O, M or S (default N)\n"
    "  --stop-bits N       1 or 2 (default 1)\n"
    "  --addr HEX          controller address in hex (default 1; F0 is the reserve address)\n"
    "  --timeout-mult N    scale every wait of the protocol (default 1)\n"
    "  --demo              serve reads and writes from demo_trk.bin instead of a line\n"
    "  --trace             append the port traffic to port.out\n"
    "  --help              this text; COMMAND --help describes a command\n"
    "\n"
    "commands:\n"
    "  ports               the port list, one name a line\n"
    "  identify            address, device type and extra byte of the controller\n"
    "  ident-text          the controller's identification text\n"
    "  sizes               the seven block sizes the controller reports\n"
    "  read ADDR [LEN]     read LEN bytes (hex) at ADDR (hex); without LEN the block's length byte is asked\n"
    "  write ADDR HEX      write the bytes HEX (\"0A1B2C\" or \"0A 1B 2C\") at ADDR\n"
    "  restart             restart the controller\n"
    "  error               the controller's last error code and its text from don.msg\n"
    "  search              poll the addresses 1 to 31\n"
    "\n"
    "Port and line settings not given default to com.ini in the working directory.\n"
    "Exit status: 0 success, 1 the operation failed, 2 wrong command line.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"ports", "usage: startzel-cli ports\n"
              "Lists the serial ports and USB converter channels found, one name a line, sorted.\n"},
    {"identify", "usage: startzel-cli [--addr HEX] identify\n"
                 "Sends the identify request and prints one line: address=XX type=XX extra=XX (hex).\n"
                 "At the reserve address F0 the answering controller tells its own address.\n"},
    {"ident-text", "usage: startzel-cli [--addr HEX] ident-text\n"
                   "Prints the controller's identification text.\n"},
    {"sizes", "usage: startzel-cli [--addr HEX] sizes\n"
              "Prints the seven block sizes of the sizes record at 3040, decimal, space-separated.\n"},
    {"read", "usage: startzel-cli [--addr HEX] read ADDR [LEN] [--board B]\n"
             "Reads LEN bytes at ADDR (both hex) from board B (0, 2 or 4; default 0). Without LEN the\n"
             "byte at ADDR gives the length and the data follows from ADDR + 1. Prints the bytes as\n"
             "two-digit hex separated by spaces.\n"},
    {"write", "usage: startzel-cli [--addr HEX] write ADDR HEXBYTES [--board B]\n"
              "Writes the bytes at ADDR (hex) on board B (0, 2 or 4; default 0). HEXBYTES are hex\n"
              "digits, spaces allowed: 0A1B2C or \"0A 1B 2C\".\n"},
    {"restart", "usage: startzel-cli [--addr HEX] restart\n"
                "Restarts the controller (the byte 01 written to 88FFFF).\n"},
    {"error", "usage: startzel-cli [--addr HEX] error\n"
              "Asks the controller for its last error code and prints it with its text from don.msg.\n"},
    {"search", "usage: startzel-cli search\n"
               "Sends the identify request to the addresses 1 to 31 and prints a line for each.\n"},
};

struct Options {
    std::string port;
    bool havePort = false;
    uint32_t baud = 0;
    bool haveBaud = false;
    int dataBits = 0;
    char parity = 0;
    int stopBits = 0;
    uint32_t addr = 1;
    int timeoutMult = 1;
    bool demo = false;
    bool trace = false;
    int board = 0;
    std::string command;
    std::vector<std::string> args;
    bool help = false;
};

std::string HexLine(const uint8_t* bytes, int n) {
    std::string s;
    char b[4];
    for (int i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", bytes[i]);
        s += b;
    }
    return s;
}

bool ParseDecimal(const std::string& text, long lo, long hi, long& value) {
    if (text.empty() || text.size() > 9) return false;
    long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    value = v;
    return true;
}

// Reads the command line; false (with a sentence on err) when it is wrong.
bool ParseArgs(const std::vector<std::string>& args, Options& o, std::ostream& err) {
    auto need = [&](size_t& i, const std::string& opt, std::string& v) {
        if (i + 1 >= args.size()) {
            err << "startzel-cli: " << opt << " needs a value\n";
            return false;
        }
        v = args[++i];
        return true;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string v;
        long n = 0;
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--port") {
            if (!need(i, a, v)) return false;
            if (v.empty() || v.size() > static_cast<size_t>(kPortNameMax)) {
                err << "startzel-cli: the port name must have 1 to " << kPortNameMax << " characters\n";
                return false;
            }
            o.port = v;
            o.havePort = true;
        } else if (a == "--baud") {
            if (!need(i, a, v)) return false;
            if (!ParseDecimal(v, 1, 4000000, n)) {
                err << "startzel-cli: --baud takes a rate such as 4800, 9600 or 115200, not \"" << v << "\"\n";
                return false;
            }
            o.baud = static_cast<uint32_t>(n);
            o.haveBaud = true;
        } else if (a == "--data-bits") {
            if (!need(i, a, v)) return false;
            if (!ParseDecimal(v, 7, 8, n)) {
                err << "startzel-cli: --data-bits takes 7 or 8\n";
                return false;
            }
            o.dataBits = static_cast<int>(n);
        } else if (a == "--parity") {
            if (!need(i, a, v)) return false;
            if (v.size() != 1 || std::strchr("NEOMSnoems", v[0]) == nullptr) {
                err << "startzel-cli: --parity takes N, E, O, M or S\n";
                return false;
            }
            o.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(v[0])));
        } else if (a == "--stop-bits") {
            if (!need(i, a, v)) return false;
            if (!ParseDecimal(v, 1, 2, n)) {
                err << "startzel-cli: --stop-bits takes 1 or 2\n";
                return false;
            }
            o.stopBits = static_cast<int>(n);
        } else if (a == "--addr") {
            if (!need(i, a, v)) return false;
            uint32_t x = 0;
            if (!ParseHexNumber(v, x) || x == 0 || x > 0xFF) {
                err << "startzel-cli: --addr takes a controller address in hex, 1 to FF\n";
                return false;
            }
            o.addr = x;
        } else if (a == "--timeout-mult") {
            if (!need(i, a, v)) return false;
            if (!ParseDecimal(v, 1, 1000, n)) {
                err << "startzel-cli: --timeout-mult takes a whole number from 1 to 1000\n";
                return false;
            }
            o.timeoutMult = static_cast<int>(n);
        } else if (a == "--board") {
            if (!need(i, a, v)) return false;
            if (v != "0" && v != "2" && v != "4") {
                err << "startzel-cli: --board takes 0, 2 or 4\n";
                return false;
            }
            o.board = v[0] - '0';
        } else if (a == "--demo") {
            o.demo = true;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            err << "startzel-cli: unknown option " << a << " (see --help)\n";
            return false;
        } else if (o.command.empty()) {
            o.command = a;
        } else {
            o.args.push_back(a);
        }
    }
    return true;
}

bool Fail(std::ostream& err, const std::string& sentence, int code) {
    err << "startzel-cli: " << sentence << " (result code " << code << ")\n";
    return false;
}

// The session: port layer, the port and the protocol state, released on every way out.
class Session {
public:
    ~Session() {
        ReleaseDemoImage();
        if (handle_ != 0) PortClose(handle_);
        if (started_) PortLayerStop();
        TraceMask = 0;
        Protocol().demoMode = false;
    }

    bool open(const Options& o, std::ostream& err) {
        ComPortSetting s;
        ComIniTable ini;
        if (ReadComIni(ini) == 1) s = ini.entries[0];
        if (o.havePort) s.name = o.port;
        if (o.haveBaud) s.baud = o.baud;
        if (o.dataBits) s.dataBits = static_cast<uint8_t>(o.dataBits);
        if (o.parity) s.parity = o.parity;
        if (o.stopBits) s.stopCode = static_cast<uint8_t>(o.stopBits);
        if (s.dataBits == 0) s.dataBits = 8;
        if (s.parity == 0) s.parity = 'N';
        if (s.stopCode == 0) s.stopCode = 1;

        Protocol().errorMessages.Load("don.msg");
        SetTimeoutMultiplier(o.timeoutMult);
        PortLayerStart();
        started_ = true;

        if (o.demo) {
            Protocol().demoMode = true;
            const int r = LoadDemoImage("demo_trk.bin");
            if (r != 1) {
                return Fail(err,
                            r == -1 ? "cannot open the demo image demo_trk.bin in the working directory"
                                    : "demo_trk.bin is empty or too large (65535 bytes or more)",
                            r);
            }
            return true; // demo mode needs no line
        }
        if (s.name.empty()) {
            err << "startzel-cli: no port: give --port NAME or write the port into com.ini\n";
            return false;
        }
        const int r = PortOpen(&handle_, s.name.c_str());
        if (r != 0) {
            std::string why = "cannot open port " + s.name;
            if (r > 0 && r != kOpenNoFreeSlot && r != kOpenEmptyName && r != kOpenNotStarted)
                why += std::string(": ") + std::strerror(r);
            return Fail(err, why, r);
        }
        if (handle_ > kMaxPortHandle) return Fail(err, "the port layer gave a handle the protocol cannot use", -3);
        if (o.trace) TraceMask = 1u << (handle_ - 1);
        const int u = U_xxx(handle_, s.baud, s.dataBits, s.parity, s.stopCode);
        if (u != 0) return Fail(err, "cannot set the line settings of port " + s.name + ": " + std::strerror(u), u);
        return true;
    }

    int handle() const { return handle_; }

private:
    int handle_ = 0;
    bool started_ = false;
};

bool NeedLine(const Options& o, std::ostream& err) {
    if (!o.demo) return true;
    err << "startzel-cli: " << o.command << " needs a controller on a line; demo mode serves memory reads and "
        << "writes only\n";
    return false;
}

bool ArgCount(const Options& o, size_t lo, size_t hi, std::ostream& err) {
    if (o.args.size() >= lo && o.args.size() <= hi) return true;
    err << "startzel-cli: wrong arguments for " << o.command << "\n" << kCommandHelp.at(o.command);
    return false;
}

int Run(const Options& o, std::ostream& out, std::ostream& err) {
    if (o.command == "ports") {
        if (!ArgCount(o, 0, 0, err)) return kCliUsage;
        EnumeratePorts();
        for (int i = 0; i < PortList.count; ++i) out << PortList.names[i] << "\n";
        return kCliOk;
    }

    // Check the arguments before any traffic.
    uint32_t addr = 0, len = 0;
    std::vector<uint8_t> data;
    if (o.command == "read") {
        if (!ArgCount(o, 1, 2, err)) return kCliUsage;
        if (!ParseHexNumber(o.args[0], addr) || addr > 0xFFFFFF) {
            err << "startzel-cli: ADDR must be a hex address up to FFFFFF\n";
            return kCliUsage;
        }
        if (o.args.size() == 2 && (!ParseHexNumber(o.args[1], len) || len == 0 || len > 0xFFFF)) {
            err << "startzel-cli: LEN must be a hex length from 1 to FFFF\n";
            return kCliUsage;
        }
    } else if (o.command == "write") {
        if (!ArgCount(o, 2, 2, err)) return kCliUsage;
        if (!ParseHexNumber(o.args[0], addr) || addr > 0xFFFFFF) {
            err << "startzel-cli: ADDR must be a hex address up to FFFFFF\n";
            return kCliUsage;
        }
        if (!ParseHexBytes(o.args[1], data) || data.empty() || data.size() > 0xFFFF) {
            err << "startzel-cli: HEXBYTES must be pairs of hex digits (spaces allowed), 1 to 65535 bytes\n";
            return kCliUsage;
        }
    } else {
        if (!ArgCount(o, 0, 0, err)) return kCliUsage;
    }
    if ((o.command == "identify" || o.command == "ident-text" || o.command == "sizes" || o.command == "error" ||
         o.command == "search" || o.command == "restart") &&
        !NeedLine(o, err))
        return kCliFailed;

    Session session;
    if (!session.open(o, err)) return kCliFailed;
    const int port = session.handle();
    const int ctrl = static_cast<int>(o.addr);

    if (o.command == "identify") {
        uint8_t ans[kIdentAnswerSize] = {};
        int outAddr = 0;
        const int r = Identify(port, ctrl, ans, &outAddr);
        if (r != 1) {
            Fail(err, r == -1 ? "no answer to identify" : "the identify answer is not valid", r);
            return kCliFailed;
        }
        char line[64];
        std::snprintf(line, sizeof line, "address=%02X type=%02X extra=%02X", ans[0], ans[1], ans[2]);
        out << line << "\n";
        return kCliOk;
    }
    if (o.command == "ident-text") {
        uint8_t text[kIdentTextSize] = {};
        const int r = ReadIdentText(port, ctrl, text);
        if (r != 1) {
            Fail(err, r == -1 ? "no identification text came" : "the identification text stopped before its end",
                 r);
            return kCliFailed;
        }
        out << Cp1251ToUtf8(reinterpret_cast<const char*>(text)) << "\n";
        return kCliOk;
    }
    if (o.command == "sizes") {
        const int r = ReadBlockSizes(port, ctrl);
        if (r != 1) {
            Fail(err, "cannot read the block sizes", r);
            return kCliFailed;
        }
        const int* s = BlockSizes();
        for (int i = 0; i < 7; ++i) out << (i ? " " : "") << s[i];
        out << "\n";
        return kCliOk;
    }
    if (o.command == "read") {
        std::vector<uint8_t> buf(std::max<size_t>(len, kLengthQueryCapacity) + 1);
        const int r = ReadBlock(port, ctrl, addr, len == 0 ? -1 : static_cast<int>(len), buf.data(), o.board);
        if (r < 0) {
            Fail(err, r == -3 ? "the port handle cannot be used by the protocol" : "the read failed (no answer)",
                 r);
            return kCliFailed;
        }
        out << HexLine(buf.data(), r) << "\n";
        return kCliOk;
    }
    if (o.command == "write") {
        const int r = WriteBlock(port, ctrl, addr, static_cast<int>(data.size()), data.data(), o.board);
        if (r != 1) {
            Fail(err, "the write failed (refused or no answer; the error command tells why)", r);
            return kCliFailed;
        }
        return kCliOk;
    }
    if (o.command == "restart") {
        const int r = RestartController(port, ctrl);
        if (r != 1) {
            Fail(err, "the restart failed", r);
            return kCliFailed;
        }
        return kCliOk;
    }
    if (o.command == "error") {
        int r = 0;
        while ((r = QueryErrorCode(port, ctrl)) == 0) PortWaitInput(port, 1);
        if (r != 1) {
            Fail(err, "no answer to the error query", r);
            return kCliFailed;
        }
        const int code = Protocol().lastErrorCode;
        const std::string text = Cp1251ToUtf8(
            Cp866ToCp1251ErrorText(Protocol().errorMessages.Lookup(kErrorGroupController, code)));
        out << code << (text.empty() ? "" : " ") << text << "\n";
        return kCliOk;
    }
    if (o.command == "search") {
        for (int a = 1; a <= 31; ++a) {
            uint8_t ans[kIdentAnswerSize] = {};
            int outAddr = 0;
            const int r = Identify(port, a, ans, &outAddr);
            out << "Трк №" << a << (r >= 1 ? " найдено." : " не найдено.") << "\n";
            out.flush();
        }
        return kCliOk;
    }
    err << "startzel-cli: unknown command \"" << o.command << "\" (see --help)\n";
    return kCliUsage;
}

} // namespace

bool ParseHexNumber(const std::string& text, uint32_t& value) {
    std::string t = text;
    if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t = t.substr(2);
    if (t.empty() || t.size() > 8) return false;
    uint32_t v = 0;
    for (char c : t) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        v = v * 16 + static_cast<uint32_t>(std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                                                                                       : std::toupper(c) - 'A' + 10);
    }
    value = v;
    return true;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
    std::string digits;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
        digits += c;
    }
    if (digits.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < digits.size(); i += 2) {
        uint32_t v = 0;
        ParseHexNumber(digits.substr(i, 2), v);
        bytes.push_back(static_cast<uint8_t>(v));
    }
    return true;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    Options o;
    if (!ParseArgs(args, o, err)) return kCliUsage;
    if (o.help) {
        auto it = kCommandHelp.find(o.command);
        out << (it != kCommandHelp.end() ? it->second : std::string(kToolHelp));
        return kCliOk;
    }
    if (o.command.empty()) {
        err << kToolHelp;
        return kCliUsage;
    }
    if (kCommandHelp.find(o.command) == kCommandHelp.end()) {
        err << "startzel-cli: unknown command \"" << o.command << "\" (see --help)\n";
        return kCliUsage;
    }
    return Run(o, out, err);
}
