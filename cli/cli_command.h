// The parts every startzel-cli command is built from: the parsed command line,
// the session that opens the port (or the demo image), and the table entry a
// command group adds to the tool.
//
// A command group is a .cpp file with a function returning its entries; the
// list in command_list.cpp gathers the groups. Each entry names the flags it
// takes, so the parser can refuse a flag a command does not know.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace zelsim {
class ImageHost;
}
namespace image {
struct Snapshot;
struct WholeWriteRequest;
struct WholeWriteResult;
} // namespace image

namespace cli {

struct Options {
    std::string port;
    bool havePort = false;
    uint32_t baud = 0;
    bool haveBaud = false;
    int dataBits = 0;
    char parity = 0;
    int stopBits = 0;
    uint32_t addr = 1;
    bool addrGiven = false;
    // --image FILE: the file served as a controller of this device type.
    std::string image;
    uint8_t deviceType = 0x21;
    bool imageSnapshot = true; // the file as it was is kept before its first write
    int timeoutMult = 1;
    bool demo = false;
    bool trace = false;
    // The port settings beside com.ini (line.ini) unless given here.
    bool echo = false;
    bool rs485 = false;
    int board = 0;
    bool boardGiven = false;
    std::string command;
    std::vector<std::string> args;
    bool help = false;
    bool version = false;
    // Command flags as given: "--yes" -> "", "--sides" -> "2".
    std::map<std::string, std::string> flags;

    bool has(const std::string& flag) const { return flags.count(flag) != 0; }
    std::optional<std::string> value(const std::string& flag) const {
        auto it = flags.find(flag);
        if (it == flags.end()) return std::nullopt;
        return it->second;
    }
};

// Standard streams of one run. `in` answers confirmations; `inputIsTerminal`
// and `errIsTerminal` decide whether to ask and whether to draw progress.
struct Io {
    std::ostream& out;
    std::ostream& err;
    std::istream* in = nullptr;
    bool inputIsTerminal = false;
    bool errIsTerminal = false;
    // The program ends after the command: a failed command keeps its line
    // open for a moment first (see Session::settle).
    bool settleLineOnFailure = false;
};

// The port (or the demo image) and the port layer, released on every way out.
class Session {
public:
    Session();
    ~Session();
    // Opens what the options name; false with a sentence on err.
    bool open(const Options& o, std::ostream& err);
    // A controller may still answer an exchange that timed out. Kept open for
    // a moment, the line takes that late answer here, and the next program's
    // request cannot take it for its own (a read answer carries no checksum).
    void settle() const;
    int handle() const { return handle_; }
    int ctrl() const { return ctrl_; }
    std::string portName() const { return portName_; }
    // After a failed command: a sentence on err when the line itself showed why
    // (an adapter that echoes with the echo setting off, or no echo with it on).
    void explainLine(std::ostream& err) const;

private:
    int handle_ = 0;
    int ctrl_ = 0;
    bool started_ = false;
    std::string portName_;
    std::unique_ptr<zelsim::ImageHost> image_; // --image: the file's controller
    std::ostream* err_ = nullptr;              // where open() reported, for the notes at the end
};

// What a command needs before it runs.
enum class Needs {
    Nothing,    // no port, no demo image (files, the port list)
    Memory,     // reads and writes of controller memory: a line, or the demo image
    Controller, // a real controller on a line (identify, restart, ...); refused in demo mode
};

struct Flag {
    const char* name;
    bool takesValue;
};

struct Command {
    const char* name;
    const char* synopsis; // the line of the tool's help: "read ADDR [LEN]     read LEN bytes ..."
    const char* help;     // COMMAND --help
    Needs needs;
    int minArgs, maxArgs;
    std::vector<Flag> flags;
    // Checks the arguments before any traffic: kCliOk to go on, or the exit code.
    int (*check)(const Options& o, Io& io);
    // Runs the command; `session` is open unless needs is Nothing.
    int (*run)(const Options& o, Session& session, Io& io);
};

// Every command of the tool, in the order of its help.
const std::vector<Command>& Commands();

// Groups (one per source file).
std::vector<Command> LineCommands();
std::vector<Command> DecodeCommands();
std::vector<Command> DoctorCommands();
std::vector<Command> TempTableCommands();
std::vector<Command> ToolsCommands();
std::vector<Command> ImageCommands();
std::vector<Command> StationCommands();

// image new FILE --type T [--sizes ...] (tools_commands.cpp).
int CheckImageNew(const Options& o, Io& io);
int RunImageNew(const Options& o, Io& io);
// "startzel-cli: <sentence> (result code <code>)" on err; returns kCliFailed.
int Fail(std::ostream& err, const std::string& sentence, int code);
// "startzel-cli: <sentence>" on err; returns the exit code given.
int Say(std::ostream& err, const std::string& sentence, int exitCode);
// A decimal number of at most 9 digits within lo..hi.
bool ParseDecimal(const std::string& text, long lo, long hi, long& value);
// Asks the engineer before a write that replaces a controller's content: true
// with --yes, false (with the reason) when standard input is not a terminal,
// else the answer typed (y, yes, д, да).
bool Confirm(const Options& o, Io& io, const std::string& question);
// Before a protected write: when the controller's password status asks for
// it, presents the administrator password (or, with `adjustToo`, the
// adjustment password when only that one is set), taken from --password-file
// FILE, STARTZEL_PASSWORD / STARTZEL_ADJ_PASSWORD, or typed without echo on a
// terminal. kCliOk to go on, else kCliFailed with the reason said.
int PasswordStep(const Options& o, const Session& s, Io& io, bool adjustToo);
inline const Flag kPasswordFileFlag{"--password-file", true};
// Identifies the controller before a whole-controller read or write, so that a
// dead, foreign or corrupting line stops the command before anything is read
// into a file or written; nothing to do in demo mode. False with the reason on err.
bool IdentifyFirst(const Options& o, const Session& s, Io& io);
// Whether a whole-controller write may go on without the snapshot it could not
// take (`why`): --allow-no-snapshot, or a yes typed on a terminal to `question`.
// --yes answers the write's question, not this one. False with the reason on err.
bool GoOnWithoutSnapshot(const Options& o, Io& io, const std::string& why, const std::string& question);

// The guarded whole-controller write (whole_write.cpp): the request run with
// the command line's answers (--no-verify, --allow-no-snapshot or a terminal
// question, the password step before the first write, progress on a
// terminal), the snapshot's path said before the writes.
image::WholeWriteResult RunWholeWrite(const Options& o, const Session& s, Io& io, image::WholeWriteRequest q);
// The one account of it at the end: `what` ("the image ...") written into
// `into` ("controller 05"), or each block not written, each field held other
// than written, where the controller answers and the snapshot to restore
// from. The exit status.
int WordWholeWrite(Io& io, const image::WholeWriteResult& r, const std::string& what,
                   const std::string& into);
// Why a snapshot could not be taken, in the tool's words.
std::string SnapshotProblem(const image::Snapshot& s, bool demo, const std::string& who);

} // namespace cli
