// The commands of the tools: the parameter report and the factory defaults,
// on the same cores as the desktop program's forms.
#include "block_transfer.h"
#include "cli.h"
#include "cli_command.h"
#include "defaults_core.h"
#include "demo_image.h"
#include "file_ops.h"
#include "guarded_write.h"
#include "hex_text.h"
#include "image_files.h"
#include "image_host.h"
#include "protocol_state.h"
#include "report_core.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <ostream>

namespace cli {

namespace {

using namespace tools;

int RunReport(const Options& o, Session& s, Io& io) {
    if (!IdentifyFirst(o, s, io)) return kCliFailed;
    const ReportImage img =
        o.demo ? ReportFromDemoFile(Protocol().demoFileName) : CollectReport(s.handle(), s.ctrl());
    for (const std::string& line : ReportText(img, s.ctrl(), o.has("--extended")))
        io.out << line << "\n";
    if (!img.collected())
        return Say(io.err, "the demo image cannot be reported (see the report text)", kCliFailed);
    if (img.anyShownBlockMissing())
        return Say(io.err, "some blocks could not be read; the report marks them as not read", kCliFailed);
    return kCliOk;
}

// The values of the defaults command's flags, checked before any traffic.
struct DefaultsArgs {
    int type = kNoType;
    long sides = 0, nozzles = 0; // 0: as the type has it
    std::string sideA, sideB;
};

bool ReadDefaultsArgs(const Options& o, DefaultsArgs& a, std::ostream& err) {
    a.type = DefaultTypeFromText(o.args[0]);
    if (a.type == kNoType) {
        Say(err, "TYPE is 0 (Шельф), 1 (Нара), 2 (УЗСГ) or 3 (УНСГ)", kCliUsage);
        return false;
    }
    if (auto v = o.value("--sides"); v && !ParseDecimal(*v, 1, 2, a.sides)) {
        Say(err, "--sides takes 1 or 2", kCliUsage);
        return false;
    }
    if (auto v = o.value("--nozzles"); v && !ParseDecimal(*v, 1, kMaxDefaultNozzles, a.nozzles)) {
        Say(err, "--nozzles takes 1 to 8", kCliUsage);
        return false;
    }
    long addr = 0;
    for (const char* flag : {"--side-a", "--side-b"}) {
        if (auto v = o.value(flag)) {
            if (!ParseDecimal(*v, 1, 255, addr)) {
                Say(err, std::string(flag) + " takes a side address from 1 to 255 (decimal)", kCliUsage);
                return false;
            }
            (flag[7] == 'a' ? a.sideA : a.sideB) = std::to_string(addr);
        }
    }
    return true;
}

int CheckDefaults(const Options& o, Io& io) {
    DefaultsArgs a;
    return ReadDefaultsArgs(o, a, io.err) ? kCliOk : kCliUsage;
}

std::string Counts(const std::vector<int>& items) {
    std::string s;
    for (size_t i = 0; i < items.size(); ++i)
        s += (i ? ", " : "") + std::to_string(items[i]);
    return s;
}

// The form, laid out as the flags ask; false (with the reason) when the type
// does not offer what was asked.
bool LayOut(const DefaultsArgs& a, DefaultsForm& f, std::ostream& err) {
    f.typeChanged(a.type);
    const std::string type = std::to_string(a.type) + " (" + kDefaultTypeNames[a.type] + ")";
    if (a.sides) {
        const auto it = std::find(f.sideItems.begin(), f.sideItems.end(), a.sides);
        if (it == f.sideItems.end()) {
            Say(err, "type " + type + " offers " + Counts(f.sideItems) + " side(s) here", kCliUsage);
            return false;
        }
        f.sideItemChosen(static_cast<int>(it - f.sideItems.begin()));
    }
    if (a.nozzles) {
        const auto it = std::find(f.nozzleItems.begin(), f.nozzleItems.end(), a.nozzles);
        if (it == f.nozzleItems.end()) {
            Say(err,
                "type " + type + " with " + std::to_string(f.sides()) + " side(s) offers " +
                    Counts(f.nozzleItems) + " nozzle(s) per side",
                kCliUsage);
            return false;
        }
        f.nozzleItemChosen(static_cast<int>(it - f.nozzleItems.begin()));
    }
    if (!a.sideB.empty() && f.sides() != 2) {
        Say(err, "--side-b needs two sides", kCliUsage);
        return false;
    }
    if (!a.sideA.empty()) f.sideAddressChanged(0, a.sideA);
    if (!a.sideB.empty()) f.sideAddressChanged(1, a.sideB);
    // The channel addresses follow the side A and side B numbering of the form.
    return true;
}

void PrintLayout(const DefaultsForm& f, std::ostream& out) {
    out << "type: " << f.type << " " << kDefaultTypeNames[f.type] << "\n";
    out << "sides: " << f.sides() << ", nozzles per side: " << f.nozzles() << "\n";
    out << "side addresses: " << f.sideText[0];
    if (f.sides() == 2) out << ", " << f.sideText[1];
    out << "\n";
    const int n = f.nozzles();
    for (int s = 0; s < f.sides(); ++s) {
        out << "channel addresses, side " << (s == 0 ? "A" : "B") << ":";
        for (int c = 0; c < n && s * n + c < kMaxChannels; ++c)
            out << " " << f.cells[s][c];
        out << "\n";
    }
    out << "\n";
    for (const std::string& line : DefaultsSummary(f.type, false))
        out << line << "\n";
}

// The defaults write; `snapshot` false for a file just made (image new).
int WriteDefaultsCommand(const Options& o, Session& s, Io& io, bool snapshot) {
    DefaultsArgs a;
    ReadDefaultsArgs(o, a, io.err);
    DefaultsForm f;
    if (!LayOut(a, f, io.err)) return kCliUsage;
    PrintLayout(f, io.out);
    io.out.flush();
    if (f.tooManyChannels())
        return Say(io.err,
                   "a controller serves at most 10 channels: " + std::to_string(f.sides()) + " x " +
                       std::to_string(f.nozzles()) + " is refused, nothing written",
                   kCliFailed);
    if (!f.checkForWrite())
        return Say(io.err, "the side addresses must differ and none may be 0; nothing written", kCliFailed);
    f.sealForWrite();
    if (!o.demo && !DeviceSupported(s.handle(), s.ctrl()))
        return Fail(io.err, "the controller does not answer its register read: this device is not supported",
                    -1);

    const std::string target = o.demo ? "the demo image " + Protocol().demoFileName
                                      : "controller " + HexByte(s.ctrl()) + " on " + s.portName();
    if (snapshot && !Confirm(o, io,
                             "Write the factory defaults into " + target +
                                 "? Every block is replaced and every fiscal totalizer zeroed."))
        return Say(io.err, "nothing written", kCliFailed);

    image::WholeWriteRequest q = DefaultsWriteRequest(s.handle(), s.ctrl(), f.image);
    q.demo = o.demo;
    q.demoImage = Protocol().demoFileName;
    q.snapshot = snapshot;
    // The demo file is replaced whole, with the header of the new layout.
    if (o.demo) q.replace = [&f] { return WriteDemoDefaults(Protocol().demoFileName, f.image); };
    const image::WholeWriteResult r = RunWholeWrite(o, s, io, std::move(q));
    if (o.demo && r.replaced == 1) ReleaseDemoImage();
    return WordWholeWrite(io, r, "the factory defaults", o.demo ? Protocol().demoFileName : target);
}

int RunDefaults(const Options& o, Session& s, Io& io) {
    return WriteDefaultsCommand(o, s, io, true);
}

// "58,0,0,20,0,69,12": the seven sizes of an image header.
bool ParseSizes(const std::string& text, uint8_t sizes[7]) {
    size_t at = 0;
    for (int i = 0; i < 7; ++i) {
        const size_t comma = text.find(',', at);
        const std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        long v = 0;
        if (!ParseDecimal(part, 0, 127, v)) return false;
        sizes[i] = static_cast<uint8_t>(v);
        if (i < 6 && comma == std::string::npos) return false;
        if (i == 6 && comma != std::string::npos) return false;
        at = comma + 1;
    }
    return true;
}

} // namespace

int CheckImageNew(const Options& o, Io& io) {
    Options d = o;
    d.args = {o.value("--type").value_or("")};
    if (!o.has("--type"))
        return Say(io.err, "image new needs --type T (0 Шельф, 1 Нара, 2 УЗСГ, 3 УНСГ)", kCliUsage);
    DefaultsArgs a;
    if (!ReadDefaultsArgs(d, a, io.err)) return kCliUsage;
    uint8_t sizes[7];
    if (auto v = o.value("--sizes");
        v && (!ParseSizes(*v, sizes) || sizes[0] < 58 || sizes[3] < 20 || sizes[5] == 0 || sizes[6] < 12))
        return Say(
            io.err,
            "--sizes takes the seven sizes of an image header, such as 58,0,0,20,0,69,12 (the parameter "
            "block at least 58, the channel settings 20, the side blocks 12, the state registers above 0)",
            kCliUsage);
    return kCliOk;
}

int RunImageNew(const Options& o, Io& io) {
    const std::string& path = o.args[1];
    uint8_t sizes[7];
    std::copy(std::begin(zelsim::kDefaultSizes), std::end(zelsim::kDefaultSizes), sizes);
    if (auto v = o.value("--sizes")) ParseSizes(*v, sizes);
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0)
        return Say(io.err, path + " exists; image new makes a new file (remove it or choose another name)",
                   kCliFailed);
    if (std::string why; !files::WriteWholeFile(path, zelsim::BlankImage(o.deviceType, sizes), &why))
        return Say(io.err, why, kCliFailed);
    // The factory defaults written into the file's own controller.
    Options d = o;
    d.image = path;
    d.addrGiven = false;
    d.command = "image new";
    d.args = {o.value("--type").value_or("")};
    d.flags.erase("--type");
    d.flags.erase("--sizes");
    d.imageSnapshot = false;
    int status = kCliFailed;
    {
        Session s;
        if (s.open(d, io.err)) status = WriteDefaultsCommand(d, s, io, false);
    }
    if (status != kCliOk) {
        ::unlink(path.c_str());
        return Say(io.err, path + " was not made", status);
    }
    const int type = DefaultTypeFromText(d.args[0]);
    io.out << path << " made: the factory defaults of type " << type << " (" << kDefaultTypeNames[type]
           << "), sizes";
    for (int i = 0; i < 7; ++i)
        io.out << (i ? "," : " ") << int(sizes[i]);
    io.out << "\n";
    return kCliOk;
}

