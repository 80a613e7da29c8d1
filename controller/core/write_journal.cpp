#include "write_journal.h"

#include "block_write_hook.h"
#include "hex_text.h"
#include "memory_map.h"
#include "protocol_state.h"
#include "snapshot.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <deque>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace journal {

namespace {

struct Known {
    int id;
    int board;
    uint32_t address;
    std::vector<uint8_t> bytes;
};

std::vector<Known>& KnownList() {
    static std::vector<Known> list;
    return list;
}

int nextKnownId = 0;
int observerId = 0;
int startObserverId = 0;
std::function<void(const std::string&)> errorHandler;
std::string lastError;
bool errorReported = false;

std::string Hex(const std::vector<uint8_t>& bytes) {
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (uint8_t b : bytes) {
        s += d[b >> 4];
        s += d[b & 15];
    }
    return s;
}

bool FromHex(const std::string& text, std::vector<uint8_t>& out) {
    if (text.size() % 2) return false;
    out.clear();
    auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    for (size_t i = 0; i < text.size(); i += 2) {
        const int hi = digit(text[i]), lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi * 16 + lo));
    }
    return true;
}

// Port names go into one token: spaces, '%', '=' and control bytes as %XX;
// "-" stands for no name, so a name "-" is written %2D.
std::string EncodeToken(const std::string& s) {
    if (s == "-") return "%2D";
    std::string out;
    for (unsigned char c : s) {
        if (c <= 0x20 || c == '%' || c == '=' || c == 0x7F) {
            out += '%' + HexByte(c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out.empty() ? "-" : out;
}

std::string DecodeToken(const std::string& s) {
    if (s == "-") return {};
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            std::vector<uint8_t> b;
            if (FromHex(s.substr(i + 1, 2), b)) {
                out += static_cast<char>(b[0]);
                i += 2;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

std::string Now() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t t = std::chrono::system_clock::to_time_t(now);
    const int ms = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char date[32], zone[8];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &tm);
    std::strftime(zone, sizeof zone, "%z", &tm);
    char out[48];
    std::snprintf(out, sizeof out, "%s.%03d%s", date, ms, zone);
    return out;
}

// The controller passwords presented or set (0x5300..0x5403) never reach the file.
bool PasswordWrite(int board, uint32_t address) {
    return board == kBoardMain && address >= kAddrAdminPassword && address < kAddrNewAdjustPassword + 2;
}

// The record of a block write, its "before" taken from the known content.
// `commit` moves the known content to the written bytes (the write went through).
Record RecordOf(const BlockWriteEvent& e, bool commit) {
    Record r;
    r.time = Now();
    const bool demo = Protocol().demoMode;
    r.port = demo ? "demo" : e.portName;
    r.ctrl = e.ctrl & 0xFF;
    r.board = e.board;
    r.address = e.address;
    r.count = e.count;
    r.hidden = PasswordWrite(e.board, e.address);
    const uint32_t end = e.address + static_cast<uint32_t>(e.count);
    auto& list = KnownList();
    for (auto it = list.rbegin(); it != list.rend(); ++it) {
        if (it->board != e.board || e.address < it->address ||
            end > it->address + static_cast<uint32_t>(it->bytes.size()))
            continue;
        const size_t at = e.address - it->address;
        if (!r.hidden) {
            r.beforeKnown = true;
            r.before.assign(it->bytes.begin() + static_cast<long>(at),
                            it->bytes.begin() + static_cast<long>(at) + e.count);
        }
        if (commit) std::memcpy(it->bytes.data() + at, e.data, static_cast<size_t>(e.count));
        break;
    }
    if (!r.hidden) r.after.assign(e.data, e.data + e.count);
    return r;
}

bool SameWrite(const Record& a, const Record& b) {
    return a.time == b.time && a.port == b.port && a.ctrl == b.ctrl && a.board == b.board &&
           a.address == b.address && a.count == b.count;
}

// The begun record of the block write under way, confirmed when it went through.
std::optional<Record> begun;
int failedRecords = 0;

void Keep(const Record& r) {
    std::string error;
    if (Append(JournalPath(Protocol().demoMode), r, &error)) return;
    lastError = "the write of " + HexNumber(r.address, 6) + " (controller " +
                HexByte(static_cast<unsigned>(r.ctrl)) + ") is not journalled: " + error;
    ++failedRecords;
    if (!errorReported && errorHandler) {
        errorReported = true;
        errorHandler(lastError);
    }
}

void ObserveStart(const BlockWriteEvent& e) {
    Record r = RecordOf(e, false);
    r.kind = Record::Kind::Begun;
    Keep(r);
    begun = std::move(r);
}

void Observe(const BlockWriteEvent& e) {
    Record r = RecordOf(e, true);
    if (begun && begun->port == r.port && begun->ctrl == r.ctrl && begun->board == r.board &&
        begun->address == r.address && begun->count == r.count) {
        Record done = *begun;
        done.kind = Record::Kind::Done;
        done.before.clear();
        done.after.clear();
        begun.reset();
        Keep(done);
        return;
    }
    begun.reset();
    Keep(r);
}

bool TimeLooksRight(const std::string& t) {
    if (t.size() < 19) return false;
    for (size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u, 17u, 18u})
        if (t[i] < '0' || t[i] > '9') return false;
    return t[4] == '-' && t[7] == '-' && t[10] == 'T' && t[13] == ':' && t[16] == ':';
}

// Opens a journal for reading; refuses what is not a regular file before a
// read could block on it (a FIFO, a device).
std::FILE* OpenRegular(const std::string& path, Contents& c) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) {
            c.exists = true;
            c.error = "cannot open " + path + ": " + std::strerror(errno);
        }
        return nullptr;
    }
    c.exists = true;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        c.error = path + " is not a regular file";
        ::close(fd);
        return nullptr;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) ::close(fd);
    return f;
}

