#include "field_table.h"

#include "hex_text.h"
#include "little_endian.h"

#include <algorithm>
#include <cstdio>

namespace fields {

namespace {

uint32_t WidthMask(int width) {
    return width >= 4 ? 0xFFFFFFFFu : (1u << (8 * width)) - 1;
}

// Decimal digits only, at most `maxDigits` of them; the value in *out.
bool Digits(std::string_view t, int maxDigits, uint64_t* out) {
    if (t.empty() || static_cast<int>(t.size()) > maxDigits) return false;
    uint64_t v = 0;
    for (char c : t) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    *out = v;
    return true;
}

bool InRange(const Field& f, int64_t v) {
    return (v >= MinValue(f) && v <= MaxValue(f)) || (f.zeroAllowed && v == 0);
}

int DecimalDigits(uint64_t v) {
    int n = 1;
    while (v >= 10) {
        v /= 10;
        ++n;
    }
    return n;
}

} // namespace

std::string HundredthsText(uint32_t v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lu,%02d", static_cast<unsigned long>(v / 100),
                  static_cast<int>(v % 100));
    return buf;
}

std::string WholeByteHex(uint32_t v) {
    static const char kDigits[] = "0123456789ABCDEF";
    int bytes = 1;
    while (bytes < 4 && (v >> (8 * bytes)) != 0)
        ++bytes;
    std::string s;
    for (int i = bytes - 1; i >= 0; --i) {
        const auto b = static_cast<uint8_t>(v >> (8 * i));
        s += kDigits[b >> 4];
        s += kDigits[b & 0x0F];
    }
    return s;
}

uint32_t StoredValue(const Field& f, const uint8_t* block) {
    if (f.codec == Codec::None || f.width <= 0) return 0;
    uint32_t v = 0;
    for (int i = std::min(f.width, 4) - 1; i >= 0; --i)
        v = v << 8 | block[f.offset + i];
    return v;
}

Field ElementField(const Layout& l, int i) {
    Field f = Bind(l, {.name = l.field, .custom = true});
    f.offset += i * l.stride;
    return f;
}

int64_t MinValue(const Field& f) {
    if (f.min <= f.max) return f.min;
    if (f.codec == Codec::Signed) return -static_cast<int64_t>(WidthMask(f.width) / 2) - 1;
    return 0;
}

int64_t MaxValue(const Field& f) {
    if (f.min <= f.max) return f.max;
    const auto whole = static_cast<int64_t>(WidthMask(f.width));
    switch (f.codec) {
    case Codec::Signed:
        return whole / 2;
    case Codec::Decimal:
        // Anything whose stored part fits: typed × divide / scale <= whole.
        return ((whole + 1) * std::max(f.scale, 1) + std::max(f.divide, 1) - 1) / std::max(f.divide, 1) - 1;
    default:
        return whole;
    }
}

std::string FieldText(const Field& f, const uint8_t* block) {
    const uint32_t v = StoredValue(f, block);
    switch (f.codec) {
    case Codec::None:
        return {};
    case Codec::Decimal: {
        if (f.asIs >= 0 && v == f.asIs) return std::to_string(v);
        std::string t =
            std::to_string(static_cast<uint64_t>(v) * static_cast<uint64_t>(std::max(f.scale, 1)) /
                           static_cast<uint64_t>(std::max(f.divide, 1)));
        if (static_cast<int>(t.size()) < f.digits) t.insert(0, static_cast<size_t>(f.digits) - t.size(), '0');
        return t;
    }
    case Codec::Choice: {
        // The item text the box shows; a code no item has as its number.
        const int i = ChoiceIndex(f, block);
        if (i >= 0) return f.items[static_cast<size_t>(i)].text;
        return std::to_string(f.codeOf ? f.codeOf(v) : v);
    }
    case Codec::Date: {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%02d.%02d.%02d", block[f.offset], block[f.offset + 1],
                      block[f.offset + 2]);
        return buf;
    }
    case Codec::Signed: {
        const uint32_t sign = 1u << (8 * std::min(f.width, 4) - 1);
        const int64_t s = (v & sign) ? static_cast<int64_t>(v) - 2 * static_cast<int64_t>(sign) : v;
        return std::to_string(s);
    }
    case Codec::Hex:
    case Codec::Bits:
        return WholeByteHex(v);
    case Codec::Hundredths:
        return HundredthsText(v);
    }
    return {};
}

