// Whole-controller images on the command line: save a controller into a file,
// load a file into a controller (after a snapshot of what it held), list an
// image field by field, compare two images or a controller with a file, and
// list the write journal.
#include "block_fields.h"
#include "block_transfer.h"
#include "cli.h"
#include "cli_command.h"
#include "conversions.h"
#include "guarded_write.h"
#include "hex_text.h"
#include "image_core.h"
#include "image_files.h"
#include "memory_map.h"
#include "write_journal.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <ostream>

namespace cli {

namespace {

using json = nlohmann::ordered_json;

const char* const kImageHelp =
    "usage: startzel-cli [--addr HEX] image save FILE\n"
    "       startzel-cli [--addr HEX] image load FILE [--yes] [--allow-no-snapshot] [--no-verify]\n"
    "                                              [--keep-address | --take-address]\n"
    "       startzel-cli image show FILE [--json]\n"
    "       startzel-cli image diff A B [--json]\n"
    "       startzel-cli image new FILE --type T [--sizes 58,0,0,20,0,69,12] [--sides N] [--nozzles N]\n"
    "                              [--side-a ADDR] [--side-b ADDR] [--device-type HEX]\n"
    "\n"
    "image save FILE   reads the whole controller (parameters, channel settings, sides, channel state\n"
    "                  registers, the blocks at 5100 and 3000) into FILE: a 7-byte size header, then\n"
    "                  the blocks. FILE is replaced only when every block was read.\n"
    "image load FILE   writes FILE into the controller, each block with the controller's own sizes, and\n"
    "                  restarts it. The file is checked before any traffic. Asks first on a terminal;\n"
    "                  --yes skips the question, and without --yes a load from a script is refused.\n"
    "                  The controller's content is saved first as a snapshot in\n"
    "                  $XDG_STATE_HOME/startzel/snapshots (default ~/.local/state/startzel/snapshots);\n"
    "                  when it cannot be read the load stops, unless the question is answered yes or\n"
    "                  --allow-no-snapshot is given. Every block written is read back and compared\n"
    "                  with what was sent; a block held otherwise fails the load, its fields named\n"
    "                  (--no-verify skips the read-back). An image whose side addresses differ from\n"
    "                  the controller's keeps the controller's (--keep-address, the default; the\n"
    "                  parameter block's checksum is made again) or takes the image's\n"
    "                  (--take-address): after the restart the controller is looked for at its new\n"
    "                  side A address, then at the old one.\n"
    "image show FILE   the header sizes and every block field by field (unnamed bytes as offsets and hex).\n"
    "image diff A B    one line per differing field, \"block field: A's value → B's value\".\n"
    "                  Exit status 0 when equal, 1 when different, 2 on trouble (like diff).\n"
    "image new FILE    makes FILE, a controller image holding the factory defaults of dispenser type T\n"
    "                  (0 Шельф, 1 Нара, 2 УЗСГ, 3 УНСГ), laid out as the defaults command lays them\n"
    "                  out, with the sizes given (default those of a controller as shipped). Work on it\n"
    "                  with --image FILE, then load it into a controller. An existing FILE is refused.\n"
    "--json            show and diff as JSON.\n"
    "\n"
    "Save and load need a controller on a line (not --demo). A progress line is drawn on a terminal.\n";

const char* const kCompareHelp =
    "usage: startzel-cli [--addr HEX] compare FILE [--json]\n"
    "Reads the whole controller and compares it with the image FILE; nothing is written. One line per\n"
    "differing field, \"block field: FILE's value → the controller's value\". Exit status 0 when equal,\n"
    "1 when different, 2 on trouble (like diff).\n";

const char* const kJournalHelp =
    "usage: startzel-cli journal [--last N] [--json]\n"
    "Lists the write journal: every block written to a controller by the desktop program or by this\n"
    "tool, with time, port, controller address, board, block address and the bytes before and after\n"
    "(changed fields by name where the block is known). The journal is\n"
    "$XDG_STATE_HOME/startzel/journal.log (default ~/.local/state/startzel/journal.log; with --demo the\n"
    "folder startzel-demo beside the demo image). --last N lists the last N records.\n";

constexpr int kDiffEqual = 0, kDiffDifferent = 1, kDiffTrouble = 2;

// Draws "label: NN%" on a terminal's standard error, or nothing.
class ProgressLine {
public:
    ProgressLine(Io& io, std::string label, long total) : io_(io), label_(std::move(label)), total_(total) {}
    ~ProgressLine() { done(); }
    void operator()(long bytes) {
        if (!io_.errIsTerminal || total_ <= 0) return;
        const long pct = std::min(100L, bytes * 100 / total_);
        if (pct == last_) return;
        last_ = pct;
        drawn_ = true;
        io_.err << "\r" << label_ << ": " << pct << "%" << std::flush;
    }
    void done() {
        if (drawn_) io_.err << "\n" << std::flush;
        drawn_ = false;
    }

private:
    Io& io_;
    std::string label_;
    long total_;
    long last_ = -1;
    bool drawn_ = false;
};

// An image file for show, diff and compare: refused only when it cannot be
// taken apart (no header, a negative size, shorter than its header, longer
// than any image).
bool ReadForListing(const std::string& path, std::vector<uint8_t>& bytes, Io& io) {
    std::FILE* in = OpenRegularFile(path);
    if (!in) {
        Say(io.err,
            errno == EINVAL || errno == EISDIR ? path + " is not a regular file" : "cannot open " + path,
            kDiffTrouble);
        return false;
    }
    bytes.assign(static_cast<size_t>(image::kImageBufferSize) + 1, 0);
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), in);
    std::fclose(in);
    bytes.resize(got);
    if (static_cast<long>(bytes.size()) > image::kImageBufferSize) {
        Say(io.err,
            path + " is longer than " + std::to_string(image::kImageBufferSize) +
                " bytes: not a controller image",
            kDiffTrouble);
        return false;
    }
    if (bytes.size() < 7) {
        Say(io.err, path + " is not a controller image: shorter than the 7-byte size header", kDiffTrouble);
        return false;
    }
    int8_t h[7];
    image::ImageHeader(bytes, h);
    const long expected = image::ImageFileLength(h);
    if (expected < 0) {
        Say(io.err, path + " is not a controller image: its header gives a negative block size",
            kDiffTrouble);
        return false;
    }
    if (static_cast<long>(bytes.size()) < expected) {
        Say(io.err,
            path + " is shorter than its header says (" + std::to_string(bytes.size()) + " bytes, " +
                std::to_string(expected) + " expected)",
            kDiffTrouble);
        return false;
    }
    return true;
}

