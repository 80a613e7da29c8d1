// TCP client and server ports against real sockets on 127.0.0.1.
#include "port_slot.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

std::atomic<int64_t> fakeNow{5'000'000};

// Waits for a condition with a bound, looking again every few milliseconds.
bool Until(const std::function<bool()>& cond, int ms = 5000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!cond()) {
        if (std::chrono::steady_clock::now() > end) return false;
        poll(nullptr, 0, 2);
    }
    return true;
}

int Listener(int backlog, uint16_t* port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(*port);
    int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    EXPECT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(listen(fd, backlog), 0);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return fd;
}

uint16_t FreePort() {
    uint16_t port = 0;
    close(Listener(1, &port));
    return port;
}

int Connect(uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return fd;
}

bool Readable(int fd, int ms = 5000) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, ms) == 1;
}

// Connections accepted by the kernel but not yet taken by accept().
int QueuedOnListener(int fd) {
    tcp_info info{};
    socklen_t len = sizeof info;
    getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &len);
    return int(info.tcpi_unacked);
}

std::string Recv(int fd, size_t n) {
    std::string got;
    char buf[256];
    while (got.size() < n && Readable(fd)) {
        ssize_t r = recv(fd, buf, std::min(sizeof buf, n - got.size()), 0);
        if (r <= 0) break;
        got.append(buf, size_t(r));
    }
    return got;
}

void Send(int fd, const std::string& s) {
    ASSERT_EQ(send(fd, s.data(), s.size(), 0), ssize_t(s.size()));
}

void Reset(int fd) { // close with a reset instead of an orderly shutdown
    linger l{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(fd);
}

int Write(int h, const std::string& s) {
    return PortWrite(h, reinterpret_cast<const uint8_t*>(s.data()), int(s.size()));
}

std::string Read(int h, int n) {
    std::string out(size_t(n), '\0');
    return PortRead(h, reinterpret_cast<uint8_t*>(out.data()), n) ? out : std::string("<nothing>");
}

int PeersInUse(PortSlot* s) {
    int n = 0;
    for (int fd : s->tcp.peers)
        n += fd >= 0;
    return n;
}

// The layer runs for the whole binary, as it does for the program.
class Layer : public ::testing::Environment {
public:
    void SetUp() override { PortLayerStart(); }
    void TearDown() override { PortLayerStop(); }
};
const auto* layer = ::testing::AddGlobalTestEnvironment(new Layer);

class TcpPort : public ::testing::Test {
protected:
    void SetUp() override {
        PortSetClock([] { return fakeNow.load(); });
    }
    void TearDown() override {
        if (h) PortClose(h);
        for (int fd : fds)
            close(fd);
    }
    PortSlot* Open(const std::string& name) {
        EXPECT_EQ(PortOpen(&h, name.c_str()), 0) << name;
        return SlotOf(h);
    }
    int Keep(int fd) { return fds.push_back(fd), fd; }
    // Drives the server's housekeeping until it holds `count` peers.
    void AcceptUntil(PortSlot* s, int count) {
        ASSERT_TRUE(Until([&] { return port_avail(h), PeersInUse(s) == count; }));
    }
    int h = 0;
    std::vector<int> fds;
};

TEST_F(TcpPort, BadNamesFailToOpenWithMinusOne) {
    for (const char* name : {"TCPC_127.0.0.1", "TCPC_localhost:4001", "TCPC_127.0.0:4001",
                             "TCPC_127.0.0.1:", "TCPC_127.0.0.1:70000", "TCPC_127.0.0.1:40x1", "TCPS_",
                             "TCPS_12a", "TCPS_65536"}) {
        int handle = 7;
        EXPECT_EQ(PortOpen(&handle, name), -1) << name;
        EXPECT_EQ(handle, 0) << name;
    }
    uint16_t port = 0;
    Keep(Listener(5, &port));
    EXPECT_EQ(PortOpen(&h, ("TCPS_" + std::to_string(port)).c_str()), -1); // port already in use
}

TEST_F(TcpPort, ClientToClosedPortKeepsRetryingUntilThePeerListens) {
    uint16_t port = FreePort();
    PortSlot* s = Open("TCPC_127.0.0.1:" + std::to_string(port));
    TraceMask = 1u << (h - 1);
    EXPECT_TRUE(Until([&] { return port_avail(h) == 0 && s->tcp.connectFailures >= 3; }));
    EXPECT_EQ(Write(h, "AB"), 0);
    TraceMask = 0;
    std::ifstream trace("port.out", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(trace)), std::istreambuf_iterator<char>());
    // "... Ошибка записи в порт N<> (код 0)" in code page 866
    EXPECT_NE(text.rfind(std::to_string(h) + "<> (\xAA\xAE\xA4 0)"), std::string::npos);

    int l = Keep(Listener(5, &port));
    EXPECT_TRUE(Until([&] { return port_avail(h), s->tcp.connected; }));
    int peer = Keep(accept(l, nullptr, nullptr));
    Send(peer, "OK");
    EXPECT_TRUE(Until([&] { return port_avail(h) == 2; }));
    EXPECT_EQ(Read(h, 2), "OK");
}