// Lines of a file from its start; a line longer than kJournalMaxLine is
// given as `tooLong` with its bytes dropped.
class ForwardLines {
public:
    explicit ForwardLines(std::FILE* f) : f_(f), buf_(1 << 16) {}
    bool next(std::string& line, bool& tooLong) {
        line.clear();
        tooLong = false;
        bool any = false;
        for (;;) {
            if (at_ == len_) {
                len_ = std::fread(buf_.data(), 1, buf_.size(), f_);
                at_ = 0;
                if (len_ == 0) return any;
            }
            any = true;
            const char* from = buf_.data() + at_;
            const void* nl = std::memchr(from, '\n', len_ - at_);
            const size_t n = nl ? static_cast<size_t>(static_cast<const char*>(nl) - from) : len_ - at_;
            if (!tooLong) {
                if (line.size() + n > kJournalMaxLine) {
                    tooLong = true;
                    line.clear();
                } else {
                    line.append(from, n);
                }
            }
            at_ += n;
            if (nl) {
                ++at_;
                return true;
            }
        }
    }

private:
    std::FILE* f_;
    std::vector<char> buf_;
    size_t at_ = 0, len_ = 0;
};

// Lines of a file from its end, last line first; as ForwardLines otherwise.
class BackwardLines {
public:
    explicit BackwardLines(std::FILE* f) : f_(f) {
        std::fseek(f_, 0, SEEK_END);
        pos_ = std::max(0L, std::ftell(f_));
        done_ = pos_ == 0;
    }
    bool next(std::string& line, bool& tooLong) {
        line.clear();
        tooLong = false;
        if (done_) return false;
        for (;;) {
            if (chunk_.empty()) {
                if (pos_ == 0) {
                    done_ = true; // the file's first line
                    return true;
                }
                const long n = std::min<long>(pos_, 1 << 16);
                pos_ -= n;
                chunk_.resize(static_cast<size_t>(n));
                if (std::fseek(f_, pos_, SEEK_SET) != 0 ||
                    std::fread(chunk_.data(), 1, chunk_.size(), f_) != chunk_.size()) {
                    done_ = true;
                    return true;
                }
                // The line break ending the file ends the last line; no empty line follows it.
                if (!started_ && chunk_.back() == '\n') chunk_.pop_back();
                started_ = true;
                continue;
            }
            const size_t nl = chunk_.rfind('\n');
            const size_t from = nl == std::string::npos ? 0 : nl + 1;
            const size_t n = chunk_.size() - from;
            if (!tooLong && line.size() + n > kJournalMaxLine) {
                tooLong = true;
                line.clear();
            }
            if (!tooLong) line.insert(0, chunk_, from, n);
            if (nl == std::string::npos) {
                chunk_.clear();
                continue;
            }
            chunk_.resize(nl);
            return true;
        }
    }

private:
    std::FILE* f_;
    long pos_ = 0;
    std::string chunk_;
    bool started_ = false, done_ = false;
};

} // namespace

