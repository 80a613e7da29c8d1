// Every fault switch of the virtual controller against every startzel-cli
// command, over a pseudo-terminal (and a subset over TCP): the exit status,
// no false success (a write reported done changed the memory, a read reported
// done printed what the controller holds), and every command ends within its
// time-out plus a margin.
//
// A command added to the tool needs a row here; the test says so.
//
// Each cell runs the real startzel-cli program in a folder of its own (its
// com.ini, port.out and journal stay there), against a simulator of its own,
// so the cells run side by side: most of a cell is waiting on the line.
#include "block_layout.h"
#include "cli_command.h"

#include "cp866.h"
#include "memory_map.h"
#include "virtual_controller.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

using Bytes = std::vector<uint8_t>;

struct Result {
    int status = -1;
    std::string out, err;
    long ms = 0;
};

struct FaultCase {
    const char* name;
    zelsim::Faults faults;
    // The line around the controller and the options the cell gives for it.
    int baud = 0;                  // the simulator paced at this rate, the tool set to it
    bool lineEchoes = false;       // a two-wire adapter returns every byte sent
    std::vector<std::string> args; // before the row's own
    std::string failureSays;       // a failed command's stderr names the cause
};

std::vector<FaultCase> AllFaults() {
    std::vector<FaultCase> v;
    auto add = [&](const char* name, const std::function<void(zelsim::Faults&)>& set) {
        zelsim::Faults f;
        set(f);
        v.push_back({name, f, 0, false, {}, {}});
    };
    add("none", [](zelsim::Faults&) {});
    add("no-answer", [](zelsim::Faults& f) { f.noAnswer = true; });
    add("extra-byte", [](zelsim::Faults& f) { f.extraByte = true; });
    add("bad-ident-checksum", [](zelsim::Faults& f) { f.badIdentChecksum = true; });
    add("bad-type", [](zelsim::Faults& f) { f.badType = true; });
    add("refuse-writes", [](zelsim::Faults& f) { f.refuseWrites = true; });
    add("delay 60", [](zelsim::Faults& f) { f.answerDelayMs = 60; });
    add("delay 600", [](zelsim::Faults& f) { f.answerDelayMs = 600; });
    add("chunks 4:20", [](zelsim::Faults& f) {
        f.chunkSize = 4;
        f.chunkPauseMs = 20;
    });
    add("corrupt", [](zelsim::Faults& f) { f.corruptAnswers = true; });
    // An adapter that echoes, with the echo setting and without it.
    add("echo with --echo", [](zelsim::Faults&) {});
    v.back().lineEchoes = true;
    v.back().args = {"--echo"};
    add("echo without --echo", [](zelsim::Faults&) {});
    v.back().lineEchoes = true;
    v.back().failureSays = "startzel-cli: the adapter returns every byte sent: give --echo";
    // The restart carried out but not answered: nothing is left waiting.
    add("silent-restart", [](zelsim::Faults& f) { f.silentRestart = true; });
    // Memory writes acknowledged but not kept, or kept with a bit changed: no
    // write command may report success.
    add("lose-writes", [](zelsim::Faults& f) { f.loseWrites = true; });
    add("flip-writes", [](zelsim::Faults& f) { f.flipWrites = true; });
    return v;
}

std::string Hex(const Bytes& b) {
    std::string s;
    char x[4];
    for (size_t i = 0; i < b.size(); ++i) {
        std::snprintf(x, sizeof x, i ? " %02X" : "%02X", b[i]);
        s += x;
    }
    return s;
}

Bytes Xor(Bytes b, bool corrupt) {
    if (corrupt)
        for (auto& x : b)
            x ^= 0x5A;
    return b;
}

// The folder of the cell this thread runs; files a command writes are there.
thread_local std::string gCellDir = ".";

std::string CellPath(const std::string& name) {
    return name.empty() || name[0] == '/' ? name : gCellDir + "/" + name;
}