std::string SizesText(const int8_t h[7]) {
    std::string s;
    for (int i = 0; i < 7; ++i)
        s += (i ? " h" : "h") + std::to_string(i) + "=" + std::to_string(h[i]);
    return s;
}

// Unnamed bytes go in runs of up to 16 a line.
void PrintFields(std::ostream& out, const std::vector<image::FieldValue>& values) {
    char head[24];
    for (size_t i = 0; i < values.size();) {
        const image::FieldValue& v = values[i];
        std::snprintf(head, sizeof head, "  +%-5d", v.offset);
        if (!v.name.empty()) {
            char name[40];
            std::snprintf(name, sizeof name, "%-16s", v.name.c_str());
            out << head << name << " " << v.text;
            // The stored bytes where the text is not simply the value (scaled, signed).
            const bool plain =
                v.text == std::to_string(v.stored) || std::strtoul(v.text.c_str(), nullptr, 16) == v.stored;
            if (!plain) out << "  [" << v.hex << "]";
            out << "\n";
            ++i;
            continue;
        }
        out << head;
        for (size_t n = 0; n < 16 && i < values.size() && values[i].name.empty(); ++n, ++i)
            out << (n ? " " : "") << values[i].hex;
        out << "\n";
    }
}

json FieldsJson(const std::vector<image::FieldValue>& values) {
    json a = json::array();
    for (const image::FieldValue& v : values)
        a.push_back({{"offset", v.offset},
                     {"width", v.width},
                     {"name", v.name.empty() ? json(nullptr) : json(v.name)},
                     {"value", v.text},
                     {"hex", v.hex}});
    return a;
}

