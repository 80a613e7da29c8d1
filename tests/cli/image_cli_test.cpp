// startzel-cli's image commands and the journal against the virtual
// controller on a pseudo-terminal: outputs, exit codes, refusals before any
// traffic, snapshots and the journal.
#include "block_layout.h"
#include "cli.h"
#include "cli_command.h"

#include "memory_map.h"
#include "virtual_controller.h"
#include "write_journal.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

struct Result {
    int status;
    std::string out, err;
};

void WriteFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

class ImageCli : public ::testing::Test {
protected:
    void SetUp() override {
        std::remove("com.ini");
        state = fs::absolute("state").string();
        fs::remove_all(state);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        ctrl = &line.addController(0x05, 0x22);
        ASSERT_TRUE(pty.start());
        journal::Install();
    }
    void TearDown() override { journal::Uninstall(); }

    // A run on the line; `input` answers questions as if typed on a terminal.
    Result run(std::vector<std::string> args, std::optional<std::string> input = std::nullopt,
               bool errTerminal = false) {
        args.insert(args.begin(), {"--port", pty.slavePath(), "--addr", "5"});
        return local(args, input, errTerminal);
    }
    static Result local(const std::vector<std::string>& args, std::optional<std::string> input = std::nullopt,
                        bool errTerminal = false) {
        std::ostringstream out, err;
        std::istringstream in(input.value_or(""));
        cli::Io io{out, err, &in, input.has_value(), errTerminal};
        const int st = RunCli(args, io);
        return {st, out.str(), err.str()};
    }
    size_t writes() const { return line.writeCommandCount(); }
    std::vector<fs::path> snapshots() const {
        std::vector<fs::path> out;
        if (fs::exists(state + "/startzel/snapshots"))
            for (const auto& e : fs::directory_iterator(state + "/startzel/snapshots"))
                out.push_back(e.path());
        return out;
    }

    zelsim::Line line;
    zelsim::VirtualController* ctrl = nullptr;
    zelsim::PtyTransport pty{line};
    std::string state;
};

