// The virtual controller: the other end of the controller line, for tests,
// benchmarks and work without hardware.
//
// A Line carries one or more VirtualControllers, each with its own address,
// device type, identification text and memory (board 0: the whole memory map,
// board 2: the register set 0x00..0xFF, board 4: plain memory). The Line parses
// the bytes the tool sends (command frame, address frame, continuation frame,
// the 0x31 after an identification-text request) and produces the answers. A
// transport (PtyTransport, TcpTransport) runs a Line on a thread of its own and
// moves the bytes over a pseudo-terminal or TCP, optionally paced like a real
// line at a given baud.
//
// Everything here is thread-safe: tests change faults, memory and passwords
// from their own thread while a transport runs the line.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace zelsim {

using Clock = std::chrono::steady_clock;

// Error codes a controller reports through the 0xF0 error query (byte 7 of the
// answer) after refusing something. The status byte of a refused write carries
// the same code. Their texts are in data/don.msg, group 16.
enum ErrorCode : uint8_t {
    kErrNone = 0,
    kErrWriteRefused = 1,    // the controller refuses every write (fault switch)
    kErrWrongPassword = 2,   // a presented password did not match
    kErrPasswordBlocked = 3, // seven wrong entries: the password is blocked
    kErrProtected = 4,       // the block is protected and no password was presented
    kErrBadAddress = 5,      // no memory or register at that address / board
    kErrBadLength = 6,       // write of 0 or more than 64 bytes, or a wrong length for the address
    kErrBadChecksum = 7,     // an address or continuation frame with a wrong checksum
};

// Fault switches of one controller. All off by default.
struct Faults {
    bool noAnswer = false;         // deaf: frames are recorded, nothing is executed or answered
    bool extraByte = false;        // every answer carries one byte too many (0x00 appended)
    bool badIdentChecksum = false; // identify answer with a wrong checksum byte
    bool badType = false;          // identify answers device type 0x20 (unsupported)
    bool refuseWrites = false;     // every write refused: status kErrWriteRefused, memory unchanged
    int answerDelayMs = 0;         // pause before the first answer byte
    int chunkSize = 0;             // > 0: answer split into chunks of this many bytes ...
    int chunkPauseMs = 0;          // ... with this pause between them
    bool corruptAnswers = false;   // every answer byte XOR 0x5A (identify then fails its checksum)
    // Board-0 reads touching [unreadableFrom, unreadableTo) get no answer: one
    // block unreadable while the rest of the memory answers.
    uint32_t unreadableFrom = 0, unreadableTo = 0;
    // Reads of board 0 starting at an address in [silentReadFrom, silentReadTo)
    // get no answer (one block failing while the rest of the memory reads).
    uint32_t silentReadFrom = 0;
    uint32_t silentReadTo = 0;
    // Busy like a controller writing its memory: a continuation frame, or a
    // command after a frame that got no answer, that starts less than this many
    // milliseconds after the previous frame ended is ignored (no answer).
    int minGapMs = 0;
    // The restart (01 written to 88FFFF) is carried out but not answered.
    bool silentRestart = false;
    // Memory writes (boards 0 and 4) acknowledged but not stored, or stored
    // with the lowest bit of their first byte changed.
    bool loseWrites = false;
    bool flipWrites = false;
};

constexpr uint8_t kUnsupportedDeviceType = 0x20;

// Result codes of image loading.
constexpr int kImageOk = 1;
constexpr int kImageCannotOpen = -1;
constexpr int kImageBad = -2; // shorter than its header says, or no header

// Sizes of the controller's blocks (the sizes record at 0x3040), defaults of a
// controller as shipped.
constexpr uint8_t kDefaultSizes[7] = {58, 0, 0, 20, 0, 69, 12};
constexpr size_t kDemoImageSize = 1235; // write-back length of the demo file for the default sizes
constexpr size_t kDemoLayoutEnd = 1107; // end of the fixed demo layout; zero bytes follow

class VirtualController {
public:
    // Address 1..0xFF (0xF0 is the reserve address and is refused: the
    // controller is given address 1). Device type 0x21, 0x22, 0x17 or 0x27 (any
    // byte is kept; badType fakes an unsupported one). Memory gets the defaults.
    explicit VirtualController(uint8_t address = 1, uint8_t deviceType = 0x21);

