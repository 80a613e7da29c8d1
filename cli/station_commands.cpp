// A whole station on the command line: save every controller of the line into
// a folder, compare the line with such a folder, and load it back.
#include "block_fields.h"
#include "cli.h"
#include "cli_command.h"
#include "hex_text.h"
#include "image_core.h"
#include "image_files.h"
#include "json_out.h"
#include "station.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>

namespace cli {

namespace {

const char* const kStationHelp =
    "usage: startzel-cli station save DIR [--json]\n"
    "       startzel-cli station compare DIR [--json]\n"
    "       startzel-cli station load DIR [--only XX,YY] [--yes] [--keep-going] [--allow-no-snapshot] "
    "[--json]\n"
    "\n"
    "station save DIR      searches the line (addresses 1 to 31), saves every controller found into\n"
    "                      DIR/ctrl-XX.bin (XX: the address in hex) and writes DIR/station.json (address,\n"
    "                      device type, identification text, sizes, time, program version). One line per\n"
    "                      controller. Exit status 1 when a controller found could not be saved (the\n"
    "                      others are kept).\n"
    "station compare DIR   each controller of DIR/station.json against its file, field by field, and the\n"
    "                      controllers found that the manifest lacks or missing from the line. Exit status\n"
    "                      0 when all are equal, 1 on any difference, 2 on trouble.\n"
    "station load DIR      writes each image of the manifest into its controller as image load does (a\n"
    "                      snapshot first). Asks once on a terminal (--yes otherwise), stops at the first\n"
    "                      failure unless --keep-going, and ends with a table of what was done.\n"
    "                      --only XX,YY loads only those addresses (hex).\n"
    "--json                the result as one JSON document.\n";

constexpr int kEqual = 0, kDifferent = 1, kTrouble = 2;

// --only XX,YY: the addresses (hex), or false when one is not an address.
bool ParseOnly(const std::string& text, std::vector<int>& out) {
    std::stringstream in(text);
    std::string part;
    while (std::getline(in, part, ',')) {
        uint32_t a = 0;
        if (!ParseHexNumber(part, a) || a < station::kFirstAddress || a > 0xFF) return false;
        out.push_back(static_cast<int>(a));
    }
    return !out.empty();
}

int CheckStation(const Options& o, Io& io) {
    const std::string& sub = o.args[0];
    if (sub != "save" && sub != "compare" && sub != "load")
        return Say(io.err, "station takes save, compare or load, not \"" + sub + "\" (see station --help)",
                   kCliUsage);
    if (o.args.size() != 2) {
        io.err << "startzel-cli: wrong arguments for station " << sub << "\n" << kStationHelp;
        return kCliUsage;
    }
    for (const auto& [flag, value] : o.flags) {
        const bool fits = flag == "--json" || sub == "load";
        if (!fits)
            return Say(io.err, flag + " does not apply to station " + sub + " (see station --help)",
                       kCliUsage);
    }
    std::vector<int> only;
    if (auto v = o.value("--only"); v && !ParseOnly(*v, only))
        return Say(io.err, "--only takes controller addresses in hex separated by commas, such as 05,0A",
                   kCliUsage);
    if (o.demo || !o.image.empty())
        return Say(io.err, "station works on the controllers of a line (not --demo or --image)", kCliUsage);
    return kCliOk;
}

// Draws "ctrl-05: NN%" on a terminal's standard error.
void Progress(Io& io, int address, long bytes, long total) {
    if (!io.errIsTerminal || total <= 0) return;
    io.err << "\r" << station::FileName(address).substr(0, 7) << ": " << std::min(100L, bytes * 100 / total)
           << "%" << std::flush;
}

Json EntryJson(const station::Entry& e) {
    Json sizes = Json::array();
    for (int8_t s : e.sizes)
        sizes.push_back(s);
    Json j{{"address", e.address}, {"file", e.file}, {"deviceType", e.deviceType},
           {"ident", e.ident},     {"sizes", sizes}, {"saved", e.saved},
           {"bytes", e.bytes}};
    if (!e.saved) j["failure"] = e.failure;
    return j;
}

int SaveStation(const Options& o, Session& s, Io& io) {
    const std::string& dir = o.args[1];
    const bool asJson = WantsJson(o);
    const std::vector<station::Found> found = station::Search(s.handle(), [&](int a, bool ok) {
        if (io.errIsTerminal)
            io.err << "\rsearching: " << a << " / " << station::kLastAddress << (ok ? " +" : "  ")
                   << std::flush;
    });
    if (io.errIsTerminal) io.err << "\r" << std::string(30, ' ') << "\r" << std::flush;
    if (!asJson) {
        io.out << found.size() << " controller(s) found on " << s.portName() << "\n";
        io.out.flush();
    }
    const station::SaveResult r = station::Save(
        s.handle(), dir, found, ZEL_VERSION, s.portName(),
        [&](int a, long bytes) { Progress(io, a, bytes, 2000); },
        [&](const station::Entry& e) {
            if (io.errIsTerminal) io.err << "\r" << std::string(20, ' ') << "\r" << std::flush;
            if (asJson) return;
            io.out << e.file.substr(0, 7) << ": "
                   << (e.saved ? "saved to " + dir + "/" + e.file + " (" + std::to_string(e.bytes) + " bytes)"
                               : "not saved: " + e.failure)
                   << "\n";
            io.out.flush();
        });
    if (asJson) {
        Json list = Json::array();
        for (const station::Entry& e : r.manifest.controllers)
            list.push_back(EntryJson(e));
        PrintJson(io.out, Json{{"folder", dir},
                               {"manifest", r.manifestError.empty()},
                               {"failed", r.failed},
                               {"controllers", list}});
    } else if (r.manifestError.empty()) {
        io.out << "manifest: " << dir << "/" << station::kManifestName << "\n";
    }
    if (!r.manifestError.empty()) return Say(io.err, r.manifestError, kCliFailed);
    if (r.failed > 0)
        return Say(io.err,
                   std::to_string(r.failed) + " of " + std::to_string(found.size()) +
                       " controller(s) could not be saved",
                   kCliFailed);
    return kCliOk;
}

bool ReadImageFileBytes(const std::string& path, std::vector<uint8_t>& bytes) {
    const image::ImageFile f = image::ReadImageFile(path);
    if (f.check != image::FileCheck::Ok) return false;
    bytes = f.bytes;
    return true;
}

int CompareStation(const Options& o, Session& s, Io& io) {
    const std::string& dir = o.args[1];
    station::Manifest m;
    std::string why;
    if (!station::ReadManifest(dir, m, why)) return Say(io.err, why, kTrouble);
    const bool asJson = WantsJson(o);
    const std::vector<station::Found> found = station::Search(s.handle());
    int status = kEqual;
    Json list = Json::array();
    auto isFound = [&](int a) {
        for (const station::Found& f : found)
            if (f.address == a) return true;
        return false;
    };
    for (const station::Entry& e : m.controllers) {
        const std::string name = e.file.substr(0, 7);
        Json one{{"address", e.address}, {"file", e.file}};
        std::vector<uint8_t> file, now;
        if (!e.saved) {
            one["state"] = "not saved";
            if (!asJson) io.out << name << ": was not saved (" << e.failure << ")\n";
        } else if (!ReadImageFileBytes(dir + "/" + e.file, file)) {
            one["state"] = "trouble";
            status = kTrouble;
            io.err << "startzel-cli: " << dir << "/" << e.file << " cannot be read as a controller image\n";
        } else if (!isFound(e.address)) {
            one["state"] = "missing";
            status = std::max(status, kDifferent);
            if (!asJson) io.out << name << ": not found on the line\n";
        } else if (image::ReadImage(s.handle(), e.address, now) != 1) {
            one["state"] = "trouble";
            status = kTrouble;
            io.err << "startzel-cli: controller " << HexByte(e.address) << " could not be read whole\n";
        } else {
            const std::vector<image::Difference> diffs = image::DiffImages(file, now);
            Json d = Json::array();
            for (const image::Difference& x : diffs) {
                d.push_back({{"block", x.block}, {"field", x.field}, {"old", x.before}, {"new", x.after}});
                if (!asJson) io.out << name << ": " << image::DifferenceLine(x) << "\n";
            }
            one["state"] = diffs.empty() ? "equal" : "different";
            one["differences"] = d;
            if (!diffs.empty()) status = std::max(status, kDifferent);
            if (!asJson && diffs.empty()) io.out << name << ": equal\n";
        }
        list.push_back(one);
        io.out.flush();
    }
    for (const station::Found& f : found) {
        bool listed = false;
        for (const station::Entry& e : m.controllers)
            listed = listed || e.address == f.address;
        if (listed) continue;
        status = std::max(status, kDifferent);
        list.push_back({{"address", f.address}, {"file", nullptr}, {"state", "not in the manifest"}});
        if (!asJson)
            io.out << station::FileName(f.address).substr(0, 7) << ": on the line, not in the manifest\n";
    }
    if (asJson) PrintJson(io.out, Json{{"folder", dir}, {"equal", status == kEqual}, {"controllers", list}});
    return status;
}

int LoadStation(const Options& o, Io& io) {
    const std::string& dir = o.args[1];
    station::Manifest m;
    std::string why;
    if (!station::ReadManifest(dir, m, why)) return Say(io.err, why, kCliFailed);
    std::vector<int> only;
    if (auto v = o.value("--only")) ParseOnly(*v, only);
    std::vector<station::Entry> todo;
    for (const station::Entry& e : m.controllers)
        if (only.empty() || std::find(only.begin(), only.end(), e.address) != only.end()) todo.push_back(e);
    for (int a : only) {
        bool listed = false;
        for (const station::Entry& e : m.controllers)
            listed = listed || e.address == a;
        if (!listed)
            return Say(io.err,
                       "controller " + HexByte(a) + " is not in " + dir + "/" + station::kManifestName,
                       kCliFailed);
    }
    if (todo.empty())
        return Say(io.err, dir + "/" + station::kManifestName + " lists no controller", kCliFailed);
    std::string who;
    for (const station::Entry& e : todo)
        who += (who.empty() ? "" : ", ") + HexByte(e.address);
    Options asking = o;
    asking.command = "station load";
    if (!Confirm(asking, io,
                 "Write " + std::to_string(todo.size()) + " image(s) from " + dir + " into controller(s) " +
                     who + "? Their content is replaced."))
        return Say(io.err, "nothing written", kCliFailed);

    const bool asJson = WantsJson(o);
    const Command* image = nullptr;
    for (const Command& c : Commands())
        if (std::string(c.name) == "image") image = &c;
    struct Done {
        int address;
        std::string state;
    };
    std::vector<Done> table;
    bool failed = false;
    for (const station::Entry& e : todo) {
        if (failed && !o.has("--keep-going")) {
            table.push_back({e.address, "skipped"});
            continue;
        }
        if (!e.saved) {
            table.push_back({e.address, "skipped (not saved)"});
            continue;
        }
        // The load of one controller is image load's, snapshot and all.
        Options one = o;
        one.command = "image";
        one.args = {"load", dir + "/" + e.file};
        one.addr = static_cast<uint32_t>(e.address);
        one.addrGiven = true;
        one.flags.clear();
        one.flags["--yes"] = "";
        if (o.has("--allow-no-snapshot")) one.flags["--allow-no-snapshot"] = "";
        if (auto v = o.value("--password-file")) one.flags["--password-file"] = *v;
        std::ostringstream out;
        Io quiet{asJson ? static_cast<std::ostream&>(out) : io.out,
                 io.err,
                 nullptr,
                 false,
                 io.errIsTerminal,
                 false};
        Session unused;
        const int r = image->run(one, unused, quiet);
        table.push_back({e.address, r == kCliOk ? "written" : "failed"});
        if (r != kCliOk) failed = true;
    }
    if (asJson) {
        Json list = Json::array();
        for (const Done& d : table)
            list.push_back(
                {{"address", d.address}, {"file", station::FileName(d.address)}, {"state", d.state}});
        PrintJson(io.out, Json{{"folder", dir}, {"ok", !failed}, {"controllers", list}});
    } else {
        io.out << "\ncontroller  result\n";
        for (const Done& d : table)
            io.out << "    " << HexByte(d.address) << "      " << d.state << "\n";
    }
    return failed ? kCliFailed : kCliOk;
}

int RunStation(const Options& o, Session&, Io& io) {
    const std::string& sub = o.args[0];
    if (sub == "load") return LoadStation(o, io);
    Session s;
    if (!s.open(o, io.err)) return sub == "compare" ? kTrouble : kCliFailed;
    return sub == "save" ? SaveStation(o, s, io) : CompareStation(o, s, io);
}

} // namespace

std::vector<Command> StationCommands() {
    return {
        {"station",
         "station save|compare|load DIR   every controller of the line into a folder, against it, back",
         kStationHelp,
         Needs::Nothing,
         2,
         2,
         {kJsonFlag,
          {"--only", true},
          {"--yes", false},
          {"--keep-going", false},
          {"--allow-no-snapshot", false},
          kPasswordFileFlag},
         CheckStation,
         RunStation},
    };
}

} // namespace cli
