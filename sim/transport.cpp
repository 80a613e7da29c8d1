#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>

#include "virtual_controller.h"

namespace zelsim {

namespace {
constexpr size_t kMaxPending = 1 << 16; // a peer that never reads loses the oldest answers
} // namespace

// Runs a Line on its own thread: reads what the peers send, feeds it to the
// line when it has fully arrived, and writes the answers when they are due.
// With a baud rate every byte takes 10 bit times in each direction.
class Runner {
public:
    Runner(Line& line, int baud) : line_(line) {
        if (baud > 0) byteTime_ = std::chrono::nanoseconds(10'000'000'000LL / baud);
        line_.setByteTime(byteTime_);
    }
    ~Runner() { stop(); }

    void addPeer(int fd, bool closeOnEof) {
        peers_.push_back({fd, {}, closeOnEof});
        peerCount_ = peers_.size();
    }
    void setListener(int fd) { listen_ = fd; }
    size_t peerCount() const { return peerCount_; }

    bool start(std::string* error) {
        wake_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wake_ < 0) {
            if (error) *error = std::string("eventfd: ") + std::strerror(errno);
            return false;
        }
        thread_ = std::thread([this] { loop(); });
        return true;
    }

    void stop() {
        if (thread_.joinable()) {
            stop_ = true;
            const uint64_t one = 1;
            [[maybe_unused]] ssize_t r = write(wake_, &one, sizeof one);
            thread_.join();
        }
        for (auto& p : peers_)
            close(p.fd);
        peers_.clear();
        peerCount_ = 0;
        for (int* fd : {&listen_, &wake_})
            if (*fd >= 0) {
                close(*fd);
                *fd = -1;
            }
    }

private:
    struct Peer {
        int fd;
        std::vector<uint8_t> pending;
        bool closeOnEof;
    };
    struct Timed {
        uint8_t byte;
        Clock::time_point t;
        Clock::time_point quiet{}; // received bytes: nothing was waiting at this time before them
    };

    void schedule(const Answer& a, Clock::time_point now) {
        Clock::time_point t = std::max(now + std::chrono::milliseconds(a.delayMs), lastOut_);
        for (size_t i = 0; i < a.bytes.size(); ++i) {
            if (i > 0 && a.chunkSize > 0 && i % static_cast<size_t>(a.chunkSize) == 0)
                t += std::chrono::milliseconds(a.chunkPauseMs);
            t = std::max(t, lastOut_) + byteTime_;
            lastOut_ = t;
            out_.push_back({a.bytes[i], t});
        }
    }

    // Feeds everything read so far. On a paced line a byte counts as received
    // when its last bit is in (possibly still ahead); an answer goes out no
    // earlier than the end of the frame it answers.
    void feedAll(Clock::time_point now) {
        std::vector<Answer> answers;
        while (!in_.empty()) {
            const Clock::time_point t = in_.front().t;
            const Clock::time_point quiet = in_.front().quiet;
            std::vector<uint8_t> batch; // bytes that arrived together
            while (!in_.empty() && in_.front().t == t) {
                batch.push_back(in_.front().byte);
                in_.pop_front();
            }
            answers.clear();
            line_.receive(batch.data(), batch.size(), t, answers, std::min(t, quiet));
            for (const auto& a : answers)
                schedule(a, std::max(t, now));
        }
    }

    void dropPeer(size_t i) {
        close(peers_[i].fd);
        peers_.erase(peers_.begin() + static_cast<long>(i));
        peerCount_ = peers_.size();
    }