    uint8_t address() const;
    // Moves the controller; parameter block byte 2 (side A address) and its
    // checksum follow, so that a restart keeps the new address.
    void setAddress(uint8_t address);
    uint8_t deviceType() const;
    void setDeviceType(uint8_t type);
    uint8_t extraByte() const; // byte 2 of the identify answer
    void setExtraByte(uint8_t b);
    // Identification text as CP866 bytes, without the ending zero byte (the
    // answer appends it; a zero byte inside the text ends it early).
    std::string identText() const;
    void setIdentText(const std::string& cp866);
    void setIdentTextUtf8(const std::string& utf8);

    Faults faults() const;
    void setFaults(const Faults& f);

    // Memory access for tests, bypassing passwords and special addresses.
    // Board 0 and 4: 0..0xFFFF; board 2: 0..0xFF. Bytes outside are 0 / ignored.
    std::vector<uint8_t> peek(uint8_t board, uint32_t address, size_t n) const;
    void poke(uint8_t board, uint32_t address, const std::vector<uint8_t>& bytes);

    // Back to the defaults of this device type (memory, registers, passwords
    // cleared, counters kept).
    void resetToDefaults();
    // Content from a controller image file: 7-byte size header, then the
    // parameter block, 10 channel settings, [2 blocks for 0x0/0x100 when
    // header byte 4 != 0], 2 side blocks, 10 channel state blocks, 256 bytes
    // for 0x5100, 57 bytes for 0x3000; a group of size 0 is absent. The header
    // becomes the sizes record, header byte 0 the length byte at 0x3100. The
    // parameter block's side A address is set to this controller's address
    // (checksum renewed). Nothing changes unless the whole image is there.
    int loadImage(const std::string& path);
    int loadImageBytes(const std::vector<uint8_t>& image);
    // The controller image file of the current memory (the sizes record as header).
    std::vector<uint8_t> imageBytes() const;
    // Work on an image file: after each accepted write of board-0 memory,
    // `persist` gets the image of the new memory (called under the
    // controller's lock: it must not call back). When it returns false the
    // write is refused (kErrWriteRefused) and the memory stays as it was.
    void setPersist(std::function<bool(const std::vector<uint8_t>&)> persist);
    // The demo file layout (header = sizes record, the fixed layout, zero bytes
    // up to the write-back length; 1235 bytes for the default sizes).
    std::vector<uint8_t> demoImageBytes() const;

    // Passwords. A password travels as two bytes, value / 100 and value % 100;
    // value 0 means "not set"; values are taken within 0..25599. Setting them
    // here clears the wrong-entry counts and forgets presented passwords.
    void setPasswords(int admin, int adjust);
    // false: the status block at 0x5300 reads as sixteen 0x11 bytes, password
    // writes are refused (kErrBadAddress) and no block is protected.
    void setPasswordsSupported(bool on);
    bool adminPresented() const;
    bool adjustPresented() const;
    int adminWrongEntries() const;
    int adjustWrongEntries() const;
    std::vector<uint8_t> passwordStatus() const; // the 16 bytes read at 0x5300

    // After a restart (write of 0x01 to 0x88FFFF) the controller forgets
    // presented passwords and answers at the side A address of its parameter
    // block (byte 2 of the block at 0x3101) when that is a usable address.
    // Switch the address change off to keep the address whatever is written.
    void setAdoptAddressOnRestart(bool on);
    int restartCount() const;

    // Board 2 registers.
    void setTemperature(uint16_t adc, int8_t degrees); // read at 0x25..0x27
    void setFirmwareCrc(uint16_t crc);                 // read at 0x36..0x37, low byte first
    bool simulatorOn() const;                          // bit 6 of register 0x24
    int displayMode() const;                           // last byte written to 0x25, -1 none yet
    int relayTestCount() const;                        // writes to 0x27
    std::vector<uint8_t> lastFitting() const;          // last 2 bytes written to 0x28

    uint8_t lastErrorCode() const; // what the 0xF0 query reports now
    int writeCount() const;        // accepted write requests
    int refusedWriteCount() const;

