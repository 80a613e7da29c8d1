// TCP client ("TCPC_a.b.c.d:port") and server ("TCPS_port") ports.
//
// All sockets are non-blocking. Connecting, accepting, dropping idle peers and
// reconnecting happen as housekeeping inside the ordinary port operations, on
// the one thread that uses the port layer. Deadlines (connection attempt, idle
// peers) come from PortClockMs() so tests can move time on; the short waits
// inside a write or TcpWaitReadable are bounded by real time instead, so a
// stopped test clock can never make them hang.
#include "port_slot.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kKeepIdleSec = 10;      // keep-alive time 10000 ms
constexpr int kKeepIntervalSec = 1;   // keep-alive interval 1000 ms
constexpr int64_t kConnectMs = 10000; // a connection attempt may take this long
constexpr int64_t kIdleMs = 60000;    // a silent server peer is dropped after this
constexpr int kBacklog = 5;
constexpr int kClientChunk = 1024;        // the client receives up to this much per poll
constexpr int kWritePendingWaitMs = 1000; // a write waits this long for a pending attempt
constexpr int kSendStallMs = 1000;        // and this long for room in a full send buffer

int64_t RealMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int SetOpt(int fd, int level, int opt, int value) {
    return setsockopt(fd, level, opt, &value, sizeof value);
}

void CloseSock(int& fd) {
    if (fd < 0) return;
    shutdown(fd, SHUT_RDWR);
    close(fd);
    fd = -1;
}

// Parses a decimal TCP port 1..65535 that makes up the whole of text.
bool ParsePort(const char* text, uint16_t* port) {
    if (!*text) return false;
    uint32_t v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + uint32_t(*p - '0');
        if (v > 65535) return false;
    }
    if (v == 0) return false;
    *port = uint16_t(v);
    return true;
}

const char* SkipPrefix(const char* name, const char* prefix) {
    size_t n = strlen(prefix);
    return strncmp(name, prefix, n) == 0 ? name + n : name;
}

// A client socket as every attempt starts with it: stream, non-blocking,
// keep-alive 10 s / 1 s, no delay. -1 with errno kept on failure.
int NewClientSocket(PortSlot& s) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        s.lastErrno = errno;
        return -1;
    }
    if (SetOpt(fd, SOL_SOCKET, SO_KEEPALIVE, 1) < 0 ||
        SetOpt(fd, IPPROTO_TCP, TCP_KEEPIDLE, kKeepIdleSec) < 0 ||
        SetOpt(fd, IPPROTO_TCP, TCP_KEEPINTVL, kKeepIntervalSec) < 0 ||
        SetOpt(fd, IPPROTO_TCP, TCP_NODELAY, 1) < 0) {
        s.lastErrno = errno;
        close(fd);
        return -1;
    }
    return fd;
}

// The client keeps its socket both as the main socket and in the first peer entry.
void SetClientSock(PortSlot& s, int fd) {
    s.tcp.mainSock = fd;
    s.tcp.peers[0] = fd;
}

// Back to "disconnected" with a fresh socket; the next operation starts a new attempt.
void ClientReset(PortSlot& s) {
    int fd = s.tcp.mainSock;
    CloseSock(fd);
    s.tcp.connected = false;
    s.tcp.connecting = false;
    SetClientSock(s, NewClientSocket(s));
}