    void writePending() {
        for (size_t i = 0; i < peers_.size();) {
            Peer& p = peers_[i];
            bool dead = false;
            while (!p.pending.empty()) {
                const ssize_t w = p.closeOnEof ? send(p.fd, p.pending.data(), p.pending.size(), MSG_NOSIGNAL)
                                               : write(p.fd, p.pending.data(), p.pending.size());
                if (w > 0) {
                    p.pending.erase(p.pending.begin(), p.pending.begin() + w);
                    continue;
                }
                if (w < 0 && errno == EINTR) continue;
                if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
                dead = p.closeOnEof;
                if (!dead) p.pending.clear(); // pty: nobody to hear it
                break;
            }
            if (p.pending.size() > kMaxPending)
                p.pending.erase(p.pending.begin(), p.pending.end() - static_cast<long>(kMaxPending));
            if (dead)
                dropPeer(i);
            else
                ++i;
        }
    }

    void loop() {
        // The line's clock is when this thread reads the bytes, so it runs
        // ahead of the programs it serves: on a busy machine a late read would
        // shorten the gaps it measures. The thread only ever waits in ppoll.
        // Where the system refuses a real-time class, a higher priority; else
        // nothing.
        sched_param sp{};
        sp.sched_priority = 1;
        if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &sp) != 0)
            setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), -10);
        while (!stop_) {
            Clock::time_point now = Clock::now();
            feedAll(now);
            std::vector<uint8_t> due;
            while (!out_.empty() && out_.front().t <= now) {
                due.push_back(out_.front().byte);
                out_.pop_front();
            }
            if (!due.empty())
                for (auto& p : peers_)
                    p.pending.insert(p.pending.end(), due.begin(), due.end());
            writePending();

            Clock::time_point next = Clock::time_point::max();
            if (!out_.empty()) next = std::min(next, out_.front().t);

            std::vector<pollfd> fds;
            fds.push_back({wake_, POLLIN, 0});
            if (listen_ >= 0) fds.push_back({listen_, POLLIN, 0});
            const size_t firstPeer = fds.size();
            for (auto& p : peers_)
                fds.push_back({p.fd, static_cast<short>(POLLIN | (p.pending.empty() ? 0 : POLLOUT)), 0});

            // Inside a frame the line is looked at at least every kQuietLookMs:
            // a pause there is judged by the last look that found nothing, not
            // by when this thread got round to reading (late on a busy machine).
            // A quiet line between frames is not woken for.
            const Clock::time_point looking = Clock::now();
            if (line_.inFrame()) next = std::min(next, looking + std::chrono::milliseconds(kQuietLookMs));
            timespec ts{};
            timespec* tsp = nullptr;
            if (next != Clock::time_point::max()) {
                const auto wait = std::max(Clock::duration::zero(), next - Clock::now());
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
                ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
                ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
                tsp = &ts;
            }
            const int r = ppoll(fds.data(), fds.size(), tsp, nullptr);
            if (r < 0) {
                if (errno == EINTR) continue;
                break;
            }
            if (stop_) break;
            if (fds[0].revents & POLLIN) {
                uint64_t v;
                [[maybe_unused]] ssize_t rr = read(wake_, &v, sizeof v);
            }
            if (listen_ >= 0 && (fds[1].revents & POLLIN)) {
                const int fd = accept4(listen_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
                if (fd >= 0) {
                    const int on = 1;
                    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
                    peers_.push_back({fd, {}, true});
                    peerCount_ = peers_.size();
                }
            }
            bool input = false;
            for (size_t k = firstPeer; k < fds.size(); ++k)
                input = input || (fds[k].revents & POLLIN);
            if (!input) quietSeen_ = looking;
            // Read the peers in order; those that went away are dropped afterwards.
            const Clock::time_point arrived = Clock::now();
            std::vector<size_t> gone;
            for (size_t k = firstPeer; k < fds.size(); ++k) {
                const size_t i = k - firstPeer;
                if (!(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                uint8_t buf[4096];
                const ssize_t n = read(peers_[i].fd, buf, sizeof buf);
                if (n > 0) {
                    const bool echo = line_.echo();
                    const auto echoDelay = std::chrono::milliseconds(line_.echoDelayMs());
                    for (ssize_t j = 0; j < n; ++j) {
                        Clock::time_point t = arrived;
                        if (byteTime_.count() > 0) t = std::max(arrived, lastIn_) + byteTime_;
                        lastIn_ = t;
                        in_.push_back({buf[j], t, quietSeen_});
                        if (echo) { // the adapter hears each byte as it goes by
                            const Clock::time_point e = std::max(t + echoDelay, lastOut_);
                            lastOut_ = e;
                            out_.push_back({buf[j], e});
                        }
                    }
                } else if (n == 0 || (errno != EAGAIN && errno != EINTR && errno != EWOULDBLOCK)) {
                    if (peers_[i].closeOnEof) gone.push_back(i);
                }
            }
            for (size_t g = gone.size(); g-- > 0;)
                dropPeer(gone[g]);
        }
    }

    Line& line_;
    std::chrono::nanoseconds byteTime_{0};
    std::vector<Peer> peers_;
    std::atomic<size_t> peerCount_{0};
    int listen_ = -1;
    int wake_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::deque<Timed> in_, out_;
    Clock::time_point lastIn_{}, lastOut_{};
    static constexpr int kQuietLookMs = 10;
    Clock::time_point quietSeen_{}; // the last look that found no input
};

PtyTransport::PtyTransport(Line& line, int baud) : line_(line), baud_(baud) {}
PtyTransport::~PtyTransport() {
    stop();
}

bool PtyTransport::start(std::string* error) {
    if (runner_) return true;
    auto fail = [&](const char* what, int master, int slave) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
        return false;
    };
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0) return fail("posix_openpt", -1, -1);
    if (grantpt(master) != 0 || unlockpt(master) != 0) return fail("unlockpt", master, -1);
    char name[128];
    if (ptsname_r(master, name, sizeof name) != 0) return fail("ptsname", master, -1);
    // The line keeps the slave open itself: otherwise the master would report a
    // hang-up whenever the tool has the port closed. Raw at once, so that
    // nothing is echoed back before the tool sets its own line settings.
    const int slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0) return fail("open slave", master, -1);
    termios tio{};
    if (tcgetattr(slave, &tio) != 0) return fail("tcgetattr", master, slave);
    cfmakeraw(&tio);
    if (tcsetattr(slave, TCSANOW, &tio) != 0) return fail("tcsetattr", master, slave);
    slave_ = name;
    slaveFd_ = slave;
    runner_ = std::make_unique<Runner>(line_, baud_);
    runner_->addPeer(master, false);
    if (!runner_->start(error)) {
        runner_.reset();
        close(slaveFd_);
        slaveFd_ = -1;
        return false;
    }
    return true;
}