int PrintDifferences(const std::vector<image::Difference>& diffs, bool asJson, Io& io) {
    if (asJson) {
        json a = json::array();
        for (const image::Difference& d : diffs)
            a.push_back({{"block", d.block}, {"field", d.field}, {"old", d.before}, {"new", d.after}});
        io.out << json{{"equal", diffs.empty()}, {"differences", a}}.dump(2, ' ', false,
                                                                          json::error_handler_t::replace)
               << "\n";
    } else {
        for (const image::Difference& d : diffs)
            io.out << image::DifferenceLine(d) << "\n";
    }
    return diffs.empty() ? kDiffEqual : kDiffDifferent;
}

int Show(const Options& o, Io& io) {
    const std::string& path = o.args[1];
    std::vector<uint8_t> bytes;
    if (!ReadForListing(path, bytes, io)) return kCliFailed;
    int8_t h[7];
    image::ImageHeader(bytes, h);
    const std::vector<image::ImageBlock> layout = image::ImageLayout(h);
    const long used = image::ImageFileLength(h);
    if (o.has("--json")) {
        json blocks = json::array();
        for (const image::ImageBlock& b : layout)
            blocks.push_back(
                {{"block", image::BlockName(b.group, b.index)},
                 {"group", b.group},
                 {"index", b.index},
                 {"address", b.address},
                 {"length", b.length},
                 {"offset", b.offset},
                 {"fields", FieldsJson(image::DecodeBlock(b.group, bytes.data() + b.offset, b.length))}});
        json header = json::array();
        for (int8_t x : h)
            header.push_back(x);
        io.out << json{{"file", path},
                       {"length", bytes.size()},
                       {"header", header},
                       {"loadable", CheckImageFileHeader(path) == 1},
                       {"blocks", blocks}}
                      .dump(2, ' ', false, json::error_handler_t::replace)
               << "\n";
        return kCliOk;
    }
    io.out << path << ": controller image, " << bytes.size() << " bytes\n";
    io.out << "sizes: " << SizesText(h) << "\n";
    if (CheckImageFileHeader(path) != 1)
        io.out << "note: image load refuses this file (size h0, h3, h5 or h6 is 0)\n";
    if (static_cast<long>(bytes.size()) > used)
        io.out << "note: " << bytes.size() - static_cast<size_t>(used)
               << " bytes after the last block are not part of the image\n";
    for (const image::ImageBlock& b : layout) {
        io.out << "\n"
               << image::BlockName(b.group, b.index) << " at " << HexNumber(b.address, 4) << ", " << b.length
               << " bytes (file offset " << b.offset << ")\n";
        PrintFields(io.out, image::DecodeBlock(b.group, bytes.data() + b.offset, b.length));
    }
    return kCliOk;
}

int Diff(const Options& o, Io& io) {
    std::vector<uint8_t> a, b;
    if (!ReadForListing(o.args[1], a, io) || !ReadForListing(o.args[2], b, io)) return kDiffTrouble;
    return PrintDifferences(image::DiffImages(a, b), o.has("--json"), io);
}

// The progress measure of the controller's own sizes; 0 when they cannot be read.
long ControllerMeasure(const Session& session) {
    if (ReadBlockSizes(session.handle(), session.ctrl()) != 1) return 0;
    int8_t h[7];
    for (int i = 0; i < 7; ++i)
        h[i] = static_cast<int8_t>(BlockSizes()[i] & 0xFF);
    return std::max(0L, image::ImageProgressMeasure(h));
}

