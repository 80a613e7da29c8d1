#include "codepage.h"

namespace {

// Unicode of the Windows-1251 bytes 0x80 to 0xBF; 0xC0-0xFF are А-я in order.
constexpr uint16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

uint16_t Cp1251ToUnicode(uint8_t b) {
    if (b < 0x80) return b;
    if (b >= 0xC0) return static_cast<uint16_t>(0x0410 + (b - 0xC0));
    return kCp1251High[b - 0x80];
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

int UnicodeToCp1251(uint32_t cp) {
    if (cp < 0x80) return static_cast<int>(cp);
    if (cp >= 0x0410 && cp <= 0x044F) return static_cast<int>(0xC0 + (cp - 0x0410));
    for (int i = 0; i < 64; ++i)
        if (kCp1251High[i] == cp && cp != 0xFFFD) return 0x80 + i;
    return -1;
}

template <typename F> std::string MapBytes(std::string_view text, F f) {
    std::string out(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i)
        out[i] = static_cast<char>(f(static_cast<uint8_t>(text[i])));
    return out;
}

} // namespace

uint8_t Cp866ToCp1251ErrorText(uint8_t b) {
    if (b >= 0x80 && b <= 0xAF) return static_cast<uint8_t>(b + 0x40);
    if (b >= 0xE0 && b <= 0xEF) return static_cast<uint8_t>(b + 0x10);
    return b;
}

uint8_t Cp866ToCp1251(uint8_t b) {
    switch (b) {
    case 0xF0:
        return 0xA8;
    case 0xF1:
        return 0xB8;
    case 0xFC:
        return 0xB9;
    default:
        return Cp866ToCp1251ErrorText(b);
    }
}

std::string Cp866ToCp1251(std::string_view text) {
    return MapBytes(text, [](uint8_t b) { return Cp866ToCp1251(b); });
}

std::string Cp866ToCp1251ErrorText(std::string_view text) {
    return MapBytes(text, [](uint8_t b) { return Cp866ToCp1251ErrorText(b); });
}

uint8_t Cp1251ToCp866(uint8_t b) {
    if (b >= 0xC0 && b <= 0xEF) return static_cast<uint8_t>(b - 0x40);
    if (b >= 0xF0) return static_cast<uint8_t>(b - 0x10);
    switch (b) {
    case 0xA8:
        return 0xF0;
    case 0xB8:
        return 0xF1;
    case 0xB9:
        return 0xFC;
    default:
        return b;
    }
}

std::string Cp1251ToCp866(std::string_view text) {
    return MapBytes(text, [](uint8_t b) { return Cp1251ToCp866(b); });
}

std::string Cp1251ToUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    for (char c : text)
        AppendUtf8(out, Cp1251ToUnicode(static_cast<uint8_t>(c)));
    return out;
}

std::string Utf8ToCp1251(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        uint8_t b = static_cast<uint8_t>(text[i]);
        uint32_t cp = 0;
        int more = 0;
        if (b < 0x80) {
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            cp = b & 0x1F;
            more = 1;
        } else if ((b & 0xF0) == 0xE0) {
            cp = b & 0x0F;
            more = 2;
        } else if ((b & 0xF8) == 0xF0) {
            cp = b & 0x07;
            more = 3;
        } else {
            out += '?';
            ++i;
            continue;
        }
        bool ok = i + static_cast<size_t>(more) < text.size();
        for (int k = 1; ok && k <= more; ++k) {
            uint8_t c = static_cast<uint8_t>(text[i + k]);
            if ((c & 0xC0) != 0x80)
                ok = false;
            else
                cp = (cp << 6) | (c & 0x3F);
        }
        if (!ok) {
            out += '?';
            ++i;
            continue;
        }
        i += 1 + more;
        int mapped = UnicodeToCp1251(cp);
        out += mapped < 0 ? '?' : static_cast<char>(mapped);
    }
    return out;
}
