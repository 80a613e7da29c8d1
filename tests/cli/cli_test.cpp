// startzel-cli against the virtual controller on a pseudo-terminal and over
// TCP, in-process and as the real executable.
#include "block_layout.h"
#include "cli.h"
#include "cli_command.h"

#include "cp866.h"
#include "demo_image.h"
#include "memory_map.h"
#include "virtual_controller.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <time.h>

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int st = RunCli(args, out, err);
    return {st, out.str(), err.str()};
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class CliOnLine : public ::testing::Test {
protected:
    void SetUp() override {
        std::remove("com.ini");
        std::remove("port.out");
        ctrl = &line.addController(0x05, 0x22);
        ASSERT_TRUE(pty.start());
    }
    Result run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", pty.slavePath(), "--addr", "5"});
        return Cli(args);
    }
    zelsim::Line line;
    zelsim::VirtualController* ctrl = nullptr;
    zelsim::PtyTransport pty{line};
};

TEST_F(CliOnLine, IdentifyTextAndSizes) {
    ctrl->setIdentTextUtf8("Контроллер ТРК v2");
    ctrl->setExtraByte(0x07);

    Result r = run({"identify"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "address=05 type=22 extra=07\n");

    r = run({"ident-text"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Контроллер ТРК v2\n");

    r = run({"sizes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "58 0 0 20 0 69 12\n");

    // The reserve address reaches the single controller and tells its own address.
    std::ostringstream out, err;
    EXPECT_EQ(RunCli({"--port", pty.slavePath(), "--addr", "F0", "identify"}, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), "address=05 type=22 extra=07\n");
}

TEST_F(CliOnLine, ReadWriteAndLengthQuery) {
    Result r = run({"write", "1200", "0A 1B2c 3D"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ctrl->peek(0, 0x1200, 4), (std::vector<uint8_t>{0x0A, 0x1B, 0x2C, 0x3D}));

    r = run({"read", "1200", "4"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0A 1B 2C 3D\n");

    // Without a length the byte at 3100 gives it: the 58-byte parameter block.
    r = run({"read", "3100"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), 58u * 3u); // "XX" and a space or the line end per byte
    const auto params = ctrl->peek(0, 0x3101, 58);
    char first[8];
    std::snprintf(first, sizeof first, "%02X %02X", params[0], params[1]);
    EXPECT_EQ(r.out.substr(0, 5), first);

    // Board 2 registers: the simulator bit.
    r = run({"write", "24", "40", "--board", "2"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(ctrl->simulatorOn());
}

// A controller that acknowledges a write it did not keep, or kept changed, is
// caught by the read-back; --no-verify takes the acknowledgement as it is.
TEST_F(CliOnLine, WritesAreReadBack) {
    const auto before = ctrl->peek(0, 0x1200, 2);
    for (int fault = 0; fault < 2; ++fault) {
        zelsim::Faults f;
        (fault == 0 ? f.loseWrites : f.flipWrites) = true;
        ctrl->setFaults(f);
        Result r = run({"write", "1200", "0A1B"});
        EXPECT_EQ(r.status, 1) << fault;
        const std::string held = fault == 0 ? HexBytes(before.data(), 2) : "0B 1B";
        EXPECT_NE(r.err.find("the controller acknowledged the write but holds " + held +
                             " instead of 0A 1B (the write was not kept)"),
                  std::string::npos)
            << r.err;
        EXPECT_EQ(run({"write", "1200", "0A1B", "--no-verify"}).status, 0);
        EXPECT_EQ(run({"--board", "4", "write", "10", "55"}).status, 1);
        ctrl->setFaults({});
        ctrl->poke(0, 0x1200, before);
    }
    EXPECT_EQ(run({"write", "1200", "0A1B"}).status, 0);
    EXPECT_EQ(ctrl->peek(0, 0x1200, 2), (std::vector<uint8_t>{0x0A, 0x1B}));
}

// A protected controller takes writes once its password is presented: from a
// file, from the environment, never from the command line; a wrong one writes nothing.
TEST_F(CliOnLine, WritesPresentThePasswordTheControllerAsksFor) {
    // The last side address of the map, 3110 on the command line.
    constexpr uint32_t kNaraAddr10 = CtrlrParams.address + ctrlrparams::NaraAddr.offset + 9;
    static_assert(kNaraAddr10 == 0x3110);
    unsetenv("STARTZEL_PASSWORD");
    unsetenv("STARTZEL_ADJ_PASSWORD");
    ctrl->setPasswords(1234, 0);
    const auto before = ctrl->peek(0, kNaraAddr10, 1);
    Result r = run({"write", "3110", "07"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(
                  "controller 05 has an administrator password set; nothing written. Give it with "
                  "--password-file FILE (first line), in STARTZEL_PASSWORD, or run on a terminal to type it"),
              std::string::npos)
        << r.err;
    setenv("STARTZEL_PASSWORD", "1111", 1);
    r = run({"write", "3110", "07"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the controller refused the administrator password"), std::string::npos) << r.err;
    EXPECT_EQ(ctrl->peek(0, kNaraAddr10, 1), before);
    setenv("STARTZEL_PASSWORD", "1234", 1);
    EXPECT_EQ(run({"write", "3110", "07"}).status, 0);
    unsetenv("STARTZEL_PASSWORD");
    std::ofstream("pw.txt") << "1234\n4321\n";
    EXPECT_EQ(run({"write", "3110", "08", "--password-file", "pw.txt"}).status, 0);
    EXPECT_EQ(ctrl->peek(0, kNaraAddr10, 1), std::vector<uint8_t>{0x08});
    EXPECT_EQ(run({"write", "3110", "09", "--password-file", "missing.txt"}).status, 1);
    // Typed at a prompt when standard input is a terminal.
    std::ostringstream out, err;
    std::istringstream in("1234\n");
    cli::Io io{out, err, &in, true, false};
    EXPECT_EQ(RunCli({"--port", pty.slavePath(), "--addr", "5", "write", "3110", "0A"}, io), 0) << err.str();
    EXPECT_NE(err.str().find("administrator password: "), std::string::npos);

    // Only the adjustment password: the channel settings ask for it.
    ctrl->setPasswords(0, 4321);
    r = run({"write", "1000", "0102"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("has an adjustment password set"), std::string::npos) << r.err;
    setenv("STARTZEL_ADJ_PASSWORD", "4321", 1);
    EXPECT_EQ(run({"write", "1000", "0102"}).status, 0);
    unsetenv("STARTZEL_ADJ_PASSWORD");
    EXPECT_EQ(run({"write", "1000", "0304", "--password-file", "pw.txt"}).status, 0);
    std::remove("pw.txt");
}

TEST_F(CliOnLine, RefusalsAndErrorText) {
    std::ofstream("don.msg") << "; test texts\n16,1,Write refused\n";
    zelsim::Faults f;
    f.refuseWrites = true;
    ctrl->setFaults(f);

    Result r = run({"write", "1200", "01"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("(result code -1)"), std::string::npos) << r.err;

    r = run({"error"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1 Write refused\n");

    r = run({"restart"});
    EXPECT_EQ(r.status, 1);
    std::remove("don.msg");
}

TEST_F(CliOnLine, NoAnswerAndSearch) {
    zelsim::Line other;
    other.addController(0x02);
    other.addController(0x1F);
    zelsim::PtyTransport pty2{other};
    ASSERT_TRUE(pty2.start());
    Result r = Cli({"--port", pty2.slavePath(), "search"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string text;
    int count = 0;
    while (std::getline(lines, text)) {
        ++count;
        const bool present = count == 2 || count == 31;
        EXPECT_EQ(text, "Трк №" + std::to_string(count) + (present ? " найдено." : " не найдено."));
    }
    EXPECT_EQ(count, 31);

    r = Cli({"--port", pty2.slavePath(), "--addr", "9", "identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: no answer to identify (result code -1)\n");
}

// The line going away in the middle of a search is the port's error, not
// thirty-one controllers missing.
TEST_F(CliOnLine, ASearchStopsWhenThePortDies) {
    std::thread killer([&] {
        line.waitForFrames(6, std::chrono::seconds(20));
        pty.stop();
    });
    const Result r = Cli({"--port", pty.slavePath(), "search"});
    killer.join();
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("startzel-cli: port " + pty.slavePath() + " failed at address "), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find(": Input/output error; the search stopped (result code -1)\n"), std::string::npos)
        << r.err;
    EXPECT_LT(std::count(r.out.begin(), r.out.end(), '\n'), 31);
}

// A controller answering later than the time-outs: its late identify answer
// is not taken for the next address's, so the search finds nobody.
TEST_F(CliOnLine, LateAnswersFindNobodyInASearch) {
    zelsim::Line one;
    one.addController(0x01);
    zelsim::Faults f;
    // The identify wait is 120 ms; the first frame after opening is also looked
    // at for an adapter's echo for up to 30 ms after it has left.
    f.answerDelayMs = 180;
    one.setFaults(f);
    zelsim::PtyTransport onePty{one};
    ASSERT_TRUE(onePty.start());
    const Result r = Cli({"--port", onePty.slavePath(), "search"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string text;
    int notFound = 0;
    while (std::getline(lines, text))
        notFound += text.size() > 20 && text.substr(text.size() - 20) == "не найдено.";
    EXPECT_EQ(notFound, 31) << r.out;
}

// While part of the error answer waits, the error command waits on the port
// instead of spinning through its 300 ms.
TEST_F(CliOnLine, ErrorQueryWaitsWithoutSpinning) {
    zelsim::Faults f;
    f.chunkSize = 10; // 10 of the 16 bytes, the rest a second later
    f.chunkPauseMs = 1000;
    ctrl->setFaults(f);
    timespec c0{}, c1{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c0);
    const Result r = run({"error"});
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &c1);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: no answer to the error query (result code -6)\n");
    const double cpuMs = (c1.tv_sec - c0.tv_sec) * 1e3 + (c1.tv_nsec - c0.tv_nsec) / 1e6;
    EXPECT_LT(cpuMs, 100.0) << "CPU time of a 300 ms wait";
}

TEST_F(CliOnLine, SettingsFromComIniAndTrace) {
    std::ofstream("com.ini") << pty.slavePath() << " 0 9600 0 1 0 8 N 1";
    Result r = Cli({"--addr", "5", "--trace", "identify"});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string trace = Cp866ToUtf8(ReadFile("port.out")); // the trace is in CP866
    EXPECT_NE(trace.find(" Запись (порт 1)-> 60 05 21 "), std::string::npos);

    // A first line longer than any the tool writes is refused with the reason.
    std::ofstream("com.ini") << "/dev/" << std::string(300, 'x') << " 0 9600 0 1 0 8 N 1";
    r = Cli({"--addr", "5", "identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the first line of com.ini is longer than any line the tool writes"),
              std::string::npos)
        << r.err;

    // Settings the line cannot take are refused, not left as the port had them;
    // the command line's own setting replaces a bad one.
    const std::pair<const char*, const char*> bad[] = {
        {" 0 9600 0 1 0 8 Q 1", "parity \"Q\" (N, E, O, M or S are taken)"},
        {" 0 9600 0 1 0 8 N 9", "stop-bit code 9 (1 or 2 are taken)"},
        {" 0 9600 0 1 0 6 N 1", "data bits 6 (7 or 8 are taken)"},
    };
    for (const auto& [values, problem] : bad) {
        std::ofstream("com.ini") << pty.slavePath() << values;
        r = Cli({"--addr", "5", "identify"});
        EXPECT_EQ(r.status, 1) << values;
        EXPECT_EQ(r.err, std::string("startzel-cli: the first line of com.ini has ") + problem +
                             "; correct com.ini or give the setting (--data-bits, --parity, --stop-bits)\n");
    }
    r = Cli({"--addr", "5", "--data-bits", "8", "identify"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::remove("com.ini");
}

// A FIFO where com.ini, don.msg or an image file should be is refused at once
// instead of blocking the command in open or read.
TEST_F(CliOnLine, FifosAreNoFiles) {
    std::remove("fifo.bin");
    ASSERT_EQ(mkfifo("fifo.bin", 0600), 0);
    // show fails (1); diff and compare are in trouble (2), as diff is.
    for (const std::vector<std::string>& args : {std::vector<std::string>{"image", "show", "fifo.bin"},
                                                 {"image", "diff", "fifo.bin", "fifo.bin"},
                                                 {"compare", "fifo.bin"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.status, args[0] == "image" && args[1] == "show" ? 1 : 2);
        EXPECT_EQ(r.err, "startzel-cli: fifo.bin is not a regular file\n");
    }
    Result r = run({"image", "load", "--yes", "fifo.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: fifo.bin is not a regular file\n");
    std::remove("com.ini");
    ASSERT_EQ(mkfifo("com.ini", 0600), 0);
    const bool ownDonMsg = access("don.msg", F_OK) != 0;
    if (ownDonMsg) {
        ASSERT_EQ(mkfifo("don.msg", 0600), 0);
    }
    r = run({"identify"}); // com.ini unread: the port comes from the command line
    EXPECT_EQ(r.status, 0) << r.err;
    if (ownDonMsg) {
        r = run({"error"});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "startzel-cli: note: don.msg could not be read: controller errors are shown without "
                         "their texts\n");
        std::remove("don.msg");
    }
    std::remove("com.ini");
    std::remove("fifo.bin");
}

TEST(Cli, CommandLineErrors) {
    std::remove("com.ini");
    EXPECT_EQ(Cli({}).status, 2);
    EXPECT_EQ(Cli({"frobnicate"}).status, 2);
    EXPECT_EQ(Cli({"--port"}).err, "startzel-cli: --port needs a value\n");
    EXPECT_EQ(Cli({"--addr", "100", "identify"}).status, 2);
    EXPECT_EQ(Cli({"--addr", "zz", "identify"}).status, 2);
    EXPECT_EQ(Cli({"--parity", "X", "identify"}).status, 2);
    EXPECT_EQ(Cli({"--port", "STUB", "read"}).status, 2);
    EXPECT_EQ(Cli({"--port", "STUB", "read", "12G4"}).status, 2);
    EXPECT_EQ(Cli({"--port", "STUB", "write", "1200", "ABC"}).status, 2);
    EXPECT_EQ(Cli({"--port", "STUB", "read", "1200", "0"}).status, 2);

    Result r = Cli({"identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: no port: give --port NAME or write the port into com.ini\n");

    r = Cli({"--port", "/dev/startzel-no-such-port", "identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open port /dev/startzel-no-such-port"), std::string::npos);

    r = Cli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("commands:"), std::string::npos);
    r = Cli({"read", "--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: startzel-cli [--addr HEX] read ADDR", 0), 0u);

    std::vector<uint8_t> b;
    EXPECT_TRUE(ParseHexBytes("0a 1B\t2c", b));
    EXPECT_EQ(b, (std::vector<uint8_t>{0x0A, 0x1B, 0x2C}));
    EXPECT_FALSE(ParseHexBytes("0A1", b));
    EXPECT_FALSE(ParseHexBytes("0X1B", b));
}

TEST(Cli, DemoMode) {
    zelsim::VirtualController c(1);
    const auto image = c.demoImageBytes();
    std::ofstream("demo_trk.bin", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    Result r = Cli({"--demo", "write", "1300", "01020304"});
    EXPECT_EQ(r.status, 0) << r.err;
    r = Cli({"--demo", "read", "1300", "14"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 11), "01 02 03 04");
    EXPECT_EQ(ReadFile("demo_trk.bin").substr(125, 4), std::string("\x01\x02\x03\x04"));

    // The parameter block by its length byte, or addressed at 3101.
    r = Cli({"--demo", "read", "3101", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    char params[16];
    std::snprintf(params, sizeof params, "%02X %02X %02X\n", image[kDemoOffParams], image[kDemoOffParams + 1],
                  image[kDemoOffParams + 2]);
    EXPECT_EQ(r.out, params);

    // What the demo image does not keep fails with the reason and leaves the file alone.
    const std::string before = ReadFile("demo_trk.bin");
    for (const std::vector<std::string>& args : {std::vector<std::string>{"write", "3000", "0102"},
                                                 {"write", "88FFFF", "01"},
                                                 {"write", "1305", "01"},
                                                 {"write", "4000", std::string(26, '1')},
                                                 {"read", "3000", "2"},
                                                 {"read", "1305", "1"},
                                                 {"read", "1300", "15"},
                                                 {"read", "1300"},
                                                 {"read", "24", "1", "--board", "2"}}) {
        std::vector<std::string> line{"--demo"};
        line.insert(line.end(), args.begin(), args.end());
        r = Cli(line);
        EXPECT_EQ(r.status, 1) << args[0] << " " << args[1];
        EXPECT_EQ(r.out, "") << args[0] << " " << args[1];
        EXPECT_NE(r.err.find("the demo image"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadFile("demo_trk.bin"), before);
    EXPECT_EQ(Cli({"--demo", "write", "3000", "0102"}).err,
              "startzel-cli: the demo image keeps no block at 3000 (its blocks start at 3101, 1000-1900, "
              "2000-2900, 4000, 4100 and 5100) (result code -1)\n");

    r = Cli({"--demo", "identify"});
    EXPECT_EQ(r.status, 1);
    std::remove("demo_trk.bin");
    r = Cli({"--demo", "read", "3100"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open the demo image demo_trk.bin"), std::string::npos);
}

// The real executable against the real simulator executable, over TCP.
TEST(Cli, ExecutablesEndToEnd) {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    const std::string dir = bin;
    FILE* sim = popen((dir + "/sim/startzel-sim --tcp 0 --addr 3 --type 27 & echo $!").c_str(), "r");
    ASSERT_NE(sim, nullptr);
    char pidLine[32] = {}, first[128] = {};
    ASSERT_NE(fgets(pidLine, sizeof pidLine, sim), nullptr);
    ASSERT_NE(fgets(first, sizeof first, sim), nullptr);
    std::string port(first);
    while (!port.empty() && (port.back() == '\n' || port.back() == '\r'))
        port.pop_back();
    // The simulator names its port last on its first line.
    port = port.substr(port.find_last_of(" :") + 1);

    const std::string cmd =
        dir + "/cli/startzel-cli --port TCPC_127.0.0.1:" + port + " --addr 3 identify 2>&1";
    FILE* cli = popen(cmd.c_str(), "r");
    ASSERT_NE(cli, nullptr);
    char out[256] = {};
    const size_t n = fread(out, 1, sizeof out - 1, cli);
    const int st = pclose(cli);
    std::system(("kill " + std::string(pidLine)).c_str());
    pclose(sim);
    EXPECT_EQ(std::string(out, n), "address=03 type=27 extra=01\n");
    EXPECT_EQ(WEXITSTATUS(st), 0);
}

// A controller that answers after the time-out: the program that timed out
// keeps its line until the late answer has come, so the next program started
// at once does not take that answer for its own.
TEST(Cli, ALateAnswerDoesNotReachTheNextProgram) {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    zelsim::Line line;
    zelsim::VirtualController& c = line.addController(0x01, 0x21);
    zelsim::Faults late;
    late.answerDelayMs = 600;
    c.setFaults(late);
    zelsim::PtyTransport pty(line);
    ASSERT_TRUE(pty.start());
    const std::string cli = std::string(bin) + "/cli/startzel-cli --port " + pty.slavePath() + " ";
    FILE* p = popen((cli + "write 24 41 --board 2 2>/dev/null; echo \"write $?\"; " + cli +
                     "read 24 1 --board 2 2>/dev/null; echo \"read $?\"")
                        .c_str(),
                    "r");
    ASSERT_NE(p, nullptr);
    char out[256] = {};
    const size_t n = fread(out, 1, sizeof out - 1, p);
    pclose(p);
    EXPECT_EQ(c.peek(2, 0x24, 1), std::vector<uint8_t>{0x41});
    // The read times out as well (its answer is late too), or it shows what the register holds.
    const std::string text(out, n);
    EXPECT_TRUE(text == "write 1\nread 1\n" || text == "write 1\n41\nread 0\n") << text;
}

} // namespace

namespace {

// An adapter that echoes: with --echo every exchange works; without it the
// first frame shows the echo and every command fails saying so.
TEST_F(CliOnLine, EchoingAdapterNeedsTheEchoOption) {
    line.setEcho(true);
    Result r = run({"--echo", "identify"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "address=05 type=22 extra=01\n");
    r = run({"--echo", "write", "1200", "0A0B0C"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ctrl->peek(0, 0x1200, 3), (std::vector<uint8_t>{0x0A, 0x0B, 0x0C}));
    r = run({"--echo", "read", "1200", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0A 0B 0C\n");

    const std::string said =
        "startzel-cli: the adapter returns every byte sent: give --echo (or tick the echo box of the port "
        "settings)\n";
    r = run({"identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    r = run({"read", "1200", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    r = run({"write", "1200", "010203"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ctrl->peek(0, 0x1200, 3), (std::vector<uint8_t>{0x0A, 0x0B, 0x0C}));

    // The refused write left the controller inside a request; the program
    // itself keeps the line quiet after a failure (settle) until the controller
    // drops it, which the in-process runs here do not.
    std::this_thread::sleep_for(std::chrono::milliseconds(zelsim::Line::kResyncPauseMs + 50));
    // line.ini beside com.ini gives the setting when the option is not given.
    std::ofstream("line.ini") << "echo=1\n";
    r = run({"identify"});
    std::remove("line.ini");
    EXPECT_EQ(r.status, 0) << r.err;

    // An echo later than the look at the first frame (an adapter's latency
    // timer, a busy machine) is still known for one, in front of the echoes
    // of the frames sent since.
    line.setEchoDelay(60);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"identify"}, std::vector<std::string>{"read", "1200", "3"}}) {
        r = run(args);
        EXPECT_EQ(r.status, 1) << args[0];
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
        std::this_thread::sleep_for(std::chrono::milliseconds(zelsim::Line::kResyncPauseMs + 50));
    }
    r = run({"--echo", "read", "1200", "3"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0A 0B 0C\n");
}

// --echo on a line that does not echo fails clearly instead of taking the
// controller's answer for the echo; --rs485 on a pty is refused.
TEST_F(CliOnLine, EchoOptionOnAQuietLineAndRs485OnAPty) {
    Result r = run({"--echo", "identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("startzel-cli: what came back differs from the bytes sent: a line fault, or the adapter "
                   "does not echo (leave --echo off)\n"),
        std::string::npos)
        << r.err;
    r = run({"--echo", "read", "1200", "3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("startzel-cli: the echo setting is on but the bytes sent did not come back: leave --echo "
                   "off unless the adapter echoes\n"),
        std::string::npos)
        << r.err;
    r = run({"--rs485", "identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: port " + pty.slavePath() +
                         " has no kernel RS-485 mode (--rs485) (result code " + std::to_string(ENOTTY) +
                         ")\n");
}

} // namespace