TEST_F(TcpPort, PendingAttemptEndsAtTheDeadlineAndANewOneStarts) {
    // A listener whose queue is full drops further connection requests, so
    // the client's attempt stays pending.
    uint16_t port = 0;
    int l = Keep(Listener(0, &port));
    Keep(Connect(port));
    ASSERT_TRUE(Until([&] { return QueuedOnListener(l) == 1; }));

    PortSlot* s = Open("TCPC_127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(s->tcp.connecting);
    EXPECT_EQ(s->tcp.connectDeadline, fakeNow + 10000);
    fakeNow += 9999;
    EXPECT_EQ(port_avail(h), 0);
    EXPECT_TRUE(s->tcp.connecting);
    fakeNow += 1;
    EXPECT_EQ(port_avail(h), 0);
    EXPECT_FALSE(s->tcp.connecting);
    EXPECT_EQ(s->tcp.connectFailures, 1u);
    EXPECT_EQ(port_avail(h), 0);
    EXPECT_TRUE(s->tcp.connecting);
    EXPECT_EQ(s->tcp.connectDeadline, fakeNow + 10000);
}

TEST_F(TcpPort, FirstWriteAfterOpeningReachesTheListeningPeer) {
    uint16_t port = 0;
    int l = Keep(Listener(5, &port));
    Open("TCPC_127.0.0.1:" + std::to_string(port));
    EXPECT_EQ(Write(h, "ID?"), 1);
    ASSERT_TRUE(Readable(l));
    int peer = Keep(accept(l, nullptr, nullptr));
    EXPECT_EQ(Recv(peer, 3), "ID?");
    EXPECT_EQ(PortWaitInput(h, 0), 0);
    Send(peer, "R");
    EXPECT_EQ(PortWaitInput(h, 5000), 1);
    EXPECT_EQ(Read(h, 1), "R");
}

TEST_F(TcpPort, ClientReconnectsAfterThePeerClosesOrASendFails) {
    uint16_t port = 0;
    int l = Keep(Listener(5, &port));
    PortSlot* s = Open("TCPC_127.0.0.1:" + std::to_string(port));
    ASSERT_TRUE(Readable(l));
    int peer = accept(l, nullptr, nullptr);
    Send(peer, "AB");
    EXPECT_TRUE(Until([&] { return port_avail(h) == 2; }));
    EXPECT_EQ(Read(h, 2), "AB");

    close(peer); // an orderly close: the client's receive gets 0 bytes
    ASSERT_TRUE(Until([&] { return port_avail(h), Readable(l, 0); }));
    peer = accept(l, nullptr, nullptr);
    Send(peer, "CD");
    EXPECT_TRUE(Until([&] { return port_avail(h) == 2; }));
    EXPECT_EQ(Read(h, 2), "CD");

    Reset(peer); // a reset: the next send fails
    ASSERT_TRUE(Until([&] {
        pollfd p{s->tcp.mainSock, 0, 0};
        return poll(&p, 1, 0) == 1;
    }));
    EXPECT_EQ(Write(h, "EF"), 0);
    EXPECT_FALSE(s->tcp.connected);
    EXPECT_EQ(Write(h, "GH"), 1);
    ASSERT_TRUE(Readable(l));
    peer = Keep(accept(l, nullptr, nullptr));
    EXPECT_EQ(Recv(peer, 2), "GH");
}

TEST_F(TcpPort, ServerCollectsPeersInEntryOrder) {
    uint16_t port = FreePort();
    PortSlot* s = Open("TCPS_" + std::to_string(port));
    int a = Keep(Connect(port));
    AcceptUntil(s, 1);
    int b = Keep(Connect(port));
    AcceptUntil(s, 2);
    Send(b, "DEF");
    Send(a, "ABC");
    ASSERT_TRUE(Until([&] {
        int na = 0, nb = 0;
        ioctl(s->tcp.peers[0], FIONREAD, &na);
        ioctl(s->tcp.peers[1], FIONREAD, &nb);
        return na == 3 && nb == 3;
    }));
    EXPECT_EQ(port_avail(h), 6);
    EXPECT_EQ(Read(h, 6), "ABCDEF");

    // TcpWaitReadable sees bytes of a peer, and nothing once they are taken.
    Send(b, "G");
    EXPECT_TRUE(TcpWaitReadable(*s, 5000));
    EXPECT_EQ(port_avail(h), 1);
    EXPECT_EQ(Read(h, 1), "G");
    EXPECT_FALSE(TcpWaitReadable(*s, 0));
}

// Bytes a socket holds at a purge are as stale as those in the ring (a late
// answer): the purge drops both, on the client and on every server peer.
TEST_F(TcpPort, PurgeDropsWhatTheSocketsHold) {
    uint16_t port = 0;
    int l = Keep(Listener(5, &port));
    PortSlot* c = Open("TCPC_127.0.0.1:" + std::to_string(port));
    const int client = h;
    ASSERT_TRUE(Readable(l));
    int peer = Keep(accept(l, nullptr, nullptr));
    ASSERT_TRUE(Until([&] { return port_avail(client), c->tcp.connected; }));
    Send(peer, "OLD");
    ASSERT_TRUE(Readable(c->tcp.mainSock)); // held by the socket, not yet in the ring
    TraceMask = 1u << (client - 1);
    PortPurge(client);
    TraceMask = 0;
    EXPECT_EQ(port_avail(client), 0);
    Send(peer, "NEW");
    EXPECT_TRUE(Until([&] { return port_avail(client) == 3; }));
    EXPECT_EQ(Read(client, 3), "NEW");
    std::ifstream trace("port.out", std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(trace)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find(std::to_string(client) + "<> 4F 4C 44 "), std::string::npos) << "traced as cleared";

    uint16_t sport = FreePort();
    h = 0;
    PortSlot* s = Open("TCPS_" + std::to_string(sport));
    const int server = h;
    int a = Keep(Connect(sport));
    AcceptUntil(s, 1);
    int b = Keep(Connect(sport));
    AcceptUntil(s, 2);
    Send(a, "xx");
    Send(b, "yyy");
    ASSERT_TRUE(Readable(s->tcp.peers[0]) && Readable(s->tcp.peers[1]));
    PortPurge(server);
    EXPECT_EQ(port_avail(server), 0);
    Send(b, "Z");
    EXPECT_TRUE(Until([&] { return port_avail(server) == 1; }));
    EXPECT_EQ(Read(server, 1), "Z");
    PortClose(client);
}

// A peer that floods the server does not starve the others: each peer gets a
// share of every receive pass, and each peer's bytes keep their order.
TEST_F(TcpPort, FloodingPeerDoesNotStarveTheOthers) {
    uint16_t port = FreePort();
    PortSlot* s = Open("TCPS_" + std::to_string(port));
    int flood = Keep(Connect(port));
    AcceptUntil(s, 1);
    int quiet = Keep(Connect(port));
    AcceptUntil(s, 2);
    std::atomic<bool> stop{false};
    // The flooding peer keeps its socket on the server side full all the time.
    std::thread flooder([&] {
        const std::string chunk(65536, 'A');
        while (!stop) {
            if (send(flood, chunk.data(), chunk.size(), MSG_DONTWAIT | MSG_NOSIGNAL) > 0) continue;
            pollfd p{flood, POLLOUT, 0};
            poll(&p, 1, 1);
        }
    });
    ASSERT_TRUE(Until([&] { return Readable(s->tcp.peers[0], 0); }));
    std::string mine;
    for (int i = 0; i < 4000; ++i)
        mine += "B" + std::to_string(i) + ";";
    Send(quiet, mine);

    std::string fromQuiet;
    long fromFlood = 0;
    Until([&] {
        const int n = port_avail(h);
        std::string got = Read(h, n);
        for (char c : got) {
            if (c == 'A') {
                ++fromFlood;
            } else {
                fromQuiet += c;
            }
        }
        return fromQuiet.size() >= mine.size();
    });
    stop = true;
    flooder.join();
    EXPECT_EQ(fromQuiet, mine.substr(0, fromQuiet.size())) << "in order";
    EXPECT_EQ(fromQuiet.size(), mine.size()) << "the quiet peer got through while the other flooded";
    EXPECT_GT(fromFlood, 0);
    // Served side by side, the flooding peer got about as much meanwhile.
    EXPECT_LT(fromFlood, 3 * long(mine.size())) << fromFlood << " flooded bytes against " << mine.size();
}

// Sixteen peers that connected first and never speak would otherwise lock the
// real serial server out for as long as the tool writes: a newcomer to a full
// table takes the place of the peer silent longest.
TEST_F(TcpPort, ANewcomerToAFullTableReplacesThePeerSilentLongest) {
    uint16_t port = FreePort();
    PortSlot* s = Open("TCPS_" + std::to_string(port));
    std::vector<int> peers;
    for (int i = 1; i <= 16; ++i) {
        peers.push_back(Keep(Connect(port)));
        AcceptUntil(s, i);
        fakeNow += 10;
    }
    // The first one spoke since: the second has been silent longest.
    Send(peers[0], "P");
    EXPECT_TRUE(Until([&] { return port_avail(h) == 1; }));
    EXPECT_EQ(Read(h, 1), "P");
    EXPECT_EQ(Write(h, "w"), 1); // a write renews deadlines, not who was heard
    int late = Keep(Connect(port));
    Send(late, "Q");
    EXPECT_TRUE(Until([&] { return port_avail(h) == 1; }));
    EXPECT_EQ(Read(h, 1), "Q");
    EXPECT_EQ(PeersInUse(s), 16);
    EXPECT_EQ(Recv(peers[1], 2), "w"); // then the connection closes
    Send(peers[0], "R");
    EXPECT_TRUE(Until([&] { return port_avail(h) == 1; }));
    EXPECT_EQ(Read(h, 1), "R");
}

TEST_F(TcpPort, SilentServerPeerIsDroppedAfterAMinute) {
    uint16_t port = FreePort();
    PortSlot* s = Open("TCPS_" + std::to_string(port));
    int peer = Keep(Connect(port));
    AcceptUntil(s, 1);
    fakeNow += 59999;
    Send(peer, "x"); // traffic renews the deadline
    EXPECT_TRUE(Until([&] { return port_avail(h) == 1; }));
    fakeNow += 59999;
    EXPECT_EQ(port_avail(h), 1);
    EXPECT_EQ(PeersInUse(s), 1);
    fakeNow += 1;
    EXPECT_EQ(port_avail(h), 1);
    EXPECT_EQ(PeersInUse(s), 0);
    EXPECT_EQ(Recv(peer, 1), ""); // the peer sees the connection closed
}

TEST_F(TcpPort, FailedSendToOnePeerStopsTheWrite) {
    uint16_t port = FreePort();
    PortSlot* s = Open("TCPS_" + std::to_string(port));
    int first = Keep(Connect(port));
    AcceptUntil(s, 1);
    int broken = Connect(port);
    AcceptUntil(s, 2);
    int last = Keep(Connect(port));
    AcceptUntil(s, 3);
    Reset(broken);
    ASSERT_TRUE(Until([&] {
        pollfd p{s->tcp.peers[1], 0, 0};
        return poll(&p, 1, 0) == 1;
    }));
    EXPECT_EQ(Write(h, "HELLO"), 0);
    EXPECT_EQ(s->tcp.peers[1], -1);
    EXPECT_EQ(Write(h, "NEXT"), 1);
    EXPECT_EQ(Recv(first, 9), "HELLONEXT");
    EXPECT_EQ(Recv(last, 4), "NEXT");
}

} // namespace
