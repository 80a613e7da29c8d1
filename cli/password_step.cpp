// The password step of startzel-cli: where the desktop program presents the
// administrator password (or, for the channel settings, the adjustment
// password) before a protected write, the tool presents it too, taken from a
// file, the environment or a prompt without echo; never from the command line.
#include "block_transfer.h"
#include "cli.h"
#include "cli_command.h"
#include "codepage.h"
#include "error_messages.h"
#include "hex_text.h"
#include "memory_map.h"
#include "protocol_state.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <istream>
#include <ostream>

namespace cli {

namespace {

bool Trimmed(std::string& s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    s.erase(0, i);
    return !s.empty();
}

// Line 1 of the file: the administrator password; line 2: the adjustment password.
bool FromFile(const std::string& path, bool adjust, std::string& out, std::string& why) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        why = "the password file " + path + " cannot be read (it must be a regular file)";
        return false;
    }
    ::close(fd);
    std::ifstream in(path);
    std::string line;
    for (int i = 0; i <= (adjust ? 1 : 0); ++i)
        if (!std::getline(in, line)) line.clear();
    if (!Trimmed(line)) {
        why =
            std::string("the password file ") + path + " has no " +
            (adjust ? "adjustment password on its second line" : "administrator password on its first line");
        return false;
    }
    out = line;
    return true;
}

// Typed at the terminal, not shown.
bool FromPrompt(Io& io, bool adjust, std::string& out) {
    if (!io.inputIsTerminal || !io.in) return false;
    io.err << (adjust ? "adjustment password: " : "administrator password: ") << std::flush;
    termios saved{};
    const bool tty = ::isatty(0) && ::tcgetattr(0, &saved) == 0;
    if (tty) {
        termios quiet = saved;
        quiet.c_lflag &= static_cast<tcflag_t>(~ECHO);
        ::tcsetattr(0, TCSANOW, &quiet);
    }
    std::string line;
    const bool got = static_cast<bool>(std::getline(*io.in, line));
    if (tty) ::tcsetattr(0, TCSANOW, &saved);
    io.err << "\n";
    if (!got || !Trimmed(line)) return false;
    out = line;
    return true;
}

} // namespace

int PasswordStep(const Options& o, const Session& s, Io& io, bool adjustToo) {
    if (o.demo) return kCliOk; // the demo image keeps no passwords
    uint8_t status[kLenPasswordStatus] = {};
    const int r =
        ReadBlock(s.handle(), s.ctrl(), kAddrPasswordStatus, kLenPasswordStatus, status, kBoardMain);
    if (r < kLenPasswordStatus) return kCliOk; // no status: the write tells what the controller says
    bool none = true;
    for (uint8_t b : status)
        none = none && b == 0x11; // a controller without passwords
    if (none) return kCliOk;
    const bool admin = (status[0] & 0x01) != 0;
    const bool adjust = !admin && adjustToo && (status[0] & 0x02) != 0;
    if (!admin && !adjust) return kCliOk;

    const uint8_t ctrl = static_cast<uint8_t>(s.ctrl());
    const char* env = adjust ? "STARTZEL_ADJ_PASSWORD" : "STARTZEL_PASSWORD";
    const std::string which = adjust ? "adjustment password" : "administrator password";
    std::string text, why;
    if (auto file = o.value("--password-file")) {
        if (!FromFile(*file, adjust, text, why)) return Say(io.err, why + "; nothing written", kCliFailed);
    } else if (const char* v = std::getenv(env); v && *v) {
        text = v;
    } else if (!FromPrompt(io, adjust, text)) {
        return Say(io.err,
                   "controller " + HexByte(ctrl) + " has an " + which +
                       " set; nothing written. Give it with --password-file "
                       "FILE (" +
                       (adjust ? "second" : "first") + " line), in " + env +
                       ", or run on a terminal to type it",
                   kCliFailed);
    }
    long value = 0;
    if (!ParseDecimal(text, 0, 25599, value))
        return Say(io.err, "the " + which + " is a number from 0 to 25599; nothing written", kCliFailed);
    std::string controllerText;
    auto sink = Protocol().controllerErrorSink;
    Protocol().controllerErrorSink = [&controllerText](const std::string& t) { controllerText = t; };
    const int p = adjust ? PresentAdjustPassword(s.handle(), s.ctrl(), value)
                         : PresentAdminPassword(s.handle(), s.ctrl(), value);
    Protocol().controllerErrorSink = sink;
    if (p != 1) {
        const std::string said = Cp1251ToUtf8(controllerText);
        return Say(io.err,
                   "the controller refused the " + which + (said.empty() ? "" : ": " + said) +
                       "; nothing written",
                   kCliFailed);
    }
    return kCliOk;
}

} // namespace cli