std::string JournalPath(bool demo) {
    return image::StateFolder(demo) + "/journal.log";
}

std::string FormatLine(const Record& r) {
    std::string s = r.time + " port=" + EncodeToken(r.port) +
                    " ctrl=" + HexByte(static_cast<unsigned>(r.ctrl)) + " board=" + std::to_string(r.board) +
                    " addr=" + HexNumber(r.address, 6) + " len=" + std::to_string(r.count);
    if (r.kind == Record::Kind::Done) return s + " state=done";
    if (r.kind == Record::Kind::Verified) {
        if (r.check == Record::Check::Same) return s + " state=verified check=same";
        if (r.check == Record::Check::Unread) return s + " state=verified check=unread";
        return s + " state=verified check=differs before=" + Hex(r.before) + " after=" + Hex(r.after);
    }
    if (r.kind == Record::Kind::Begun) s += " state=begun";
    if (r.hidden) return s + " before=hidden after=hidden";
    s += " before=" + (r.beforeKnown ? Hex(r.before) : std::string("unknown"));
    s += " after=" + Hex(r.after);
    return s;
}

std::optional<Record> ParseLine(const std::string& line) {
    std::istringstream in(line);
    Record r;
    if (!(in >> r.time) || !TimeLooksRight(r.time)) return std::nullopt;
    std::string token;
    int seen = 0;
    while (in >> token) {
        const size_t eq = token.find('=');
        if (eq == std::string::npos) return std::nullopt;
        const std::string key = token.substr(0, eq), value = token.substr(eq + 1);
        char* endp = nullptr;
        if (key == "port") {
            r.port = DecodeToken(value);
            seen |= 1;
        } else if (key == "ctrl" || key == "addr") {
            const unsigned long v = std::strtoul(value.c_str(), &endp, 16);
            if (value.empty() || *endp || value.size() > 8 || value[0] == '-' || value[0] == '+')
                return std::nullopt;
            if (key == "ctrl") {
                if (v > 0xFF) return std::nullopt;
                r.ctrl = static_cast<int>(v), seen |= 2;
            } else {
                r.address = static_cast<uint32_t>(v), seen |= 4;
            }
        } else if (key == "board" || key == "len") {
            const long v = std::strtol(value.c_str(), &endp, 10);
            // A block is at most 65535 bytes; a board is 0 to 255.
            if (value.empty() || *endp || v < 0 || v > (key == "board" ? 255 : 65535)) return std::nullopt;
            if (key == "board")
                r.board = static_cast<int>(v), seen |= 8;
            else
                r.count = static_cast<int>(v), seen |= 16;
        } else if (key == "state") {
            if (value == "begun")
                r.kind = Record::Kind::Begun;
            else if (value == "done")
                r.kind = Record::Kind::Done;
            else if (value == "verified")
                r.kind = Record::Kind::Verified;
            else
                return std::nullopt;
        } else if (key == "check") {
            if (value == "same")
                r.check = Record::Check::Same;
            else if (value == "differs")
                r.check = Record::Check::Differs;
            else if (value == "unread")
                r.check = Record::Check::Unread;
            else
                return std::nullopt;
            seen |= 128;
        } else if (key == "before") {
            if (value == "hidden") {
                r.hidden = true;
            } else if (value != "unknown") {
                if (!FromHex(value, r.before)) return std::nullopt;
                r.beforeKnown = true;
            }
            seen |= 32;
        } else if (key == "after") {
            if (value == "hidden")
                r.hidden = true;
            else if (!FromHex(value, r.after))
                return std::nullopt;
            seen |= 64;
        }
    }
    if (r.kind == Record::Kind::Done) return seen == 31 ? std::optional<Record>(r) : std::nullopt;
    if (r.kind == Record::Kind::Verified) {
        // A read-back: bytes only when it differs, then both, of its length.
        if ((seen & 159) != 159 || r.hidden) return std::nullopt;
        if (r.check != Record::Check::Differs) {
            if (seen & 96) return std::nullopt;
            return r;
        }
        if ((seen & 96) != 96 || !r.beforeKnown || static_cast<int>(r.after.size()) != r.count ||
            r.before.size() != r.after.size())
            return std::nullopt;
        return r;
    }
    if (seen & 128) return std::nullopt;
    if (seen != 127) return std::nullopt;
    if (r.hidden) { // a password write keeps no bytes, whatever else the line says
        r.beforeKnown = false;
        r.before.clear();
        r.after.clear();
    }
    if (!r.hidden && static_cast<int>(r.after.size()) != r.count) return std::nullopt;
    if (r.beforeKnown && r.before.size() != r.after.size()) return std::nullopt;
    return r;
}