    // --- used by Line: one request each, answer bytes appended to out ---
    // Read of n bytes: n data bytes + 1 trailing byte (the FrameChecksum of the
    // data). false: no answer at all (range outside the board), error noted.
    bool handleRead(uint8_t board, uint32_t address, uint8_t n, std::vector<uint8_t>& out);
    // Write; returns the status byte (0 accepted, else the error code). The
    // line answers a write of 2 or more bytes with this byte alone, a 1-byte
    // write with two bytes, both the status.
    uint8_t handleWrite(uint8_t board, uint32_t address, const std::vector<uint8_t>& data);
    // address, device type, extra byte, FrameChecksum of the three
    void identifyAnswer(std::vector<uint8_t>& out) const;
    // the text up to (not including) its first zero byte, then one zero byte
    void identTextAnswer(std::vector<uint8_t>& out) const;
    // 16 bytes: address, device type, 0..., byte 7 the last error code,
    // byte 15 the FrameChecksum of bytes 0..14
    void errorAnswer(std::vector<uint8_t>& out) const;
    void noteError(uint8_t code);

private:
    void setDefaultsLocked();
    void setSideAddressLocked(uint8_t address);
    uint8_t readByteLocked(uint8_t board, uint32_t address) const;
    uint8_t passwordWriteLocked(uint32_t address, const std::vector<uint8_t>& data);
    bool writeAllowedLocked(uint32_t address, size_t n) const;
    std::vector<uint8_t> imageLocked(bool demo) const;

    mutable std::mutex m_;
    std::function<bool(const std::vector<uint8_t>&)> persist_;
    uint8_t address_;
    uint8_t type_;
    uint8_t extra_ = 0x01;
    std::string ident_;
    Faults faults_;
    std::vector<uint8_t> mem0_, mem2_, mem4_;
    uint8_t admin_[2] = {0, 0}, adjust_[2] = {0, 0};
    int adminWrong_ = 0, adjustWrong_ = 0;
    bool adminPresented_ = false, adjustPresented_ = false;
    bool passwordsSupported_ = true;
    bool adoptAddress_ = true;
    int restarts_ = 0;
    uint16_t adc_ = 0x01F4;
    int8_t degrees_ = 21;
    uint16_t crc_ = 0x5AC3;
    int displayMode_ = -1;
    int relayTests_ = 0;
    uint8_t lastError_ = kErrNone;
    int writes_ = 0, refused_ = 0;
};

// One frame (or run of skipped bytes) as the line received it.
enum class FrameKind {
    Command,      // 0x60 addr cmd chk
    Address,      // the 8-byte address frame after a read/write command
    Continuation, // count-1 data bytes + checksum after a write address frame
    TextTrigger,  // the single byte after an identification-text request
    Skipped,      // bytes outside any frame (noise, bad-checksum command frames)
};

struct ReceivedFrame {
    FrameKind kind;
    std::vector<uint8_t> bytes;
    bool checksumOk;
    Clock::time_point time; // when its last byte was received
    // Quiet line before it: from the end of the previous frame to the start of
    // this one's first byte, in milliseconds (-1 for the first frame).
    double gapMs = -1;
    bool refused = false; // ignored by a busy controller (Faults::minGapMs)
};

// An answer as a transport must send it.
struct Answer {
    std::vector<uint8_t> bytes;
    int delayMs = 0;
    int chunkSize = 0;
    int chunkPauseMs = 0;
};

class Line {
public:
    Line();
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // Adds a controller with its defaults; the reference stays valid for the
    // Line's life.
    VirtualController& addController(uint8_t address, uint8_t deviceType = 0x21);
    // The controller answering at this address now, or nullptr (0xF0 gives the
    // single controller when there is exactly one).
    VirtualController* controller(uint8_t address);
    VirtualController& front(); // the first controller added (one is added when none exists)
    size_t controllerCount() const;
    // The same faults for every controller on the line.
    void setFaults(const Faults& f);

