#include "hex_text.h"

#include <utility>

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

} // namespace

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string HexNumber(uint32_t value, int digits) {
    char buf[8];
    int n = 0;
    do {
        buf[n++] = kHexDigits[value & 0x0F];
        value >>= 4;
    } while (value != 0);
    std::string s;
    if (digits > n) s.assign(static_cast<size_t>(digits - n), '0');
    while (n > 0)
        s += buf[--n];
    return s;
}

std::string HexByte(unsigned value) {
    return std::string{kHexDigits[(value >> 4) & 0x0F], kHexDigits[value & 0x0F]};
}

std::string HexBytes(const uint8_t* bytes, size_t count, std::string_view separator) {
    std::string s;
    if (!bytes) return s;
    s.reserve(count * (2 + separator.size()));
    for (size_t i = 0; i < count; ++i) {
        if (i) s += separator;
        s += HexByte(bytes[i]);
    }
    return s;
}

bool ParseHexDigits(std::string_view text, uint32_t& value) {
    if (text.empty()) return false;
    uint64_t v = 0;
    for (char c : text) {
        const int d = HexDigitValue(c);
        if (d < 0) return false;
        v = v * 16 + static_cast<uint64_t>(d);
        if (v > 0xFFFFFFFFull) return false;
    }
    value = static_cast<uint32_t>(v);
    return true;
}

bool ParseHexNumber(std::string_view text, uint32_t& value) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    return ParseHexDigits(text, value);
}

bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> out;
    int high = -1; // the first digit of a pair, while the second is awaited
    for (char c : text) {
        if (IsSpace(c)) continue;
        const int d = HexDigitValue(c);
        if (d < 0) return false;
        if (high < 0) {
            high = d;
        } else {
            out.push_back(static_cast<uint8_t>(high * 16 + d));
            high = -1;
        }
    }
    if (high >= 0) return false;
    bytes = std::move(out);
    return true;
}
