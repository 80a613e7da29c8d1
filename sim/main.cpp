// startzel-sim: one or more virtual controllers on a pseudo-terminal or a TCP
// listener. The first line of output is the port name to give the tool (the
// pty path, or TCPC_127.0.0.1:PORT); the program then runs until SIGINT/SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "hex_text.h"
#include "virtual_controller.h"

namespace {

const char kUsage[] = "Usage: startzel-sim [options]\n"
                      "Runs virtual controllers on one line. The first line printed is the port name\n"
                      "to give the tool: the pseudo-terminal path, or TCPC_127.0.0.1:PORT.\n"
                      "\n"
                      "With --tcp every connected client shares the one line, as on a TCP serial\n"
                      "server: all clients hear every answer, and a second client's frames mix with\n"
                      "the first's. Do not check memory with startzel-cli over TCP while the desktop\n"
                      "program is connected to the same line; use a second simulator instead.\n"
                      "\n"
                      "  --pty              serve the line on a pseudo-terminal (default)\n"
                      "  --tcp PORT         listen on TCP port PORT of 127.0.0.1 (0 picks a free port)\n"
                      "  --listen-all       with --tcp, listen on every interface\n"
                      "  --addr HEX         add a controller at this address (repeatable; default 1)\n"
                      "  --type HEX         device type 21, 22, 17 or 27 of the last --addr\n"
                      "                     (before any --addr: the default for all, 21)\n"
                      "  --image FILE       memory from a controller image file, for the last --addr\n"
                      "                     (before any --addr: for all)\n"
                      "  --passwords A:J    administrator and adjustment passwords (0 = not set)\n"
                      "  --baud N           pace both directions like a line at N baud\n"
                      "  --no-answer        controllers do not answer\n"
                      "  --extra-byte       every answer carries one byte too many\n"
                      "  --bad-ident-checksum  identify answers carry a wrong checksum\n"
                      "  --bad-type         identify answers report the unsupported type 20\n"
                      "  --refuse-writes    every write is refused\n"
                      "  --lose-writes      memory writes are acknowledged but not stored\n"
                      "  --flip-writes      memory writes are stored with one bit changed\n"
                      "  --delay MS         wait MS milliseconds before each answer\n"
                      "  --chunks N:MS      send answers in pieces of N bytes, MS milliseconds apart\n"
                      "  --corrupt          corrupt every answer byte\n"
                      "  --min-gap MS       busy like a controller writing its memory: ignore a\n"
                      "                     continuation frame (or a command after a frame that got no\n"
                      "                     answer) that starts less than MS ms after the previous frame\n"
                      "  --echo             echo every received byte back first, as two-wire adapters do\n"
                      "  --echo-delay MS    the echo (and what follows it) MS ms late, as a USB adapter's\n"
                      "                     latency timer holds it\n"
                      "  --silent-restart   restart without answering the restart\n"
                      "  --help             this text\n"
                      "  --version          the version\n";

struct CtrlSpec {
    int address = 1;
    int type = -1;
    std::string image;
};

bool ParseInt(const char* s, int base, int lo, int hi, int& out) {
    if (!s || !*s) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(s, &end, base);
    if (errno != 0 || *end != 0 || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

// A hexadecimal value (an optional 0x) within lo..hi.
bool ParseHexInRange(const char* s, uint32_t lo, uint32_t hi, int& out) {
    uint32_t v = 0;
    if (!s || !ParseHexNumber(s, v) || v < lo || v > hi) return false;
    out = static_cast<int>(v);
    return true;
}

int Fail(const std::string& msg) {
    std::fprintf(stderr, "startzel-sim: %s\n(see startzel-sim --help)\n", msg.c_str());
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    bool tcp = false, allInterfaces = false;
    int tcpPort = 0, baud = 0, defaultType = 0x21, admin = 0, adjust = 0;
    std::string defaultImage;
    std::vector<CtrlSpec> ctrls;
    zelsim::Faults faults;
    bool echo = false;
    int echoDelayMs = 0;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* val = i + 1 < argc ? argv[i + 1] : nullptr;
        auto needValue = [&]() {
            if (!val) return false;
            ++i;
            return true;
        };
        int v = 0;
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("startzel-sim %s\n", ZEL_VERSION);
            return 0;
        } else if (a == "--pty") {
            tcp = false;
        } else if (a == "--tcp") {
            if (!needValue() || !ParseInt(val, 10, 0, 65535, tcpPort))
                return Fail("--tcp needs a port 0..65535");
            tcp = true;
        } else if (a == "--listen-all") {
            allInterfaces = true;
        } else if (a == "--addr") {
            if (!needValue() || !ParseHexInRange(val, 1, 0xFF, v) || v == 0xF0)
                return Fail("--addr needs a hexadecimal address 1..FF other than F0");
            ctrls.push_back({v, -1, {}});
        } else if (a == "--type") {
            if (!needValue() || !ParseHexInRange(val, 0, 0xFF, v))
                return Fail("--type needs a hexadecimal byte");
            (ctrls.empty() ? defaultType : ctrls.back().type) = v;
        } else if (a == "--image") {
            if (!needValue()) return Fail("--image needs a file name");
            (ctrls.empty() ? defaultImage : ctrls.back().image) = val;
        } else if (a == "--passwords") {
            const char* colon = val ? std::strchr(val, ':') : nullptr;
            if (!needValue() || !colon) return Fail("--passwords needs ADMIN:ADJUST");
            const std::string first(val, colon);
            if (!ParseInt(first.c_str(), 10, 0, 25599, admin) || !ParseInt(colon + 1, 10, 0, 25599, adjust))
                return Fail("--passwords needs two numbers 0..25599");
        } else if (a == "--baud") {
            if (!needValue() || !ParseInt(val, 10, 1, 10'000'000, baud))
                return Fail("--baud needs a positive rate");
        } else if (a == "--no-answer") {
            faults.noAnswer = true;
        } else if (a == "--extra-byte") {
            faults.extraByte = true;
        } else if (a == "--bad-ident-checksum") {
            faults.badIdentChecksum = true;
        } else if (a == "--bad-type") {
            faults.badType = true;
        } else if (a == "--refuse-writes") {
            faults.refuseWrites = true;
        } else if (a == "--lose-writes") {
            faults.loseWrites = true;
        } else if (a == "--flip-writes") {
            faults.flipWrites = true;
        } else if (a == "--delay") {
            if (!needValue() || !ParseInt(val, 10, 0, 600'000, faults.answerDelayMs))
                return Fail("--delay needs milliseconds");
        } else if (a == "--chunks") {
            const char* colon = val ? std::strchr(val, ':') : nullptr;
            if (!needValue() || !colon) return Fail("--chunks needs N:MS");
            const std::string first(val, colon);
            if (!ParseInt(first.c_str(), 10, 1, 65535, faults.chunkSize) ||
                !ParseInt(colon + 1, 10, 0, 600'000, faults.chunkPauseMs))
                return Fail("--chunks needs N:MS with N >= 1");
        } else if (a == "--corrupt") {
            faults.corruptAnswers = true;
        } else if (a == "--min-gap") {
            if (!needValue() || !ParseInt(val, 10, 0, 10'000, faults.minGapMs))
                return Fail("--min-gap needs milliseconds 0..10000");
        } else if (a == "--echo") {
            echo = true;
        } else if (a == "--echo-delay") {
            if (!needValue() || !ParseInt(val, 10, 0, 10'000, echoDelayMs))
                return Fail("--echo-delay needs milliseconds 0..10000");
        } else if (a == "--silent-restart") {
            faults.silentRestart = true;
        } else {
            return Fail("unknown option " + a);
        }
    }
    if (ctrls.empty()) ctrls.push_back({1, -1, {}});

    zelsim::Line line;
    line.setEcho(echo);
    line.setEchoDelay(echoDelayMs);
    for (const auto& c : ctrls) {
        const int type = c.type >= 0 ? c.type : defaultType;
        zelsim::VirtualController& vc =
            line.addController(static_cast<uint8_t>(c.address), static_cast<uint8_t>(type));
        const std::string& image = c.image.empty() ? defaultImage : c.image;
        if (!image.empty()) {
            const int r = vc.loadImage(image);
            if (r == zelsim::kImageCannotOpen) return Fail("cannot open image " + image);
            if (r != zelsim::kImageOk) return Fail("not a usable controller image: " + image);
        }
        vc.setPasswords(admin, adjust);
        vc.setFaults(faults);
    }

    // Signals are taken by sigwait below; the line threads never see them.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    std::string error;
    zelsim::PtyTransport pty(line, baud);
    zelsim::TcpTransport tcpT(line, baud);
    if (tcp) {
        if (!tcpT.start(static_cast<uint16_t>(tcpPort), allInterfaces, &error)) return Fail(error);
        std::printf("TCPC_127.0.0.1:%u\n", static_cast<unsigned>(tcpT.port()));
    } else {
        if (!pty.start(&error)) return Fail(error);
        std::printf("%s\n", pty.slavePath().c_str());
    }
    std::fflush(stdout);
    // What runs where, for the engineer at the terminal (stdout stays one line).
    std::string what;
    for (const auto& c : ctrls) {
        what += " " + HexByte(static_cast<unsigned>(c.address)) + " (type " +
                HexByte(static_cast<unsigned>(c.type >= 0 ? c.type : defaultType)) + ")";
    }
    std::fprintf(stderr, "startzel-sim: controllers%s on %s%s; Ctrl+C ends\n", what.c_str(),
                 tcp ? "TCPC_127.0.0.1:" : "",
                 tcp ? std::to_string(tcpT.port()).c_str() : pty.slavePath().c_str());

    int sig = 0;
    sigwait(&set, &sig);
    pty.stop();
    tcpT.stop();
    return 0;
}
