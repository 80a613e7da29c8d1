// The line over loopback TCP, and the startzel-sim program itself.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "sim_peer.h"
#include "virtual_controller.h"

using namespace simtest;

namespace {

Peer Connect(uint16_t port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return Peer(-1);
    }
    return Peer(fd);
}

const char* SimExe() {
    const char* p = std::getenv("ZEL_SIM_EXE");
    return p ? p : "startzel-sim";
}

// Runs startzel-sim with the arguments; returns its pid and the first line it printed.
pid_t Spawn(std::vector<std::string> args, std::string& firstLine) {
    int out[2];
    if (pipe(out) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        std::vector<char*> argv{const_cast<char*>(SimExe())};
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(out[1]);
    Peer pipeEnd(out[0]);
    firstLine.clear();
    for (;;) {
        const Bytes b = pipeEnd.read(1, 10000);
        if (b.empty() || b[0] == '\n') break;
        firstLine.push_back(char(b[0]));
    }
    return pid;
}

int Finish(pid_t pid) {
    kill(pid, SIGTERM);
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

} // namespace

TEST(SimTcp, PeersShareTheLineAndStopIsClean) {
    zelsim::Line line;
    auto& c = line.addController(4, 0x22);
    zelsim::TcpTransport tcp(line);
    std::string err;
    ASSERT_TRUE(tcp.start(0, false, &err)) << err;
    ASSERT_NE(tcp.port(), 0);
    Peer a = Connect(tcp.port());
    Peer b = Connect(tcp.port());
    ASSERT_TRUE(a.ok() && b.ok());
    const Bytes id{4, 0x22, 0x01, FrameChecksum(Bytes{4, 0x22, 1}.data(), 3)};
    EXPECT_EQ(a.ask(Cmd(4, 0x21), 4), id);
    EXPECT_EQ(b.read(4), id); // every peer hears the answer
    // a request split over two peers is one byte stream
    const Bytes w = WriteReq(4, 0x5000, {1, 2, 3});
    const size_t n0 = line.frameCount();
    a.send(Bytes(w.begin(), w.begin() + 6));
    ASSERT_TRUE(line.waitForFrames(n0 + 1, std::chrono::seconds(5)));
    b.send(Bytes(w.begin() + 6, w.end()));
    EXPECT_EQ(a.read(1), Bytes{0});
    EXPECT_EQ(b.read(1), Bytes{0});
    EXPECT_EQ(c.peek(0, 0x5000, 3), (Bytes{1, 2, 3}));
    EXPECT_EQ(tcp.peerCount(), 2u);
    tcp.stop();
    EXPECT_TRUE(b.read(1).empty()); // closed, nothing more
}

TEST(SimProgram, CommandLine) {
    const std::string exe = SimExe();
    EXPECT_EQ(std::system((exe + " --help > help.txt").c_str()), 0);
    std::ifstream helpFile("help.txt");
    const std::string help((std::istreambuf_iterator<char>(helpFile)), std::istreambuf_iterator<char>());
    EXPECT_NE(help.find("TCPC_127.0.0.1:PORT"), std::string::npos);
    EXPECT_NE(help.find("a second client's frames mix with\nthe first's"), std::string::npos);
    EXPECT_NE(std::system((exe + " --addr F0 2> err.txt").c_str()), 0);
    EXPECT_NE(std::system((exe + " --bogus 2> err.txt").c_str()), 0);
    EXPECT_NE(std::system((exe + " --image missing.bin 2> err.txt").c_str()), 0);

    std::string first;
    pid_t pid = Spawn({"--tcp", "0", "--addr", "5", "--type", "17", "--addr", "6", "--refuse-writes"}, first);
    ASSERT_GT(pid, 0);
    // The first line is the port name the tool opens.
    ASSERT_EQ(first.rfind("TCPC_127.0.0.1:", 0), 0u) << first;
    const int port = std::atoi(first.c_str() + 15);
    ASSERT_GT(port, 0) << first;
    {
        Peer p = Connect(uint16_t(port));
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.ask(Cmd(5, 0x21), 4).at(1), 0x17);
        EXPECT_EQ(p.ask(Cmd(6, 0x21), 4).at(1), 0x21);
        EXPECT_EQ(p.ask(WriteReq(6, 0x5000, {1, 2}), 1), Bytes{zelsim::kErrWriteRefused});
    }
    EXPECT_EQ(Finish(pid), 0);

    pid = Spawn({"--baud", "19200", "--passwords", "1234:0"}, first);
    ASSERT_GT(pid, 0);
    EXPECT_EQ(first.rfind("/dev/pts/", 0), 0u) << first;
    {
        Peer p = Peer::OpenPty(first);
        ASSERT_TRUE(p.ok());
        EXPECT_EQ(p.ask(Cmd(0xF0, 0x21), 4).at(0), 1);
        EXPECT_EQ(p.ask(ReadReq(1, 0x5300, 1), 2).at(0), 1);
    }
    EXPECT_EQ(Finish(pid), 0);
}

