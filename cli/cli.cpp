#include "cli.h"

#include "block_transfer.h"
#include "cli_command.h"
#include "com_ini.h"
#include "data_files.h"
#include "demo_image.h"
#include "error_messages.h"
#include "frames.h"
#include "image_host.h"
#include "line_options.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "snapshot.h"
#include "transfer_result.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <istream>
#include <ostream>
#include <sstream>
#include <thread>

#include <unistd.h>

namespace cli {

namespace {

const char* const kToolHead =
    "usage: startzel-cli [options] COMMAND [ARGS]\n"
    "\n"
    "Talks to one fuel-dispenser controller on the line named by the port.\n"
    "\n"
    "options:\n"
    "  --port NAME         port name (COM1, /dev/ttyUSB0, ttyUSB0, U_1234, TCPC_a.b.c.d:port, TCPS_port, "
    "STUB)\n"
    "  --baud N            line speed (default from com.ini, else 4800)\n"
    "  --data-bits N       7 or 8 (default 8)\n"
    "  --parity L          N, E, O, M or S (default N)\n"
    "  --stop-bits N       1 or 2 (default 1)\n"
    "  --addr HEX          controller address in hex (default 1; F0 is the reserve address)\n"
    "  --timeout-mult N    scale every wait of the protocol (default 1)\n"
    "  --echo              the adapter returns every byte sent (two-wire RS-485); default from line.ini\n"
    "  --rs485             kernel RS-485 mode of the serial port, RTS while sending; default from line.ini\n"
    "  --demo              serve reads and writes from demo_trk.bin instead of a line\n"
    "  --image FILE        work on the controller image FILE as on a controller, with no line: every\n"
    "                      write goes into the file at once (the file as it was is kept as a snapshot)\n"
    "  --device-type HEX   with --image: the device type the file's controller reports (21, 22, 17, 27)\n"
    "  --trace             append the port traffic to port.out\n"
    "  --help              this text; COMMAND --help describes a command\n"
    "  --version           the version\n"
    "\n"
    "commands:\n";

const char* const kToolTail =
    "\n"
    "Port and line settings not given default to com.ini in the working directory (an installed\n"
    "startzel-cli falls back to ~/.config/startzel for com.ini, don.msg and demo_trk.bin).\n"
    "Exit status: 0 success, 1 the operation failed, 2 wrong command line.\n";

std::string ToolHelp() {
    std::string s = kToolHead;
    for (const Command& c : Commands()) {
        s += "  ";
        s += c.synopsis;
        s += "\n";
    }
    return s + kToolTail;
}

const Command* Find(const std::string& name) {
    for (const Command& c : Commands())
        if (name == c.name) return &c;
    return nullptr;
}

// Every command flag of the tool and whether it takes a value; a flag keeps
// one arity across commands, so the line can be read before the command is known.
const Flag* FindFlag(const std::string& name) {
    for (const Command& c : Commands())
        for (const Flag& f : c.flags)
            if (name == f.name) return &f;
    return nullptr;
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
                err << "startzel-cli: the port name must have 1 to " << kPortNameMax << " bytes\n";
                return false;
            }
            o.port = v;
            o.havePort = true;
        } else if (a == "--baud") {
            if (!need(i, a, v)) return false;
            if (!ParseDecimal(v, 1, 4000000, n)) {
                err << "startzel-cli: --baud takes a rate such as 4800, 9600 or 115200, not \"" << v
                    << "\"\n";
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
            o.addrGiven = true;
        } else if (a == "--image") {
            if (!need(i, a, v)) return false;
            if (v.empty()) {
                err << "startzel-cli: --image needs a file name\n";
                return false;
            }
            o.image = v;
        } else if (a == "--device-type") {
            if (!need(i, a, v)) return false;
            uint32_t x = 0;
            if (!ParseHexNumber(v, x) || (x != 0x21 && x != 0x22 && x != 0x17 && x != 0x27)) {
                err << "startzel-cli: --device-type takes 21, 22, 17 or 27\n";
                return false;
            }
            o.deviceType = static_cast<uint8_t>(x);
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
            o.boardGiven = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--demo") {
            o.demo = true;
        } else if (a == "--trace") {
            o.trace = true;
        } else if (a == "--echo") {
            o.echo = true;
        } else if (a == "--rs485") {
            o.rs485 = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            const Flag* f = FindFlag(a);
            if (!f) {
                err << "startzel-cli: unknown option " << a << " (see --help)\n";
                return false;
            }
            if (f->takesValue && !need(i, a, v)) return false;
            o.flags[a] = v;
        } else if (o.command.empty()) {
            o.command = a;
        } else {
            o.args.push_back(a);
        }
    }
    return true;
}

