#include "com_ini.h"

#include "conversions.h"
#include "file_ops.h"
#include "hex_text.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

void ComIniTable::clear() {
    for (auto& e : entries)
        e = ComPortSetting{};
    for (bool& r : refused)
        r = false;
}

namespace {

bool isHexDigit(char c) {
    return HexDigitValue(c) >= 0;
}

// Stores the values that sscanf delivered and the defaults for those missing
// at the end of the line. `got` counts the values after the name or number.
void storeValues(ComPortSetting& e, int got, unsigned long reserved0, unsigned long baud, long reservedByte,
                 long flag0, long flag1, long dataBits, char parity, long stopCode) {
    if (got < 0) got = 0;
    e.reserved0 = got > 0 ? static_cast<uint32_t>(reserved0) : 0;
    e.baud = got > 1 ? static_cast<uint32_t>(baud) : 0;
    e.reservedByte = got > 2 ? static_cast<uint8_t>(reservedByte) : 0;
    e.flag0 = got > 3 ? (flag0 != 0 ? 1 : 0) : 1;
    e.flag1 = got > 4 ? (flag1 != 0 ? 1 : 0) : 0;
    e.dataBits = got > 5 ? static_cast<uint8_t>(dataBits) : 8;
    e.parity = got > 6 ? parity : 'N';
    e.stopCode = got > 7 ? static_cast<uint8_t>(stopCode) : 1;
}

std::string WithoutLineEnd(const std::string& rawLine) {
    std::string line = rawLine;
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    return line;
}

// The reader takes a line as the name form when its first character is no
// hexadecimal digit, or when it starts with "CO" in any case (COM names).
bool NameForm(char c0, char c1) {
    return !isHexDigit(c0) || ((c0 == 'C' || c0 == 'c') && (c1 == 'O' || c1 == 'o'));
}

} // namespace

bool ComIniLineRefused(const std::string& rawLine) {
    const std::string line = WithoutLineEnd(rawLine);
    if (line.size() > static_cast<size_t>(kComIniLineMax)) return true;
    const size_t pos = line.find_first_not_of(' ');
    if (pos == std::string::npos) return false;
    const size_t space = line.find(' ', pos);
    const size_t nameLen = (space == std::string::npos ? line.size() : space) - pos;
    return nameLen > static_cast<size_t>(kComNameMax);
}

bool ParseComIniLine(const std::string& rawLine, ComPortSetting& e) {
    e = ComPortSetting{};
    if (ComIniLineRefused(rawLine)) return false;
    const std::string line = WithoutLineEnd(rawLine);
    size_t pos = 0;
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    if (pos >= line.size()) return false;

    unsigned long reserved0 = 0, baud = 0;
    long reservedByte = 0, flag0 = 0, flag1 = 0, dataBits = 0, stopCode = 0;
    char parity = 0;

    const char c0 = line[pos];
    const char c1 = pos + 1 < line.size() ? line[pos + 1] : '\0';
    if (NameForm(c0, c1)) {
        const size_t space = line.find(' ', pos);
        if (space == std::string::npos) return false; // a name with nothing after it
        std::string rest = line.substr(space + 1);
        if (rest.find_first_not_of(" \t") == std::string::npos) return false;
        const int got = std::sscanf(rest.c_str(), "%lu %lu %ld %ld %ld %ld %c %ld", &reserved0, &baud,
                                    &reservedByte, &flag0, &flag1, &dataBits, &parity, &stopCode);
        e.name = line.substr(pos, space - pos);
        storeValues(e, got, reserved0, baud, reservedByte, flag0, flag1, dataBits, parity, stopCode);
        return true;
    }

    unsigned long number = 0;
    const int got = std::sscanf(line.c_str() + pos, "%lX %lu %lu %ld %ld %ld %ld %c %ld", &number, &reserved0,
                                &baud, &reservedByte, &flag0, &flag1, &dataBits, &parity, &stopCode);
    if (got < 1) return false;
    if (number != 0 && number <= 0x7FFFFFFFul) e.name = "com" + std::to_string(number);
    storeValues(e, got - 1, reserved0, baud, reservedByte, flag0, flag1, dataBits, parity, stopCode);
    return true;
}

void ParseComIniText(ComIniTable& table, const std::string& content) {
    table.clear();
    size_t pos = 0;
    for (int i = 0; i < kComIniEntries && pos < content.size(); ++i) {
        size_t end = content.find('\n', pos);
        if (end == std::string::npos) end = content.size();
        const std::string line = content.substr(pos, end - pos);
        table.refused[i] = ComIniLineRefused(line);
        ParseComIniLine(line, table.entries[i]);
        pos = end + 1;
    }
}

int ReadComIni(ComIniTable& table, const std::string& path) {
    table.clear();
    // Plain stdio: a com.ini that opens but cannot be read (a folder) is the
    // read-error path, never an empty entry taken for a setting.
    std::FILE* f = OpenRegularFile(path);
    if (!f) return 0;
    // 16 lines of the longest kind fit easily; more is never a com.ini of ours.
    constexpr size_t kMaxRead = 64 * 1024;
    std::string content;
    char buf[4096];
    size_t got = 0;
    while (content.size() < kMaxRead && (got = std::fread(buf, 1, sizeof buf, f)) > 0)
        content.append(buf, got);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) return 0;
    ParseComIniText(table, content);
    return 1;
}

std::string ComLineProblem(const ComPortSetting& e) {
    if (e.name.empty()) return {};
    auto shown = [](char c) {
        return std::isprint(static_cast<unsigned char>(c)) ? std::string(1, c)
                                                           : "code " + std::to_string(int(c) & 0xFF);
    };
    if (e.dataBits != 7 && e.dataBits != 8)
        return "data bits " + std::to_string(e.dataBits) + " (7 or 8 are taken)";
    if (e.parity == 0 || std::string("NEOMSZ").find(e.parity) == std::string::npos)
        return "parity \"" + shown(e.parity) + "\" (N, E, O, M or S are taken)";
    if (e.stopCode != 1 && e.stopCode != 2)
        return "stop-bit code " + std::to_string(e.stopCode) + " (1 or 2 are taken)";
    return {};
}

std::string ComIniLine(const ComPortSetting& e) {
    std::string s = e.name;
    s += " 0 " + std::to_string(e.baud) + " " + std::to_string(e.reservedByte) + " " +
         std::to_string(e.flag0) + " " + std::to_string(e.flag1) + " " + std::to_string(e.dataBits) + " ";
    s += e.parity != 0 ? e.parity : 'N';
    s += " " + std::to_string(e.stopCode);
    return s;
}

bool ComIniWritable(const ComPortSetting& e) {
    const std::string& n = e.name;
    if (n.empty() || n.size() > static_cast<size_t>(kComNameMax)) return false;
    for (char c : n)
        if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return false;
    if (!NameForm(n[0], n.size() > 1 ? n[1] : '\0')) return false;
    const unsigned char p = static_cast<unsigned char>(e.parity);
    return p == 0 || (p > ' ' && p != 0x7F);
}

int WriteComIni(const ComPortSetting& entry, const std::string& path) {
    if (!ComIniWritable(entry)) return 0;
    // Through a symbolic link the file it points to is replaced, keeping its
    // permissions; the link stays.
    return files::WriteWholeFile(path, ComIniLine(entry)) ? 1 : 0;
}
