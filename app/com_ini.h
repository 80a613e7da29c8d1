// com.ini: the port the tool talks through and its line settings.
//
// The file holds up to 16 lines of up to 80 characters; only the first line is
// used. A line is either "NAME v1 v2 ..." (name form) or "HEX v1 v2 ..."
// (number form, the name becomes "com<decimal>"). The reserved values are never
// acted on; they are carried from the file back into the file.
#pragma once

#include <cstdint>
#include <string>

constexpr int kComIniEntries = 16;
constexpr int kComIniLineMax = 80;
constexpr int kComNameMax = 99;

struct ComPortSetting {
    std::string name;       // up to 99 characters; empty when the line gave none
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
    void clear();
};

// Parses one line (without its line end) into the entry. Returns true when the
// line gave a port setting, false when it left the entry empty.
bool ParseComIniLine(const std::string& line, ComPortSetting& entry);

// Clears all 16 entries, then parses up to 16 lines of the file into them.
// Returns 1 when the file could be opened (whatever it holds), 0 otherwise.
int ReadComIni(ComIniTable& table, const std::string& path = "com.ini");

// The written form: name, 0, baud, reserved byte, flag 0, flag 1, data bits,
// parity letter, stop-bit code, separated by single spaces, no line end.
std::string ComIniLine(const ComPortSetting& entry);

// Replaces the file with the written form of the entry. Returns 1 on success,
// 0 when the file could not be written completely (the old content is then
// kept: the new text goes to a temporary file renamed over the old one).
int WriteComIni(const ComPortSetting& entry, const std::string& path = "com.ini");
