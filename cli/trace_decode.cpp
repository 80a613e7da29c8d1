#include "trace_decode.h"

#include "checksum.h"
#include "codepage.h"
#include "cp866.h"
#include "frames.h"
#include "hex_text.h"

#include <cstdio>
#include <istream>

namespace tracedecode {

namespace {

constexpr std::string_view kWrite = "Запись (порт ";
constexpr std::string_view kRead = "Чтение  порта ";
constexpr std::string_view kPurge = "Очистка буфера порта ";
constexpr std::string_view kWriteFail = "Ошибка записи в порт ";
constexpr std::string_view kStart = "Вход в программу";
constexpr std::string_view kCounters = "Ошибок паритета=";
constexpr std::string_view kCountersMid = ", пакетов( стоп-бит)=";

enum RecordKind { RecWrite, RecRead, RecPurge };

// A cursor over one line; every step checks what is left.
struct Cursor {
    std::string_view s;
    bool eat(std::string_view lit) {
        if (s.substr(0, lit.size()) != lit) return false;
        s.remove_prefix(lit.size());
        return true;
    }
    // Exactly `width` digits.
    bool fixed(int width, int& v) {
        if (s.size() < static_cast<size_t>(width)) return false;
        v = 0;
        for (int i = 0; i < width; ++i) {
            if (s[static_cast<size_t>(i)] < '0' || s[static_cast<size_t>(i)] > '9') return false;
            v = v * 10 + (s[static_cast<size_t>(i)] - '0');
        }
        s.remove_prefix(static_cast<size_t>(width));
        return true;
    }
    // 1 to 18 digits, an optional minus sign.
    bool number(long long& v) {
        bool neg = eat("-");
        size_t n = 0;
        v = 0;
        while (n < s.size() && n < 18 && s[n] >= '0' && s[n] <= '9')
            v = v * 10 + (s[n++] - '0');
        if (n == 0 || (n < s.size() && s[n] >= '0' && s[n] <= '9')) return false;
        s.remove_prefix(n);
        if (neg) v = -v;
        return true;
    }
};

bool ParseStamp(Cursor& c, Stamp& t) {
    if (!(c.fixed(2, t.day) && c.eat(".") && c.fixed(2, t.month) && c.eat(".") && c.fixed(2, t.year) &&
          c.eat(" (") && c.fixed(2, t.hour) && c.eat(":") && c.fixed(2, t.minute) && c.eat(":") &&
          c.fixed(2, t.second) && c.eat(":") && c.fixed(3, t.ms) && c.eat(") ")))
        return false;
    return t.day >= 1 && t.day <= 31 && t.month >= 1 && t.month <= 12 && t.hour < 24 && t.minute < 60 &&
           t.second < 61;
}

// "60 05 21 BA " -> bytes; false at the first token that is not two hex digits.
bool ParseBytes(std::string_view s, std::vector<uint8_t>& bytes, std::string& bad) {
    size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ' ' || s[i] == '\t') {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < s.size() && s[j] != ' ' && s[j] != '\t')
            ++j;
        const std::string_view tok = s.substr(i, j - i);
        if (tok.size() != 2 || HexDigitValue(tok[0]) < 0 || HexDigitValue(tok[1]) < 0) {
            bad = std::string(tok.substr(0, 16));
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(HexDigitValue(tok[0]) * 16 + HexDigitValue(tok[1])));
        i = j;
    }
    return true;
}

int64_t DaysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = y / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return static_cast<int64_t>(era) * 146097 + doe - 719468;
}