    // Feeds received bytes; each byte counts as received at `t` (transports
    // pass the time its last bit arrived). Answers are appended to `out`.
    // A pause of more than kResyncPauseMs since the previous byte drops a
    // half-received frame. `quietSeen`, when given, is the last time the
    // transport saw nothing waiting before these bytes: the pause is judged
    // by it, so a transport thread that ran late (a busy machine) does not
    // take its own delay for a quiet line.
    void receive(const uint8_t* bytes, size_t n, Clock::time_point t, std::vector<Answer>& out,
                 std::optional<Clock::time_point> quietSeen = std::nullopt);
    static constexpr int kResyncPauseMs = 200;

    // The time one byte takes on the line (set by a paced transport): a frame
    // starts one byte time before its first byte is in.
    void setByteTime(std::chrono::nanoseconds t);
    // An adapter that echoes: the transports send every received byte back at
    // once, before any answer.
    void setEcho(bool on);
    bool echo() const;
    // How late the echo comes (a USB adapter holds received bytes up to its
    // latency timer, a serial server adds its round trip); answers follow it.
    void setEchoDelay(int ms);
    int echoDelayMs() const;

    std::vector<ReceivedFrame> frames() const;
    size_t frameCount() const;
    // The write commands (0x40 + board) received so far.
    size_t writeCommandCount() const;
    // Whether a frame has started and not ended (a pause now may drop it).
    bool inFrame() const;
    void clearFrames();
    // Waits (bounded) until at least `count` frames were recorded.
    bool waitForFrames(size_t count, std::chrono::milliseconds bound) const;

private:
    struct Parser;
    void finishCommandLocked(std::vector<Answer>& out);
    void finishAddressLocked(std::vector<Answer>& out);
    void finishContinuationLocked(std::vector<Answer>& out);
    void flushSkippedLocked();
    void recordLocked(FrameKind kind, std::vector<uint8_t> bytes, bool ok, Clock::time_point t);
    // Measures the gap before a frame that ends at t and decides whether a busy
    // controller takes it; the next recorded frame carries both.
    bool admitLocked(FrameKind kind, uint8_t ctrl, Clock::time_point t);
    void answerLocked(VirtualController* c, std::vector<uint8_t> bytes, std::vector<Answer>& out);
    VirtualController* controllerLocked(uint8_t address);

    mutable std::mutex m_;
    mutable std::condition_variable cv_;
    std::deque<std::unique_ptr<VirtualController>> controllers_;
    std::unique_ptr<Parser> p_;
    std::vector<ReceivedFrame> frames_;
    std::atomic<int64_t> byteTimeNs_{0};
    std::atomic<bool> echo_{false};
    std::atomic<int> echoDelayMs_{0};
};

class Runner;

// A pseudo-terminal carrying the line: the tool opens slavePath() as its port.
class PtyTransport {
public:
    // baud > 0 paces both directions as a line at that rate (10 bits a byte).
    explicit PtyTransport(Line& line, int baud = 0);
    ~PtyTransport();
    PtyTransport(const PtyTransport&) = delete;
    PtyTransport& operator=(const PtyTransport&) = delete;

    // Opens the pty (raw mode) and starts the line's thread. false with a
    // message when the pty cannot be made.
    bool start(std::string* error = nullptr);
    void stop(); // returns promptly; safe to call twice
    const std::string& slavePath() const { return slave_; }

private:
    Line& line_;
    int baud_;
    std::string slave_;
    int slaveFd_ = -1;
    std::unique_ptr<Runner> runner_;
};

// A TCP listener carrying the line (a serial server): every connected peer
// hears every answer, and bytes from any peer feed the one line. The tool
// connects with "TCPC_127.0.0.1:PORT".
class TcpTransport {
public:
    explicit TcpTransport(Line& line, int baud = 0);
    ~TcpTransport();
    TcpTransport(const TcpTransport&) = delete;
    TcpTransport& operator=(const TcpTransport&) = delete;

    // Listens on 127.0.0.1 (or every interface); port 0 picks a free one.
    bool start(uint16_t port = 0, bool allInterfaces = false, std::string* error = nullptr);
    void stop();
    uint16_t port() const { return port_; }
    size_t peerCount() const;

private:
    Line& line_;
    int baud_;
    uint16_t port_ = 0;
    std::unique_ptr<Runner> runner_;
};

} // namespace zelsim
