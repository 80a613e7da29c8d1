// Reading a port.out traffic trace back: the records the port layer writes
// (bytes written, read and discarded, write failures, program start, the error
// counters) and the exchanges they make up (a command frame, its address and
// continuation frames, the controller's answer).
//
// The trace is CP866 text; each record starts on a new line with a time stamp
// "DD.MM.YY (HH:MM:SS:mmm)". Anything else in the file (a damaged line, a
// foreign text) is reported as not understood and skipped: no input makes the
// decoder fail, and every line it keeps is bounded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tracedecode {

struct Stamp {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0, second = 0, ms = 0;
    // "DD.MM.YY HH:MM:SS.mmm"
    std::string text() const;
    // Milliseconds on one scale (years 2000 to 2099), for differences.
    int64_t msTotal() const;
};

enum class Command { Read, Write, Identify, IdentText, ErrorQuery, Other };

struct Exchange {
    Stamp start, end; // command frame written; last byte of the answer read
    int handle = 0;
    Command command = Command::Other;
    uint8_t code = 0; // the command byte
    int ctrl = 0;
    int board = 0;
    bool haveAddress = false; // the address frame of a read or write was seen
    uint32_t address = 0;
    int length = 0;               // bytes asked for (read) or written (write)
    bool continuationBad = false; // the write's continuation frame had a wrong checksum
    bool continuationMissing = false;
    std::vector<uint8_t> answer; // the first kAnswerKept bytes read
    size_t answerCount = 0;      // all bytes read
    size_t lateCount = 0;        // bytes discarded before the next exchange
};

struct Event {
    enum Kind {
        ExchangeDone,
        ProgramStart,
        Counters,
        WriteFailed,
        StrayWrite,
        StrayRead,
        NotUnderstood
    } kind;
    Exchange exchange;     // ExchangeDone
    Stamp when;            // all but ProgramStart, Counters and NotUnderstood
    int handle = 0;        // WriteFailed, StrayWrite, StrayRead
    long long code = 0;    // WriteFailed: the error code; Counters: parity and framing errors
    long long dropped = 0; // Counters: bytes dropped by a full receive buffer
    size_t line = 0;       // the line of the trace (1-based) the event comes from
    size_t byteCount = 0;  // StrayWrite, StrayRead
    std::string why;       // NotUnderstood
};

constexpr size_t kAnswerKept = 4096;
constexpr size_t kLineMax = 1 << 20; // a longer line is not a record of ours

// Feeds a trace line by line (without line ends) and hands over each event
// as soon as it is complete.
class Decoder {
public:
    explicit Decoder(std::function<void(const Event&)> sink);
    // One line of the trace, CP866 as in the file; a trailing carriage return is ignored.
    void line(std::string_view cp866);
    // A line that was too long to keep: counted and reported.
    void overlong();
    // End of the trace: the exchange still open is handed over.
    void finish();

private:
    void record(const Event& parsed, std::vector<uint8_t>& bytes, int kind);
    void written(const Stamp& t, int handle, const std::vector<uint8_t>& bytes);
    void close();
    void emit(const Event& e);

    std::function<void(const Event&)> sink_;
    size_t lineNo_ = 0;
    size_t startLine_ = 0;    // line of the open exchange's command frame
    std::vector<Event> held_; // events met while the exchange is open
    static constexpr size_t kHeldMax = 256;
    bool open_ = false;
    Exchange cur_;
    bool wantTrigger_ = false;      // identification text: the byte 0x31 follows the frame
    bool wantContinuation_ = false; // write of 2 or more bytes: the continuation frame follows
};

// Reads a whole trace from a stream (lines of any length; an overlong line is
// reported and skipped).
void DecodeStream(std::istream& in, const std::function<void(const Event&)>& sink);

// What an exchange did, in words: "read ctrl 05 3101 CtrlrParams len 40: ok (12 ms)".
// errorText gives the don.msg text of a controller error code ("" when none).
std::string Describe(const Exchange& x, const std::function<std::string(int)>& errorText);
// The command's name: "read", "write", "identify", "ident-text", "error-query", "command XX".
std::string CommandName(const Exchange& x);
// The name of the block at the address: "CtrlrParams", "NozSetts channel 3+20", "" when unknown.
std::string BlockName(Command command, int board, uint32_t address);
// The answer's verdict without times: "ok", "no answer", "refused (status 01)", ...
std::string Status(const Exchange& x, const std::function<std::string(int)>& errorText);
// Milliseconds from the command to the last answer byte; -1 when there is no answer.
long long AnswerMs(const Exchange& x);
// The whole text line of an event (without its line end).
std::string EventLine(const Event& e, const std::function<std::string(int)>& errorText);

} // namespace tracedecode