// Save, load and compare talk to a controller on a line; demo mode serves blocks only.
bool OpenLine(const Options& o, Session& session, Io& io) {
    if (o.demo) {
        const std::string what = o.command == "image" ? "image " + o.args[0] : o.command;
        Say(io.err, what + " needs a controller on a line; demo mode serves memory reads and writes only",
            kCliFailed);
        return false;
    }
    return session.open(o, io.err);
}

int Save(const Options& o, Io& io) {
    const std::string& path = o.args[1];
    Session session;
    if (!OpenLine(o, session, io) || !IdentifyFirst(o, session, io)) return kCliFailed;
    ProgressLine progress(io, "reading the controller", ControllerMeasure(session));
    const int r = image::SaveImageFile(session.handle(), session.ctrl(), path, std::ref(progress));
    const int why = errno;
    progress.done();
    switch (r) {
    case 1: {
        std::ifstream in(path, std::ios::binary | std::ios::ate);
        io.out << "controller " << HexNumber(static_cast<unsigned>(session.ctrl()), 2) << " saved to " << path
               << " (" << static_cast<long>(in.tellg()) << " bytes)\n";
        return kCliOk;
    }
    case -1:
        return Fail(io.err, "cannot read the block sizes of the controller (no answer, or a negative size)",
                    r);
    case -2:
        return Fail(io.err, "a block read failed; " + path + " was not written", r);
    case -4:
        return Fail(io.err,
                    "what the controller gave fails the image checks (block sizes or the parameter block's "
                    "checksum: a line that changes bytes?); " +
                        path + " was not written",
                    r);
    case -5:
        return Fail(io.err, path + " is read-only; it was left as it is", r);
    case -6:
        return Fail(io.err, path + " is not a regular file; nothing was written", r);
    default:
        return Fail(io.err, "cannot write " + path + ": " + std::strerror(why), r);
    }
}

int Load(const Options& o, Io& io) {
    const std::string& path = o.args[1];
    const image::ImageFile file = image::ReadImageFile(path);
    switch (file.check) {
    case image::FileCheck::Ok:
        break;
    case image::FileCheck::Refused:
        return Say(
            io.err,
            file.header == -3   ? (file.notRegular ? path + " is not a regular file" : "cannot open " + path)
            : file.header == -2 ? path + " is not a controller image: shorter than the 7-byte size header"
                                : path + " is refused: its header gives size 0 for h0, h3, h5 or h6",
            kCliFailed);
    case image::FileCheck::Unreadable:
        return Say(io.err, "cannot read " + path, kCliFailed);
    case image::FileCheck::TooLong:
        return Say(io.err,
                   path + " is longer than " + std::to_string(image::kImageBufferSize) +
                       " bytes: not a controller image",
                   kCliFailed);
    case image::FileCheck::TooShort:
        return Say(io.err,
                   path + " is shorter than its header says (" + std::to_string(file.length) + " bytes, " +
                       std::to_string(file.expected) + " expected)",
                   kCliFailed);
    case image::FileCheck::BadSizes:
        return Say(io.err, path + " is not a controller image: its header gives a negative block size",
                   kCliFailed);
    }
    if (o.demo) {
        Session none;
        OpenLine(o, none, io);
        return kCliFailed;
    }
    const std::string who = "controller " + HexNumber(o.addr, 2);
    Options asking = o;
    asking.command = "image load";
    if (!Confirm(asking, io, "Write " + path + " into " + who + "? Its content is replaced."))
        return kCliFailed;
    Session session;
    if (!OpenLine(o, session, io) || !IdentifyFirst(o, session, io)) return kCliFailed;

    image::ImageLoadPlan plan = image::PlanImageLoad(session.handle(), session.ctrl(), file.bytes);
    if (plan.result == -1)
        return Fail(io.err,
                    "cannot read the block sizes of " + who +
                        " (no answer, or sizes the image cannot be written with); nothing written",
                    plan.result);
    if (plan.result != 1)
        return Fail(io.err, "cannot read the parameter block of " + who + "; nothing written", plan.result);
    // An image from another controller: this controller keeps its own side
    // addresses unless the image's are asked for.
    if (plan.sidesDiffer()) {
        auto sides = [](const uint8_t s[2]) {
            return "A " + std::to_string(s[0]) + ", B " + std::to_string(s[1]);
        };
        const bool take = o.has("--take-address");
        io.out << "the image's side addresses (" << sides(plan.imageSides) << ") differ from " << who
               << "'s (" << sides(plan.targetSides) << "): "
               << (take ? "taking the image's (--take-address)"
                        : "keeping the controller's (--take-address takes the image's)")
               << "\n";
        if (!take) image::KeepTargetAddresses(plan);
    }

    image::WholeWriteRequest q;
    q.port = session.handle();
    q.ctrl = session.ctrl();
    q.blocks = std::move(plan.blocks);
    q.imagePacing = true;
    q.restart = image::RestartWhen::AllWritten;
    const image::WholeWriteResult r = RunWholeWrite(asking, session, io, std::move(q));
    return WordWholeWrite(io, r, path, who);
}