std::string Bytes(size_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

size_t ExpectedAnswer(const Exchange& x) {
    switch (x.command) {
    case Command::Read:
        return static_cast<size_t>(x.length) + 1;
    case Command::Write:
        return x.length >= 2 ? 1 : 2;
    case Command::Identify:
        return kIdentAnswerSize;
    case Command::ErrorQuery:
        return kErrorAnswerSize;
    default:
        return 0;
    }
}

// The controller's text as the tool shows it, on one line.
std::string ShownText(const std::vector<uint8_t>& bytes, size_t n) {
    std::string t(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
    std::string out = Cp1251ToUtf8(Cp866ToCp1251(t));
    std::string oneLine;
    for (size_t i = 0; i < out.size(); ++i) {
        const char ch = out[i];
        if (ch == '\r' || ch == '\n') {
            if (!oneLine.empty() && oneLine.back() != ' ') oneLine += " / ";
            continue;
        }
        oneLine += static_cast<unsigned char>(ch) < 0x20 ? '?' : ch;
    }
    while (!oneLine.empty() && (oneLine.back() == ' ' || oneLine.back() == '/'))
        oneLine.pop_back();
    return oneLine;
}

} // namespace

std::string Stamp::text() const {
    char b[40];
    std::snprintf(b, sizeof b, "%02d.%02d.%02d %02d:%02d:%02d.%03d", day, month, year, hour, minute, second,
                  ms);
    return b;
}

int64_t Stamp::msTotal() const {
    const int64_t days = DaysFromCivil(2000 + year, month, day);
    return ((days * 24 + hour) * 60 + minute) * 60000 + second * 1000 + ms;
}

Decoder::Decoder(std::function<void(const Event&)> sink) : sink_(std::move(sink)) {}

void Decoder::emit(const Event& e) {
    // While an exchange is open, what happens meanwhile is told after it, so
    // that the lines keep the order of the time stamps in front of them.
    if (open_ && held_.size() < kHeldMax) {
        held_.push_back(e);
        return;
    }
    sink_(e);
}

void Decoder::close() {
    if (!open_) return;
    if (wantContinuation_) cur_.continuationMissing = true;
    Event e{};
    e.kind = Event::ExchangeDone;
    e.exchange = std::move(cur_);
    e.when = e.exchange.start;
    e.handle = e.exchange.handle;
    e.line = startLine_;
    open_ = false;
    wantTrigger_ = wantContinuation_ = false;
    cur_ = Exchange{};
    sink_(e);
    std::vector<Event> held;
    held.swap(held_);
    for (const Event& h : held)
        sink_(h);
}

void Decoder::written(const Stamp& t, int handle, const std::vector<uint8_t>& bytes) {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
        const uint8_t* p = bytes.data() + i;
        const size_t rem = n - i;
        if (open_ && handle == cur_.handle) {
            if (wantTrigger_ && p[0] == kIdentTextTrigger) {
                wantTrigger_ = false;
                ++i;
                continue;
            }
            const bool transfer = cur_.command == Command::Read || cur_.command == Command::Write;
            if (transfer && !cur_.haveAddress && rem >= 8 && p[0] == 0x01 && p[1] == 0x00 &&
                FrameChecksum(p, 7) == p[7]) {
                cur_.haveAddress = true;
                cur_.address = static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]) << 16 | p[4];
                cur_.length = p[6];
                wantContinuation_ = cur_.command == Command::Write && cur_.length >= 2;
                i += 8;
                continue;
            }
            // The continuation frame: data bytes 2 to n and their checksum, n bytes.
            const size_t cont = static_cast<size_t>(cur_.length);
            const bool looksLikeCommand = rem >= 4 && p[0] == kFrameStart && FrameChecksum(p, 3) == p[3];
            if (wantContinuation_ && (rem == cont || (rem > cont && !looksLikeCommand))) {
                cur_.continuationBad = FrameChecksum(p, cont - 1) != p[cont - 1];
                wantContinuation_ = false;
                i += cont;
                continue;
            }
        }
        if (rem >= 4 && p[0] == kFrameStart && FrameChecksum(p, 3) == p[3]) {
            close();
            open_ = true;
            startLine_ = lineNo_;
            cur_.start = cur_.end = t;
            cur_.handle = handle;
            cur_.ctrl = p[1];
            cur_.code = p[2];
            const int c = p[2];
            if (c == kCmdIdentify) {
                cur_.command = Command::Identify;
            } else if (c == kCmdIdentText) {
                cur_.command = Command::IdentText;
                wantTrigger_ = true;
            } else if (c == kCmdErrorQuery) {
                cur_.command = Command::ErrorQuery;
            } else if (c >= kCmdRead && c <= kCmdRead + 4 && (c - kCmdRead) % 2 == 0) {
                cur_.command = Command::Read;
                cur_.board = c - kCmdRead;
            } else if (c >= kCmdWrite && c <= kCmdWrite + 4 && (c - kCmdWrite) % 2 == 0) {
                cur_.command = Command::Write;
                cur_.board = c - kCmdWrite;
            }
            i += 4;
            continue;
        }
        Event e{};
        e.kind = Event::StrayWrite;
        e.when = t;
        e.handle = handle;
        e.line = lineNo_;
        e.byteCount = rem;
        emit(e);
        break;
    }
}