void PtyTransport::stop() {
    if (runner_) {
        runner_->stop();
        runner_.reset();
    }
    if (slaveFd_ >= 0) {
        close(slaveFd_);
        slaveFd_ = -1;
    }
}

TcpTransport::TcpTransport(Line& line, int baud) : line_(line), baud_(baud) {}
TcpTransport::~TcpTransport() {
    stop();
}

bool TcpTransport::start(uint16_t port, bool allInterfaces, std::string* error) {
    if (runner_) return true;
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    auto fail = [&](const char* what) {
        if (error) *error = std::string(what) + ": " + std::strerror(errno);
        if (fd >= 0) close(fd);
        return false;
    };
    if (fd < 0) return fail("socket");
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(allInterfaces ? INADDR_ANY : INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return fail("bind");
    if (listen(fd, 16) != 0) return fail("listen");
    socklen_t len = sizeof a;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return fail("getsockname");
    port_ = ntohs(a.sin_port);
    runner_ = std::make_unique<Runner>(line_, baud_);
    runner_->setListener(fd);
    if (!runner_->start(error)) {
        runner_.reset(); // closes the listener
        return false;
    }
    return true;
}

void TcpTransport::stop() {
    if (runner_) {
        runner_->stop();
        runner_.reset();
    }
}

size_t TcpTransport::peerCount() const {
    return runner_ ? runner_->peerCount() : 0;
}

} // namespace zelsim