std::vector<Command> ToolsCommands() {
    return {
        {"report",
         "report [--extended] the parameter report, as the desktop program shows and prints it",
         "usage: startzel-cli [--addr HEX] report [--extended]\n"
         "Reads the controller's configuration blocks (in demo mode: demo_trk.bin) and prints the\n"
         "parameter report: addresses, speed, counts, meter settings, doses, the mode mask and the\n"
         "fiscal totalizers. --extended adds the status of every busy channel. A block that cannot be\n"
         "read is marked in the text and the exit status is 1.\n",
         Needs::Memory,
         0,
         0,
         {{"--extended", false}},
         nullptr,
         RunReport},
        {"defaults",
         "defaults TYPE       write the factory defaults of a dispenser type (0 Шельф, 1 Нара, 2 УЗСГ, 3 "
         "УНСГ)",
         "usage: startzel-cli [--addr HEX] defaults TYPE [--sides N] [--nozzles N] [--side-a ADDR]\n"
         "                    [--side-b ADDR] [--yes] [--allow-no-snapshot] [--no-verify]\n"
         "Builds the factory defaults of dispenser TYPE (0 Шельф, 1 Нара, 2 УЗСГ, 3 УНСГ, or the name),\n"
         "laid out for N sides and N nozzles per side with the side addresses given (decimal), prints\n"
         "what will be set and, once confirmed, snapshots the controller into the state folder and\n"
         "writes every block (fiscal totalizers zeroed), reads each back and compares it with what\n"
         "was sent (--no-verify skips that), then restarts it and looks for it at its new side A\n"
         "address, then at the old one. More than 10 channels are\n"
         "refused. --yes confirms without asking; without a terminal to ask, --yes is required. When no\n"
         "snapshot can be taken nothing is written, unless --allow-no-snapshot is given (or, on a\n"
         "terminal, the question is answered yes). With --demo, demo_trk.bin is rewritten instead.\n",
         Needs::Memory,
         1,
         1,
         {{"--sides", true},
          {"--nozzles", true},
          {"--side-a", true},
          {"--side-b", true},
          {"--yes", false},
          kPasswordFileFlag,
          {"--allow-no-snapshot", false},
          {"--no-verify", false}},
         CheckDefaults,
         RunDefaults},
    };
}

} // namespace cli
