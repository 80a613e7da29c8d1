#include "write_journal.h"

#include "block_write_hook.h"
#include "memory_map.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "snapshot.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <sstream>
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

// Port names go into one token: spaces, '%', '=' and control bytes as %XX.
std::string EncodeToken(const std::string& s) {
    std::string out;
    char buf[4];
    for (unsigned char c : s) {
        if (c <= 0x20 || c == '%' || c == '=' || c == 0x7F) {
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
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

void Observe(const BlockWriteEvent& e) {
    Record r;
    r.time = Now();
    const bool demo = Protocol().demoMode;
    r.port = demo ? "demo" : PortNameOf(e.port);
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
        std::memcpy(it->bytes.data() + at, e.data, static_cast<size_t>(e.count));
        break;
    }
    if (!r.hidden) r.after.assign(e.data, e.data + e.count);

    std::string error;
    if (!Append(JournalPath(demo), r, &error)) {
        lastError = error;
        if (!errorReported && errorHandler) {
            errorReported = true;
            errorHandler(error);
        }
    }
}

} // namespace

std::string JournalPath(bool demo) {
    return image::StateFolder(demo) + "/journal.log";
}

std::string FormatLine(const Record& r) {
    char head[160];
    std::snprintf(head, sizeof head, "%s port=%s ctrl=%02X board=%d addr=%06X len=%d ", r.time.c_str(),
                  EncodeToken(r.port).c_str(), r.ctrl & 0xFF, r.board, r.address, r.count);
    std::string s = head;
    if (r.hidden) return s + "before=hidden after=hidden";
    s += "before=" + (r.beforeKnown ? Hex(r.before) : std::string("unknown"));
    s += " after=" + Hex(r.after);
    return s;
}

std::optional<Record> ParseLine(const std::string& line) {
    std::istringstream in(line);
    Record r;
    if (!(in >> r.time) || r.time.size() < 19) return std::nullopt;
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
            if (value.empty() || *endp) return std::nullopt;
            if (key == "ctrl")
                r.ctrl = static_cast<int>(v & 0xFF), seen |= 2;
            else
                r.address = static_cast<uint32_t>(v), seen |= 4;
        } else if (key == "board" || key == "len") {
            const long v = std::strtol(value.c_str(), &endp, 10);
            if (value.empty() || *endp || v < 0) return std::nullopt;
            if (key == "board")
                r.board = static_cast<int>(v), seen |= 8;
            else
                r.count = static_cast<int>(v), seen |= 16;
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
    if (seen != 127) return std::nullopt;
    if (!r.hidden && static_cast<int>(r.after.size()) != r.count) return std::nullopt;
    if (r.beforeKnown && r.before.size() != r.after.size()) return std::nullopt;
    return r;
}

bool Append(const std::string& path, const Record& r, std::string* error) {
    const size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0 && !image::EnsureFolder(path.substr(0, slash))) {
        if (error) *error = "cannot create the folder of " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::string line = FormatLine(r) + "\n";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error) *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // One write: appended whole, never mixed with another writer's record.
    const ssize_t n = ::write(fd, line.data(), line.size());
    const int writeErrno = errno;
    const bool synced = n == static_cast<ssize_t>(line.size()) && ::fdatasync(fd) == 0;
    const int syncErrno = errno;
    ::close(fd);
    if (n != static_cast<ssize_t>(line.size())) {
        if (error) *error = "cannot write " + path + ": " + std::strerror(n < 0 ? writeErrno : ENOSPC);
        return false;
    }
    if (!synced) {
        if (error) *error = "cannot flush " + path + ": " + std::strerror(syncErrno);
        return false;
    }
    return true;
}

Contents ReadJournal(const std::string& path) {
    Contents c;
    std::ifstream in(path, std::ios::binary);
    if (!in) return c;
    c.exists = true;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        if (auto r = ParseLine(line))
            c.records.push_back(std::move(*r));
        else
            ++c.skipped;
    }
    return c;
}

void Install(std::function<void(const std::string& error)> onError) {
    errorHandler = std::move(onError);
    errorReported = false;
    lastError.clear();
    if (observerId == 0) observerId = AddBlockWriteObserver(Observe);
}

void Uninstall() {
    if (observerId != 0) RemoveBlockWriteObserver(observerId);
    observerId = 0;
    errorHandler = nullptr;
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