int CheckImage(const Options& o, Io& io) {
    const std::string& sub = o.args[0];
    const size_t want = sub == "diff" ? 3 : 2;
    if (sub != "save" && sub != "load" && sub != "show" && sub != "diff" && sub != "new")
        return Say(io.err,
                   "image takes save, load, show, diff or new, not \"" + sub + "\" (see image --help)",
                   kCliUsage);
    if (o.args.size() != want) {
        io.err << "startzel-cli: wrong arguments for image " << sub << "\n" << kImageHelp;
        return kCliUsage;
    }
    if (sub == "new") {
        for (const auto& [flag, value] : o.flags)
            if (flag != "--type" && flag != "--sizes" && flag != "--sides" && flag != "--nozzles" &&
                flag != "--side-a" && flag != "--side-b")
                return Say(io.err, flag + " does not apply to image new (see image --help)", kCliUsage);
        return CheckImageNew(o, io);
    }
    if (o.has("--keep-address") && o.has("--take-address"))
        return Say(io.err, "--keep-address and --take-address exclude each other", kCliUsage);
    for (const auto& [flag, value] : o.flags) {
        const bool fits = flag == "--json" ? (sub == "show" || sub == "diff") : sub == "load";
        if (!fits)
            return Say(io.err, flag + " does not apply to image " + sub + " (see image --help)", kCliUsage);
    }
    return kCliOk;
}

int RunImage(const Options& o, Session&, Io& io) {
    const std::string& sub = o.args[0];
    if (sub == "save") return Save(o, io);
    if (sub == "load") return Load(o, io);
    if (sub == "show") return Show(o, io);
    if (sub == "new") return RunImageNew(o, io);
    return Diff(o, io);
}

int RunCompare(const Options& o, Session&, Io& io) {
    std::vector<uint8_t> file;
    if (!ReadForListing(o.args[0], file, io)) return kDiffTrouble;
    Session session;
    if (!OpenLine(o, session, io) || !IdentifyFirst(o, session, io)) return kDiffTrouble;
    std::vector<uint8_t> now;
    ProgressLine progress(io, "reading the controller", ControllerMeasure(session));
    const int r = image::ReadImage(session.handle(), session.ctrl(), now, std::ref(progress));
    progress.done();
    if (r != 1) {
        Fail(io.err,
             r == -1 ? "cannot read the block sizes of the controller (no answer, or a negative size)"
                     : "a block read failed",
             r);
        return kDiffTrouble;
    }
    if (const std::string problem = image::ImageContentProblem(now); !problem.empty()) {
        Say(io.err, "what the controller gave fails the image checks (" + problem + "); nothing compared",
            kDiffTrouble);
        return kDiffTrouble;
    }
    return PrintDifferences(image::DiffImages(file, now), o.has("--json"), io);
}

