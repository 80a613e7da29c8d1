#include "dump_core.h"

#include "block_transfer.h"
#include "hex_text.h"
#include "memory_map.h"

#include <cstdio>

namespace tools {

namespace {

int HexDigitValue(char16_t c) {
    return c < 0x80 ? ::HexDigitValue(static_cast<char>(c)) : -1;
}

char16_t HexDigit(int v) {
    return static_cast<char16_t>("0123456789ABCDEF"[v & 0xF]);
}

// Code page 866 as the OEM font draws it.
constexpr char16_t kLow[32] = {
    u' ',      u'\u263A', u'\u263B', u'\u2665', u'\u2666', u'\u2663', u'\u2660', u'\u2022',
    u'\u25D8', u'\u25CB', u'\u25D9', u'\u2642', u'\u2640', u'\u266A', u'\u266B', u'\u263C',
    u'\u25BA', u'\u25C4', u'\u2195', u'\u203C', u'\u00B6', u'\u00A7', u'\u25AC', u'\u21A8',
    u'\u2191', u'\u2193', u'\u2192', u'\u2190', u'\u221F', u'\u2194', u'\u25B2', u'\u25BC',
};
constexpr char16_t kBoxes[48] = {
    u'\u2591', u'\u2592', u'\u2593', u'\u2502', u'\u2524', u'\u2561', u'\u2562', u'\u2556',
    u'\u2555', u'\u2563', u'\u2551', u'\u2557', u'\u255D', u'\u255C', u'\u255B', u'\u2510',
    u'\u2514', u'\u2534', u'\u252C', u'\u251C', u'\u2500', u'\u253C', u'\u255E', u'\u255F',
    u'\u255A', u'\u2554', u'\u2569', u'\u2566', u'\u2560', u'\u2550', u'\u256C', u'\u2567',
    u'\u2568', u'\u2564', u'\u2565', u'\u2559', u'\u2558', u'\u2552', u'\u2553', u'\u256B',
    u'\u256A', u'\u2518', u'\u250C', u'\u2588', u'\u2584', u'\u258C', u'\u2590', u'\u2580',
};
constexpr char16_t kHigh[16] = {
    u'\u0401', u'\u0451', u'\u0404', u'\u0454', u'\u0407', u'\u0457', u'\u040E', u'\u045E',
    u'\u00B0', u'\u2219', u'\u00B7', u'\u221A', u'\u2116', u'\u00A4', u'\u25A0', u'\u00A0',
};

bool IsDigitColumn(int column) {
    return column >= 1 && column <= kDumpLastSpacer && column % 3 != 0;
}

} // namespace

const char* AreaName(DumpArea area) {
    switch (area) {
    case DumpArea::IR:
        return "IR";
    case DumpArea::IM:
        return "IM";
    case DumpArea::ER:
        break;
    }
    return "ER";
}

std::optional<DumpArea> AreaByName(std::string_view name) {
    if (name.size() != 2) return std::nullopt;
    const char a = static_cast<char>(name[0] & ~0x20), b = static_cast<char>(name[1] & ~0x20);
    if (a == 'E' && b == 'R') return DumpArea::ER;
    if (a == 'I' && b == 'R') return DumpArea::IR;
    if (a == 'I' && b == 'M') return DumpArea::IM;
    return std::nullopt;
}

bool DumpTextValid(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text)
        if (HexDigitValue(static_cast<unsigned char>(c)) < 0) return false;
    return true;
}

std::optional<uint32_t> DumpHexValue(std::string_view text) {
    uint32_t v = 0;
    if (!ParseHexDigits(text, v)) return std::nullopt;
    return v;
}

uint32_t DumpCountLimit(uint32_t address) {
    if (address > kDumpMaxAddress) return 0;
    return 0x10000u - (address & 0xFFFFu);
}

std::string CountTooLargeText(std::optional<uint32_t> address, std::string_view countText) {
    const uint32_t limit = address ? DumpCountLimit(*address) : 0x10000u;
    char tail[160];
    if (address)
        std::snprintf(tail, sizeof tail, ". От адреса %X до конца банка памяти не более %Xh (%u) байт",
                      *address, limit, limit);
    else
        std::snprintf(tail, sizeof tail, ". Банк памяти вмещает не более %Xh (%u) байт", limit, limit);
    return "Слишком большое количество байт: " + std::string(countText) + tail;
}

std::string AddressTooLargeText() {
    return "Адрес вне памяти контроллера: не более FFFFFF";
}

char16_t OemChar(uint8_t b) {
    if (b < 0x20) return kLow[b];
    if (b < 0x7F) return static_cast<char16_t>(b);
    if (b == 0x7F) return u'\u2302';
    if (b < 0xB0) return static_cast<char16_t>(0x0410 + (b - 0x80)); // А-Я, а-п
    if (b < 0xE0) return kBoxes[b - 0xB0];
    if (b < 0xF0) return static_cast<char16_t>(0x0440 + (b - 0xE0)); // р-я
    return kHigh[b - 0xF0];
}

std::string ReadOkText(DumpArea area) {
    return std::string("Чтение(") + AreaName(area) + ") прошло успешно.";
}

std::string ReadFailedText(DumpArea area) {
    return std::string("Ошибка чтения ") + AreaName(area);
}

std::string WriteOkText(DumpArea area) {
    return std::string("Запись(") + AreaName(area) + ") прошла успешно.";
}

const char* const kWriteFailedText = "Ошибка записи";