bool Append(const std::string& path, const Record& r, std::string* error, long rotateAt) {
    auto fail = [&](const std::string& what, int e) {
        if (error) *error = what + ": " + std::strerror(e);
        return false;
    };
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !image::EnsureFolder(path.substr(0, slash)))
        return fail("cannot create the folder of " + path, errno ? errno : ENOTDIR);
    int fd = -1;
    struct stat st {};
    for (int attempt = 0; attempt < 2; ++attempt) {
        // Non-blocking: a FIFO in the journal's place is refused, not waited on.
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0644);
        if (fd < 0) return fail("cannot open " + path, errno);
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            if (error) *error = path + " is not a regular file";
            return false;
        }
        if (attempt == 0 && rotateAt > 0 && st.st_size >= rotateAt) {
            ::close(fd);
            if (::rename(path.c_str(), (path + ".1").c_str()) != 0)
                return fail("cannot rotate " + path, errno);
            continue;
        }
        break;
    }
    std::string line = FormatLine(r) + "\n";
    // A record torn by an earlier failure (or a crash) keeps its own line.
    if (st.st_size > 0) {
        char last = '\n';
        if (::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') line.insert(0, 1, '\n');
    }
    // One write: appended whole, never mixed with another writer's record.
    const ssize_t n = ::write(fd, line.data(), line.size());
    int writeErrno = n < 0 ? errno : ENOSPC;
    size_t total = n > 0 ? static_cast<size_t>(n) : 0;
    if (n >= 0 && total < line.size()) {
        // A short count hides the reason; the rest of the record tells it (or goes out).
        const ssize_t m = ::write(fd, line.data() + total, line.size() - total);
        if (m < 0)
            writeErrno = errno;
        else
            total += static_cast<size_t>(m);
    }
    if (total != line.size()) {
        // Part of a record is no record: taken back when nobody wrote after it.
        struct stat now {};
        if (total > 0 && ::fstat(fd, &now) == 0 && now.st_size == st.st_size + static_cast<off_t>(total) &&
            ::ftruncate(fd, st.st_size) != 0)
            writeErrno = errno;
        ::close(fd);
        return fail("cannot write " + path, writeErrno);
    }
    const bool synced = ::fdatasync(fd) == 0;
    const int syncErrno = errno;
    ::close(fd);
    if (!synced) return fail("cannot flush " + path, syncErrno);
    return true;
}

namespace {

// Gathers records in order, holding a begun record until its confirmation
// (which follows within a few lines) or until it is clearly never coming.
class Merger {
public:
    explicit Merger(std::function<void(const Record&)> emit) : emit_(std::move(emit)) {}
    void take(Record&& r) {
        if (r.kind == Record::Kind::Done) {
            for (auto it = held_.rbegin(); it != held_.rend(); ++it)
                if (it->kind == Record::Kind::Begun && SameWrite(*it, r)) {
                    it->kind = Record::Kind::Whole;
                    break;
                }
        } else {
            held_.push_back(std::move(r));
        }
        while (!held_.empty() && (held_.front().kind != Record::Kind::Begun || held_.size() > kWindow)) {
            emit_(held_.front());
            held_.pop_front();
        }
    }
    void finish() {
        for (const Record& r : held_)
            emit_(r);
        held_.clear();
    }

private:
    static constexpr size_t kWindow = 64;
    std::function<void(const Record&)> emit_;
    std::deque<Record> held_;
};

void ReadForward(const std::string& path, Contents& c, Merger& m) {
    Contents one;
    std::FILE* f = OpenRegular(path, one);
    c.exists = c.exists || one.exists;
    if (!one.error.empty() && c.error.empty()) c.error = one.error;
    if (!f) return;
    ForwardLines lines(f);
    std::string line;
    bool tooLong = false;
    while (lines.next(line, tooLong)) {
        if (tooLong) {
            ++c.skipped;
            continue;
        }
        if (line.empty()) continue;
        if (auto r = ParseLine(line))
            m.take(std::move(*r));
        else
            ++c.skipped;
    }
    std::fclose(f);
}

} // namespace