int CheckJournal(const Options& o, Io& io) {
    long n = 0;
    if (auto v = o.value("--last"); v && !ParseDecimal(*v, 1, 999999999, n))
        return Say(io.err, "--last takes a whole number from 1", kCliUsage);
    return kCliOk;
}

// The changes of a record by field where its block is known, else by byte.
std::vector<image::Difference> RecordChanges(const journal::Record& r) {
    const auto ref = image::GroupAt(r.board, r.address);
    const int n = static_cast<int>(r.after.size());
    if (ref) return image::DiffBlock(ref->group, ref->index, r.before.data(), n, r.after.data(), n);
    return image::DiffBlock("", 0, r.before.data(), n, r.after.data(), n);
}

std::string BlockOf(const journal::Record& r) {
    const auto ref = image::GroupAt(r.board, r.address);
    return ref ? image::BlockName(ref->group, ref->index) : std::string();
}

// A field of the journal as the terminal may show it: control bytes (an
// escape sequence in a hostile file) as \xHH.
std::string Printable(const std::string& text) {
    std::string s;
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            s += "\\x" + HexByte(c);
        } else {
            s += static_cast<char>(c);
        }
    }
    return s;
}

std::string HexOf(const std::vector<uint8_t>& b) {
    static const char d[] = "0123456789ABCDEF";
    std::string h;
    h.reserve(b.size() * 2);
    for (uint8_t x : b) {
        h += d[x >> 4];
        h += d[x & 15];
    }
    return h;
}

json RecordJson(const journal::Record& r) {
    const std::string block = BlockOf(r);
    json rec = {{"time", r.time},
                {"port", r.port},
                {"ctrl", r.ctrl},
                {"board", r.board},
                {"address", r.address},
                {"length", r.count},
                {"hidden", r.hidden},
                {"complete", r.kind != journal::Record::Kind::Begun},
                {"kind", r.kind == journal::Record::Kind::Verified ? "read back" : "write"},
                {"block", block.empty() ? json(nullptr) : json(block)}};
    if (r.kind == journal::Record::Kind::Verified) {
        rec["check"] = r.check == journal::Record::Check::Same      ? "same"
                       : r.check == journal::Record::Check::Differs ? "differs"
                                                                    : "unread";
        if (r.check == journal::Record::Check::Differs) {
            rec["written"] = HexOf(r.before);
            rec["held"] = HexOf(r.after);
            json changes = json::array();
            for (const image::Difference& d : RecordChanges(r))
                changes.push_back({{"field", d.field}, {"written", d.before}, {"held", d.after}});
            rec["changes"] = changes;
        }
        return rec;
    }
    rec["before"] = r.beforeKnown ? json(HexOf(r.before)) : json(nullptr);
    rec["after"] = r.hidden ? json(nullptr) : json(HexOf(r.after));
    if (r.beforeKnown) {
        json changes = json::array();
        for (const image::Difference& d : RecordChanges(r))
            changes.push_back({{"field", d.field}, {"old", d.before}, {"new", d.after}});
        rec["changes"] = changes;
    }
    return rec;
}

