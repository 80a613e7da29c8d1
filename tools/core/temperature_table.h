// The temperature table of the controller: 39 converter readings at 0x5000,
// one for every 4 °C from -50 to 102 °C. The controller looks the reading of
// its thermistor divider up in it. Here: the table computed from the
// thermistor's datasheet parameters, its text as the tab shows it, and the
// read and write of the block.
#pragma once

#include "field_table.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tools {

constexpr int kTableEntries = 39;
constexpr int kTableFirstDegrees = -50;
constexpr int kTableStepDegrees = 4;
// Zero Celsius on the table's own scale (whole kelvins, as the controller's table was always built).
constexpr int kTableZeroKelvin = 273;

using TemperatureTable = std::array<uint16_t, kTableEntries>;

// The temperature of entry i (0..38) in °C.
constexpr int EntryDegrees(int i) {
    return kTableFirstDegrees + kTableStepDegrees * i;
}

// The header row of the grid: temperature, resistance, converter reading.
extern const char* const kTableHeader[3];

// A computed row: Rt (kilo-ohms) and A (the converter reading).
struct ComputedRow {
    double rt = 0;
    uint16_t a = 0;
};

enum class Recalc {
    Ok,
    BadTemperature, // Tn + 273 is not above zero
    NotFinite,      // the parameters give a resistance or reading that is not a number
};

struct RecalcResult {
    Recalc status = Recalc::Ok;
    std::array<ComputedRow, kTableEntries> rows{};
    TemperatureTable table{}; // the low 16 bits of every A
};

// The table for a thermistor of Rn kilo-ohms at Tn °C with constant B:
// T = t + 273, Rt = Rn exp(B (1/T - 1/(Tn + 273))), A = Rn / (Rt + Rn) x 1024
// truncated toward zero. Nothing is computed unless every row comes out finite.
RecalcResult RecalculateTable(double rn, double b, double tn);

// A parameter box's text as a number: decimal digits with a comma (or a full
// stop) before the fraction, an optional sign and exponent, blanks around it.
// Nothing for text that is not a finite number (an emptied box).
std::optional<double> ParseParameter(std::string_view text);

// The texts of a grid row (i = 0..38): the temperature; the resistance in the
// shortest general form with up to 15 significant digits and a decimal comma
// ("---" for a table read back, which carries no resistances); the reading in
// upper-case hex without leading zeros, taken as a signed 16-bit number
// (0xFFFF shows as FFFFFFFF).
std::string DegreesText(int i);
std::string ResistanceText(double rt);
constexpr const char* kNoResistance = "---";
std::string ReadingText(uint16_t entry);

// The table as the controller keeps it (little-endian entries) and back.
std::array<uint8_t, 2 * kTableEntries> TableBytes(const TemperatureTable& table);
TemperatureTable TableFromBytes(const uint8_t* bytes);

// Reads the 78 bytes at 0x5000 (board 0). 1 with `table` filled; otherwise the
// ReadBlock result (or -1) and `table` untouched.
int ReadTemperatureTable(int port, int ctrl, TemperatureTable& table);
// Writes the table to 0x5000 (board 0), the table it replaces read first for
// the journal. The WriteBlock result (1 = written).
int WriteTemperatureTable(int port, int ctrl, const TemperatureTable& table);

// Hints of the tab's controls.
fields::Table TemperatureTblFields();

} // namespace tools
