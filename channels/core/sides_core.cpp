#include "sides_core.h"

#include "block_transfer.h"
#include "little_endian.h"

#include <algorithm>

namespace settings {

int ReadSide(int port, int ctrl, int side, SideBuffer& buffer) {
    SideBuffer in{};
    if (ReadBlock(port, ctrl, SideAddress(side), SidesSetts.length, in.data(), kBoardMain) <
        SidesSetts.length)
        return -1;
    buffer = in;
    return 1;
}

int WriteSide(int port, int ctrl, int side, const SideBuffer& buffer) {
    return WriteBlock(port, ctrl, SideAddress(side), SidesSetts.length, buffer.data(), kBoardMain) == 1 ? 1
                                                                                                        : -1;
}

std::string SideDateText(const SideBuffer& b) {
    return fields::FieldText(fields::ElementField(sidessetts::DateLastKor, 0), b.data());
}

namespace {

// One number of a date: blanks around at most three digits.
std::optional<int> DatePart(std::string_view t) {
    while (!t.empty() && t.front() == ' ')
        t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ')
        t.remove_suffix(1);
    if (t.empty() || t.size() > 3) return std::nullopt;
    int v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

int DaysInMonth(int month, int year) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && year % 4 == 0 ? 29 : days[month - 1];
}

} // namespace

std::optional<std::array<uint8_t, 3>> ParseSideDate(std::string_view text) {
    int v[3];
    for (int i = 0; i < 3; ++i) {
        const size_t dot = text.find('.');
        if ((i < 2) != (dot != std::string_view::npos)) return std::nullopt;
        const auto part = DatePart(text.substr(0, dot));
        if (!part) return std::nullopt;
        v[i] = *part;
        text = i < 2 ? text.substr(dot + 1) : std::string_view();
    }
    const int day = v[0], month = v[1], year = v[2];
    const bool none = day == 0 && month == 0 && year == 0;
    const bool date = year <= 99 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(month, year);
    if (!none && !date) return std::nullopt;
    return std::array<uint8_t, 3>{static_cast<uint8_t>(day), static_cast<uint8_t>(month),
                                  static_cast<uint8_t>(year)};
}

uint32_t LeadingDigitsValue(std::string_view text) {
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(v);
}

uint16_t StoredCountKor(const SideBuffer& b) {
    return GetU16(b.data(), sidessetts::SideCountKor.offset);
}

void StoreCountKor(SideBuffer& b, long count) {
    PutU16(b.data(), sidessetts::SideCountKor.offset, static_cast<uint16_t>(count & 0xFFFF));
}

bool StoreSideDate(SideBuffer& b, std::string_view text) {
    const auto date = ParseSideDate(text);
    if (date) std::copy(date->begin(), date->end(), b.begin() + sidessetts::DateLastKor.offset);
    return date.has_value();
}

void StoreCountTranz(SideBuffer& b, std::string_view text) {
    PutU32(b.data(), sidessetts::CountTranz.offset, LeadingDigitsValue(text));
}

} // namespace settings
