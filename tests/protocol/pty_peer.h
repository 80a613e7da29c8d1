// A scripted controller on the master side of a real pseudo-terminal. The code
// under test opens the slave by its /dev/pts path through the port layer; the
// peer records every byte it receives and answers by a script: after the n-th
// byte has arrived, (optionally after a delay) it writes the given answer,
// possibly in chunks with pauses between them.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using Bytes = std::vector<uint8_t>;

struct PeerStep {
    size_t afterBytes = 0;     // answer once this many bytes (counted from the start) have come
    std::vector<Bytes> chunks; // the answer, chunk by chunk
    int delayMs = 0;           // before the first chunk
    int chunkPauseMs = 0;      // between chunks
};

class PtyPeer {
public:
    PtyPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        const char* name = ptsname(master_);
        if (name) slave_ = name;
        termios t{};
        if (tcgetattr(master_, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(master_, TCSANOW, &t);
        }
        fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
        thread_ = std::thread([this] { Run(); });
    }
    ~PtyPeer() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        if (master_ >= 0) close(master_);
    }
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool ok() const { return master_ >= 0 && !slave_.empty(); }
    const std::string& slavePath() const { return slave_; }

    // Replaces the script; steps count bytes from the moment of this call.
    void Script(std::vector<PeerStep> steps) {
        std::lock_guard<std::mutex> lock(mu_);
        for (auto& s : steps)
            s.afterBytes += received_.size();
        steps_ = std::move(steps);
        next_ = 0;
        ++generation_;
    }
    // Answer once after `after` more bytes.
    void Answer(size_t after, Bytes answer, int delayMs = 0) {
        Script({PeerStep{after, {std::move(answer)}, delayMs, 0}});
    }

    Bytes Received() const {
        std::lock_guard<std::mutex> lock(mu_);
        return received_;
    }
    size_t ReceivedCount() const {
        std::lock_guard<std::mutex> lock(mu_);
        return received_.size();
    }
    void ClearReceived() {
        std::lock_guard<std::mutex> lock(mu_);
        received_.clear();
        steps_.clear();
        next_ = 0;
        ++generation_;
    }
    // Waits (bounded) until at least n bytes have been received in all.
    bool WaitReceived(size_t n, int timeoutMs = 5000) const {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return received_.size() >= n; });
    }
    // Waits (bounded) until the script has been played out.
    bool WaitScriptDone(int timeoutMs = 5000) const {
        std::unique_lock<std::mutex> lock(mu_);
        return cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [&] { return next_ >= steps_.size() && !writing_; });
    }
    // Writes bytes to the line at once (as a controller talking on its own).
    void Send(const Bytes& b) { WriteAll(b); }

private:
    void WriteAll(const Bytes& b) {
        size_t off = 0;
        while (off < b.size() && !stop_) {
            ssize_t w = write(master_, b.data() + off, b.size() - off);
            if (w > 0) {
                off += static_cast<size_t>(w);
            } else {
                pollfd p{master_, POLLOUT, 0};
                poll(&p, 1, 10);
            }
        }
    }

    void Run() {
        uint8_t buf[4096];
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            const int r = poll(&p, 1, 5);
            if (r > 0 && (p.revents & POLLIN)) {
                const ssize_t n = read(master_, buf, sizeof buf);
                if (n > 0) {
                    std::lock_guard<std::mutex> lock(mu_);
                    received_.insert(received_.end(), buf, buf + n);
                    cv_.notify_all();
                } else {
                    std::this_thread::sleep_for(std::chrono::milliseconds(2)); // slave closed: EIO
                }
            } else if (r > 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            PeerStep step;
            uint64_t generation = 0;
            {
                std::lock_guard<std::mutex> lock(mu_);
                if (next_ >= steps_.size() || received_.size() < steps_[next_].afterBytes) continue;
                step = steps_[next_];
                generation = generation_;
                writing_ = true;
            }
            if (step.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(step.delayMs));
            for (size_t i = 0; i < step.chunks.size(); ++i) {
                if (i && step.chunkPauseMs)
                    std::this_thread::sleep_for(std::chrono::milliseconds(step.chunkPauseMs));
                WriteAll(step.chunks[i]);
            }
            std::lock_guard<std::mutex> lock(mu_);
            if (generation == generation_) ++next_; // a script replaced meanwhile starts afresh
            writing_ = false;
            cv_.notify_all();
        }
    }

    int master_ = -1;
    std::string slave_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mu_;
    mutable std::condition_variable cv_;
    Bytes received_;
    std::vector<PeerStep> steps_;
    size_t next_ = 0;
    uint64_t generation_ = 0;
    bool writing_ = false;
};