int Dispatch(const Options& o, const Command& c, Io& io) {
    if (static_cast<int>(o.args.size()) < c.minArgs || static_cast<int>(o.args.size()) > c.maxArgs) {
        io.err << "startzel-cli: wrong arguments for " << o.command << "\n" << c.help;
        return kCliUsage;
    }
    for (const auto& [flag, value] : o.flags) {
        bool known = false;
        for (const Flag& f : c.flags)
            known = known || flag == f.name;
        if (!known) {
            io.err << "startzel-cli: " << flag << " does not apply to " << o.command << " (see " << o.command
                   << " --help)\n";
            return kCliUsage;
        }
    }
    if (c.check) {
        const int r = c.check(o, io);
        if (r != kCliOk) return r;
    }
    if (!o.image.empty() && (o.demo || o.havePort)) {
        io.err << "startzel-cli: --image works on a file instead of a line: it cannot be combined with "
               << (o.demo ? "--demo" : "--port") << "\n";
        return kCliUsage;
    }
    if (c.needs == Needs::Controller && o.demo) {
        io.err << "startzel-cli: " << o.command
               << " needs a controller on a line; demo mode serves memory reads and writes only\n";
        return kCliFailed;
    }
    Session session;
    if (c.needs != Needs::Nothing && !session.open(o, io.err)) return kCliFailed;
    const int status = c.run(o, session, io);
    if (status == kCliFailed) session.explainLine(io.err);
    if (status == kCliFailed && io.settleLineOnFailure) session.settle();
    return status;
}

} // namespace

Session::Session() = default;

Session::~Session() {
    ReleaseDemoImage();
    if (handle_ != 0) PortClose(handle_);
    if (image_) {
        image_->close();
        const std::string snapshot = image_->snapshotWritten();
        if (!snapshot.empty() && err_)
            *err_ << "startzel-cli: " << image_->file() << " as it was before is kept in " << snapshot
                  << "\n";
        const std::string why = image_->lastError();
        if (!why.empty() && err_) *err_ << "startzel-cli: a write was refused: " << why << "\n";
    }
    if (started_) PortLayerStop();
    TraceMask = 0;
    Protocol().demoMode = false;
}

void Session::settle() const {
    // Longer than the longest exchange's time-out (510 ms), scaled like it.
    constexpr int kSettleMs = 600;
    if (handle_ != 0 && !Protocol().demoMode)
        std::this_thread::sleep_for(
            std::chrono::milliseconds(kSettleMs * std::max(1, Protocol().timeoutMultiplier)));
}

bool Session::open(const Options& o, std::ostream& err) {
    err_ = &err;
    ComPortSetting s;
    ComIniTable ini;
    if (ReadComIni(ini, ProgramFiles().comIni) == 1) s = ini.entries[0];
    if (ini.refused[0] && !o.havePort) {
        err << "startzel-cli: the first line of com.ini is longer than any line the tool writes (port names "
               "have at most "
            << kComNameMax << " bytes); give --port NAME or correct com.ini\n";
        return false;
    }
    // A line setting of com.ini the line cannot take is refused, unless the
    // command line gives that setting itself.
    ComPortSetting fromIni = s;
    if (o.dataBits) fromIni.dataBits = 8;
    if (o.parity) fromIni.parity = 'N';
    if (o.stopBits) fromIni.stopCode = 1;
    if (const std::string problem = ComLineProblem(fromIni); !problem.empty() && !o.demo) {
        err << "startzel-cli: the first line of " << ProgramFiles().comIni << " has " << problem
            << "; correct com.ini or give the setting (--data-bits, --parity, --stop-bits)\n";
        return false;
    }
    if (o.havePort) s.name = o.port;
    if (o.haveBaud) s.baud = o.baud;
    if (o.dataBits) s.dataBits = static_cast<uint8_t>(o.dataBits);
    if (o.parity) s.parity = o.parity;
    if (o.stopBits) s.stopCode = static_cast<uint8_t>(o.stopBits);
    if (s.dataBits == 0) s.dataBits = 8;
    if (s.parity == 0) s.parity = 'N';
    if (s.stopCode == 0) s.stopCode = 1;
    ctrl_ = static_cast<int>(o.addr);

    Protocol().errorMessages.Load(ProgramFiles().donMsg);
    SetTimeoutMultiplier(o.timeoutMult);
    PortLayerStart();
    started_ = true;

    if (o.demo) {
        Protocol().demoMode = true;
        portName_ = "demo";
        const std::string& image = Protocol().demoFileName;
        const int r = LoadDemoImage(image);
        if (r != 1) {
            Fail(err,
                 r == -1 ? "cannot open the demo image " + image
                         : image + " is empty or too large (65535 bytes or more)",
                 r);
            return false;
        }
        return true; // demo mode needs no line
    }
    if (!o.image.empty()) {
        // The file's own controller on a line of this process.
        image_ = std::make_unique<zelsim::ImageHost>();
        std::string why;
        const std::string snapshot = o.imageSnapshot ? image::ImageFileSnapshotPath(o.image) : "";
        if (!image_->open(o.image, o.deviceType, snapshot, &why)) {
            err << "startzel-cli: " << why << "\n";
            image_.reset();
            return false;
        }
        s.name = image_->portName();
        s.baud = 115200;
        SetTimeoutMultiplier(std::max(o.timeoutMult, zelsim::kImageHostTimeoutMultiplier));
        if (!o.addrGiven) ctrl_ = image_->address();
    }
    if (s.name.empty()) {
        err << "startzel-cli: no port: give --port NAME or write the port into com.ini\n";
        return false;
    }
    portName_ = s.name;
    const int r = PortOpen(&handle_, s.name.c_str());
    if (r != 0) {
        std::string why = "cannot open port " + s.name;
        if (r > 0 && r != kOpenNoFreeSlot && r != kOpenEmptyName && r != kOpenNotStarted)
            why += std::string(": ") + std::strerror(r);
        Fail(err, why, r);
        return false;
    }
    if (handle_ > kMaxPortHandle) {
        Fail(err, "the port layer gave a handle the protocol cannot use", -3);
        return false;
    }
    if (o.trace) TraceMask = 1u << (handle_ - 1);
    const int u = U_xxx(handle_, s.baud, s.dataBits, s.parity, s.stopCode);
    if (u != 0) {
        Fail(err, "cannot set the line settings of port " + s.name + ": " + std::strerror(u), u);
        return false;
    }
    LineOptions line = ReadLineOptions(LineOptionsPath(ProgramFiles().comIni));
    line.echo = line.echo || o.echo;
    line.rs485 = line.rs485 || o.rs485;
    const int rs = ApplyLineOptions(handle_, line);
    if (rs != 0) {
        Fail(err,
             rs == ENOTTY || rs == EINVAL
                 ? "port " + s.name + " has no kernel RS-485 mode (--rs485)"
                 : "cannot set RS-485 mode on port " + s.name + ": " + std::strerror(rs),
             rs);
        return false;
    }
    return true;
}

