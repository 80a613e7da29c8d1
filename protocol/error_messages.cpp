#include "error_messages.h"

#include "conversions.h"

#include <algorithm>
#include <cstdio>

namespace {

int UpperHexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A decimal integer at pos (an optional minus sign, then digits); false when
// there is none. Values beyond 32 bits are refused rather than wrapped.
bool ParseInt(std::string_view s, size_t& pos, int64_t& value) {
    size_t p = pos;
    bool negative = false;
    if (p < s.size() && s[p] == '-') {
        negative = true;
        ++p;
    }
    const size_t digitsStart = p;
    int64_t v = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') {
        v = v * 10 + (s[p] - '0');
        if (v > 0xFFFFFFFFll) return false;
        ++p;
    }
    if (p == digitsStart) return false;
    value = negative ? -v : v;
    pos = p;
    return true;
}

} // namespace

void ErrorMessageTable::Clear() {
    entries_.clear();
    pool_.clear();
    loaded_ = false;
}

bool ErrorMessageTable::Load(const std::string& path) {
    Clear();
    // Plain stdio: a file that opens but cannot be read (a folder, an I/O
    // error) is a failed load like a missing one, never an exception.
    std::FILE* f = OpenRegularFile(path);
    if (!f) return false;
    std::string content;
    char buf[65536];
    size_t got = 0;
    while (content.size() < kErrorFileMax && (got = std::fread(buf, 1, sizeof buf, f)) > 0)
        content.append(buf, std::min(got, kErrorFileMax - content.size()));
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return false;
    Parse(content);
    loaded_ = true;
    return true;
}

void ErrorMessageTable::Parse(std::string_view content) {
    size_t pos = 0;
    while (pos < content.size()) {
        // One piece: up to and including a line feed, at most 253 characters.
        size_t end = pos;
        while (end < content.size() && end - pos < kErrorLinePiece) {
            if (content[end++] == '\n') break;
        }
        std::string_view piece = content.substr(pos, end - pos);
        pos = end;

        if (piece.empty() || piece[0] == ';') continue;
        size_t p = 0;
        int64_t group = 0, code = 0;
        if (!ParseInt(piece, p, group)) continue;
        if (p >= piece.size() || piece[p] != ',') continue;
        ++p;
        if (!ParseInt(piece, p, code)) continue;

        std::string text;
        if (p < piece.size() && piece[p] == ',') {
            ++p;
            while (p < piece.size() && piece[p] != '\r' && piece[p] != '\n') {
                if (piece[p] == '\\' && p + 3 < piece.size() && piece[p + 1] == 'x' &&
                    UpperHexValue(piece[p + 2]) >= 0 && UpperHexValue(piece[p + 3]) >= 0) {
                    text += static_cast<char>(UpperHexValue(piece[p + 2]) * 16 + UpperHexValue(piece[p + 3]));
                    p += 4;
                } else {
                    text += piece[p++];
                }
            }
        }
        // Capacities: the rest of the file is ignored once either is reached.
        if (entries_.size() >= static_cast<size_t>(kErrorTableEntries)) return;
        if (pool_.size() + text.size() > kErrorTablePool) return;
        Entry e;
        e.offset = static_cast<uint32_t>(pool_.size());
        e.code = static_cast<int32_t>(code);
        e.group = static_cast<int32_t>(group);
        e.length = static_cast<uint8_t>(text.size()); // a piece holds at most 253 characters
        pool_ += text;
        entries_.push_back(e);
    }
}

std::string ErrorMessageTable::Lookup(int group, int32_t code) const {
    for (const Entry& e : entries_)
        if (e.group == group && e.code == code) return pool_.substr(e.offset, e.length);
    return {};
}
