// startzel-cli doctor: each check against an environment made up for it (a
// file-system root, the user's groups, the port's permission, the USB library),
// and the command's output and exit status on this machine.
#include "cli.h"
#include "doctor.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr unsigned kDialout = 20;

class Doctor : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::absolute("doctor-root");
        fs::remove_all(root);
        fs::create_directories(root / "proc" / "1");
        std::ofstream(root / "proc" / "1" / "comm") << "systemd\n";
        fs::create_directories(root / "usr/lib/udev/rules.d");
        std::ofstream(root / "usr/lib/udev/rules.d/60-startzel-usb.rules") << "# rule\n";
        std::ofstream(root / "com.ini") << "ttyUSB0 0 9600 0 1 0 8 N 1";
        std::ofstream(root / "don.msg") << "16,1,Write refused\n16,2,Busy\n";

        // Everything well: a user in dialout, a port it may open, the USB library, a display.
        env.root = root.string();
        env.port = "ttyUSB0";
        env.portFrom = (root / "com.ini").string();
        env.files.comIni = (root / "com.ini").string();
        env.files.donMsg = (root / "don.msg").string();
        env.uid = 1000;
        env.user = "engineer";
        env.primaryGid = 1000;
        env.sessionGroups = {1000, kDialout};
        env.groupByName = [this](const std::string& name) -> std::optional<doctor::GroupEntry> {
            if (name != "dialout") return std::nullopt;
            return doctor::GroupEntry{kDialout, members};
        };
        env.groupName = [](unsigned gid) { return gid == kDialout ? std::string("dialout") : std::string(); };
        env.statPath = [this](const std::string& path, struct stat& st) {
            if (devices.count(path) == 0) return false;
            st = {};
            st.st_mode = S_IFCHR | devices[path];
            st.st_gid = kDialout;
            return true;
        };
        env.accessReadWrite = [this](const std::string&) { return refusal; };
        env.usbLoadable = [this] { return usbLoads; };
        env.usbFile = "libusb-0.1.so.4";
        env.display = ":0";
        devices["/dev/ttyUSB0"] = 0660;
    }
    void TearDown() override { fs::remove_all(root); }

    std::map<std::string, doctor::Check> Checks() {
        std::map<std::string, doctor::Check> m;
        for (const doctor::Check& c : doctor::Run(env))
            m[c.name] = c;
        return m;
    }
    doctor::Check Only(const std::string& name) { return Checks().at(name); }

    fs::path root;
    doctor::Env env;
    std::vector<std::string> members{"engineer"};
    std::map<std::string, unsigned> devices;
    int refusal = 0;
    bool usbLoads = true;
};

TEST_F(Doctor, AllWell) {
    const auto checks = doctor::Run(env);
    std::vector<std::string> lines;
    for (const auto& c : checks)
        lines.push_back(doctor::Line(c));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "ok   dialout: this session belongs to group dialout",
                         "ok   port: read/write permission on /dev/ttyUSB0 (crw-rw----, group dialout)",
                         "ok   brltty: brltty is not installed",
                         "ok   modemmanager: ModemManager is not running",
                         "ok   udev-rule: the rule for our USB converters and key is installed: "
                         "/usr/lib/udev/rules.d/60-startzel-usb.rules",
                         "ok   usb-library: libusb-0.1.so.4 loads: USB converters and the key can be reached",
                         "ok   display: display :0 for the desktop program",
                         "ok   com.ini: " + env.files.comIni + " (port ttyUSB0)",
                         "ok   don.msg: " + env.files.donMsg + " (2 error texts)",
                     }));
}

