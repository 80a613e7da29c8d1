// startzel-cli's report and defaults against the virtual controller on a
// pseudo-terminal and on the demo image.
#include "cli.h"

#include "block_transfer.h"
#include "defaults_core.h"
#include "little_endian.h"
#include "virtual_controller.h"
#include "write_journal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int st = RunCli(args, out, err);
    return {st, out.str(), err.str()};
}

class ToolsCli : public ::testing::Test {
protected:
    void SetUp() override {
        std::remove("com.ini");
        const std::string home = std::filesystem::absolute("state").string();
        std::filesystem::remove_all(home);
        setenv("XDG_STATE_HOME", home.c_str(), 1);
        ctrl = &line.addController(0x05);
        ASSERT_TRUE(pty.start());
    }
    Result run(std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", pty.slavePath(), "--addr", "5"});
        return Cli(args);
    }
    zelsim::Line line;
    zelsim::VirtualController* ctrl = nullptr;
    zelsim::PtyTransport pty{line};
};

} // namespace

TEST_F(ToolsCli, ReportPrintsTheWindowsText) {
    auto r0 = ctrl->peek(0, 0x2000, 69);
    PutU16(r0.data(), 2, 0x0004);
    ctrl->poke(0, 0x2000, r0);
    Result r = run({"report"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("Тип датчика")),
              "\tТрк №5\n\nАдрес стороны А - 5\nАдрес стороны Б - 6\n"
              "Скорость обмена - 4800\nКоличество сторон - 2\n"
              "Количество РК - 4\n");
    EXPECT_NE(r.out.find("Фискальный счетчик  сторона Б, 4 рукав = 1959,49\n"), std::string::npos);
    EXPECT_EQ(r.out.find("Ошибка питания"), std::string::npos);
    r = run({"report", "--extended"});
    EXPECT_NE(r.out.find("\nСостояние рукава Сторона А №1\nОшибка питания\nАвария датчика\n"),
              std::string::npos);

    // A block that does not come is marked, and the run fails.
    zelsim::Faults f;
    f.silentReadFrom = 0x2300;
    f.silentReadTo = 0x2400;
    ctrl->setFaults(f);
    r = run({"report"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Фискальный счетчик  сторона А, 4 рукав = не считан\n"), std::string::npos);
    EXPECT_NE(r.err.find("some blocks could not be read"), std::string::npos);
}

TEST_F(ToolsCli, DefaultsAskRefuseAndWrite) {
    const int writes = ctrl->writeCount();
    // No terminal to ask and no --yes: nothing written.
    Result r = run({"defaults", "1"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("give --yes"), std::string::npos);
    EXPECT_NE(r.out.find("Фискальные счетчики будут обнулены.\n"), std::string::npos);
    // More than ten channels: refused before any write.
    r = run({"defaults", "Нара", "--nozzles", "6", "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("at most 10 channels"), std::string::npos);
    // What the type does not offer, and bad values, are usage errors.
    EXPECT_EQ(run({"defaults", "2", "--nozzles", "2", "--yes"}).status, 2);
    EXPECT_EQ(run({"defaults", "3", "--side-b", "4", "--yes"}).status, 2);
    EXPECT_EQ(run({"defaults", "9"}).status, 2);
    EXPECT_EQ(run({"defaults", "0", "--side-a", "0"}).status, 2);
    EXPECT_EQ(run({"defaults", "0", "--side-a", "3", "--side-b", "3", "--yes"}).status, 1);
    EXPECT_EQ(ctrl->writeCount(), writes);

    r = run({"defaults", "0", "--sides", "1", "--nozzles", "3", "--side-a", "5", "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(
        r.out.find("sides: 1, nozzles per side: 3\nside addresses: 5\nchannel addresses, side A: 1 2 3\n"),
        std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("snapshot of controller 05 saved to "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("the factory defaults written into controller 05 on " + pty.slavePath() +
                         ", read back and verified; the controller was restarted\n"),
              std::string::npos)
        << r.out;
    const auto p = ctrl->peek(0, CtrlrParams.address, 58);
    EXPECT_EQ(p[2], 5);
    EXPECT_EQ(p[4], 3);
    EXPECT_EQ(p[5], 1);
    EXPECT_EQ(GetU16(ctrl->peek(0, NaraSpecific.address, 2).data(), 0), 0x0007);
    EXPECT_EQ(ctrl->peek(0, 0x2000 + 0x300, 69), std::vector<uint8_t>(69, 0));

    // Side addresses 1 and 2 move the controller at 5 to 1.
    r = run({"defaults", "1", "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("the controller now answers at address 01\n"), std::string::npos);
    EXPECT_EQ(ctrl->address(), 1);
}

// --yes answers the question, not the missing snapshot: with the state folder
// unusable nothing is written unless --allow-no-snapshot is given; the blocks
// read for a snapshot are the journal's "before".
TEST_F(ToolsCli, DefaultsNeedTheirSnapshot) {
    const std::string state = std::getenv("XDG_STATE_HOME");
    std::ofstream(state) << "a file where the folder should be";
    const int writes = ctrl->writeCount();
    // Side A keeps address 5: the controller answers there after each write.
    const std::vector<std::string> keep{"defaults", "0", "--sides", "1", "--side-a", "5", "--yes"};
    auto with = [&](const char* flag) {
        std::vector<std::string> a = keep;
        if (flag) a.push_back(flag);
        return a;
    };
    Result r = run(with(nullptr));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "startzel-cli: cannot write the snapshot into " + state +
                         "/startzel/snapshots: Not a directory; nothing written (give --allow-no-snapshot to "
                         "write without one)\n");
    EXPECT_EQ(ctrl->writeCount(), writes);
    r = run(with("--allow-no-snapshot"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("; writing without one (--allow-no-snapshot)\n"), std::string::npos);
    EXPECT_GT(ctrl->writeCount(), writes);

    std::filesystem::remove(state);
    const auto old = ctrl->peek(0, CtrlrParams.address, 58);
    journal::Install();
    r = run(with(nullptr));
    journal::Uninstall();
    EXPECT_EQ(r.status, 0) << r.err;
    const journal::Contents j = journal::ReadJournal(state + "/startzel/journal.log");
    int known = 0;
    for (const journal::Record& rec : j.records) {
        if (rec.kind == journal::Record::Kind::Verified) continue;
        if (rec.beforeKnown) ++known;
        if (rec.address == CtrlrParams.address) {
            EXPECT_TRUE(rec.beforeKnown);
            EXPECT_EQ(rec.before, old);
        }
    }
    EXPECT_GE(known, 20) << j.records.size();
}

TEST(ToolsCliDemo, DefaultsRewriteTheDemoFileTheReportReads) {
    const std::string home = std::filesystem::absolute("state").string();
    setenv("XDG_STATE_HOME", home.c_str(), 1);
    std::filesystem::remove_all("startzel-demo");
    std::ofstream("demo_trk.bin", std::ios::binary) << std::string(1000, '\0');
    Result r = Cli({"--demo", "report"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "\tТрк №1\n\nФайл демонстрационного образа demo_trk.bin неполон: 1000 байт, нужно не меньше "
              "1100.\n");

    r = Cli({"--demo", "defaults", "3", "--yes"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("demo_trk.bin rewritten\n"), std::string::npos);
    EXPECT_EQ(std::filesystem::file_size("demo_trk.bin"), 1107u);
    r = Cli({"--demo", "report"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Количество сторон - 1\nКоличество РК - 1\n"), std::string::npos);
    EXPECT_NE(r.out.find("Фискальный счетчик  сторона А, 1 рукав = 0,00\n"), std::string::npos);
}