void PrintRecord(std::ostream& out, const journal::Record& r) {
    const std::string block = BlockOf(r);
    out << Printable(r.time) << "  " << Printable(r.port) << "  controller "
        << HexNumber(static_cast<unsigned>(r.ctrl), 2) << "  board " << r.board << "  "
        << HexNumber(r.address, r.address > 0xFFFF ? 6 : 4) << (block.empty() ? "" : " " + block) << "  "
        << r.count << (r.count == 1 ? " byte\n" : " bytes\n");
    if (r.kind == journal::Record::Kind::Verified) {
        if (r.check == journal::Record::Check::Same) {
            out << "  read back: holds what was written\n";
        } else if (r.check == journal::Record::Check::Unread) {
            out << "  read back: could not be read\n";
        } else {
            out << "  read back: holds other bytes (written → held)\n";
            for (const image::Difference& d : RecordChanges(r))
                out << "  " << d.field << ": " << d.before << " → " << d.after << "\n";
        }
        return;
    }
    if (r.kind == journal::Record::Kind::Begun)
        out << "  (begun, never confirmed: the write may have been cut off part way)\n";
    if (r.hidden) {
        out << "  (a password: the bytes are not kept)\n";
    } else if (r.beforeKnown) {
        const std::vector<image::Difference> changes = RecordChanges(r);
        if (changes.empty()) out << "  nothing changed\n";
        for (const image::Difference& d : changes)
            out << "  " << d.field << ": " << d.before << " → " << d.after << "\n";
    } else {
        for (size_t at = 0; at < r.after.size(); at += 16) {
            char head[24];
            std::snprintf(head, sizeof head, "  +%-5zu", at);
            out << head << HexBytes(r.after.data() + at, std::min<size_t>(16, r.after.size() - at)) << "\n";
        }
    }
}

// The journal is printed record by record: a journal of any size takes
// little memory. JSON comes out as one array, element by element.
int RunJournal(const Options& o, Session&, Io& io) {
    const std::string path = journal::JournalPath(o.demo);
    long last = 0;
    if (auto v = o.value("--last")) ParseDecimal(*v, 1, 999999999, last);
    const bool asJson = o.has("--json");
    size_t shown = 0;
    auto print = [&](const journal::Record& r) {
        if (asJson) {
            std::string text = RecordJson(r).dump(2, ' ', false, json::error_handler_t::replace);
            std::string indented = "  ";
            for (char ch : text) {
                indented += ch;
                if (ch == '\n') indented += "  ";
            }
            io.out << (shown ? ",\n" : "[\n") << indented;
        } else {
            PrintRecord(io.out, r);
        }
        ++shown;
    };
    journal::Contents c;
    if (last > 0) {
        c = journal::ReadJournal(path, static_cast<size_t>(last));
        if (c.error.empty())
            for (const journal::Record& r : c.records)
                print(r);
    } else {
        c = journal::ForEachRecord(path, print);
    }
    if (!c.error.empty()) return Say(io.err, c.error + "; the journal cannot be read", kCliFailed);
    if (asJson) io.out << (shown ? "\n]\n" : "[]\n");
    if (c.skipped > 0)
        io.err << "startzel-cli: " << c.skipped << " line(s) of " << path
               << " are not records and were skipped\n";
    if (!c.exists && !asJson) io.err << "startzel-cli: no writes journalled yet (" << path << ")\n";
    return kCliOk;
}

} // namespace

std::vector<Command> ImageCommands() {
    return {
        {"image",
         "image save|load|show|diff|new   controller images: save FILE, load FILE, show FILE, diff A B, new "
         "FILE",
         kImageHelp,
         Needs::Nothing,
         2,
         3,
         {{"--yes", false},
          {"--json", false},
          {"--allow-no-snapshot", false},
          kPasswordFileFlag,
          {"--no-verify", false},
          {"--keep-address", false},
          {"--take-address", false},
          {"--type", true},
          {"--sizes", true},
          {"--sides", true},
          {"--nozzles", true},
          {"--side-a", true},
          {"--side-b", true}},
         CheckImage,
         RunImage},
        {"compare",
         "compare FILE        the controller against an image file, field by field (nothing written)",
         kCompareHelp,
         Needs::Nothing,
         1,
         1,
         {{"--json", false}},
         nullptr,
         RunCompare},
        {"journal",
         "journal             the write journal: every block written, before and after",
         kJournalHelp,
         Needs::Nothing,
         0,
         0,
         {{"--last", true}, {"--json", false}},
         CheckJournal,
         RunJournal},
    };
}

} // namespace cli