void Decoder::record(const Event& parsed, std::vector<uint8_t>& bytes, int kind) {
    if (kind == RecWrite) {
        written(parsed.when, parsed.handle, bytes);
        return;
    }
    if (open_ && parsed.handle == cur_.handle) {
        if (kind == RecRead) {
            for (uint8_t b : bytes)
                if (cur_.answer.size() < kAnswerKept) cur_.answer.push_back(b);
            cur_.answerCount += bytes.size();
            cur_.end = parsed.when;
        } else {
            cur_.lateCount += bytes.size();
        }
        return;
    }
    Event e = parsed;
    e.kind = Event::StrayRead;
    e.byteCount = bytes.size();
    e.why = kind == RecRead ? "read" : "discarded";
    emit(e);
}

void Decoder::line(std::string_view raw) {
    ++lineNo_;
    auto notUnderstood = [&](const std::string& why) {
        Event e{};
        e.kind = Event::NotUnderstood;
        e.line = lineNo_;
        e.why = why;
        emit(e);
    };
    if (raw.size() > kLineMax) return notUnderstood("a line longer than 1 MiB");
    while (!raw.empty() && (raw.back() == '\r' || raw.back() == ' ' || raw.back() == '\t'))
        raw.remove_suffix(1);
    while (!raw.empty() && (raw.front() == '\r' || raw.front() == ' ' || raw.front() == '\t'))
        raw.remove_prefix(1);
    if (raw.empty()) return;
    const std::string text = Cp866ToUtf8(raw);
    Cursor c{text};

    if (c.s == kStart) {
        close();
        Event e{};
        e.kind = Event::ProgramStart;
        e.line = lineNo_;
        sink_(e);
        return;
    }
    if (c.eat(kCounters)) {
        long long parity = 0, dropped = 0;
        if (!(c.number(parity) && c.eat(kCountersMid) && c.number(dropped) && c.s.empty()))
            return notUnderstood("a damaged error-counter line");
        close();
        Event e{};
        e.kind = Event::Counters;
        e.line = lineNo_;
        e.code = parity;
        e.dropped = dropped;
        sink_(e);
        return;
    }

    Event e{};
    e.line = lineNo_;
    if (!ParseStamp(c, e.when)) return notUnderstood("no time stamp");
    long long handle = 0;
    int kind = -1;
    if (c.eat(kWrite)) {
        if (c.number(handle) && c.eat(")->")) kind = RecWrite;
    } else if (c.eat(kRead)) {
        if (c.number(handle) && c.eat("<-")) kind = RecRead;
    } else if (c.eat(kPurge)) {
        if (c.number(handle) && c.eat("<>")) kind = RecPurge;
    } else if (c.eat(kWriteFail)) {
        long long code = 0;
        if (!(c.number(handle) && c.eat("<> (код ") && c.number(code) && c.eat(")") && c.s.empty()) ||
            handle < 0 || handle > 999)
            return notUnderstood("a damaged write-failure record");
        e.kind = Event::WriteFailed;
        e.handle = static_cast<int>(handle);
        e.code = code;
        emit(e);
        return;
    } else {
        return notUnderstood("an unknown record");
    }
    if (kind < 0 || handle < 0 || handle > 999) return notUnderstood("a damaged record head");
    e.handle = static_cast<int>(handle);
    std::vector<uint8_t> bytes;
    std::string bad;
    if (!ParseBytes(c.s, bytes, bad)) return notUnderstood("\"" + bad + "\" is no byte");
    if (bytes.empty()) return;
    record(e, bytes, kind);
}

void Decoder::overlong() {
    ++lineNo_;
    Event e{};
    e.kind = Event::NotUnderstood;
    e.line = lineNo_;
    e.why = "a line longer than 1 MiB";
    emit(e);
}

void Decoder::finish() {
    close();
}

