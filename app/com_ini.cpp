#include "com_ini.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <unistd.h>

void ComIniTable::clear() {
    for (auto& e : entries)
        e = ComPortSetting{};
}

namespace {

bool isHexDigit(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
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

} // namespace

bool ParseComIniLine(const std::string& rawLine, ComPortSetting& e) {
    e = ComPortSetting{};
    std::string line = rawLine.substr(0, kComIniLineMax);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.pop_back();
    size_t pos = 0;
    while (pos < line.size() && line[pos] == ' ')
        ++pos;
    if (pos >= line.size()) return false;

    unsigned long reserved0 = 0, baud = 0;
    long reservedByte = 0, flag0 = 0, flag1 = 0, dataBits = 0, stopCode = 0;
    char parity = 0;

    const char c0 = line[pos];
    const char c1 = pos + 1 < line.size() ? line[pos + 1] : '\0';
    const bool nameForm = !isHexDigit(c0) || ((c0 == 'C' || c0 == 'c') && (c1 == 'O' || c1 == 'o'));
    if (nameForm) {
        const size_t space = line.find(' ', pos);
        if (space == std::string::npos) return false; // a name with nothing after it
        std::string rest = line.substr(space + 1);
        if (rest.find_first_not_of(" \t") == std::string::npos) return false;
        const int got = std::sscanf(rest.c_str(), "%lu %lu %ld %ld %ld %ld %c %ld", &reserved0, &baud,
                                    &reservedByte, &flag0, &flag1, &dataBits, &parity, &stopCode);
        e.name = line.substr(pos, std::min(space - pos, static_cast<size_t>(kComNameMax)));
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

int ReadComIni(ComIniTable& table, const std::string& path) {
    table.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::string line;
    for (int i = 0; i < kComIniEntries && std::getline(in, line); ++i)
        ParseComIniLine(line, table.entries[i]);
    return 1;
}

std::string ComIniLine(const ComPortSetting& e) {
    std::string s = e.name;
    s += " 0 " + std::to_string(e.baud) + " " + std::to_string(e.reservedByte) + " " +
         std::to_string(e.flag0) + " " + std::to_string(e.flag1) + " " + std::to_string(e.dataBits) + " ";
    s += e.parity != 0 ? e.parity : 'N';
    s += " " + std::to_string(e.stopCode);
    return s;
}

int WriteComIni(const ComPortSetting& entry, const std::string& path) {
    const std::string tmp = path + ".tmp";
    const std::string text = ComIniLine(entry);
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) return 0;
        out << text;
        out.flush();
        if (!out) {
            out.close();
            ::unlink(tmp.c_str());
            return 0;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return 0;
    }
    return 1;
}