// Starts a connection attempt on a disconnected client. False when it could not be started.
bool ClientStartAttempt(PortSlot& s) {
    if (s.tcp.mainSock < 0) {
        SetClientSock(s, NewClientSocket(s));
        if (s.tcp.mainSock < 0) {
            ++s.tcp.connectFailures;
            return false;
        }
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = s.tcp.ip;
    addr.sin_port = htons(s.tcp.port);
    if (connect(s.tcp.mainSock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        s.tcp.connected = true;
        return true;
    }
    int err = errno;
    if (err == EINPROGRESS || err == EINTR || err == EALREADY) {
        // EINTR: a non-blocking connect goes on in the background all the same.
        s.tcp.connecting = true;
        s.tcp.connectDeadline = PortClockMs() + kConnectMs;
        return true;
    }
    if (err == EISCONN) {
        s.tcp.connected = true;
        return true;
    }
    s.lastErrno = err;
    ++s.tcp.connectFailures;
    // The socket's state after a refused connect is not to be trusted; start the next one afresh.
    ClientReset(s);
    return false;
}

bool ClientHousekeeping(PortSlot& s) {
    if (s.tcp.connected) return true;
    if (!s.tcp.connecting) return ClientStartAttempt(s);

    pollfd p{s.tcp.mainSock, POLLOUT, 0};
    int r = poll(&p, 1, 0);
    if (r > 0) {
        int err = 0;
        socklen_t len = sizeof err;
        if (getsockopt(s.tcp.mainSock, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
        if (err == 0 && (p.revents & POLLOUT)) {
            s.tcp.connecting = false;
            s.tcp.connected = true;
            return true;
        }
        // The attempt failed; a pending connect cannot be restarted on the same socket.
        s.lastErrno = err ? err : ECONNREFUSED;
        ++s.tcp.connectFailures;
        ClientReset(s);
        return true;
    }
    if (PortClockMs() >= s.tcp.connectDeadline) {
        s.lastErrno = ETIMEDOUT;
        ++s.tcp.connectFailures;
        ClientReset(s); // the next operation starts the next attempt
    }
    return true;
}

void ClosePeer(PortSlot& s, int i) {
    CloseSock(s.tcp.peers[i]);
    s.tcp.peerDeadline[i] = 0;
}

bool ServerHousekeeping(PortSlot& s) {
    int64_t now = PortClockMs();
    int freeEntry = -1;
    for (int i = 0; i < kTcpPeers; ++i) {
        if (s.tcp.peers[i] >= 0 && now >= s.tcp.peerDeadline[i]) ClosePeer(s, i);
        if (s.tcp.peers[i] < 0 && freeEntry < 0) freeEntry = i;
    }
    if (s.tcp.mainSock < 0) return true;
    int fd = accept4(s.tcp.mainSock, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK) s.lastErrno = errno;
        return true;
    }
    // A full table keeps a place for a newcomer: the peer silent longest
    // makes room. Otherwise peers that connect first and never speak (while
    // every write renews their deadlines) would lock the real server out.
    if (freeEntry < 0) {
        freeEntry = 0;
        for (int i = 1; i < kTcpPeers; ++i)
            if (s.tcp.peerHeard[i] < s.tcp.peerHeard[freeEntry]) freeEntry = i;
        ClosePeer(s, freeEntry);
    }
    SetOpt(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    s.tcp.peers[freeEntry] = fd;
    s.tcp.peerDeadline[freeEntry] = now + kIdleMs;
    s.tcp.peerHeard[freeEntry] = now;
    return true;
}

void ClientPoll(PortSlot& s) {
    if (!s.tcp.connected) return;
    int room = s.rx.space();
    if (room <= 0) return; // leave the bytes in the socket until the ring has room
    uint8_t buf[kClientChunk];
    ssize_t got = recv(s.tcp.mainSock, buf, size_t(room < kClientChunk ? room : kClientChunk), MSG_DONTWAIT);
    if (got > 0) {
        s.rx.put(buf, int(got));
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
    // 0 bytes: the peer closed the connection. That ends the line just as an error
    // does; treating it as "no data" would leave the port silently dead.
    s.lastErrno = got == 0 ? ECONNRESET : errno;
    ClientReset(s);
}

// One receive pass over the peers. Every peer with bytes waiting gets an equal
// share of the room the ring has, so that a peer that floods the line cannot
// starve the others; each peer's bytes keep their order. When everything
// waiting fits, the peers are taken in entry order; when it does not, the
// pass starts one entry further on each time, so the leftover room goes
// round as well.
void ServerPoll(PortSlot& s) {
    uint8_t buf[kRingSize];
    int held[kTcpPeers] = {};
    int active = 0;
    long total = 0;
    for (int i = 0; i < kTcpPeers; ++i) {
        if (s.tcp.peers[i] < 0) continue;
        if (ioctl(s.tcp.peers[i], FIONREAD, &held[i]) < 0) {
            s.lastErrno = errno;
            ClosePeer(s, i);
            return;
        }
        if (held[i] > 0) {
            ++active;
            total += held[i];
        }
    }
    const int room = s.rx.space();
    const bool crowded = total > room;
    const int share = active > 0 ? std::max(1, room / active) : 0;
    const int first = crowded ? s.tcp.nextPeer : 0;
    if (crowded) s.tcp.nextPeer = (s.tcp.nextPeer + 1) % kTcpPeers;
    for (int k = 0; k < kTcpPeers; ++k) {
        const int i = (first + k) % kTcpPeers;
        const int fd = s.tcp.peers[i];
        if (fd < 0) continue;
        ssize_t got;
        if (held[i] > 0) {
            const int take = std::min({held[i], share, s.rx.space()});
            if (take <= 0) continue; // the bytes stay in the socket until there is room
            got = recv(fd, buf, size_t(take), MSG_DONTWAIT);
        } else {
            // Nothing held: peek to tell a closed peer from a silent one.
            got = recv(fd, buf, 1, MSG_DONTWAIT | MSG_PEEK);
            if (got > 0) continue; // bytes arrived just now; the next pass takes them
        }
        if (got > 0) {
            s.rx.put(buf, int(got));
            s.tcp.peerDeadline[i] = PortClockMs() + kIdleMs;
            s.tcp.peerHeard[i] = PortClockMs();
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        s.lastErrno = got == 0 ? ECONNRESET : errno;
        ClosePeer(s, i);
    }
}

// Sends all n bytes on a non-blocking socket, waiting a bounded time when the
// send buffer is full. 0 or the errno of the failure.
int SendAll(int fd, const uint8_t* bytes, int n) {
    int sent = 0;
    int64_t stallEnd = RealMs() + kSendStallMs;
    while (sent < n) {
        ssize_t r = send(fd, bytes + sent, size_t(n - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (r > 0) {
            sent += int(r);
            stallEnd = RealMs() + kSendStallMs;
            continue;
        }
        if (r < 0 && errno == EINTR) continue;
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        int64_t left = stallEnd - RealMs();
        if (left <= 0) return ETIMEDOUT;
        pollfd p{fd, POLLOUT, 0};
        if (poll(&p, 1, int(left)) < 0 && errno != EINTR) return errno;
    }
    return 0;
}

int ClientWrite(PortSlot& s, int handle, const uint8_t* bytes, int n) {
    TraceWritten(handle, bytes, n);
    ClientHousekeeping(s);
    // A frame written while the attempt is still pending (the first one after
    // opening, or right after a reconnect began) waits a little for it instead
    // of being lost; never the whole connect deadline.
    int64_t waitEnd = RealMs() + kWritePendingWaitMs;
    while (s.tcp.connecting) {
        int64_t left = waitEnd - RealMs();
        if (left <= 0) break;
        pollfd p{s.tcp.mainSock, POLLOUT, 0};
        if (poll(&p, 1, int(left)) < 0 && errno != EINTR) break;
        ClientHousekeeping(s);
    }
    if (!s.tcp.connected) {
        TraceWriteFailure(handle, 0);
        return 0;
    }
    int err = SendAll(s.tcp.mainSock, bytes, n);
    if (err) {
        s.lastErrno = err;
        ClientReset(s);
        TraceWriteFailure(handle, err);
        return 0;
    }
    return 1;
}

int ServerWrite(PortSlot& s, int handle, const uint8_t* bytes, int n) {
    ServerHousekeeping(s);
    for (int i = 0; i < kTcpPeers; ++i) {
        if (s.tcp.peers[i] < 0) continue;
        int err = SendAll(s.tcp.peers[i], bytes, n);
        if (err) {
            // Later peers do not get the bytes.
            s.lastErrno = err;
            ClosePeer(s, i);
            TraceWriteFailure(handle, err);
            return 0;
        }
        s.tcp.peerDeadline[i] = PortClockMs() + kIdleMs;
    }
    TraceWritten(handle, bytes, n);
    return 1;
}

bool ClientWaitReadable(PortSlot& s, int timeoutMs) {
    int64_t end = RealMs() + (timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        ClientHousekeeping(s);
        int64_t left = end - RealMs();
        if (left < 0) left = 0;
        if (s.tcp.connected) {
            pollfd p{s.tcp.mainSock, POLLIN, 0};
            // A hang-up or error counts: the receive path then deals with it.
            return poll(&p, 1, int(left)) > 0;
        }
        if (left == 0) return false;
        if (s.tcp.connecting) {
            pollfd p{s.tcp.mainSock, POLLOUT, 0};
            poll(&p, 1, int(left));
        } else {
            // No attempt could be started or the last one failed at once: do not
            // hammer the peer, try again a little later within the bound.
            poll(nullptr, 0, int(left < 100 ? left : 100));
        }
    }
}

bool ServerWaitReadable(PortSlot& s, int timeoutMs) {
    int64_t end = RealMs() + (timeoutMs > 0 ? timeoutMs : 0);
    for (;;) {
        pollfd fds[kTcpPeers + 1];
        int nfds = 0;
        bool roomForPeer = false;
        for (int i = 0; i < kTcpPeers; ++i) {
            if (s.tcp.peers[i] < 0) {
                roomForPeer = true;
                continue;
            }
            fds[nfds++] = pollfd{s.tcp.peers[i], POLLIN, 0};
        }
        int listenAt = -1;
        if (roomForPeer && s.tcp.mainSock >= 0) {
            listenAt = nfds;
            fds[nfds++] = pollfd{s.tcp.mainSock, POLLIN, 0};
        }
        int64_t left = end - RealMs();
        if (left < 0) left = 0;
        int r = poll(fds, nfds_t(nfds), int(left));
        if (r < 0 && errno != EINTR) return false;
        if (r > 0) {
            for (int k = 0; k < nfds; ++k)
                if (k != listenAt && fds[k].revents) return true;
            // Only a new connection: take it in and wait on for its bytes.
            if (listenAt >= 0 && fds[listenAt].revents) ServerHousekeeping(s);
        }
        if (RealMs() >= end) return false;
    }
}

} // namespace

int TcpClientOpen(PortSlot& s, const char* name) {
    s.tcp = TcpFields{};
    const char* rest = SkipPrefix(name, "TCPC_");
    const char* colon = strchr(rest, ':');
    if (!colon) return -1;
    char host[INET_ADDRSTRLEN] = {};
    size_t hostLen = size_t(colon - rest);
    if (hostLen == 0 || hostLen >= sizeof host) return -1;
    memcpy(host, rest, hostLen);
    in_addr addr{};
    uint16_t port = 0;
    // Host names are not resolved: a dotted IPv4 address only.
    if (inet_pton(AF_INET, host, &addr) != 1 || !ParsePort(colon + 1, &port)) return -1;

    int fd = NewClientSocket(s);
    if (fd < 0) return -1;
    SetClientSock(s, fd);
    s.tcp.ip = addr.s_addr;
    s.tcp.port = port;
    s.tcp.connected = false;
    s.tcp.connecting = false;
    // The first attempt starts now, so the first frame written after opening
    // does not find the line still unconnected. A failure here is not fatal:
    // the next operation tries again.
    ClientStartAttempt(s);
    return 0;
}

int TcpServerOpen(PortSlot& s, const char* name) {
    s.tcp = TcpFields{};
    uint16_t port = 0;
    if (!ParsePort(SkipPrefix(name, "TCPS_"), &port)) return -1;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        s.lastErrno = errno;
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (SetOpt(fd, SOL_SOCKET, SO_REUSEADDR, 1) < 0 || SetOpt(fd, SOL_SOCKET, SO_KEEPALIVE, 1) < 0 ||
        SetOpt(fd, IPPROTO_TCP, TCP_NODELAY, 1) < 0 ||
        bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) < 0 || listen(fd, kBacklog) < 0) {
        s.lastErrno = errno;
        close(fd);
        return -1;
    }
    s.tcp.mainSock = fd;
    s.tcp.port = port;
    return 0;
}

void TcpClose(PortSlot& s) {
    // The client's socket sits in both the main socket and the first peer entry.
    for (int i = 0; i < kTcpPeers; ++i)
        if (s.tcp.peers[i] != s.tcp.mainSock) CloseSock(s.tcp.peers[i]);
    CloseSock(s.tcp.mainSock);
    s.tcp = TcpFields{};
}

bool TcpWaitReadable(PortSlot& s, int timeoutMs) {
    return s.kind == KindTcpClient ? ClientWaitReadable(s, timeoutMs) : ServerWaitReadable(s, timeoutMs);
}

namespace {

bool ClientPump(PortSlot& s) {
    ClientHousekeeping(s);
    ClientPoll(s);
    return true;
}

bool ServerPump(PortSlot& s) {
    ServerHousekeeping(s);
    ServerPoll(s);
    return true;
}

// A purge drops what a socket holds at that moment as well: those bytes are
// as stale as the ring's (a late answer to an earlier request). One look per
// socket, so a peer that never stops sending cannot hold the purge up.
void DropHeld(int fd, int handle) {
    int held = 0;
    if (fd < 0 || ioctl(fd, FIONREAD, &held) < 0 || held <= 0) return;
    uint8_t buf[kRingSize];
    if (held > kRingSize) held = kRingSize;
    const ssize_t got = recv(fd, buf, size_t(held), MSG_DONTWAIT);
    if (got > 0) TracePurged(handle, buf, int(got));
}

void ClientPurge(PortSlot& s, int handle) {
    ClientHousekeeping(s);
    if (s.tcp.connected) DropHeld(s.tcp.mainSock, handle);
}

void ServerPurge(PortSlot& s, int handle) {
    ServerHousekeeping(s);
    for (int fd : s.tcp.peers)
        DropHeld(fd, handle);
}

} // namespace

const PortBackend kTcpClientBackend = {
    .open = TcpClientOpen,
    .close = TcpClose,
    .pump = ClientPump,
    .write = ClientWrite,
    .purge = ClientPurge,
    .waitReadable = ClientWaitReadable,
    .waitInput = nullptr,
    .setLine = nullptr,
    .hasInput = true,
    .transmitRing = false,
    .usesWorker = false,
    .hasLine = true,
};

const PortBackend kTcpServerBackend = {
    .open = TcpServerOpen,
    .close = TcpClose,
    .pump = ServerPump,
    .write = ServerWrite,
    .purge = ServerPurge,
    .waitReadable = ServerWaitReadable,
    .waitInput = nullptr,
    .setLine = nullptr,
    .hasInput = true,
    .transmitRing = false,
    .usesWorker = false,
    .hasLine = true,
};
