// com.ini: the port the tool talks through and its line settings.
//
// The file holds up to 16 lines; only the first line is used. A line is either
// "NAME v1 v2 ..." (name form) or "HEX v1 v2 ..." (number form, the name becomes
// "com<decimal>"). The reserved values are never acted on; they are carried from
// the file back into the file.
//
// Port names may have up to 255 bytes (long /dev/serial/by-id paths), and every
// line WriteComIni writes reads back as the same line. A line longer than the
// longest one the program writes is refused as a whole (its entry stays empty)
// instead of being cut into other settings.
#pragma once

#include <cstdint>
#include <string>

constexpr int kComIniEntries = 16;
constexpr int kComNameMax = 255;
// The longest line taken: a name of kComNameMax bytes and every value at its widest.
constexpr int kComIniLineMax = kComNameMax + 64;

struct ComPortSetting {
    std::string name;       // up to 255 bytes; empty when the line gave none
    uint32_t reserved0 = 0; // first reserved number (always written back as 0)
    uint32_t baud = 0;      // no default: a missing value stays 0
    uint8_t reservedByte = 0;
    uint8_t flag0 = 0; // reserved flag, bit 0 of the flags byte
    uint8_t flag1 = 0; // reserved flag, bit 1 of the flags byte
    uint8_t dataBits = 0;
    char parity = 0;
    uint8_t stopCode = 0;

    bool operator==(const ComPortSetting&) const = default;
};

struct ComIniTable {
    ComPortSetting entries[kComIniEntries];
    // The line was longer than the program takes (its entry is empty).
    bool refused[kComIniEntries] = {};
    void clear();
};

// Parses one line (without its line end) into the entry. Returns true when the
// line gave a port setting, false when it left the entry empty (also for a
// refused line, see ComIniLineRefused).
bool ParseComIniLine(const std::string& line, ComPortSetting& entry);
// True for a line too long to be one the program wrote: more than
// kComIniLineMax bytes, or a name of more than kComNameMax bytes.
bool ComIniLineRefused(const std::string& line);

// Clears all 16 entries, then parses up to 16 lines of the file into them.
// Returns 1 when the file could be opened and read (whatever it holds), 0
// otherwise (missing, a folder, a read error).
int ReadComIni(ComIniTable& table, const std::string& path = "com.ini");
// The same over the content of a file already in memory.
void ParseComIniText(ComIniTable& table, const std::string& content);

// What is wrong with the line settings of an entry, "" when nothing: data
// bits other than 7 or 8, a parity letter other than N, E, O, M, S (or Z,
// space), a stop-bit code other than 1 or 2. The port layer leaves such a
// setting as the port has it, so a program must refuse it rather than go on
// with settings nobody chose. An empty entry (no line) has no problem.
std::string ComLineProblem(const ComPortSetting& entry);

// The written form: name, 0, baud, reserved byte, flag 0, flag 1, data bits,
// parity letter, stop-bit code, separated by single spaces, no line end.
std::string ComIniLine(const ComPortSetting& entry);
// True when the entry's written form reads back as the same line: a name of 1
// to 255 bytes without spaces or control characters that the reader takes as a
// name (it does not start with a hexadecimal digit, or starts with "CO" in any
// case), and a printable parity letter (or none, written as N).
bool ComIniWritable(const ComPortSetting& entry);

// Replaces the file with the written form of the entry. Returns 1 on success,
// 0 when the entry cannot be kept in the file (ComIniWritable) or the file
// could not be written completely; the old content is then kept: the new text
// goes to a temporary file renamed over the old one. When the path is a
// symbolic link, the file it points to is replaced and the link stays.
int WriteComIni(const ComPortSetting& entry, const std::string& path = "com.ini");