TEST(SimProgram, EchoMinimumGapAndSilentRestartSwitches) {
    const std::string exe = SimExe();
    EXPECT_NE(std::system((exe + " --min-gap x 2> err.txt").c_str()), 0);
    EXPECT_NE(std::system((exe + " --min-gap 20000 2> err.txt").c_str()), 0);
    std::string first;
    const pid_t pid = Spawn({"--echo", "--min-gap", "45", "--silent-restart"}, first);
    ASSERT_GT(pid, 0);
    {
        Peer p = Peer::OpenPty(first);
        ASSERT_TRUE(p.ok());
        const Bytes id = Cmd(1, 0x21);
        const Bytes got = p.ask(id, 8);
        ASSERT_EQ(got.size(), 8u);
        EXPECT_EQ(Bytes(got.begin(), got.begin() + 4), id); // the echo first
        EXPECT_EQ(got[4], 1);
        // The restart comes back as echo only; the identify after it is answered.
        const Bytes restart = WriteReq(1, 0x88FFFF, {0x01});
        p.send(restart);
        EXPECT_EQ(p.read(restart.size() + 2, 300).size(), restart.size());
        EXPECT_EQ(p.ask(id, 8).size(), 8u);
        // A continuation sent at once after its address frame gets no answer from the busy controller.
        const Bytes write = WriteReq(1, 0x5000, {1, 2, 3});
        p.send(write);
        EXPECT_EQ(p.read(write.size() + 1, 300).size(), write.size());
    }
    EXPECT_EQ(Finish(pid), 0);
}

// Bad option values end the program at once with exit code 2 and one line
// naming the option; nothing is served.
TEST(SimProgram, RefusesBadOptionValues) {
    const struct {
        const char* args;
        const char* said;
    } cases[] = {
        {"--addr F0", "--addr needs a hexadecimal address 1..FF other than F0"},
        {"--addr 0", "--addr needs a hexadecimal address 1..FF other than F0"},
        {"--addr 100", "--addr needs a hexadecimal address 1..FF other than F0"},
        {"--addr 5z", "--addr needs a hexadecimal address 1..FF other than F0"},
        {"--addr -5", "--addr needs a hexadecimal address 1..FF other than F0"},
        {"--addr 0x", "--addr needs a hexadecimal address 1..FF other than F0"},
        {"--type 1FF", "--type needs a hexadecimal byte"},
        {"--type ''", "--type needs a hexadecimal byte"},
        {"--tcp 65536", "--tcp needs a port 0..65535"},
    };
    for (const auto& c : cases) {
        const std::string cmd = std::string(SimExe()) + " " + c.args + " 2>&1 </dev/null";
        FILE* p = popen(cmd.c_str(), "r");
        ASSERT_NE(p, nullptr);
        std::string out;
        char buf[256];
        for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        const int status = pclose(p);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << c.args;
        EXPECT_EQ(out.substr(0, out.find('\n')), std::string("startzel-sim: ") + c.said) << c.args;
    }
}