TEST_F(Doctor, GroupMembership) {
    env.sessionGroups = {1000};
    EXPECT_EQ(
        doctor::Line(Only("dialout")),
        "FAIL dialout: engineer was added to group dialout after this session began, so it does not count "
        "yet; fix: log out and in again (or, in this terminal only: newgrp dialout)");
    members.clear();
    EXPECT_EQ(doctor::Line(Only("dialout")),
              "FAIL dialout: engineer is not in group dialout; fix: sudo usermod "
              "-aG dialout engineer, then log out and in again");
    env.primaryGid = kDialout;
    EXPECT_TRUE(Only("dialout").ok) << "the primary group counts";
    env.primaryGid = 1000;
    env.uid = 0;
    EXPECT_EQ(Only("dialout").detail, "running as root: every serial port is open to it");
}

TEST_F(Doctor, PortPermissionAndPresence) {
    refusal = EACCES;
    EXPECT_EQ(doctor::Line(Only("port")),
              "FAIL port: no read/write permission on /dev/ttyUSB0 (crw-rw----, group dialout); fix: sudo "
              "usermod -aG dialout engineer, then log out and in again");
    env.port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    env.portFrom = "--port";
    EXPECT_EQ(
        doctor::Line(Only("port")),
        "FAIL port: /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 (from --port) does not "
        "exist: the adapter with this stable name is not plugged in; fix: plug it in, or pick another port: "
        "startzel-cli ports");
    env.port = "COM3";
    EXPECT_EQ(Only("port").detail, "/dev/ttyS2 (from --port) does not exist");
    env.port = "TCPC_192.168.0.10:4001";
    EXPECT_TRUE(Only("port").ok);
    env.port = "U_1234";
    EXPECT_EQ(Only("port").detail, "U_1234 is reached through the USB library (see usb-library)");
    env.port = "";
    EXPECT_EQ(doctor::Line(Only("port")),
              "FAIL port: no port is configured; fix: choose the port in startzel "
              "(Com порт → Настройки) or give --port NAME");
}

TEST_F(Doctor, ProgramsThatGetInTheWay) {
    fs::create_directories(root / "usr/bin");
    std::ofstream(root / "usr/bin/brltty") << "";
    fs::create_directories(root / "proc/812");
    std::ofstream(root / "proc/812/comm") << "ModemManager\n";
    fs::remove(root / "usr/lib/udev/rules.d/60-startzel-usb.rules");
    usbLoads = false;
    env.display = "";
    auto c = Checks();
    EXPECT_EQ(c["brltty"].fix, "sudo apt remove brltty");
    EXPECT_EQ(c["modemmanager"].fix,
              "sudo systemctl stop ModemManager && sudo systemctl disable ModemManager");
    EXPECT_FALSE(c["udev-rule"].ok);
    EXPECT_EQ(c["usb-library"].fix, "sudo apt install libusb-0.1-4");
    EXPECT_FALSE(c["display"].ok);
    for (const char* name : {"brltty", "modemmanager", "udev-rule", "usb-library", "display"})
        EXPECT_FALSE(c[name].fix.empty()) << name;

    // The rule installed by hand counts as well as the package's.
    fs::create_directories(root / "etc/udev/rules.d");
    std::ofstream(root / "etc/udev/rules.d/60-startzel-usb.rules") << "# rule\n";
    EXPECT_TRUE(Only("udev-rule").ok);
}

TEST_F(Doctor, Files) {
    fs::remove(root / "com.ini");
    fs::remove(root / "don.msg");
    env.userFolder = true;
    auto c = Checks();
    EXPECT_EQ(c["com.ini"].detail,
              "com.ini not found (looked for it in the working folder and in ~/.config/startzel)");
    EXPECT_EQ(c["com.ini"].fix,
              "choose the port in startzel (Com порт → Настройки), or: echo 'ttyUSB0 0 4800 0 1 0 "
              "8 N 1' > " +
                  env.files.comIni);
    EXPECT_FALSE(c["don.msg"].ok);
    std::ofstream(root / "com.ini") << "";
    std::ofstream(root / "don.msg") << "; only a comment\n";
    c = Checks();
    EXPECT_EQ(c["com.ini"].detail, env.files.comIni + " names no port on its first line");
    EXPECT_EQ(c["don.msg"].detail, env.files.donMsg + " holds no error texts");
}

