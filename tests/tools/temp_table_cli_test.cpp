// startzel-cli temp-table and read --area against the virtual controller on a
// pseudo-terminal, the controller's memory checked after each write.
#include "cli.h"
#include "cli_command.h"
#include "memory_map.h"
#include "temperature_table.h"
#include "virtual_controller.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace {

struct Result {
    int status;
    std::string out, err;
};

class TempTableCli : public ::testing::Test {
protected:
    void SetUp() override {
        std::remove("com.ini");
        ctrl = &line.addController(0x05);
        ASSERT_TRUE(pty.start());
    }
    // `input`: what a terminal would answer the confirmation (nothing: not a terminal).
    Result run(std::vector<std::string> args, const char* input = nullptr) {
        args.insert(args.begin(), {"--port", pty.slavePath(), "--addr", "5"});
        std::ostringstream out, err;
        std::istringstream in(input ? input : "");
        cli::Io io{out, err, &in, input != nullptr};
        const int st = RunCli(args, io);
        return {st, out.str(), err.str()};
    }
    std::vector<uint8_t> table() const { return ctrl->peek(0, kAddrTemperatureTable, kLenTemperatureTable); }
    zelsim::Line line;
    zelsim::VirtualController* ctrl = nullptr;
    zelsim::PtyTransport pty{line};
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream s(text);
    for (std::string l; std::getline(s, l);)
        out.push_back(l);
    return out;
}

TEST_F(TempTableCli, ComputeWriteAndReadBack) {
    Result r = run({"temp-table", "compute", "10", "3950", "25"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 40u);
    EXPECT_EQ(lines[0], "Температура (T) ['C]\tСопротивление (Rt) [KOм]\tПоказание ацп (A) [Hex] ");
    EXPECT_EQ(lines[1], "-50\t863,121975691635\tB");
    EXPECT_EQ(lines[20].substr(0, 3), "26\t");
    EXPECT_EQ(lines[20].substr(lines[20].size() - 4), "\t20B");
    EXPECT_EQ(lines[39].substr(lines[39].size() - 4), "\t3C0");
    EXPECT_EQ(line.frameCount(), 0u);

    // Not a terminal and no --yes: nothing is written. A terminal answering "n" neither.
    const std::vector<uint8_t> before(kLenTemperatureTable, 0x55);
    ctrl->poke(0, kAddrTemperatureTable, before);
    r = run({"temp-table", "write", "10", "3950", "25"});
    EXPECT_EQ(r.status, 1);
    r = run({"temp-table", "write", "10", "3950", "25"}, "n\n");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(table(), before);
    r = run({"temp-table", "write", "10", "3950", "25"}, "да\n");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto expected = tools::TableBytes(tools::RecalculateTable(10, 3950, 25).table);
    EXPECT_EQ(table(), std::vector<uint8_t>(expected.begin(), expected.end()));
    r = run({"temp-table", "write", "4,7", "3435", "25", "--yes"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto second = tools::TableBytes(tools::RecalculateTable(4.7, 3435, 25).table);
    EXPECT_EQ(table(), std::vector<uint8_t>(second.begin(), second.end()));

    ctrl->poke(0, kAddrTemperatureTable + 76, {0xFF, 0xFF});
    r = run({"temp-table", "read"});
    ASSERT_EQ(r.status, 0) << r.err;
    lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 40u);
    EXPECT_EQ(lines[39], "102\t---\tFFFFFFFF");

    zelsim::Faults f;
    f.refuseWrites = true;
    ctrl->setFaults(f);
    r = run({"temp-table", "write", "10", "3950", "25", "--yes"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("not written"), std::string::npos) << r.err;
}

TEST_F(TempTableCli, BadParametersAndUsage) {
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"temp-table", "compute", "10", "3950", "-273"}, 2, "TN must be above -273"},
        {{"temp-table", "compute", "", "3950", "25"}, 2, "RN must be a number"},
        {{"temp-table", "compute", "10", "x", "25"}, 2, "B must be a number"},
        {{"temp-table", "compute", "10", "999999999", "25"}, 2, "no finite"},
        {{"temp-table", "compute", "10", "3950"}, 2, "usage"},
        {{"temp-table", "dump"}, 2, "usage"},
        {{"temp-table", "read", "--yes"}, 2, "--yes applies"},
        {{"--demo", "temp-table", "read"}, 1, "demo mode"},
        {{"read", "0", "4", "--area", "XR"}, 2, "--area takes ER, IR or IM"},
        {{"read", "0", "4", "--area", "IR", "--board", "4"}, 2, "is board 2"},
    };
    for (const Case& k : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(RunCli(k.args, out, err), k.status) << k.args.back() << err.str();
        EXPECT_NE(err.str().find(k.says), std::string::npos) << err.str();
    }
    EXPECT_EQ(line.frameCount(), 0u);
}

TEST_F(TempTableCli, ReadNamesTheDumpAreas) {
    ctrl->poke(0, 0x6000, {0x01, 0x02});
    ctrl->poke(2, 0x60, {0x21, 0x22});
    ctrl->poke(4, 0x6000, {0x41, 0x42});
    for (auto [area, bytes] : {std::pair{"ER", "01 02"}, {"ir", "21 22"}, {"IM", "41 42"}}) {
        const Result r = run({"read", std::string(area) == "ir" ? "60" : "6000", "2", "--area", area});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, std::string(bytes) + "\n") << area;
    }
}

} // namespace
