// Work without a line and on a whole line: an image file served as a
// controller (--image), image new, and the station commands, against virtual
// controllers on pseudo-terminals.
#include "cli.h"
#include "cli_command.h"

#include "image_host.h"
#include "sim_memory_map.h"
#include "station.h"
#include "virtual_controller.h"
#include "write_journal.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

struct Ran {
    int status;
    std::string out, err;
};

Ran Cli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    std::istringstream in("");
    cli::Io io{out, err, &in, false, false};
    const int st = RunCli(args, io);
    return {st, out.str(), err.str()};
}

Bytes FileOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

void PutFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

class Offline : public ::testing::Test {
protected:
    std::string state;
    void SetUp() override {
        std::remove("com.ini");
        state = fs::absolute("state").string();
        fs::remove_all(state);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        journal::Install();
        for (const char* f : {"a.bin", "b.bin", "new.bin", "other.bin"})
            fs::remove(f);
    }
    void TearDown() override { journal::Uninstall(); }
    std::vector<fs::path> snapshots() const {
        std::vector<fs::path> out;
        if (fs::exists(state + "/startzel/snapshots"))
            for (const auto& e : fs::directory_iterator(state + "/startzel/snapshots"))
                out.push_back(e.path());
        return out;
    }
};

// The same edits offline (image new, then writes into the file) and online
// (defaults and the same writes into a controller) end in the same memory once
// the file is loaded into a controller.
TEST_F(Offline, EditsOfflineGiveWhatTheSameEditsOnlineGive) {
    const std::vector<std::vector<std::string>> edits = {{"write", "1000", "0A0B0C"},
                                                         {"write", "1120", "11223344"}};
    Ran r = Cli({"image", "new", "new.bin", "--type", "1", "--sides", "2", "--nozzles", "2"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("new.bin made: the factory defaults of type 1 (Нара), sizes 58,0,0,20,0,69,12\n"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(snapshots().empty()) << "a file just made needs no snapshot";
    for (const auto& e : edits) {
        std::vector<std::string> args{"--image", "new.bin"};
        args.insert(args.end(), e.begin(), e.end());
        r = Cli(args);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    // The file as it was before the first write since it was opened is kept.
    ASSERT_EQ(snapshots().size(), 2u); // one a run: each run opens the file anew

    zelsim::Line offline;
    zelsim::VirtualController& loaded = offline.addController(1);
    zelsim::PtyTransport p1(offline);
    ASSERT_TRUE(p1.start());
    r = Cli({"--port", p1.slavePath(), "image", "load", fs::absolute("new.bin").string(), "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;

    zelsim::Line online;
    zelsim::VirtualController& edited = online.addController(1);
    zelsim::PtyTransport p2(online);
    ASSERT_TRUE(p2.start());
    r = Cli({"--port", p2.slavePath(), "defaults", "1", "--sides", "2", "--nozzles", "2", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& e : edits) {
        std::vector<std::string> args{"--port", p2.slavePath()};
        args.insert(args.end(), e.begin(), e.end());
        ASSERT_EQ(Cli(args).status, 0);
    }
    PutFile("a.bin", loaded.imageBytes());
    PutFile("b.bin", edited.imageBytes());
    r = Cli({"image", "diff", "a.bin", "b.bin"});
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(loaded.peek(0, 0x1000, 3), (Bytes{0x0A, 0x0B, 0x0C}));
}

TEST_F(Offline, EveryCommandWorksOnTheFileAndRefusalsAreClear) {
    zelsim::VirtualController source(7, 0x22);
    PutFile("a.bin", source.imageBytes());
    const Bytes before = FileOf("a.bin");

    // The file's controller answers at the file's side A address, with the type given.
    Ran r = Cli({"--image", "a.bin", "--device-type", "22", "identify"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "address=07 type=22 extra=01\n");
    // Reads and a report change nothing and leave no snapshot.
    EXPECT_EQ(Cli({"--image", "a.bin", "report"}).status, 0);
    EXPECT_EQ(Cli({"--image", "a.bin", "compare", "a.bin"}).status, 0);
    EXPECT_EQ(Cli({"--image", "a.bin", "image", "save", "b.bin"}).status, 0);
    EXPECT_EQ(FileOf("b.bin"), before);
    EXPECT_EQ(FileOf("a.bin"), before);
    EXPECT_TRUE(snapshots().empty());

    // A write goes into the file at once; the file as it was is the snapshot.
    r = Cli({"--image", "a.bin", "write", "1000", "0102"});
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(snapshots().size(), 1u);
    EXPECT_EQ(FileOf(snapshots()[0].string()), before);
    EXPECT_NE(r.err.find("a.bin as it was before is kept in " + snapshots()[0].string()), std::string::npos)
        << r.err;
    const Bytes after = FileOf("a.bin");
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(Bytes(after.begin() + 7 + 58, after.begin() + 7 + 60), (Bytes{0x01, 0x02}));
    EXPECT_EQ(Cli({"--image", "a.bin", "compare", "b.bin"}).status, 1);

    // Refusals before anything is opened.
    EXPECT_EQ(Cli({"--image", "a.bin", "--demo", "read", "1000"}).status, 2);
    EXPECT_EQ(Cli({"--image", "a.bin", "--port", "STUB", "read", "1000"}).status, 2);
    EXPECT_EQ(Cli({"--image", "a.bin", "--device-type", "20", "identify"}).status, 2);
    r = Cli({"--image", "missing.bin", "identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot open missing.bin"), std::string::npos) << r.err;
    PutFile("other.bin", {58, 0, 0, 20});
    r = Cli({"--image", "other.bin", "identify"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("shorter than the 7-byte size header"), std::string::npos) << r.err;
    fs::create_directory("dir.bin");
    EXPECT_EQ(Cli({"--image", "dir.bin", "identify"}).status, 1);
    EXPECT_NE(Cli({"--image", "dir.bin", "identify"}).err.find("not a regular file"), std::string::npos);
    // image new refuses what it cannot make, and never replaces a file.
    EXPECT_EQ(Cli({"image", "new", "a.bin", "--type", "0"}).status, 1);
    EXPECT_EQ(FileOf("a.bin"), after);
    EXPECT_EQ(Cli({"image", "new", "new.bin"}).status, 2);
    EXPECT_EQ(Cli({"image", "new", "new.bin", "--type", "9"}).status, 2);
    EXPECT_EQ(Cli({"image", "new", "new.bin", "--type", "0", "--sizes", "58,0,0,20,0,69"}).status, 2);
    EXPECT_EQ(Cli({"image", "new", "new.bin", "--type", "0", "--sizes", "10,0,0,20,0,69,12"}).status, 2);
    EXPECT_FALSE(fs::exists("new.bin"));
}

// A write the file cannot keep is refused by the controller: nothing is
// reported written, and the file stays as it was.
TEST_F(Offline, AWriteTheFileCannotKeepIsRefused) {
    zelsim::VirtualController source;
    PutFile("a.bin", source.imageBytes());
    const Bytes before = FileOf("a.bin");
    zelsim::ImageHost host;
    std::string why;
    ASSERT_TRUE(host.open("a.bin", 0x21, "no-such-folder/snap.bin", &why)) << why;
    Ran r = Cli({"--port", host.portName(), "write", "1000", "0102"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(host.lastError().find("no snapshot of a.bin"), std::string::npos) << host.lastError();
    EXPECT_EQ(FileOf("a.bin"), before);
    EXPECT_EQ(host.controller().peek(0, 0x1000, 2), source.peek(0, 0x1000, 2));
}

// A SIGKILL at any moment of an offline image load leaves the file whole: as
// it was, or with some blocks of the load in it, never cut or torn.
TEST_F(Offline, AKillDuringAnOfflineWriteLeavesTheFileWhole) {
    zelsim::VirtualController source;
    PutFile("a.bin", source.imageBytes());
    zelsim::VirtualController other;
    for (uint32_t a = 0x1000; a < 0x1000 + 20; ++a)
        other.poke(0, a, {0x5A});
    PutFile("b.bin", other.imageBytes());
    const size_t size = FileOf("a.bin").size();
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    const std::string program = std::string(bin ? bin : ".") + "/cli/startzel-cli";
    for (int ms : {20, 60, 120, 200, 300, 450, 700}) {
        SCOPED_TRACE(ms);
        std::vector<std::string> argv{program, "--image", "a.bin", "image", "load", "b.bin", "--yes"};
        std::vector<char*> cargv;
        for (auto& a : argv)
            cargv.push_back(a.data());
        cargv.push_back(nullptr);
        pid_t pid = 0;
        ASSERT_EQ(posix_spawn(&pid, program.c_str(), nullptr, nullptr, cargv.data(), environ), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        kill(pid, SIGKILL);
        int st = 0;
        waitpid(pid, &st, 0);
        const Bytes now = FileOf("a.bin");
        ASSERT_EQ(now.size(), size);
        zelsim::VirtualController check;
        EXPECT_EQ(check.loadImageBytes(now), zelsim::kImageOk);
    }
    // The next run clears what a killed write left beside the file.
    ASSERT_EQ(Cli({"--image", "a.bin", "identify"}).status, 0);
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_EQ(e.path().filename().string().rfind(".a.bin.startzel-", 0), std::string::npos)
            << "a temporary file left: " << e.path();
}

class Station : public ::testing::Test {
protected:
    zelsim::Line line;
    zelsim::PtyTransport pty{line};
    std::string state;
    void SetUp() override {
        std::remove("com.ini");
        state = fs::absolute("state").string();
        fs::remove_all(state);
        fs::remove_all("st");
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        journal::Install();
        for (int a : {3, 5, 0x0A})
            line.addController(static_cast<uint8_t>(a)).poke(0, 0x1000, {static_cast<uint8_t>(a)});
        ASSERT_TRUE(pty.start());
    }
    void TearDown() override { journal::Uninstall(); }
    Ran run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", pty.slavePath()});
        return Cli(args);
    }
};

TEST_F(Station, SaveCompareAndLoadAWholeLine) {
    // Controller 05 cannot be read whole: the others are saved all the same.
    zelsim::Faults f;
    f.silentReadFrom = 0x1000 + zelsim::kChannelStep * 3;
    f.silentReadTo = f.silentReadFrom + 1;
    line.controller(5)->setFaults(f);
    Ran r = run({"station", "save", "st"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("3 controller(s) found on " + pty.slavePath() + "\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ctrl-03: saved to st/ctrl-03.bin (1292 bytes)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ctrl-05: not saved: a block read failed\n"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("1 of 3 controller(s) could not be saved"), std::string::npos) << r.err;
    EXPECT_EQ(FileOf("st/ctrl-0A.bin"), line.controller(0x0A)->imageBytes());
    EXPECT_FALSE(fs::exists("st/ctrl-05.bin"));
    station::Manifest m;
    std::string why;
    ASSERT_TRUE(station::ReadManifest("st", m, why)) << why;
    ASSERT_EQ(m.controllers.size(), 3u);
    EXPECT_FALSE(m.controllers[1].saved);
    EXPECT_EQ(m.controllers[2].deviceType, 0x21);
    EXPECT_EQ(m.controllers[2].ident, "Контроллер ТРК, тип 21h, версия 3.12\r\nИмитатор линии");

    line.controller(5)->setFaults({});
    ASSERT_EQ(run({"station", "save", "st"}).status, 0);
    r = run({"station", "compare", "st"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "ctrl-03: equal\nctrl-05: equal\nctrl-0A: equal\n");

    // A difference, a controller gone and one the manifest lacks.
    line.controller(3)->poke(0, 0x1000, {0x33});
    line.controller(0x0A)->setFaults([] {
        zelsim::Faults d;
        d.noAnswer = true;
        return d;
    }());
    line.addController(0x0C);
    r = run({"station", "compare", "st"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "ctrl-03: NozSetts[0] ImpWLo: 80000003 → 80000033\nctrl-05: equal\n"
                     "ctrl-0A: not found on the line\nctrl-0C: on the line, not in the manifest\n");

    // Load: controller 05 refuses writes; without --keep-going the rest is skipped.
    line.controller(0x0A)->setFaults({});
    zelsim::Faults refuse;
    refuse.refuseWrites = true;
    line.controller(5)->setFaults(refuse);
    r = run({"station", "load", "st", "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.out.find("\ncontroller  result\n    03      written\n    05      failed\n    0A      skipped\n"),
        std::string::npos)
        << r.out;
    EXPECT_EQ(line.controller(3)->peek(0, 0x1000, 1), Bytes{0x03});
    r = run({"station", "load", "st", "--yes", "--keep-going", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("\"state\": \"written\""), std::string::npos) << r.out;
    line.controller(5)->setFaults({});
    EXPECT_EQ(run({"station", "load", "st", "--only", "05,0A", "--yes"}).status, 0);
    EXPECT_EQ(run({"station", "compare", "st"}).status, 1); // 0C is still not in the manifest
}

TEST_F(Station, RefusalsAndBadManifests) {
    EXPECT_EQ(run({"station", "compare", "st"}).status, 2);
    EXPECT_EQ(run({"station", "load", "st", "--yes"}).status, 1);
    fs::create_directory("st");
    std::ofstream("st/station.json") << "{\"controllers\": [{\"address\": 300}]}";
    Ran r = run({"station", "compare", "st"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("st/station.json is not a station manifest: address 300 is out of range"),
              std::string::npos)
        << r.err;
    std::ofstream("st/station.json") << "not json";
    EXPECT_EQ(run({"station", "compare", "st"}).status, 2);
    std::ofstream("st/station.json") << "{\"controllers\": [{\"address\": 3}, {\"address\": 3}]}";
    EXPECT_EQ(run({"station", "load", "st", "--yes"}).status, 1);
    EXPECT_EQ(run({"station", "load", "st", "--only", "3,zz", "--yes"}).status, 2);
    EXPECT_EQ(run({"station", "send", "st"}).status, 2);
    EXPECT_EQ(run({"station", "save", "st", "--yes"}).status, 2);
    EXPECT_EQ(Cli({"--demo", "station", "save", "st"}).status, 2);
    // Without a terminal to ask and without --yes nothing is written.
    ASSERT_EQ(run({"station", "save", "st"}).status, 0);
    line.controller(3)->poke(0, 0x1000, {0x44});
    EXPECT_EQ(run({"station", "load", "st"}).status, 1);
    EXPECT_EQ(line.controller(3)->peek(0, 0x1000, 1), Bytes{0x44});
}

} // namespace