TEST(DoctorCommand, OneLineEachAndTheExitStatus) {
    std::ostringstream out, err;
    const int st = RunCli({"--port", "STUB", "doctor"}, out, err);
    std::istringstream lines(out.str());
    std::string line;
    int checks = 0, failed = 0;
    std::string last;
    while (std::getline(lines, line)) {
        last = line;
        if (line.rfind("ok   ", 0) == 0) ++checks;
        if (line.rfind("FAIL ", 0) == 0) {
            ++checks;
            ++failed;
            EXPECT_NE(line.find("; fix: "), std::string::npos) << line;
        }
    }
    EXPECT_EQ(checks, 9);
    EXPECT_EQ(st, failed ? 1 : 0);
    EXPECT_EQ(last, failed ? std::to_string(failed) + (failed == 1 ? " problem" : " problems") : "all well");

    std::ostringstream jout, jerr;
    EXPECT_EQ(RunCli({"--port", "STUB", "doctor", "--json"}, jout, jerr), st);
    const nlohmann::json doc = nlohmann::json::parse(jout.str());
    EXPECT_EQ(doc["ok"], failed == 0);
    ASSERT_EQ(doc["checks"].size(), 9u);
    EXPECT_EQ(doc["checks"][1]["check"], "port");
    EXPECT_EQ(doc["checks"][1]["detail"], "STUB swallows everything: no device permission needed");
}

} // namespace

namespace {

// A USB serial adapter's latency timer is reported with the command that lowers
// it; the kernel's RS-485 mode is reported as the port has it. Neither is a
// problem, and neither is shown for ports that have no such thing.
TEST_F(Doctor, LatencyTimerAndRs485OfTheSerialPort) {
    auto count = [this] { return doctor::Run(env).size(); };
    EXPECT_EQ(count(), 9u); // no sysfs entry, RS-485 not asked
    fs::create_directories(root / "sys/bus/usb-serial/devices/ttyUSB3");
    std::ofstream(root / "sys/bus/usb-serial/devices/ttyUSB3/latency_timer") << "16\n";
    env.port = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
    devices[env.port] = 0660;
    env.resolvePath = [](const std::string& p) {
        return p.find("by-id") != std::string::npos ? std::string("/dev/ttyUSB3") : p;
    };
    std::string asked;
    int support = 0;
    env.rs485Support = [&](const std::string& p) {
        asked = p;
        return support;
    };
    doctor::Check c = Only("latency");
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(c.detail,
              "ttyUSB3 holds received bytes up to 16 ms (/sys/bus/usb-serial/devices/ttyUSB3/latency_timer); "
              "the program asks the driver for low latency while the port is open; to lower it until the "
              "adapter is unplugged: echo 1 | sudo tee /sys/bus/usb-serial/devices/ttyUSB3/latency_timer");
    c = Only("rs485");
    EXPECT_TRUE(c.ok);
    EXPECT_EQ(asked, env.port);
    EXPECT_EQ(c.detail,
              env.port + " has no kernel RS-485 mode: the adapter has to switch its transmitter itself");
    support = 1;
    EXPECT_EQ(Only("rs485").detail,
              env.port + " has the kernel's RS-485 mode: the port settings (or --rs485) can turn it on");
    std::ofstream(root / "sys/bus/usb-serial/devices/ttyUSB3/latency_timer") << "1\n";
    EXPECT_EQ(Only("latency").detail, "ttyUSB3 holds received bytes up to 1 ms "
                                      "(/sys/bus/usb-serial/devices/ttyUSB3/latency_timer)");
    // A port that cannot be opened, and ports that are no device, get neither line.
    support = -EACCES;
    EXPECT_EQ(Checks().count("rs485"), 0u);
    env.port = "TCPC_127.0.0.1:4001";
    EXPECT_EQ(count(), 9u);
}

} // namespace