void DecodeStream(std::istream& in, const std::function<void(const Event&)>& sink) {
    Decoder d(sink);
    std::string line;
    bool overlong = false;
    char buf[65536];
    // Lines are gathered piece by piece so that a file without line ends costs
    // no more than kLineMax bytes of memory.
    while (in.read(buf, sizeof buf) || in.gcount() > 0) {
        const std::string_view chunk(buf, static_cast<size_t>(in.gcount()));
        size_t from = 0;
        while (from <= chunk.size()) {
            const size_t nl = chunk.find('\n', from);
            const std::string_view piece = chunk.substr(from, nl == std::string_view::npos ? nl : nl - from);
            if (!overlong) {
                if (line.size() + piece.size() > kLineMax) {
                    overlong = true;
                    line.clear();
                } else {
                    line.append(piece);
                }
            }
            if (nl == std::string_view::npos) break;
            if (overlong) {
                d.overlong();
                overlong = false;
            } else {
                d.line(line);
            }
            line.clear();
            from = nl + 1;
        }
    }
    if (overlong)
        d.overlong();
    else if (!line.empty())
        d.line(line);
    d.finish();
}

std::string CommandName(const Exchange& x) {
    switch (x.command) {
    case Command::Read:
        return "read";
    case Command::Write:
        return "write";
    case Command::Identify:
        return "identify";
    case Command::IdentText:
        return "ident-text";
    case Command::ErrorQuery:
        return "error-query";
    default:
        return "command " + HexByte(x.code);
    }
}

std::string BlockName(Command command, int board, uint32_t address) {
    const bool write = command == Command::Write;
    std::string name;
    uint32_t start = 0;
    auto in = [&](uint32_t s, uint32_t span, const std::string& n) {
        if (!name.empty() || address < s || address - s >= span) return;
        name = n;
        start = s;
    };
    if (board == 2) {
        in(0x24, 1, "register 24 (pulse simulator bit)");
        in(0x25, write ? 1 : 3, write ? "display mode" : "temperature reading");
        in(0x27, 1, "relay test");
        in(0x28, write ? 2 : 6, write ? "table fitting" : "register reading");
        in(0x36, 2, "CRC-16");
    } else if (board == 4) {
        return "IM memory";
    } else {
        in(0x88FFFF, 1, "restart");
        in(0x3100, 1, "parameter block length");
        in(0x3101, 0xFF, "CtrlrParams");
        in(0x3040, 7, "BlockSizes");
        in(0x3000, 57, "block 3000");
        for (uint32_t n = 0; n < 16; ++n) {
            in(0x1000 + n * 0x100, 0x100, "NozSetts channel " + std::to_string(n));
            in(0x2000 + n * 0x100, 0x100, "NozRegs channel " + std::to_string(n));
        }
        in(0x0, 0x100, "image block 0");
        in(0x100, 0x100, "image block 1");
        in(0x4000, 0x100, "SidesSetts side 1");
        in(0x4100, 0x100, "SidesSetts side 2");
        in(0x5000, 78, "temperature table");
        in(0x5100, 0x100, "NaraSpecific");
        if (write) {
            in(0x5300, 2, "administrator password");
            in(0x5302, 2, "adjustment password");
        } else {
            in(0x5300, 16, "password status");
        }
        in(0x5400, 2, "new administrator password");
        in(0x5402, 2, "new adjustment password");
    }
    if (name.empty()) return "";
    return address == start ? name : name + "+" + std::to_string(address - start);
}