TEST_F(ImageCli, SaveShowAndDiff) {
    Result r = run({"image", "save", "a.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "controller 05 saved to a.bin (1292 bytes)\n");
    EXPECT_EQ(ReadFile("a.bin"), ctrl->imageBytes());

    r = local({"image", "show", "a.bin"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("a.bin: controller image, 1292 bytes\n"
                          "sizes: h0=58 h1=0 h2=0 h3=20 h4=0 h5=69 h6=12\n"
                          "\n"
                          "CtrlrParams at 3101, 58 bytes (file offset 7)\n"
                          "  +0    Speed1           4800  [03]\n",
                          0),
              0u)
        << r.out;
    for (const char* expected :
         {"  +16   00 00 00 00 00 00\n", "  +25   SlowLoad         300  [03]\n",
          "  +51   TempHeatLow      5\n", "NozRegs[9] at 2900, 69 bytes (file offset 910)\n",
          "NaraSpecific at 5100, 256 bytes (file offset 979)\n",
          "Block3000 at 3000, 57 bytes (file offset 1235)\n"})
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected;

    // Two images one field apart.
    Bytes b = ReadFile("a.bin");
    b[kLenSizes + ctrlrparams::SlowLoad.offset] = 5;
    WriteFile("b.bin", b);
    r = local({"image", "diff", "a.bin", "b.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "CtrlrParams SlowLoad: 300 → 500\n");
    r = local({"image", "diff", "a.bin", "a.bin"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    r = local({"image", "diff", "--json", "a.bin", "b.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.out,
        "{\n  \"equal\": false,\n  \"differences\": [\n    {\n      \"block\": \"CtrlrParams\",\n"
        "      \"field\": \"SlowLoad\",\n      \"old\": \"300\",\n      \"new\": \"500\"\n    }\n  ]\n}\n");
    r = local({"image", "show", "--json", "a.bin"});
    EXPECT_NE(r.out.find("\"name\": \"SlowLoad\",\n          \"value\": \"300\",\n          \"hex\": \"03\""),
              std::string::npos);

    // Files that cannot be taken apart: trouble, exit 2.
    WriteFile("short.bin", Bytes(b.begin(), b.end() - 1));
    r = local({"image", "diff", "a.bin", "short.bin"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "startzel-cli: short.bin is shorter than its header says (1291 bytes, 1292 expected)\n");
    EXPECT_EQ(local({"image", "diff", "a.bin", "missing.bin"}).err,
              "startzel-cli: cannot open missing.bin\n");

    // The controller against a file: nothing written.
    line.clearFrames();
    r = run({"compare", "a.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    r = run({"compare", "b.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "CtrlrParams SlowLoad: 500 → 300\n");
    EXPECT_EQ(writes(), 0u);
    zelsim::Faults f;
    f.noAnswer = true;
    ctrl->setFaults(f);
    r = run({"compare", "a.bin"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err,
              "startzel-cli: controller 05 does not answer identify; nothing was read or written (result "
              "code -1)\n");
}

TEST_F(ImageCli, LoadAsksTakesASnapshotAndJournalsEveryBlock) {
    const Bytes before = ctrl->imageBytes();
    Bytes image = before;
    image[kLenSizes + ctrlrparams::SlowLoad.offset] = 5;
    image[kLenSizes + ctrlrparams::Checksum.offset] = 0; // a stale checksum: the load renews it
    WriteFile("new.bin", image);

    // Not on a terminal and no --yes: refused before any traffic.
    Result r = run({"image", "load", "new.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "startzel-cli: image load replaces controller content: give --yes (standard input is not a "
              "terminal to ask)\n");
    EXPECT_EQ(line.frameCount(), 0u);
    // On a terminal: asked, "n" keeps the controller as it is.
    r = run({"image", "load", "new.bin"}, "n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Write new.bin into controller 05? Its content is replaced. [y/N] ");
    EXPECT_EQ(line.frameCount(), 0u);

    r = run({"image", "load", "new.bin"}, "y\n", true);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<fs::path> snaps = snapshots();
    ASSERT_EQ(snaps.size(), 1u);
    EXPECT_EQ(ReadFile(snaps[0]), before);
    EXPECT_EQ(r.out, "snapshot of controller 05 saved to " + snaps[0].string() +
                         "\nnew.bin written into controller 05, read back and verified; the controller was "
                         "restarted\n");
    // The progress lines on the terminal's standard error.
    EXPECT_NE(r.err.find("\rsnapshot of the controller: 100%\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\rwriting the controller: 100%\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("\rreading it back: 100%\n"), std::string::npos) << r.err;
    EXPECT_EQ(ctrl->peek(0, CtrlrParams.address + ctrlrparams::SlowLoad.offset, 1), Bytes{5});
    EXPECT_EQ(ctrl->restartCount(), 1);

    // The journal: one record a block with the snapshot's bytes as "before",
    // then each block's read-back, then the restart.
    const journal::Contents j = journal::ReadJournal(state + "/startzel/journal.log");
    ASSERT_EQ(j.records.size(), 25u + 25 + 1);
    EXPECT_TRUE(j.records[0].beforeKnown);
    EXPECT_EQ(j.records[0].before, Bytes(before.begin() + 7, before.begin() + 65));
    for (size_t i = 25; i < 50; ++i) {
        EXPECT_EQ(j.records[i].kind, journal::Record::Kind::Verified) << i;
        EXPECT_EQ(j.records[i].check, journal::Record::Check::Same) << i;
        EXPECT_EQ(j.records[i].address, j.records[i - 25].address) << i;
    }
    EXPECT_EQ(j.records.back().address, 0x88FFFFu);

    r = local({"journal", "--last", "3"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string& o = r.out;
    EXPECT_NE(
        o.find("  " + pty.slavePath() +
               "  controller 05  board 0  3000 Block3000  57 bytes\n  read back: holds what was written\n"),
        std::string::npos)
        << o;
    EXPECT_NE(o.find("  board 0  88FFFF  1 byte\n  +0    01\n"), std::string::npos) << o;
    EXPECT_EQ(std::count(o.begin(), o.end(), '\n'), 6);
    r = local({"journal"});
    EXPECT_NE(r.out.find("3101 CtrlrParams  58 bytes\n  SlowLoad: 300 → 500\n  Checksum: "),
              std::string::npos);
    r = local({"journal", "--last", "1", "--json"});
    EXPECT_NE(r.out.find("\"address\": 8978431,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"before\": null,\n    \"after\": \"01\""), std::string::npos) << r.out;

    // The file back onto the controller it came from: nothing differs.
    EXPECT_EQ(run({"compare", snaps[0].string()}).status, 1);
    ASSERT_EQ(run({"image", "load", "--yes", snaps[0].string()}).status, 0);
    EXPECT_EQ(ctrl->imageBytes(), before);
    EXPECT_EQ(run({"compare", snaps[0].string()}).status, 0);
}

TEST_F(ImageCli, LoadRefusesBadFilesAndAMissingSnapshot) {
    const Bytes usual = ctrl->imageBytes();
    Bytes big = usual;
    big.resize(18433);
    WriteFile("big.bin", big);
    Bytes zero3 = usual;
    zero3[3] = 0;
    WriteFile("zero3.bin", zero3);
    const std::pair<const char*, const char*> cases[] = {
        {"big.bin", "startzel-cli: big.bin is longer than 18432 bytes: not a controller image\n"},
        {"zero3.bin", "startzel-cli: zero3.bin is refused: its header gives size 0 for h0, h3, h5 or h6\n"},
    };
    for (const auto& [file, message] : cases) {
        const Result r = run({"image", "load", "--yes", file});
        EXPECT_EQ(r.status, 1) << file;
        EXPECT_EQ(r.err, message);
    }
    EXPECT_EQ(line.frameCount(), 0u);
    EXPECT_TRUE(snapshots().empty());

    // The controller cannot be read for a snapshot: nothing is written unless allowed.
    WriteFile("ok.bin", usual);
    zelsim::Faults f;
    f.silentReadFrom = 0x2000;
    f.silentReadTo = 0x2001;
    ctrl->setFaults(f);
    Result r = run({"image", "load", "--yes", "ok.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: cannot read controller 05 for a snapshot; nothing written (give "
                     "--allow-no-snapshot to write without one)\n");
    EXPECT_EQ(writes(), 0u);
    r = run({"image", "load", "ok.bin"}, "y\nn\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("cannot read controller 05 for a snapshot. Write without a snapshot? The old settings and "
                   "totalizers cannot be restored then. [y/N] "),
        std::string::npos);
    EXPECT_EQ(writes(), 0u);
    // Allowed: written, but what cannot be read back is no success.
    r = run({"image", "load", "--yes", "--allow-no-snapshot", "ok.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(
        r.err,
        "startzel-cli: cannot read controller 05 for a snapshot; writing without one "
        "(--allow-no-snapshot)\nstartzel-cli: blocks written could not be read back, what the controller "
        "holds is not known: NozRegs[0]\nstartzel-cli: ok.bin "
        "not written whole into controller 05; there is no snapshot to restore from\n");
    EXPECT_GT(writes(), 0u);
    r = run({"image", "load", "--yes", "--allow-no-snapshot", "--no-verify", "ok.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
}

// A line that changes bytes on the way, or a controller whose parameter block
// does not check: nothing is kept as if it were the controller, and a load
// takes no garbage snapshot to advise as the way back.
TEST_F(ImageCli, WholeControllerCommandsIdentifyAndCheckFirst) {
    const Bytes usual = ctrl->imageBytes();
    WriteFile("ok.bin", usual);
    zelsim::Faults f;
    f.corruptAnswers = true;
    ctrl->setFaults(f);
    const std::string refused = "startzel-cli: the identify answer of controller 05 is not valid (a wrong "
                                "checksum, or a device not supported); nothing was read or written (result "
                                "code -2)\n";
    Result r = run({"image", "save", "garbage.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refused);
    EXPECT_FALSE(fs::exists("garbage.bin"));
    r = run({"compare", "ok.bin"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, refused);
    r = run({"report"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refused);
    EXPECT_EQ(r.out, "");
    r = run({"image", "load", "--yes", "--allow-no-snapshot", "ok.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, refused);
    EXPECT_EQ(writes(), 0u);
    EXPECT_TRUE(snapshots().empty());

    // The parameter block's last byte is not its checksum.
    ctrl->setFaults({});
    const uint8_t sum = usual[kLenSizes + ctrlrparams::Checksum.offset];
    ctrl->poke(0, CtrlrParams.address + ctrlrparams::Checksum.offset, {static_cast<uint8_t>(sum ^ 1)});
    WriteFile("keep.bin", {1, 2, 3});
    r = run({"image", "save", "keep.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "startzel-cli: what the controller gave fails the image checks (block sizes or the parameter "
              "block's checksum: a line that changes bytes?); keep.bin was not written (result code -4)\n");
    EXPECT_EQ(ReadFile("keep.bin"), (Bytes{1, 2, 3}));
    r = run({"compare", "ok.bin"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "startzel-cli: what the controller gave fails the image checks (the parameter block's "
                     "checksum is wrong); nothing compared\n");
    r = run({"image", "load", "--yes", "ok.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: what controller 05 gave for a snapshot fails the image checks (the "
                     "parameter block's checksum is wrong); nothing written (give --allow-no-snapshot to "
                     "write without one)\n");
    EXPECT_EQ(writes(), 0u);
    EXPECT_TRUE(snapshots().empty());
    // Allowed: the load renews the checksum, and the journal keeps no garbage "before".
    r = run({"image", "load", "--yes", "--allow-no-snapshot", "ok.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ctrl->peek(0, CtrlrParams.address + ctrlrparams::Checksum.offset, 1), Bytes{sum});
    const journal::Contents j = journal::ReadJournal(state + "/startzel/journal.log");
    ASSERT_FALSE(j.records.empty());
    EXPECT_FALSE(j.records[0].beforeKnown);
}

// Journals and names no listing may choke on: a folder in the journal's
// place, escape sequences and bytes that are not UTF-8 in its fields, a write
// begun and never confirmed, a file name that is not UTF-8.
TEST_F(ImageCli, ListingsThatCannotBreak) {
    const std::string path = state + "/startzel/journal.log";
    fs::create_directories(path);
    Result r = local({"journal"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: " + path + " is not a regular file; the journal cannot be read\n");
    fs::remove(path);

    journal::Record rec;
    rec.time = "2026-12-10T10:00:00.000+0000";
    rec.port = "/dev/\x1b[2J\xcf\xee\xf0\xf2";
    rec.ctrl = 5;
    rec.address = 0x1000;
    rec.count = 2;
    rec.after = {1, 2};
    rec.kind = journal::Record::Kind::Begun;
    ASSERT_TRUE(journal::Append(path, rec));
    r = local({"journal"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "2026-12-10T10:00:00.000+0000  /dev/\\x1B[2J\xcf\xee\xf0\xf2  controller 05  board 0  "
                     "1000 NozSetts[0]  2 bytes\n  (begun, never confirmed: the write may have been cut off "
                     "part way)\n  +0    01 02\n");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"journal", "--json"}, {"journal", "--json", "--last", "1"}}) {
        r = local(args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("\"port\": \"/dev/\\u001b[2J\xef\xbf\xbd"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"complete\": false,"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.rfind("[\n  {\n    \"time\"", 0), 0u) << r.out;
        EXPECT_EQ(r.out.substr(r.out.size() - 7), "\n  }\n]\n");
        const auto doc = nlohmann::ordered_json::parse(r.out);
        EXPECT_EQ(r.out, doc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
    }

    ASSERT_EQ(run({"image", "save", "a.bin"}).status, 0);
    fs::copy_file("a.bin", "\xff\xfe.bin", fs::copy_options::overwrite_existing);
    r = local({"image", "show", "--json", "\xff\xfe.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("{\n  \"file\": \"\xef\xbf\xbd\xef\xbf\xbd.bin\",", 0), 0u) << r.out.substr(0, 80);
    r = local({"image", "diff", "--json", "\xff\xfe.bin", "a.bin"});
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST(ImageCliLine, HelpAndCommandLineErrors) {
    auto run = [](std::vector<std::string> args) {
        std::ostringstream out, err;
        const int st = RunCli(args, out, err);
        return Result{st, out.str(), err.str()};
    };
    for (const char* c : {"image", "compare", "journal"}) {
        const Result r = run({c, "--help"});
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind("usage: startzel-cli", 0), 0u) << c;
    }
    EXPECT_NE(run({"image", "load", "x", "--help"}).out.find("--allow-no-snapshot"), std::string::npos);
    EXPECT_NE(run({"--help"}).out.find("  journal             the write journal"), std::string::npos);
    EXPECT_EQ(run({"image", "copy", "a"}).status, 2);
    EXPECT_EQ(run({"image", "diff", "a.bin"}).status, 2);
    Result r = run({"image", "save", "a.bin", "--json"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "startzel-cli: --json does not apply to image save (see image --help)\n");
    EXPECT_EQ(run({"journal", "--last", "0"}).status, 2);
    r = run({"--demo", "image", "save", "a.bin"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "startzel-cli: image save needs a controller on a line; demo mode serves memory reads and "
              "writes only\n");
}

// The real executable journals its writes in the state folder it is given.
TEST(ImageCliLine, ExecutableJournalsItsWrites) {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    ASSERT_NE(bin, nullptr);
    zelsim::Line line;
    line.addController(1);
    zelsim::PtyTransport pty(line);
    ASSERT_TRUE(pty.start());
    const std::string state = fs::absolute("exec-state").string();
    fs::remove_all(state);
    const std::string cli =
        "XDG_STATE_HOME=" + state + " " + bin + "/cli/startzel-cli --port " + pty.slavePath();
    EXPECT_EQ(WEXITSTATUS(std::system((cli + " write 1200 0A0B </dev/null >/dev/null 2>&1").c_str())), 0);
    FILE* p = popen((cli + " journal 2>&1").c_str(), "r");
    ASSERT_NE(p, nullptr);
    char out[512] = {};
    const size_t n = fread(out, 1, sizeof out - 1, p);
    EXPECT_EQ(WEXITSTATUS(pclose(p)), 0);
    const std::string text(out, n);
    EXPECT_NE(text.find("  " + pty.slavePath() +
                        "  controller 01  board 0  1200 NozSetts[2]  2 bytes\n  +0    0A 0B\n"),
              std::string::npos)
        << text;
}

} // namespace
