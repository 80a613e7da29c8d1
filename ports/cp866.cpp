#include "cp866.h"

#include <cstdint>

namespace {

// Cyrillic code point -> CP866 byte, 0 when the letter has none.
unsigned char CyrillicToCp866(uint32_t cp) {
    if (cp >= 0x0410 && cp <= 0x042F) return static_cast<unsigned char>(0x80 + (cp - 0x0410)); // А..Я
    if (cp >= 0x0430 && cp <= 0x043F) return static_cast<unsigned char>(0xA0 + (cp - 0x0430)); // а..п
    if (cp >= 0x0440 && cp <= 0x044F) return static_cast<unsigned char>(0xE0 + (cp - 0x0440)); // р..я
    if (cp == 0x0401) return 0xF0;                                                             // Ё
    if (cp == 0x0451) return 0xF1;                                                             // ё
    return 0;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else {
        // every letter mapped here lies below U+0800: two bytes
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

} // namespace

std::string Utf8ToCp866(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
            ++i;
            continue;
        }
        int extra;
        uint32_t cp;
        if ((b & 0xE0) == 0xC0) {
            extra = 1;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            cp = b & 0x07;
        } else {
            out.push_back('?'); // stray continuation byte or invalid lead byte
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= utf8.size() || (static_cast<unsigned char>(utf8[j]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[j]) & 0x3F);
        }
        // a truncated sequence gives one '?' and resumes at the byte that broke it
        i = j;
        const unsigned char c = ok ? CyrillicToCp866(cp) : 0;
        out.push_back(c ? static_cast<char>(c) : '?');
    }
    return out;
}

std::string Cp866ToUtf8(std::string_view cp866) {
    std::string out;
    out.reserve(cp866.size() * 2);
    for (char ch : cp866) {
        const auto b = static_cast<unsigned char>(ch);
        if (b < 0x80)
            AppendUtf8(out, b);
        else if (b <= 0x9F)
            AppendUtf8(out, 0x0410 + (b - 0x80));
        else if (b <= 0xAF)
            AppendUtf8(out, 0x0430 + (b - 0xA0));
        else if (b >= 0xE0 && b <= 0xEF)
            AppendUtf8(out, 0x0440 + (b - 0xE0));
        else if (b == 0xF0)
            AppendUtf8(out, 0x0401);
        else if (b == 0xF1)
            AppendUtf8(out, 0x0451);
        else
            out.push_back('?');
    }
    return out;
}
