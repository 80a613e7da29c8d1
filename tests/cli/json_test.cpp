// startzel-cli --json: one JSON document on standard output for the scripted
// commands, nothing on standard output when the command fails.
#include "cli.h"

#include "port_layer.h"
#include "virtual_controller.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

struct Result {
    int status;
    std::string out, err;
    json doc() const { return json::parse(out); } // throws (and fails the test) on anything but one document
};

Result Cli(std::vector<std::string> args) {
    std::ostringstream out, err;
    const int st = RunCli(args, out, err);
    return {st, out.str(), err.str()};
}

TEST(CliJson, LineCommandsAnswerInJson) {
    std::remove("com.ini");
    zelsim::Line line;
    auto& c5 = line.addController(0x05, 0x22);
    c5.setExtraByte(0x07);
    line.addController(0x1F, 0x27);
    zelsim::PtyTransport pty{line};
    ASSERT_TRUE(pty.start());
    auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--port", pty.slavePath(), "--addr", "5"});
        return Cli(args);
    };

    Result r = run({"identify", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.doc(), json({{"address", 5}, {"type", 0x22}, {"extra", 7}}));

    r = run({"--json", "sizes"}); // the flag may stand before the command
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.doc(), json({{"sizes", {58, 0, 0, 20, 0, 69, 12}}}));

    ASSERT_EQ(run({"write", "1200", "00FF807F"}).status, 0);
    r = run({"read", "1200", "4", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.doc(),
              json({{"address", 0x1200}, {"board", 0}, {"length", 4}, {"bytes", {0, 255, 128, 127}}}));

    // The length query: the data starts after the length byte.
    r = run({"read", "3100", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.doc()["address"], 0x3101);
    EXPECT_EQ(r.doc()["length"], 58);
    EXPECT_EQ(r.doc()["bytes"].size(), 58u);

    r = run({"read", "24", "1", "--board", "2", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.doc()["board"], 2);

    r = Cli({"--port", pty.slavePath(), "search", "--json"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.doc(), json({{"controllers",
                              {{{"address", 5}, {"type", 0x22}, {"extra", 7}},
                               {{"address", 0x1F}, {"type", 0x27}, {"extra", 1}}}}}));

    // Failures: the sentence on standard error, nothing on standard output.
    r = Cli({"--port", pty.slavePath(), "--addr", "9", "identify", "--json"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "startzel-cli: no answer to identify (result code -1)\n");

    // Commands without a JSON form refuse the flag.
    r = run({"write", "1200", "01", "--json"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "startzel-cli: --json does not apply to write (see write --help)\n");
}

TEST(CliJson, PortsWithStableNames) {
    const fs::path root = fs::current_path() / "json-ports";
    fs::remove_all(root);
    fs::create_directories(root / "sys/class/tty/ttyUSB3/device");
    fs::create_directories(root / "sys/class/tty/ttyS0/device");
    fs::create_directories(root / "by-id");
    fs::create_symlink("../../ttyUSB3", root / "by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
    PortSetSysfsRoot((root / "sys").string());
    PortSetByIdRoot((root / "by-id").string());
    const std::string link = (root / "by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0").string();

    Result r = Cli({"ports"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "ttyS0\nttyUSB3  " + link + "\n");
    r = Cli({"ports", "--json"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(
        r.doc(),
        json({{"ports", {{{"name", "ttyS0"}, {"byId", nullptr}}, {{"name", "ttyUSB3"}, {"byId", link}}}}}));

    PortSetSysfsRoot("/sys");
    PortSetByIdRoot("/dev/serial/by-id");
    fs::remove_all(root);
}

} // namespace