Bytes FileBytes(const std::string& path) {
    std::ifstream f(CellPath(path), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

// The third column (the reading in hex) of every table row after the header.
std::vector<unsigned> Readings(const std::string& text) {
    std::vector<unsigned> v;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    while (std::getline(lines, line)) {
        const size_t tab = line.rfind('\t');
        if (tab != std::string::npos) v.push_back(unsigned(std::stoul(line.substr(tab + 1), nullptr, 16)));
    }
    return v;
}

std::vector<unsigned> TableOf(const Bytes& b) {
    std::vector<unsigned> v;
    for (size_t i = 0; i + 1 < b.size(); i += 2)
        v.push_back(b[i] | unsigned(b[i + 1]) << 8);
    return v;
}

// The image the file rows use: the simulator's memory as a fresh controller
// has it, saved once; the load row changes the first channel's settings in it.
// The cells run in folders of their own, so the two images are named by
// their full paths.
const std::string kSameImage = std::filesystem::absolute("matrix-same.bin").string();
const std::string kLoadImage = std::filesystem::absolute("matrix-load.bin").string();
const Bytes kLoadedSettings{0x11, 0x22, 0x33, 0x44};

// One row per command: the arguments, its time-out on the line, the exit status
// expected under each fault (in the order of AllFaults), and what a success
// must show ('*': the status depends on the machine, not on the line). Reads carry no checksum: under the
// corrupting fault a read prints what the line delivered, which is the controller's bytes changed on the way.
struct Row {
    std::string name;
    std::vector<std::string> args;
    long timeoutMs;
    std::string exits; // one digit per fault
    std::function<void(const Result&, zelsim::VirtualController&, const zelsim::Faults&)> check;
    // Commands of many exchanges: they may print their progress before they
    // fail, and they start first.
    bool manyBlocks = false;
    // A status that reports a finding, not a failure (compare: "different").
    int findingStatus = -1;
};

std::vector<Row> Rows() {
    const std::string ident = "address=01 type=21 extra=01\n";
    return {
        {"ports", {"ports"}, 0, "000000000000000", {}},
        {"identify",
         {"identify"},
         120,
         "010110010101000",
         [ident](const Result& r, auto&, auto&) { EXPECT_EQ(r.out, ident); }},
        {"ident-text",
         {"ident-text"},
         251,
         "010000010101000",
         [](const Result& r, zelsim::VirtualController& c, auto&) {
             EXPECT_EQ(r.out, Cp866ToUtf8(c.identText()) + "\n");
         }},
        {"sizes",
         {"sizes"},
         210,
         "011000010001000",
         [](const Result& r, zelsim::VirtualController& c, const zelsim::Faults& f) {
             const Bytes s = Xor(c.peek(0, 0x3040, 7), f.corruptAnswers);
             std::string want;
             for (size_t i = 0; i < s.size(); ++i)
                 want += (i ? " " : "") + std::to_string(int(int8_t(s[i])));
             EXPECT_EQ(r.out, want + "\n");
         }},
        {"read",
         {"read", "1000", "14"},
         210,
         "011000010001000",
         [](const Result& r, zelsim::VirtualController& c, const zelsim::Faults& f) {
             EXPECT_EQ(r.out, Hex(Xor(c.peek(0, 0x1000, 20), f.corruptAnswers)) + "\n");
         }},
        {"read by length",
         {"read", "3100"},
         200 + 2 * 210,
         "011000010001000",
         [](const Result& r, zelsim::VirtualController& c, const zelsim::Faults& f) {
             const int len = Xor(c.peek(0, 0x3100, 1), f.corruptAnswers)[0];
             EXPECT_EQ(r.out, Hex(Xor(c.peek(0, 0x3101, size_t(len)), f.corruptAnswers)) + "\n");
         }},
        {"write",
         {"write", "1000", "0A0B0C"},
         50 + 510 + 210, // the write, then its read-back
         "011001010101011",
         [](const Result&, zelsim::VirtualController& c, auto&) {
             EXPECT_EQ(c.peek(0, 0x1000, 3), (Bytes{0x0A, 0x0B, 0x0C}));
         }},
        {"write a register",
         {"write", "24", "41", "--board", "2"},
         510,
         "011001010101000",
         [](const Result&, zelsim::VirtualController& c, auto&) {
             EXPECT_EQ(c.peek(2, 0x24, 1), Bytes{0x41});
         }},
        {"restart",
         {"restart"},
         510,
         "011001010101100",
         [](const Result&, zelsim::VirtualController& c, auto&) { EXPECT_EQ(c.restartCount(), 1); }},
        {"error",
         {"error"},
         300,
         "010000010001000",
         [](const Result& r, zelsim::VirtualController& c, const zelsim::Faults& f) {
             const int code = f.corruptAnswers ? c.lastErrorCode() ^ 0x5A : c.lastErrorCode();
             EXPECT_EQ(r.out.substr(0, r.out.find_first_of(" \n")), std::to_string(code));
         }},
        {"search",
         {"search"},
         31 * 120,
         "000000000001000",
         [](const Result& r, zelsim::VirtualController&, const zelsim::Faults& f) {
             // Found exactly when identify works: only controller 1, and never
             // an address taken for another controller's late answer.
             const bool identifies = !f.noAnswer && !f.badIdentChecksum && !f.badType && !f.corruptAnswers &&
                                     f.answerDelayMs < 120;
             std::istringstream lines(r.out);
             std::string line;
             int n = 0;
             while (std::getline(lines, line)) {
                 ++n;
                 const bool found = n == 1 && identifies;
                 EXPECT_EQ(line, "Трк №" + std::to_string(n) + (found ? " найдено." : " не найдено."));
             }
             EXPECT_EQ(n, 31);
         }},
        {"image save",
         {"image", "save", "matrix-saved.bin"},
         40 * 210,
         "011110010101000",
         [](const Result&, zelsim::VirtualController& c, const zelsim::Faults& f) {
             const Bytes file = FileBytes("matrix-saved.bin");
             ASSERT_GT(file.size(), 7u);
             const size_t n = size_t(file[0]);
             ASSERT_GE(file.size(), 7 + n);
             EXPECT_EQ(Bytes(file.begin() + 7, file.begin() + 7 + long(n)),
                       Xor(c.peek(0, 0x3101, n), f.corruptAnswers));
         },
         true},
        {"image load",
         {"image", "load", kLoadImage, "--yes"},
         80 * 510,
         "011111010101011",
         [](const Result&, zelsim::VirtualController& c, auto&) {
             EXPECT_EQ(c.peek(0, 0x1000, kLoadedSettings.size()), kLoadedSettings);
             EXPECT_EQ(c.restartCount(), 1);
         },
         true},
        {"compare",
         {"compare", kSameImage},
         40 * 210,
         "022220020202000",
         [](const Result& r, auto&, auto&) { EXPECT_EQ(r.out, ""); },
         true,
         1},
        {"journal", {"journal", "--last", "1"}, 0, "000000000000000", {}},
        {"temp-table",
         {"temp-table", "read"},
         210,
         "011000010001000",
         [](const Result& r, zelsim::VirtualController& c, const zelsim::Faults& f) {
             EXPECT_EQ(Readings(r.out), TableOf(Xor(c.peek(0, 0x5000, 78), f.corruptAnswers)));
         }},
        {"temp-table write",
         {"temp-table", "write", "10", "3900", "25", "--yes"},
         510 + 210, // the write, then its read-back
         "011001010101011",
         [](const Result& r, zelsim::VirtualController& c, auto&) {
             EXPECT_EQ(Readings(r.out), TableOf(c.peek(0, 0x5000, 78)));
         }},
        {"report",
         {"report"},
         40 * 210,
         "011110010101000",
         [](const Result& r, zelsim::VirtualController& c, const zelsim::Faults& f) {
             const int sideA =
                 Xor(c.peek(0, CtrlrParams.address + ctrlrparams::AddrSideA.offset, 1), f.corruptAnswers)[0];
             EXPECT_NE(r.out.find("Адрес стороны А - " + std::to_string(sideA) + "\n"), std::string::npos)
                 << r.out;
         },
         true},
        {"defaults",
         {"defaults", "0", "--yes"},
         80 * 510,
         "011001010101011",
         [](const Result&, zelsim::VirtualController& c, auto&) {
             EXPECT_GT(c.writeCount(), 0);
             EXPECT_EQ(c.restartCount(), 1);
         },
         true},
        {"station save",
         {"station", "save", "st"},
         31 * 120 + 40 * 210,
         "001000000000000",
         [](const Result& r, zelsim::VirtualController& c, auto&) {
             // Found exactly when identify works; then saved as the controller holds it.
             if (r.out.rfind("0 controller(s) found", 0) == 0) {
                 EXPECT_TRUE(FileBytes("st/ctrl-01.bin").empty());
             } else {
                 EXPECT_EQ(FileBytes("st/ctrl-01.bin"), c.imageBytes());
             }
         },
         true},
        {"decode", {"decode", "/dev/null"}, 0, "000000000000000", {}},
        {"doctor", {"doctor"}, 0, "***************", {}},
    };
}

// The command name a row runs.
std::string CommandOf(const Row& row) {
    return row.args[0];
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Runs startzel-cli on the port in the current thread's cell folder, with the
// journal and snapshots in that folder too.
Result Run(const std::string& port, const std::vector<std::string>& args) {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    const std::string program = std::string(bin ? bin : ".") + "/cli/startzel-cli";
    std::vector<std::string> argv{program, "--port", port, "--addr", "1"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (std::string& a : argv)
        cargv.push_back(a.data());
    cargv.push_back(nullptr);

    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::string(*e).rfind("XDG_STATE_HOME=", 0) != 0) env.emplace_back(*e);
    env.push_back("XDG_STATE_HOME=" + std::filesystem::absolute(gCellDir + "/state").string());
    std::vector<char*> cenv;
    for (std::string& e : env)
        cenv.push_back(e.data());
    cenv.push_back(nullptr);

    const std::string outPath = gCellDir + "/stdout", errPath = gCellDir + "/stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, gCellDir.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const std::string outAbs = std::filesystem::absolute(outPath).string();
    const std::string errAbs = std::filesystem::absolute(errPath).string();
    posix_spawn_file_actions_addopen(&actions, 1, outAbs.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errAbs.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);

    Result r;
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, cargv.data(), cenv.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        r.err = "cannot start " + program + ": " + std::strerror(rc);
        return r;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadFile(outPath);
    r.err = ReadFile(errPath);
    return r;
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr long kMargin = 4000; // a sanitized program starts and ends slowly
constexpr unsigned kCellsAtATime = 8;
#else
constexpr long kMargin = 1500;
constexpr unsigned kCellsAtATime = 16;
#endif

// The frames a busy controller ignored, with the quiet time before each.
std::string FramesRefused(const zelsim::Line& line) {
    std::string s;
    const std::vector<zelsim::ReceivedFrame> frames = line.frames();
    for (size_t i = 0; i < frames.size(); ++i)
        if (frames[i].refused)
            s += "\nframe " + std::to_string(i) + " (" + Hex(frames[i].bytes) + ") ignored after " +
                 std::to_string(frames[i].gapMs) + " ms";
    return s;
}

// Runs one cell on a fresh line with one controller at address 1.
void Cell(const Row& row, size_t faultIndex, const FaultCase& fault, bool tcp) {
    SCOPED_TRACE(row.name + " under " + fault.name + (tcp ? " over TCP" : " over a pty"));
    zelsim::Line line;
    zelsim::VirtualController& c = line.addController(0x01, 0x21);
    c.setFaults(fault.faults);
    line.setEcho(fault.lineEchoes);
    zelsim::PtyTransport pty(line, fault.baud);
    zelsim::TcpTransport net(line, fault.baud);
    std::string port;
    if (tcp) {
        ASSERT_TRUE(net.start());
        port = "TCPC_127.0.0.1:" + std::to_string(net.port());
    } else {
        ASSERT_TRUE(pty.start());
        port = pty.slavePath();
    }
    std::vector<std::string> args = fault.args;
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Result r = Run(port, args);
    const char want = row.exits[faultIndex];
    if (want != '*') {
        EXPECT_EQ(r.status, want - '0') << r.err << FramesRefused(line);
    }
    if (r.status == 0 && row.check) row.check(r, c, fault.faults);
    if (r.status == row.findingStatus) {
        EXPECT_NE(r.out, "") << "a finding is printed";
    } else if (r.status != 0 && want != '*') {
        if (!row.manyBlocks) {
            EXPECT_EQ(r.out, "") << "a failed command prints no result";
        }
        EXPECT_EQ(r.err.rfind("startzel-cli: ", 0), 0u) << r.err;
        if (!fault.failureSays.empty()) {
            EXPECT_NE(r.err.find(fault.failureSays), std::string::npos) << r.err;
        }
    }
    // The time-out (plus the answer delay a success waits for, and the moment a
    // failed command keeps its line), with room for a slow machine or a
    // sanitizer build.
    const long settle = r.status != 0 ? 600 : 0;
    const long bound = (row.timeoutMs + fault.faults.answerDelayMs) * 3 / 2 + settle + kMargin;
    EXPECT_LE(r.ms, bound);
}

} // namespace

TEST(FaultMatrix, EveryCommandHasARow) {
    const std::vector<Row> rows = Rows();
    const size_t faults = AllFaults().size();
    for (const Row& row : rows)
        EXPECT_EQ(row.exits.size(), faults) << row.name;
    for (const cli::Command& c : cli::Commands()) {
        bool covered = false;
        for (const Row& row : rows)
            covered = covered || CommandOf(row) == c.name;
        EXPECT_TRUE(covered) << "startzel-cli " << c.name << " has no row in the fault matrix";
    }
}

// Saves a fresh controller into the two images the file rows use.
void MakeImages() {
    zelsim::Line line;
    line.addController(0x01, 0x21);
    zelsim::PtyTransport pty(line);
    ASSERT_TRUE(pty.start());
    const Result r = Run(pty.slavePath(), {"image", "save", kSameImage});
    ASSERT_EQ(r.status, 0) << r.err;
    Bytes image = FileBytes(kSameImage);
    // The first channel's settings follow the 7-byte header and the parameter block.
    const size_t at = 7 + size_t(image[0]);
    ASSERT_GE(image.size(), at + kLoadedSettings.size());
    std::copy(kLoadedSettings.begin(), kLoadedSettings.end(), image.begin() + long(at));
    std::ofstream(kLoadImage, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), long(image.size()));
}

struct Job {
    const Row* row;
    size_t faultIndex;
    const FaultCase* fault;
    bool tcp;
    long ms = 0; // how long the cell took
};

// The longest a cell may wait on the line: the cells that may take longest
// start first, so the last cells to finish are short ones.
long Weight(const Job& j) {
    return j.row->timeoutMs + j.fault->faults.answerDelayMs * (j.row->manyBlocks ? 40 : 1);
}

// Runs the cells on so many threads, each cell in a folder cells/<n> of its own.
void RunCells(std::vector<Job>& jobs, unsigned threads) {
    std::stable_sort(jobs.begin(), jobs.end(),
                     [](const Job& a, const Job& b) { return Weight(a) > Weight(b); });
    std::filesystem::remove_all("cells");
    std::atomic<size_t> next{0};
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < threads; ++t)
        workers.emplace_back([&] {
            for (size_t i = next++; i < jobs.size(); i = next++) {
                gCellDir = "cells/" + std::to_string(i);
                std::filesystem::create_directories(gCellDir);
                const auto t0 = std::chrono::steady_clock::now();
                Cell(*jobs[i].row, jobs[i].faultIndex, *jobs[i].fault, jobs[i].tcp);
                jobs[i].ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - t0)
                                 .count();
            }
        });
    for (std::thread& w : workers)
        w.join();
    // The slowest cells, for whoever wants the matrix quicker.
    std::vector<const Job*> slow;
    for (const Job& j : jobs)
        slow.push_back(&j);
    std::sort(slow.begin(), slow.end(), [](const Job* a, const Job* b) { return a->ms > b->ms; });
    for (size_t i = 0; i < slow.size() && i < 5; ++i)
        std::printf("slow cell: %s under %s%s: %ld ms\n", slow[i]->row->name.c_str(), slow[i]->fault->name,
                    slow[i]->tcp ? " over TCP" : "", slow[i]->ms);
}