Contents ForEachRecord(const std::string& path, const std::function<void(const Record&)>& fn) {
    Contents c;
    Merger m(fn);
    ReadForward(path + ".1", c, m);
    ReadForward(path, c, m);
    m.finish();
    return c;
}

Contents ReadJournal(const std::string& path, size_t last) {
    if (last == 0) {
        Contents c;
        std::vector<Record> records;
        Merger m([&](const Record& r) { records.push_back(r); });
        ReadForward(path + ".1", c, m);
        ReadForward(path, c, m);
        m.finish();
        c.records = std::move(records);
        return c;
    }
    // From the end: a confirmation comes before (in this order) the record it confirms.
    Contents c;
    std::vector<Record> done, found;
    for (const std::string& file : {path, path + ".1"}) {
        Contents one;
        std::FILE* f = OpenRegular(file, one);
        c.exists = c.exists || one.exists;
        if (!one.error.empty() && c.error.empty()) c.error = one.error;
        if (!f) continue;
        BackwardLines lines(f);
        std::string line;
        bool tooLong = false;
        while (found.size() < last && lines.next(line, tooLong)) {
            if (tooLong) {
                ++c.skipped;
                continue;
            }
            if (line.empty()) continue;
            auto r = ParseLine(line);
            if (!r) {
                ++c.skipped;
                continue;
            }
            if (r->kind == Record::Kind::Done) {
                done.push_back(std::move(*r));
                continue;
            }
            if (r->kind == Record::Kind::Begun)
                for (auto it = done.begin(); it != done.end(); ++it)
                    if (SameWrite(*it, *r)) {
                        r->kind = Record::Kind::Whole;
                        done.erase(it);
                        break;
                    }
            found.push_back(std::move(*r));
        }
        std::fclose(f);
        if (found.size() >= last) break;
    }
    c.records.assign(std::make_move_iterator(found.rbegin()), std::make_move_iterator(found.rend()));
    return c;
}

void Install(std::function<void(const std::string& error)> onError) {
    errorHandler = std::move(onError);
    errorReported = false;
    lastError.clear();
    failedRecords = 0;
    if (observerId == 0) observerId = AddBlockWriteObserver(Observe);
    if (startObserverId == 0) startObserverId = AddBlockWriteStartObserver(ObserveStart);
}

void Uninstall() {
    if (observerId != 0) RemoveBlockWriteObserver(observerId);
    if (startObserverId != 0) RemoveBlockWriteStartObserver(startObserverId);
    observerId = startObserverId = 0;
    errorHandler = nullptr;
    begun.reset();
}

void NoteVerification(const std::string& portName, int ctrl, int board, uint32_t address,
                      const std::vector<uint8_t>& sent, const uint8_t* held) {
    if (observerId == 0) return;
    Record r;
    r.time = Now();
    r.port = Protocol().demoMode ? "demo" : portName;
    r.ctrl = ctrl & 0xFF;
    r.board = board;
    r.address = address;
    r.count = static_cast<int>(sent.size());
    r.kind = Record::Kind::Verified;
    if (!held) {
        r.check = Record::Check::Unread;
    } else if (std::equal(sent.begin(), sent.end(), held)) {
        r.check = Record::Check::Same;
    } else {
        r.check = Record::Check::Differs;
        r.beforeKnown = true;
        r.before = sent;
        r.after.assign(held, held + sent.size());
    }
    Keep(r);
}

int FailedRecords() {
    return failedRecords;
}

std::string LastError() {
    return lastError;
}

KnownContent::KnownContent(int board, uint32_t address, const uint8_t* data, int count) {
    add(board, address, data, count);
}

KnownContent::~KnownContent() {
    auto& list = KnownList();
    for (int id : ids_)
        for (auto it = list.begin(); it != list.end(); ++it)
            if (it->id == id) {
                list.erase(it);
                break;
            }
}

void KnownContent::add(int board, uint32_t address, const uint8_t* data, int count) {
    if (!data || count <= 0) return;
    KnownList().push_back({++nextKnownId, board, address, std::vector<uint8_t>(data, data + count)});
    ids_.push_back(nextKnownId);
}

} // namespace journal
