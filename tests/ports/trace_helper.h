// Reads port.out back as UTF-8 with every time stamp masked: the stamp changes
// from run to run, its shape "dd.mm.yy (hh:mm:ss:mmm)" does not.
#pragma once

#include <cctype>
#include <fstream>
#include <iterator>
#include <string>

#include "cp866.h"

inline std::string MaskStamps(const std::string& text) {
    static const std::string shape = "99.99.99 (99:99:99:999)";
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        bool match = i + shape.size() <= text.size();
        for (size_t k = 0; match && k < shape.size(); ++k) {
            const char c = text[i + k];
            match = shape[k] == '9' ? std::isdigit(static_cast<unsigned char>(c)) != 0 : c == shape[k];
        }
        if (match) {
            out += "DD.MM.YY (hh:mm:ss:mmm)";
            i += shape.size();
        } else {
            out.push_back(text[i++]);
        }
    }
    return out;
}

inline std::string ReadTrace() {
    std::ifstream f("port.out", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    return MaskStamps(Cp866ToUtf8(raw));
}
