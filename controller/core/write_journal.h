// The write journal: every block written to a controller, from any tab,
// dialog or the command-line tool, appended as one line to
// "<state folder>/journal.log" (the demo folder in demo mode): time, port,
// controller address, board, block address, the bytes before (when the
// caller knew them) and after. One write per record, flushed to the disk, so
// a crash loses at most the record being written; the file is only ever
// appended to, and only ever whole records: a record that could not be
// written whole is taken back, and each record starts on a line of its own.
// A block is journalled before its first piece goes out (marked begun) and
// confirmed once it went through, so a write cut off half way is on record.
// At 8 MiB the journal moves to "journal.log.1" (the previous one is
// dropped) and a new one begins; the reader reads both.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace journal {

struct Record {
    std::string time; // local time, "2025-01-31T12:34:56.789+0300"
    std::string port; // the port's name; "demo" in demo mode
    int ctrl = 0;
    int board = 0;
    uint32_t address = 0;
    int count = 0;
    bool hidden = false;      // a password write: the bytes are not kept
    bool beforeKnown = false; // the caller gave the content before the write
    std::vector<uint8_t> before, after;
    // Whole: a write that went through (and every record of older journals).
    // Begun: journalled before the write; never confirmed, it may have been
    // cut off half way. Done: the line confirming a begun record (same time,
    // port, controller, board, address and length; no bytes). Verified: a
    // block written was read back (`check`); when it differs, `before` holds
    // the bytes sent and `after` what the controller holds.
    enum class Kind { Whole, Begun, Done, Verified } kind = Kind::Whole;
    enum class Check { Same, Differs, Unread } check = Check::Same;
};

constexpr long kJournalRotateBytes = 8L << 20;
// Lines longer than this are no records (the longest record, a block of
// 65535 bytes before and after, is about 256 KiB); they are skipped unread.
constexpr size_t kJournalMaxLine = 1u << 20;

// StateFolder(demo) + "/journal.log".
std::string JournalPath(bool demo);

// The line a record is kept as (no line break) and back; nothing for a line
// that is not a record (a torn last line after a crash, say).
std::string FormatLine(const Record& r);
std::optional<Record> ParseLine(const std::string& line);

// Appends one record (creating the folder and file when needed), whole or
// not at all; a journal of `rotateAt` bytes or more is moved to path + ".1"
// first. False with the reason (and strerror) in *error.
bool Append(const std::string& path, const Record& r, std::string* error = nullptr,
            long rotateAt = kJournalRotateBytes);

struct Contents {
    bool exists = false;
    std::string error; // the journal exists but cannot be read (a folder, a FIFO, no permission)
    std::vector<Record> records;
    int skipped = 0; // lines that are not records
};
// The records of path + ".1" and path, oldest first; with last > 0 only the
// last `last` records, read from the end. Begun records confirmed later are
// given as Whole; confirmation lines are not given.
Contents ReadJournal(const std::string& path, size_t last = 0);
// The same, record by record without keeping them (a journal of any size).
// The Contents it returns holds no records.
Contents ForEachRecord(const std::string& path, const std::function<void(const Record&)>& fn);

// From now on every successful block write is journalled. `onError` (may be
// empty) hears the first failure to write the journal; the writes to the
// controller go on regardless. Calling it again replaces the handler.
void Install(std::function<void(const std::string& error)> onError = {});
void Uninstall();
// The last failure to write the journal, "" when none, naming the block
// whose write went unjournalled; and how many records were lost so.
std::string LastError();
int FailedRecords();

// Journals the read-back of a block just written (when the journal is
// installed), on the port of that name: `held` is what the controller gave,
// nullptr when the read failed.
void NoteVerification(const std::string& portName, int ctrl, int board, uint32_t address,
                      const std::vector<uint8_t>& sent, const uint8_t* held);

// The content blocks had before the writes of a scope, given by callers that
// hold it (the as-read copy of a tab, the snapshot taken before an image
// load). A write lying wholly inside a known range is journalled with its
// "before" bytes; the range then takes the written bytes.
class KnownContent {
public:
    KnownContent() = default;
    KnownContent(int board, uint32_t address, const uint8_t* data, int count);
    ~KnownContent();
    KnownContent(const KnownContent&) = delete;
    KnownContent& operator=(const KnownContent&) = delete;
    void add(int board, uint32_t address, const uint8_t* data, int count);

private:
    std::vector<int> ids_;
};

} // namespace journal
