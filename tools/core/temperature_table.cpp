#include "temperature_table.h"

#include "block_transfer.h"
#include "hex_text.h"
#include "little_endian.h"
#include "memory_map.h"
#include "write_journal.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace tools {

static_assert(2 * kTableEntries == kLenTemperatureTable);

const char* const kTableHeader[3] = {"Температура (T) ['C]", "Сопротивление (Rt) [KOм]",
                                     "Показание ацп (A) [Hex] "};

RecalcResult RecalculateTable(double rn, double b, double tn) {
    RecalcResult r;
    const double tnKelvin = tn + static_cast<double>(kTableZeroKelvin);
    if (!(tnKelvin > 0.0)) {
        r.status = Recalc::BadTemperature;
        return r;
    }
    for (int i = 0; i < kTableEntries; ++i) {
        const int t = EntryDegrees(i) + kTableZeroKelvin; // whole kelvins
        const double rt = rn * std::exp(b * (1.0 / t - 1.0 / tnKelvin));
        const double a = rn / (rt + rn) * 1024.0;
        // Rn = 0 gives 0/0; a B large enough overflows exp. Neither may reach the table.
        if (!std::isfinite(rt) || !std::isfinite(a) || std::fabs(a) >= 2147483648.0) {
            r.status = Recalc::NotFinite;
            r.rows = {};
            r.table = {};
            return r;
        }
        const int whole = static_cast<int>(a); // toward zero
        r.rows[static_cast<size_t>(i)] = {rt, static_cast<uint16_t>(whole & 0xFFFF)};
        r.table[static_cast<size_t>(i)] = static_cast<uint16_t>(whole & 0xFFFF);
    }
    return r;
}

std::optional<double> ParseParameter(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty() || text.size() > 64) return std::nullopt;
    std::string s(text);
    for (char& c : s) {
        if (c == ',')
            c = '.';
        else if (!(c >= '0' && c <= '9') && c != '.' && c != '-' && c != 'e' && c != 'E')
            return std::nullopt; // no "inf", "nan" or hex forms
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::general);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::string DegreesText(int i) {
    return std::to_string(EntryDegrees(i));
}

std::string ResistanceText(double rt) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, rt, std::chars_format::general, 15);
    if (ec != std::errc()) return {};
    std::string s(buf, end);
    for (char& c : s)
        if (c == '.') c = ',';
    return s;
}

std::string ReadingText(uint16_t entry) {
    // A negative reading shows as its 32-bit two's complement.
    return HexNumber(static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(entry))));
}

std::array<uint8_t, 2 * kTableEntries> TableBytes(const TemperatureTable& table) {
    std::array<uint8_t, 2 * kTableEntries> bytes{};
    for (int i = 0; i < kTableEntries; ++i)
        PutU16(bytes.data(), 2 * i, table[static_cast<size_t>(i)]);
    return bytes;
}

TemperatureTable TableFromBytes(const uint8_t* bytes) {
    TemperatureTable table{};
    for (int i = 0; i < kTableEntries; ++i)
        table[static_cast<size_t>(i)] = GetU16(bytes, 2 * i);
    return table;
}

int ReadTemperatureTable(int port, int ctrl, TemperatureTable& table) {
    uint8_t bytes[kLenTemperatureTable] = {};
    const int r = ReadBlock(port, ctrl, kAddrTemperatureTable, kLenTemperatureTable, bytes, kBoardMain);
    if (r != kLenTemperatureTable) return r < 0 ? r : -1;
    table = TableFromBytes(bytes);
    return 1;
}

int WriteTemperatureTable(int port, int ctrl, const TemperatureTable& table) {
    const auto bytes = TableBytes(table);
    // The table is in no controller image and no snapshot: the journal keeps
    // the one this write replaces, read just before.
    uint8_t old[kLenTemperatureTable] = {};
    journal::KnownContent before;
    if (ReadBlock(port, ctrl, kAddrTemperatureTable, kLenTemperatureTable, old, kBoardMain) ==
        kLenTemperatureTable)
        before.add(kBoardMain, kAddrTemperatureTable, old, kLenTemperatureTable);
    return WriteBlock(port, ctrl, kAddrTemperatureTable, kLenTemperatureTable, bytes.data(), kBoardMain);
}

namespace {

const fields::Field kTemperatureTbl[] = {
    {.name = "sgTblT", .hint = "Температурная таблица"},
    {.name = "bRecalcTblT", .hint = "Пересчитать таблицу используя собственные данные"},
    {.name = "bReadTblT", .hint = "Загрузить таблицу температур из устройства"},
    {.name = "bWriteTblT", .hint = "Записать таблицу температур в устройство"},
};

} // namespace

fields::Table TemperatureTblFields() {
    return kTemperatureTbl;
}

} // namespace tools