TEST(FaultMatrix, EveryFaultAgainstEveryCommand) {
    MakeImages();
    const std::vector<Row> rows = Rows();
    const std::vector<FaultCase> faults = AllFaults();
    std::vector<Job> jobs;
    // Every cell over a pseudo-terminal.
    for (const Row& row : rows)
        for (size_t i = 0; i < faults.size(); ++i)
            jobs.push_back({&row, i, &faults[i], false});
    // Some over TCP.
    const std::vector<std::string> commands = {"identify", "read", "write", "error"};
    const std::vector<std::string> chosen = {"none", "no-answer", "delay 600", "chunks 4:20", "corrupt"};
    for (const Row& row : rows) {
        if (std::find(commands.begin(), commands.end(), row.name) == commands.end()) continue;
        for (size_t i = 0; i < faults.size(); ++i)
            if (std::find(chosen.begin(), chosen.end(), faults[i].name) != chosen.end())
                jobs.push_back({&row, i, &faults[i], true});
    }
    RunCells(jobs, kCellsAtATime);
}

// A controller busy for 40 ms after each frame (it writes its memory), on a
// line paced at 4800 baud: the pauses the program keeps count from when a
// frame has left the wire, so every whole-block and whole-controller write
// goes through. Through a serial server on a loopback socket: a
// pseudo-terminal hands bytes on through a kernel worker, late on a busy
// machine, and the controller would see gaps shorter than the program kept.
TEST(FaultMatrix, BusyControllerAtTheWireRate) {
    MakeImages();
    FaultCase busy{"min-gap 40 at 4800", {}, 4800, false, {"--baud", "4800"}, {}};
    busy.faults.minGapMs = 40;
    const std::vector<std::string> writes = {"write", "write a register", "temp-table write", "image load",
                                             "defaults"};
    const std::vector<Row> rows = Rows();
    std::vector<Job> jobs;
    for (const Row& row : rows)
        if (std::find(writes.begin(), writes.end(), row.name) != writes.end())
            jobs.push_back({&row, 0, &busy, true}); // the status of the quiet line: 0
    ASSERT_EQ(jobs.size(), writes.size());
    RunCells(jobs, static_cast<unsigned>(jobs.size()));
}
