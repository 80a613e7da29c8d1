// The write journal: every block written to a controller, from any tab,
// dialog or the command-line tool, appended as one line to
// "<state folder>/journal.log" (the demo folder in demo mode): time, port,
// controller address, board, block address, the bytes before (when the
// caller knew them) and after. One write per record, flushed to the disk, so
// a crash loses at most the record being written; the file is only ever
// appended to.
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
};

// StateFolder(demo) + "/journal.log".
std::string JournalPath(bool demo);

// The line a record is kept as (no line break) and back; nothing for a line
// that is not a record (a torn last line after a crash, say).
std::string FormatLine(const Record& r);
std::optional<Record> ParseLine(const std::string& line);

// Appends one record (creating the folder and file when needed). False with
// the reason in *error.
bool Append(const std::string& path, const Record& r, std::string* error = nullptr);

struct Contents {
    bool exists = false;
    std::vector<Record> records;
    int skipped = 0; // lines that are not records
};
Contents ReadJournal(const std::string& path);

// From now on every successful block write is journalled. `onError` (may be
// empty) hears the first failure to write the journal; the writes to the
// controller go on regardless. Calling it again replaces the handler.
void Install(std::function<void(const std::string& error)> onError = {});
void Uninstall();
// The last failure to write the journal, "" when none.
std::string LastError();

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
