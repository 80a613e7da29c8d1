#include <deque>

#include "checksum.h"
#include "sim_memory_map.h"
#include "virtual_controller.h"

namespace zelsim {

namespace {
constexpr uint8_t kStart = 0x60;
constexpr uint8_t kTextTrigger = 0x31;
constexpr size_t kMaxRecords = 200000; // a long-running line keeps the newer half
} // namespace

struct Line::Parser {
    enum State { Idle, Command, Address, Continuation, Trigger } state = Idle;
    std::vector<uint8_t> buf;
    size_t need = 0;
    uint8_t ctrl = 0, cmd = 0;
    uint32_t memAddr = 0;
    uint8_t first = 0, count = 0;
    bool haveLast = false;
    Clock::time_point last{};
    std::vector<uint8_t> skipped;
    Clock::time_point skippedTime{};
    Clock::time_point frameFirst{}; // when the first byte of the frame being received was in
    bool haveEnd = false;
    Clock::time_point lastEnd{}; // end of the last frame received
    bool answered = true;        // the controller answered since that frame
    double gapMs = -1;           // for the next recorded frame
    bool refused = false;
};

Line::Line() : p_(std::make_unique<Parser>()) {}
Line::~Line() = default;

VirtualController& Line::addController(uint8_t address, uint8_t deviceType) {
    std::lock_guard lk(m_);
    controllers_.push_back(std::make_unique<VirtualController>(address, deviceType));
    return *controllers_.back();
}

VirtualController* Line::controllerLocked(uint8_t address) {
    for (auto& c : controllers_)
        if (c->address() == address) return c.get();
    // With exactly one controller on the line it answers the reserve address too.
    if (address == kReserve && controllers_.size() == 1) return controllers_.front().get();
    return nullptr;
}

VirtualController* Line::controller(uint8_t address) {
    std::lock_guard lk(m_);
    return controllerLocked(address);
}

VirtualController& Line::front() {
    std::lock_guard lk(m_);
    if (controllers_.empty()) controllers_.push_back(std::make_unique<VirtualController>());
    return *controllers_.front();
}

size_t Line::controllerCount() const {
    std::lock_guard lk(m_);
    return controllers_.size();
}

void Line::setByteTime(std::chrono::nanoseconds t) {
    byteTimeNs_ = t.count();
}

void Line::setEcho(bool on) {
    echo_ = on;
}

bool Line::echo() const {
    return echo_.load();
}

void Line::setEchoDelay(int ms) {
    echoDelayMs_ = ms > 0 ? ms : 0;
}

int Line::echoDelayMs() const {
    return echoDelayMs_.load();
}

void Line::setFaults(const Faults& f) {
    std::lock_guard lk(m_);
    for (auto& c : controllers_)
        c->setFaults(f);
}

std::vector<ReceivedFrame> Line::frames() const {
    std::lock_guard lk(m_);
    return frames_;
}

size_t Line::frameCount() const {
    std::lock_guard lk(m_);
    return frames_.size();
}

bool Line::inFrame() const {
    std::lock_guard lk(m_);
    return p_->state != Parser::Idle;
}

size_t Line::writeCommandCount() const {
    std::lock_guard lk(m_);
    size_t n = 0;
    for (const ReceivedFrame& f : frames_)
        if (f.kind == FrameKind::Command && f.bytes.size() == 4 && (f.bytes[2] & 0xF8) == 0x40) ++n;
    return n;
}

void Line::clearFrames() {
    std::lock_guard lk(m_);
    frames_.clear();
}

bool Line::waitForFrames(size_t count, std::chrono::milliseconds bound) const {
    std::unique_lock lk(m_);
    return cv_.wait_for(lk, bound, [&] { return frames_.size() >= count; });
}

void Line::flushSkippedLocked() {
    Parser& p = *p_;
    if (p.skipped.empty()) return;
    std::vector<uint8_t> run;
    run.swap(p.skipped);
    recordLocked(FrameKind::Skipped, std::move(run), false, p.skippedTime);
}

void Line::recordLocked(FrameKind kind, std::vector<uint8_t> bytes, bool ok, Clock::time_point t) {
    // Noise before a frame is recorded before it, as one run.
    if (kind != FrameKind::Skipped) flushSkippedLocked();
    if (frames_.size() >= kMaxRecords) frames_.erase(frames_.begin(), frames_.begin() + kMaxRecords / 2);
    ReceivedFrame r{kind, std::move(bytes), ok, t};
    if (kind != FrameKind::Skipped) {
        r.gapMs = p_->gapMs;
        r.refused = p_->refused;
        p_->refused = false;
    }
    frames_.push_back(std::move(r));
    cv_.notify_all();
}

bool Line::admitLocked(FrameKind kind, uint8_t ctrl, Clock::time_point t) {
    Parser& p = *p_;
    const Clock::time_point start = p.frameFirst - std::chrono::nanoseconds(byteTimeNs_.load());
    p.gapMs = p.haveEnd ? std::chrono::duration<double, std::milli>(start - p.lastEnd).count() : -1;
    const bool checked = kind == FrameKind::Continuation || (kind == FrameKind::Command && !p.answered);
    VirtualController* c = controllerLocked(ctrl);
    const int minGap = c ? c->faults().minGapMs : 0;
    p.refused = checked && minGap > 0 && p.haveEnd && p.gapMs < minGap;
    p.haveEnd = true;
    p.lastEnd = t;
    p.answered = false;
    return !p.refused;
}

void Line::answerLocked(VirtualController* c, std::vector<uint8_t> bytes, std::vector<Answer>& out) {
    const Faults f = c->faults();
    if (f.extraByte) bytes.push_back(0x00);
    if (f.corruptAnswers)
        for (auto& b : bytes)
            b ^= 0x5A;
    p_->answered = true;
    Answer a;
    a.bytes = std::move(bytes);
    a.delayMs = f.answerDelayMs > 0 ? f.answerDelayMs : 0;
    a.chunkSize = f.chunkSize > 0 ? f.chunkSize : 0;
    a.chunkPauseMs = f.chunkPauseMs > 0 ? f.chunkPauseMs : 0;
    out.push_back(std::move(a));
}

void Line::finishCommandLocked(std::vector<Answer>& out) {
    Parser& p = *p_;
    p.ctrl = p.buf[1];
    p.cmd = p.buf[2];
    p.buf.clear();
    p.state = Parser::Idle;
    if ((p.cmd & 0xF0) == 0x40) { // 0x40 + board write, 0x48 + board read
        p.state = Parser::Address;
        p.need = 8;
        return;
    }
    if (p.cmd == 0x00) {
        p.state = Parser::Trigger;
        p.need = 1;
        return;
    }
    VirtualController* c = controllerLocked(p.ctrl);
    if (!c || c->faults().noAnswer) return;
    std::vector<uint8_t> a;
    if (p.cmd == 0x21)
        c->identifyAnswer(a);
    else if (p.cmd == 0xF0)
        c->errorAnswer(a);
    else
        return; // unknown command: a controller keeps silent
    answerLocked(c, std::move(a), out);
}

void Line::finishAddressLocked(std::vector<Answer>& out) {
    Parser& p = *p_;
    const std::vector<uint8_t>& b = p.buf;
    p.memAddr =
        static_cast<uint32_t>(b[4]) | static_cast<uint32_t>(b[2]) << 8 | static_cast<uint32_t>(b[3]) << 16;
    p.first = b[5];
    p.count = b[6];
    p.buf.clear();
    p.state = Parser::Idle;
    const bool write = (p.cmd & 0x08) == 0;
    const uint8_t board = p.cmd & 0x07;
    VirtualController* c = controllerLocked(p.ctrl);
    if (write && p.count >= 2) {
        // The continuation follows whoever it is for: count - 1 data bytes and a checksum.
        p.state = Parser::Continuation;
        p.need = p.count;
        return;
    }
    if (!c || c->faults().noAnswer) return;
    std::vector<uint8_t> a;
    if (!write) {
        if (!c->handleRead(board, p.memAddr, p.count, a)) return;
    } else if (p.count == 0) {
        a.push_back(c->handleWrite(board, p.memAddr, {}));
    } else {
        // Two bytes, the status in both: readers that look at the last byte
        // and those that look at the first one agree.
        const uint8_t status = c->handleWrite(board, p.memAddr, {p.first});
        if (board == 0 && p.memAddr == kRestart && status == kErrNone && c->faults().silentRestart)
            return; // restarted without a word
        a.push_back(status);
        a.push_back(status);
    }
    answerLocked(c, std::move(a), out);
}

void Line::finishContinuationLocked(std::vector<Answer>& out) {
    Parser& p = *p_;
    std::vector<uint8_t> data;
    data.reserve(p.count);
    data.push_back(p.first);
    data.insert(data.end(), p.buf.begin(), p.buf.end() - 1);
    const bool ok = FrameChecksum(p.buf.data(), p.buf.size() - 1) == p.buf.back();
    p.buf.clear();
    p.state = Parser::Idle;
    VirtualController* c = controllerLocked(p.ctrl);
    if (!c || c->faults().noAnswer) return;
    if (!ok) {
        c->noteError(kErrBadChecksum);
        return;
    }
    const uint8_t board = p.cmd & 0x07;
    answerLocked(c, {c->handleWrite(board, p.memAddr, data)}, out);
}

void Line::receive(const uint8_t* bytes, size_t n, Clock::time_point t, std::vector<Answer>& out,
                   std::optional<Clock::time_point> quietSeen) {
    std::lock_guard lk(m_);
    Parser& p = *p_;
    auto flushSkipped = [&] { flushSkippedLocked(); };
    auto skip = [&](uint8_t b) {
        if (p.skipped.empty()) p.skippedTime = t;
        p.skipped.push_back(b);
    };

    if (n > 0 && p.haveLast && quietSeen.value_or(t) - p.last > std::chrono::milliseconds(kResyncPauseMs)) {
        // The line went quiet in the middle of a frame: what came is lost.
        for (uint8_t b : p.buf)
            skip(b);
        p.buf.clear();
        p.state = Parser::Idle;
        flushSkipped();
    }
    if (n > 0) {
        p.haveLast = true;
        p.last = t;
    }

    std::deque<uint8_t> in(bytes, bytes + n);
    while (!in.empty()) {
        const uint8_t b = in.front();
        in.pop_front();
        switch (p.state) {
        case Parser::Idle:
            if (b == kStart) {
                p.frameFirst = t;
                p.buf.assign(1, b);
                p.state = Parser::Command;
            } else {
                skip(b);
            }
            break;
        case Parser::Command:
            p.buf.push_back(b);
            if (p.buf.size() < 4) break;
            if (FrameChecksum(p.buf.data(), 3) == p.buf[3]) {
                const bool admitted = admitLocked(FrameKind::Command, p.buf[1], t);
                recordLocked(FrameKind::Command, p.buf, true, t);
                if (admitted) {
                    finishCommandLocked(out);
                } else { // busy: the command and whatever follows it are not taken
                    p.buf.clear();
                    p.state = Parser::Idle;
                }
            } else {
                // Not a frame after all: drop its first byte and look again
                // from the next one.
                skip(p.buf[0]);
                in.insert(in.begin(), p.buf.begin() + 1, p.buf.end());
                p.buf.clear();
                p.state = Parser::Idle;
            }
            break;
        case Parser::Address:
            if (p.buf.empty()) p.frameFirst = t;
            p.buf.push_back(b);
            if (p.buf.size() < p.need) break;
            admitLocked(FrameKind::Address, p.ctrl, t);
            if (FrameChecksum(p.buf.data(), 7) == p.buf[7]) {
                recordLocked(FrameKind::Address, p.buf, true, t);
                finishAddressLocked(out);
            } else {
                recordLocked(FrameKind::Address, p.buf, false, t);
                if (VirtualController* c = controllerLocked(p.ctrl); c && !c->faults().noAnswer)
                    c->noteError(kErrBadChecksum);
                p.buf.clear();
                p.state = Parser::Idle;
            }
            break;
        case Parser::Continuation:
            if (p.buf.empty()) p.frameFirst = t;
            p.buf.push_back(b);
            if (p.buf.size() < p.need) break;
            {
                const bool admitted = admitLocked(FrameKind::Continuation, p.ctrl, t);
                recordLocked(FrameKind::Continuation, p.buf,
                             FrameChecksum(p.buf.data(), p.buf.size() - 1) == p.buf.back(), t);
                if (admitted) {
                    finishContinuationLocked(out);
                } else { // busy writing: the frame is lost, nothing is written or answered
                    p.buf.clear();
                    p.state = Parser::Idle;
                }
            }
            break;
        case Parser::Trigger:
            p.state = Parser::Idle;
            if (b != kTextTrigger) {
                in.push_front(b); // not the request after all; maybe the next frame
                break;
            }
            p.frameFirst = t;
            admitLocked(FrameKind::TextTrigger, p.ctrl, t);
            recordLocked(FrameKind::TextTrigger, {b}, true, t);
            if (VirtualController* c = controllerLocked(p.ctrl); c && !c->faults().noAnswer) {
                std::vector<uint8_t> a;
                c->identTextAnswer(a);
                answerLocked(c, std::move(a), out);
            }
            break;
        }
    }
    // Noise at the end of what came is recorded now unless a frame may still
    // be starting.
    if (p.state == Parser::Idle) flushSkipped();
}

} // namespace zelsim
