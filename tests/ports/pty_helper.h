// A real pseudo-terminal for the serial tests: the test keeps the master side,
// the port layer opens the slave by its path.
#pragma once

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <unistd.h>
#include <vector>

#include "port_layer.h"

struct Pty {
    int master = -1;
    std::string slave;

    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        slave = ptsname(master);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() { closeMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    void closeMaster() {
        if (master >= 0) close(master);
        master = -1;
    }

    // Writes everything to the master side; false when it could not within 5 s.
    bool send(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (done < bytes.size()) {
            const ssize_t w = write(master, bytes.data() + done, bytes.size() - done);
            if (w > 0) {
                done += static_cast<size_t>(w);
                continue;
            }
            if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
            if (std::chrono::steady_clock::now() > end) return false;
            pollfd p{master, POLLOUT, 0};
            poll(&p, 1, 10);
        }
        return true;
    }

    // Reads from the master side until n bytes came or timeoutMs passed.
    std::vector<uint8_t> receive(size_t n, int timeoutMs = 5000) {
        std::vector<uint8_t> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < n && std::chrono::steady_clock::now() < end) {
            uint8_t buf[4096];
            const ssize_t r = read(master, buf, std::min(sizeof buf, n - out.size()));
            if (r > 0) {
                out.insert(out.end(), buf, buf + r);
                continue;
            }
            pollfd p{master, POLLIN, 0};
            poll(&p, 1, 10);
        }
        return out;
    }
};

// Polls port_avail until at least n bytes wait or timeoutMs passes.
inline int WaitAvail(int handle, int n, int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int got = port_avail(handle);
    while (got < n && std::chrono::steady_clock::now() < end) {
        PortWaitInput(handle, 10);
        got = port_avail(handle);
    }
    return got;
}

inline std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<uint8_t>(seed + i * 7 + i / 251);
    return v;
}