std::string Status(const Exchange& x, const std::function<std::string(int)>& errorText) {
    const bool transfer = x.command == Command::Read || x.command == Command::Write;
    std::string s;
    const size_t expected = ExpectedAnswer(x);
    const size_t got = x.answerCount;
    if (transfer && !x.haveAddress) {
        s = "no address frame sent";
    } else if (x.command == Command::Other) {
        s = got ? Bytes(got) + " answered" : "no answer";
    } else if (got == 0) {
        if (x.lateCount == 0)
            s = "no answer";
        else if (expected)
            s = "no usable answer: " + Bytes(x.lateCount) + " came where " + std::to_string(expected) +
                " were expected, discarded";
        else
            s = "no usable answer: " + Bytes(x.lateCount) + " came too late, discarded";
    } else if (x.command == Command::IdentText) {
        size_t zero = 0;
        while (zero < x.answer.size() && x.answer[zero] != 0)
            ++zero;
        if (zero < x.answer.size())
            s = "text \"" + ShownText(x.answer, zero) + "\"";
        else
            s = "text cut short (no end after " + Bytes(got) + ")";
    } else if (got < expected) {
        s = "short answer (" + std::to_string(got) + " of " + std::to_string(expected) + " bytes)";
    } else if (got > expected && x.command != Command::Identify) {
        s = "answer too long (" + Bytes(got) + ", " + std::to_string(expected) + " expected)";
    } else {
        const std::vector<uint8_t>& a = x.answer;
        switch (x.command) {
        case Command::Read:
            s = "ok";
            if (x.length == 1 && x.board == 0 && x.address == 0x3100) s += ", length " + std::to_string(a[0]);
            break;
        case Command::Write:
            s = a[expected - 1] == 0 ? "accepted" : "refused (status " + HexByte(a[expected - 1]) + ")";
            break;
        case Command::Identify:
            if (FrameChecksum(a.data(), 3) != a[3])
                s = "answer with a wrong checksum";
            else if (!IsAcceptedDeviceType(a[1]))
                s = "device type " + HexByte(a[1]) + " is not one of ours";
            else
                s = "address " + HexByte(a[0]) + " type " + HexByte(a[1]) + " extra " + HexByte(a[2]);
            if (got > expected) s += " (and " + Bytes(got - expected) + " more)";
            break;
        case Command::ErrorQuery: {
            const int code = a[kErrorCodeIndex];
            s = "error code " + std::to_string(code);
            const std::string t = errorText ? errorText(code) : "";
            if (!t.empty()) s += " " + t;
            break;
        }
        default:
            break;
        }
    }
    if (x.continuationBad) s += "; the continuation frame's checksum is wrong";
    if (x.continuationMissing) s += "; the continuation frame was never sent";
    if (got && x.lateCount) s += "; " + Bytes(x.lateCount) + " more came late and were discarded";
    return s;
}

long long AnswerMs(const Exchange& x) {
    if (x.answerCount == 0) return -1;
    const long long d = x.end.msTotal() - x.start.msTotal();
    return d >= 0 && d < 86400000 ? d : -1;
}

std::string Describe(const Exchange& x, const std::function<std::string(int)>& errorText) {
    std::string s = CommandName(x) + " ctrl " + HexByte(static_cast<unsigned>(x.ctrl));
    if ((x.command == Command::Read || x.command == Command::Write) && x.haveAddress) {
        if (x.board != 0) s += " board " + std::to_string(x.board);
        s += " " + HexNumber(x.address, 4);
        const std::string name = BlockName(x.command, x.board, x.address);
        if (!name.empty()) s += " " + name;
        s += " len " + std::to_string(x.length);
    }
    s += ": " + Status(x, errorText);
    const long long ms = AnswerMs(x);
    if (ms >= 0) s += " (" + std::to_string(ms) + " ms)";
    return s;
}

std::string EventLine(const Event& e, const std::function<std::string(int)>& errorText) {
    const std::string blank(21, ' ');
    const std::string port = e.handle != 1 ? "port " + std::to_string(e.handle) + "  " : "";
    switch (e.kind) {
    case Event::ExchangeDone:
        return e.when.text() + "  " + port + Describe(e.exchange, errorText);
    case Event::ProgramStart:
        return blank + "  program start";
    case Event::Counters:
        return blank + "  parity and framing errors " + std::to_string(e.code) + ", bytes dropped " +
               std::to_string(e.dropped);
    case Event::WriteFailed:
        return e.when.text() + "  write to port " + std::to_string(e.handle) + " failed (error code " +
               std::to_string(e.code) + ")";
    case Event::StrayWrite:
        return e.when.text() + "  " + port + "not a frame: " + Bytes(e.byteCount) + " written";
    case Event::StrayRead:
        return e.when.text() + "  " + port + "no request outstanding: " + Bytes(e.byteCount) + " " + e.why;
    case Event::NotUnderstood:
        return "line " + std::to_string(e.line) + ": not understood (" + e.why + ")";
    }
    return "";
}

} // namespace tracedecode