std::optional<int64_t> ParseFieldText(const Field& f, std::string_view t) {
    int64_t v = 0;
    switch (f.codec) {
    case Codec::None:
    case Codec::Date: // typed through the tab's own handler
        return std::nullopt;
    case Codec::Decimal:
    case Codec::Choice: {
        uint64_t u = 0;
        if (!Digits(t, 18, &u)) return std::nullopt;
        v = static_cast<int64_t>(u);
        break;
    }
    case Codec::Signed: {
        const bool negative = !t.empty() && t.front() == '-';
        uint64_t u = 0;
        if (!Digits(negative ? t.substr(1) : t, 18, &u)) return std::nullopt;
        v = negative ? -static_cast<int64_t>(u) : static_cast<int64_t>(u);
        break;
    }
    case Codec::Hex:
    case Codec::Bits: {
        uint32_t u = 0;
        if (t.size() > 8 || !ParseHexDigits(t, u)) return std::nullopt;
        v = u;
        break;
    }
    case Codec::Hundredths: {
        const size_t sep = t.find_first_of(",.");
        uint64_t whole = 0, frac = 0;
        if (!Digits(t.substr(0, sep), 12, &whole)) return std::nullopt;
        if (sep != std::string_view::npos) {
            const std::string_view decimals = t.substr(sep + 1);
            if (decimals.empty() || decimals.size() > 2 || !Digits(decimals, 2, &frac)) return std::nullopt;
            if (decimals.size() == 1) frac *= 10;
        }
        v = static_cast<int64_t>(whole * 100 + frac);
        break;
    }
    }
    if (!InRange(f, v)) return std::nullopt;
    return v;
}

bool StoreFieldText(const Field& f, std::string_view text, uint8_t* block) {
    if (f.width <= 0) return false;
    const std::optional<int64_t> v = ParseFieldText(f, text);
    if (!v) return false;
    const int64_t stored = f.codec == Codec::Decimal ? *v * std::max(f.divide, 1) / std::max(f.scale, 1) : *v;
    PutUInt(block, f.offset, f.width, static_cast<uint32_t>(stored) & WidthMask(f.width));
    return true;
}

int TextLength(const Field& f) {
    switch (f.codec) {
    case Codec::None:
        return 0;
    case Codec::Decimal:
        return DecimalDigits(static_cast<uint64_t>(
            std::max<int64_t>(MaxValue(f), static_cast<int64_t>(WidthMask(f.width)) * std::max(f.scale, 1))));
    case Codec::Choice:
        return DecimalDigits(WidthMask(f.width));
    case Codec::Date:
        return 8;
    case Codec::Signed:
        return 1 + DecimalDigits(static_cast<uint64_t>(std::max(-MinValue(f), MaxValue(f))));
    case Codec::Hex:
    case Codec::Bits:
        return 2 * f.width;
    case Codec::Hundredths:
        return DecimalDigits(WidthMask(f.width) / 100) + 3;
    }
    return 0;
}

int ChoiceIndex(const Field& f, const uint8_t* block) {
    const uint32_t stored = StoredValue(f, block);
    const uint32_t code = f.codeOf ? f.codeOf(stored) : stored;
    for (size_t i = 0; i < f.items.size(); ++i)
        if (f.items[i].code == code) return static_cast<int>(i);
    return -1;
}

void StoreValue(const Field& f, uint32_t v, uint8_t* block) {
    if (f.width > 0) PutUInt(block, f.offset, std::min(f.width, 4), v & WidthMask(f.width));
}

void StoreChoice(const Field& f, int index, uint8_t* block) {
    if (index < 0 || static_cast<size_t>(index) >= f.items.size()) return;
    const uint32_t code = f.items[static_cast<size_t>(index)].code;
    StoreValue(f, f.storeCode ? f.storeCode(StoredValue(f, block), code) : code, block);
}

bool ItemChecked(const Field& f, int index, const uint8_t* block) {
    if (index < 0 || static_cast<size_t>(index) >= f.items.size()) return false;
    const uint32_t mask = f.items[static_cast<size_t>(index)].code;
    return mask != 0 && (StoredValue(f, block) & mask) == mask;
}

uint32_t WithItem(const Field& f, int index, bool checked, uint32_t stored) {
    if (index < 0 || static_cast<size_t>(index) >= f.items.size()) return stored;
    const uint32_t mask = f.items[static_cast<size_t>(index)].code;
    return (checked ? stored | mask : stored & ~mask) & WidthMask(f.width);
}

const Field* FindField(Table table, std::string_view name) {
    for (const Field& f : table)
        if (f.name && name == f.name) return &f;
    return nullptr;
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

bool StoreDateText(const Field& f, std::string_view text, uint8_t* block) {
    if (f.codec != Codec::Date || f.width != 3) return false;
    int v[3];
    for (int i = 0; i < 3; ++i) {
        const size_t dot = text.find('.');
        if ((i < 2) != (dot != std::string_view::npos)) return false;
        const auto part = DatePart(text.substr(0, dot));
        if (!part) return false;
        v[i] = *part;
        text = i < 2 ? text.substr(dot + 1) : std::string_view();
    }
    const int day = v[0], month = v[1], year = v[2];
    const bool none = day == 0 && month == 0 && year == 0;
    const bool date = year <= 99 && month >= 1 && month <= 12 && day >= 1 && day <= DaysInMonth(month, year);
    if (!none && !date) return false;
    block[f.offset] = static_cast<uint8_t>(day);
    block[f.offset + 1] = static_cast<uint8_t>(month);
    block[f.offset + 2] = static_cast<uint8_t>(year);
    return true;
}

} // namespace fields