int ReadDump(int port, int ctrl, DumpArea area, uint32_t address, uint32_t count,
             std::vector<uint8_t>& bytes) {
    if (count == 0 || count > DumpCountLimit(address)) return -1;
    std::vector<uint8_t> buf(count);
    const int n = static_cast<int>(count);
    const int r = ReadBlock(port, ctrl, address, n, buf.data(), static_cast<int>(area));
    if (r != n) return r < 0 ? r : -1;
    bytes = std::move(buf);
    return 1;
}

int WriteDump(int port, int ctrl, DumpArea area, uint32_t address, const std::vector<uint8_t>& bytes) {
    if (bytes.size() > DumpCountLimit(address)) return -1;
    return WriteBlock(port, ctrl, address, static_cast<int>(bytes.size()), bytes.data(),
                      static_cast<int>(area));
}

std::vector<uint8_t> DemoDumpBytes(uint32_t count, std::mt19937& random) {
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random() % 255);
    return bytes;
}

// ---- the sheet --------------------------------------------------------------

void DumpSheet::show(uint32_t address, DumpArea area, std::vector<uint8_t> bytes) {
    address_ = address;
    area_ = area;
    bytes_ = std::move(bytes);
    editing_ = false;
    savedColumn_ = 1;
    savedRow_ = 0;
    savedText_.clear();
    const size_t n = bytes_.size();
    const size_t rowCount = (n + kDumpBytesPerRow - 1) / kDumpBytesPerRow;
    cells_.assign(rowCount * kDumpColumns, std::u16string());
    for (size_t r = 0; r < rowCount; ++r) {
        const size_t o = r * kDumpBytesPerRow;
        const size_t m = std::min<size_t>(kDumpBytesPerRow, n - o);
        char head[16];
        std::snprintf(head, sizeof head, "%08x", static_cast<unsigned>(address + o));
        std::u16string& first = at(0, static_cast<int>(r));
        for (const char* p = head; *p; ++p)
            first.push_back(static_cast<char16_t>(*p));
        std::u16string chars;
        for (size_t k = 0; k < m; ++k) {
            const uint8_t b = bytes_[o + k];
            at(static_cast<int>(3 * k + 1), static_cast<int>(r)) = std::u16string(1, HexDigit(b >> 4));
            at(static_cast<int>(3 * k + 2), static_cast<int>(r)) = std::u16string(1, HexDigit(b));
            chars.push_back(OemChar(b));
        }
        at(kDumpCharColumn, static_cast<int>(r)) = std::move(chars);
    }
}

std::u16string& DumpSheet::at(int column, int row) {
    return cells_[static_cast<size_t>(row) * kDumpColumns + static_cast<size_t>(column)];
}

const std::u16string& DumpSheet::cell(int column, int row) const {
    static const std::u16string none;
    if (column < 0 || column >= kDumpColumns || row < 0 || row >= rows()) return none;
    return cells_[static_cast<size_t>(row) * kDumpColumns + static_cast<size_t>(column)];
}

bool DumpSheet::select(int column, int row) {
    // The address column is fixed, like the last spacer and the characters.
    if (column < 1 || column >= kDumpLastSpacer || row < 0 || row >= rows()) return false;
    editing_ = !cell(column, row).empty();
    if (savedRow_ < rows() && cell(savedColumn_, savedRow_).size() != 1) {
        at(savedColumn_, savedRow_) = savedText_;
        if (IsDigitColumn(savedColumn_) && !savedText_.empty()) rebuild(savedColumn_, savedRow_);
    }
    savedColumn_ = column;
    savedRow_ = row;
    savedText_ = cell(column, row);
    return true;
}

std::string DumpSheet::pointerText(int row) const {
    const int n = rows();
    if (n < 2) return "100%";
    return std::to_string(static_cast<long long>(row) * 100 / (n - 1)) + "%";
}

std::optional<std::u16string> DumpSheet::editText(int column, int row, std::u16string_view text) {
    if (!editing_ || column != savedColumn_ || row != savedRow_ || !IsDigitColumn(column))
        return std::nullopt;
    if (text.size() <= 1 && (text.empty() || HexDigitValue(text[0]) >= 0)) {
        at(column, row) = std::u16string(text);
        if (!text.empty()) rebuild(column, row);
    } else {
        at(column, row) = savedText_;
        if (!savedText_.empty()) rebuild(column, row);
    }
    return cell(column, row);
}

bool DumpSheet::enter(int column, int row) {
    if (!editing_ || !IsDigitColumn(column) || row < 0 || row >= rows()) return false;
    rebuild(column, row);
    return true;
}

void DumpSheet::rebuild(int column, int row) {
    const bool high = (column + 1) % 3 != 0;
    const int base = high ? column - 1 : column - 2;
    const std::u16string pair = cell(base + 1, row) + cell(base + 2, row);
    // Up to two leading hex digits; no digit at all gives 0.
    int value = 0;
    for (size_t i = 0; i < pair.size() && i < 2; ++i) {
        const int d = HexDigitValue(pair[i]);
        if (d < 0) break;
        value = value * 16 + d;
    }
    const size_t k = static_cast<size_t>(base / 3);
    const size_t index = static_cast<size_t>(row) * kDumpBytesPerRow + k;
    if (index >= bytes_.size()) return;
    bytes_[index] = static_cast<uint8_t>(value);
    std::u16string& chars = at(kDumpCharColumn, row);
    if (k < chars.size()) chars[k] = OemChar(static_cast<uint8_t>(value));
}

} // namespace tools
