// The temperature table: read it from the controller, compute one from the
// thermistor's parameters, and write a computed one.
#include "cli.h"
#include "cli_command.h"
#include "hex_text.h"
#include "temperature_table.h"

#include <ostream>

namespace cli {

namespace {

using namespace tools;

// The table as the tab's grid shows it: the header row, then a row for each
// temperature, the cells separated by tabs.
void PrintTable(std::ostream& out, const TemperatureTable& table, const RecalcResult* computed) {
    out << kTableHeader[0] << "\t" << kTableHeader[1] << "\t" << kTableHeader[2] << "\n";
    for (int i = 0; i < kTableEntries; ++i) {
        const auto k = static_cast<size_t>(i);
        out << DegreesText(i) << "\t" << (computed ? ResistanceText(computed->rows[k].rt) : kNoResistance)
            << "\t" << ReadingText(table[k]) << "\n";
    }
}

const char* const kUsage =
    "usage: startzel-cli temp-table read | compute RN B TN | write RN B TN [--yes] [--no-verify]";

int Check(const Options& o, Io& io) {
    const std::string& verb = o.args[0];
    const size_t want = verb == "read" ? 1 : (verb == "compute" || verb == "write") ? 4 : 0;
    if (want == 0 || o.args.size() != want) return Say(io.err, kUsage, kCliUsage);
    if (o.has("--yes") && verb != "write")
        return Say(io.err, "--yes applies to temp-table write only", kCliUsage);
    if (o.has("--no-verify") && verb != "write")
        return Say(io.err, "--no-verify applies to temp-table write only", kCliUsage);
    // Like the tab: the table is read from and written to a real controller only.
    if (verb != "compute" && o.demo) {
        io.err << "startzel-cli: temp-table " << verb
               << " needs a controller on a line; demo mode has no temperature table\n";
        return kCliFailed;
    }
    if (want == 1) return kCliOk;
    const char* names[3] = {"RN", "B", "TN"};
    double v[3] = {};
    for (size_t k = 0; k < 3; ++k) {
        const auto p = ParseParameter(o.args[k + 1]);
        if (!p)
            return Say(io.err,
                       std::string(names[k]) + " must be a number (\"10\", \"4,7\" or \"4.7\"), not \"" +
                           o.args[k + 1] + "\"",
                       kCliUsage);
        v[k] = *p;
    }
    const RecalcResult r = RecalculateTable(v[0], v[1], v[2]);
    if (r.status == Recalc::BadTemperature) return Say(io.err, "TN must be above -273 °C", kCliUsage);
    if (r.status == Recalc::NotFinite)
        return Say(io.err, "these parameters give no finite resistance or reading (RN 0, or B far too large)",
                   kCliUsage);
    return kCliOk;
}

RecalcResult Compute(const Options& o) {
    return RecalculateTable(*ParseParameter(o.args[1]), *ParseParameter(o.args[2]),
                            *ParseParameter(o.args[3]));
}

int RunRead(const Options& o, Session& s, Io& io) {
    if (!s.open(o, io.err)) return kCliFailed;
    TemperatureTable table{};
    const int r = ReadTemperatureTable(s.handle(), s.ctrl(), table);
    if (r != 1) return Fail(io.err, "the temperature table could not be read", r);
    PrintTable(io.out, table, nullptr);
    return kCliOk;
}

int RunCompute(const Options& o, Session&, Io& io) {
    const RecalcResult r = Compute(o);
    PrintTable(io.out, r.table, &r);
    return kCliOk;
}

int RunWrite(const Options& o, Session& s, Io& io) {
    const RecalcResult r = Compute(o);
    if (!s.open(o, io.err)) return kCliFailed;
    const std::string question = "Write the computed temperature table to controller " +
                                 HexByte(static_cast<unsigned>(s.ctrl())) + "?";
    if (!Confirm(o, io, question)) return Say(io.err, "nothing written", kCliFailed);
    if (PasswordStep(o, s, io, false) != kCliOk) return kCliFailed;
    const int w = WriteTemperatureTable(s.handle(), s.ctrl(), r.table);
    if (w != 1) return Fail(io.err, "the temperature table was not written (refused or no answer)", w);
    // A controller can acknowledge a write it did not keep: the table is read back.
    if (!o.has("--no-verify")) {
        TemperatureTable held{};
        const int v = ReadTemperatureTable(s.handle(), s.ctrl(), held);
        if (v != 1)
            return Fail(io.err,
                        "the controller acknowledged the table, but reading it back failed; what it holds "
                        "is not known (the write was not verified)",
                        v);
        if (held != r.table) {
            int n = 0;
            for (int i = 0; i < kTableEntries; ++i)
                n += held[static_cast<size_t>(i)] != r.table[static_cast<size_t>(i)];
            return Fail(io.err,
                        "the controller acknowledged the table but holds other readings in " +
                            std::to_string(n) + " of " + std::to_string(kTableEntries) +
                            " rows (the write was not kept)",
                        -1);
        }
    }
    PrintTable(io.out, r.table, &r);
    return kCliOk;
}

// The verb decides whether a line is needed: compute works without one.
int Run(const Options& o, Session& s, Io& io) {
    if (o.args[0] == "read") return RunRead(o, s, io);
    if (o.args[0] == "compute") return RunCompute(o, s, io);
    return RunWrite(o, s, io);
}

} // namespace

std::vector<Command> TempTableCommands() {
    return {
        {"temp-table",
         "temp-table read|compute RN B TN|write RN B TN   the temperature table (39 readings, -50..102 °C)",
         "usage: startzel-cli [--addr HEX] temp-table read\n"
         "       startzel-cli temp-table compute RN B TN\n"
         "       startzel-cli [--addr HEX] temp-table write RN B TN [--yes] [--no-verify]\n"
         "read     prints the table at 5000 of the controller (no resistances: \"---\")\n"
         "compute  prints the table of a thermistor of RN kilo-ohms at TN °C with constant B:\n"
         "         Rt = Rn*exp[B(1/T - 1/Tn)], A = Rn/(Rt + Rn) * 1024, T = t + 273\n"
         "write    computes the table and writes it to the controller (asks first; --yes when\n"
         "         standard input is not a terminal), reads it back (--no-verify skips that:\n"
         "         a table acknowledged but not kept fails the command), then prints it\n"
         "RN and TN take a decimal comma or full stop. Rows: temperature, resistance, reading\n"
         "(hex), separated by tabs.\n",
         Needs::Nothing,
         1,
         4,
         {{"--yes", false}, kPasswordFileFlag, {"--no-verify", false}},
         Check,
         Run},
    };
}

} // namespace cli
