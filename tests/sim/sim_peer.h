// A raw byte peer of the virtual controller's line: builds frames by hand and
// reads answers from the pty or socket directly, without the port layer.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "checksum.h"

namespace simtest {

using Bytes = std::vector<uint8_t>;

inline Bytes Cmd(uint8_t ctrl, uint8_t cmd) {
    Bytes f{0x60, ctrl, cmd};
    f.push_back(FrameChecksum(f.data(), 3));
    return f;
}

// Middle, high, low address byte order.
inline Bytes AddrFrame(uint32_t addr, uint8_t b5, uint8_t n) {
    Bytes f{0x01, 0x00, uint8_t(addr >> 8), uint8_t(addr >> 16), uint8_t(addr), b5, n};
    f.push_back(FrameChecksum(f.data(), 7));
    return f;
}

inline Bytes ReadReq(uint8_t ctrl, uint32_t addr, uint8_t n, uint8_t board = 0) {
    Bytes f = Cmd(ctrl, uint8_t(0x48 + board));
    Bytes a = AddrFrame(addr, 0, n);
    f.insert(f.end(), a.begin(), a.end());
    return f;
}

// Command, address frame and (for 2 or more bytes) the continuation; `count`
// overrides the length byte.
inline Bytes WriteReq(uint8_t ctrl, uint32_t addr, const Bytes& data, uint8_t board = 0, int count = -1) {
    Bytes f = Cmd(ctrl, uint8_t(0x40 + board));
    const uint8_t n = count >= 0 ? uint8_t(count) : uint8_t(data.size());
    Bytes a = AddrFrame(addr, data.empty() ? 0 : data[0], n);
    f.insert(f.end(), a.begin(), a.end());
    if (data.size() >= 2) {
        f.insert(f.end(), data.begin() + 1, data.end());
        f.push_back(FrameChecksum(data.data() + 1, data.size() - 1));
    }
    return f;
}

class Peer {
public:
    explicit Peer(int fd) : fd_(fd) {}
    static Peer OpenPty(const std::string& path) {
        const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios t{};
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
        }
        return Peer(fd);
    }
    Peer(Peer&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    ~Peer() {
        if (fd_ >= 0) close(fd_);
    }
    bool ok() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    void send(const Bytes& b) const {
        size_t off = 0;
        while (off < b.size()) {
            const ssize_t w = write(fd_, b.data() + off, b.size() - off);
            if (w > 0)
                off += size_t(w);
            else {
                pollfd p{fd_, POLLOUT, 0};
                poll(&p, 1, 100);
            }
        }
    }
    // Reads until n bytes came or the bound passed.
    Bytes read(size_t n, int boundMs = 5000) const {
        Bytes out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(boundMs);
        while (out.size() < n) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, int(left.count())) <= 0) continue;
            uint8_t buf[256];
            const ssize_t r = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (r > 0)
                out.insert(out.end(), buf, buf + r);
            else if (r == 0)
                break; // the other end closed
        }
        return out;
    }
    Bytes ask(const Bytes& req, size_t answer) const {
        send(req);
        return read(answer);
    }

private:
    int fd_;
};

} // namespace simtest