void Session::explainLine(std::ostream& err) const {
    if (handle_ == 0) return;
    switch (PortEchoFindingOf(handle_)) {
    case EchoDetected:
        err << "startzel-cli: the adapter returns every byte sent: give --echo (or tick the echo box of the "
               "port "
               "settings)\n";
        break;
    case EchoMissing:
        err << "startzel-cli: the echo setting is on but the bytes sent did not come back: leave --echo off "
               "unless the adapter echoes\n";
        break;
    case EchoMismatch:
        err << "startzel-cli: what came back differs from the bytes sent: a line fault, or the adapter does "
               "not "
               "echo (leave --echo off)\n";
        break;
    default:
        break;
    }
}

int Fail(std::ostream& err, const std::string& sentence, int code) {
    err << "startzel-cli: " << sentence << " (result code " << code << ")\n";
    return kCliFailed;
}

int Say(std::ostream& err, const std::string& sentence, int exitCode) {
    err << "startzel-cli: " << sentence << "\n";
    return exitCode;
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

bool Confirm(const Options& o, Io& io, const std::string& question) {
    if (o.has("--yes")) return true;
    if (!io.inputIsTerminal || !io.in) {
        io.err << "startzel-cli: " << o.command
               << " replaces controller content: give --yes (standard input is not a terminal to ask)\n";
        return false;
    }
    io.err << question << " [y/N] " << std::flush;
    std::string answer;
    if (!std::getline(*io.in, answer)) return false;
    while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
        answer.pop_back();
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "д" || answer == "да";
}

bool IdentifyFirst(const Options& o, const Session& s, Io& io) {
    if (o.demo) return true;
    uint8_t answer[kIdentAnswerSize] = {};
    int at = 0;
    const int r = Identify(s.handle(), s.ctrl(), answer, &at);
    if (r == 1) return true;
    const std::string who = "controller " + HexByte(static_cast<unsigned>(s.ctrl()));
    Fail(io.err,
         r == kTransferFailed
             ? who + " does not answer identify; nothing was read or written"
             : std::string("the identify answer of ") + who +
                   " is not valid (a wrong checksum, or a device not supported); nothing was read or "
                   "written",
         r);
    s.explainLine(io.err);
    return false;
}

bool GoOnWithoutSnapshot(const Options& o, Io& io, const std::string& why, const std::string& question) {
    if (o.has("--allow-no-snapshot")) {
        io.err << "startzel-cli: " << why << "; writing without one (--allow-no-snapshot)\n";
        return true;
    }
    if (io.inputIsTerminal && io.in) {
        Options asking = o;
        asking.flags.erase("--yes");
        return Confirm(asking, io, why + ". " + question);
    }
    io.err << "startzel-cli: " << why
           << "; nothing written (give --allow-no-snapshot to write without one)\n";
    return false;
}

} // namespace cli

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    cli::Io io{out, err};
    return RunCli(args, io);
}

int RunCli(const std::vector<std::string>& args, cli::Io& io) {
    using namespace cli;
    Options o;
    if (!ParseArgs(args, o, io.err)) return kCliUsage;
    if (o.version) {
        io.out << "startzel-cli " << ZEL_VERSION << "\n";
        return kCliOk;
    }
    const Command* c = o.command.empty() ? nullptr : Find(o.command);
    if (o.help) {
        io.out << (c ? std::string(c->help) : ToolHelp());
        return kCliOk;
    }
    if (o.command.empty()) {
        io.err << ToolHelp();
        return kCliUsage;
    }
    if (!c) {
        io.err << "startzel-cli: unknown command \"" << o.command << "\" (see --help)\n";
        return kCliUsage;
    }
    return Dispatch(o, *c, io);
}
