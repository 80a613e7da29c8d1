#include "doctor.h"

#include "com_ini.h"
#include "error_messages.h"
#include "port_layer.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <optional>
#include <pwd.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace doctor {

namespace {

constexpr char kSerialGroup[] = "dialout";
constexpr char kRuleFile[] = "60-startzel-usb.rules";

std::string Under(const Env& env, const std::string& path) {
    if (env.root.empty() || env.root == "/") return path;
    return (fs::path(env.root) / fs::path(path).relative_path()).string();
}

bool Exists(const Env& env, const std::string& path) {
    std::error_code ec;
    return fs::exists(Under(env, path), ec);
}

Check Ok(const std::string& name, const std::string& detail) {
    return {name, true, detail, ""};
}

Check Problem(const std::string& name, const std::string& detail, const std::string& fix) {
    return {name, false, detail, fix};
}

bool StartsWith(const std::string& s, const char* prefix) {
    return s.rfind(prefix, 0) == 0;
}

// A name the port layer opens as a device file (not USB, TCP or the stub).
bool IsDeviceName(const std::string& name) {
    return !name.empty() && name != "UKEY" && name != "STUB" && !StartsWith(name, "U_") &&
           !StartsWith(name, "TCPS_") && !StartsWith(name, "TCPC_");
}

std::string ModeText(const struct stat& st) {
    std::string m = S_ISCHR(st.st_mode) ? "c" : S_ISDIR(st.st_mode) ? "d" : "-";
    const char* rwx = "rwxrwxrwx";
    for (int i = 0; i < 9; ++i)
        m += (st.st_mode & (0400u >> i)) ? rwx[i] : '-';
    return m;
}

// The group that serial ports belong to: the configured port's own group when
// it is a device that exists, else dialout.
std::string SerialGroup(const Env& env, unsigned& gid, bool& known) {
    struct stat st {};
    if (IsDeviceName(env.port) && env.statPath && env.statPath(PortDevicePath(env.port.c_str()), st) &&
        S_ISCHR(st.st_mode) && st.st_gid != 0) {
        gid = st.st_gid;
        known = true;
        const std::string name = env.groupName ? env.groupName(gid) : "";
        return name.empty() ? std::to_string(gid) : name;
    }
    const auto g = env.groupByName ? env.groupByName(kSerialGroup) : std::nullopt;
    known = g.has_value();
    gid = g ? g->gid : 0;
    return kSerialGroup;
}

Check GroupCheck(const Env& env) {
    const char* name = "dialout";
    if (env.uid == 0) return Ok(name, "running as root: every serial port is open to it");
    unsigned gid = 0;
    bool known = false;
    const std::string group = SerialGroup(env, gid, known);
    const std::string add = "sudo usermod -aG " + group + " " + (env.user.empty() ? "$USER" : env.user) +
                            ", then log out and in again";
    if (!known)
        return Problem(name, "there is no group " + group + " on this system", "sudo groupadd -r " + group);
    if (env.primaryGid == gid ||
        std::find(env.sessionGroups.begin(), env.sessionGroups.end(), gid) != env.sessionGroups.end())
        return Ok(name, "this session belongs to group " + group);
    const auto entry = env.groupByName ? env.groupByName(group) : std::nullopt;
    if (entry && std::find(entry->members.begin(), entry->members.end(), env.user) != entry->members.end())
        return Problem(name,
                       env.user + " was added to group " + group +
                           " after this session began, so it does not count yet",
                       "log out and in again (or, in this terminal only: newgrp " + group + ")");
    return Problem(
        name, (env.user.empty() ? std::string("this user") : env.user) + " is not in group " + group, add);
}

Check PortCheck(const Env& env) {
    const char* name = "port";
    const std::string choose = "choose the port in startzel (Com порт → Настройки) or give --port NAME";
    if (env.port.empty()) return Problem(name, "no port is configured", choose);
    if (!IsDeviceName(env.port)) {
        if (StartsWith(env.port, "TCP"))
            return Ok(name, env.port + " is a TCP port: no device permission needed");
        if (env.port == "STUB") return Ok(name, "STUB swallows everything: no device permission needed");
        return Ok(name, env.port + " is reached through the USB library (see usb-library)");
    }
    const std::string path = PortDevicePath(env.port.c_str());
    struct stat st {};
    if (!env.statPath || !env.statPath(path, st)) {
        const std::string what = path + " (from " + env.portFrom + ") does not exist";
        if (path.find("/serial/by-id/") != std::string::npos)
            return Problem(name, what + ": the adapter with this stable name is not plugged in",
                           "plug it in, or pick another port: startzel-cli ports");
        return Problem(name, what, "plug the converter in, or pick a port that exists: startzel-cli ports");
    }
    const std::string owner = env.groupName ? env.groupName(st.st_gid) : "";
    const std::string shown =
        path + " (" + ModeText(st) + ", group " + (owner.empty() ? std::to_string(st.st_gid) : owner) + ")";
    const int refused = env.accessReadWrite ? env.accessReadWrite(path) : 0;
    if (refused == 0) return Ok(name, "read/write permission on " + shown);
    unsigned gid = 0;
    bool known = false;
    const std::string group = SerialGroup(env, gid, known); // never "root" for a plain file
    if (refused == EACCES || refused == EPERM)
        return Problem(name, "no read/write permission on " + shown,
                       "sudo usermod -aG " + group + " " + (env.user.empty() ? "$USER" : env.user) +
                           ", then log out and in again");
    return Problem(name, "cannot check " + shown + ": " + std::strerror(refused), choose);
}

Check BrlttyCheck(const Env& env) {
    for (const char* p : {"/usr/bin/brltty", "/bin/brltty", "/usr/sbin/brltty", "/sbin/brltty"})
        if (Exists(env, p))
            return Problem(
                "brltty",
                "brltty is installed; it takes USB serial converters (CH340, CP210x and others) for "
                "braille displays",
                "sudo apt remove brltty");
    return Ok("brltty", "brltty is not installed");
}

Check ModemManagerCheck(const Env& env) {
    std::error_code ec;
    for (fs::directory_iterator it(Under(env, "/proc"), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string pid = it->path().filename().string();
        if (pid.empty() || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream comm(it->path() / "comm");
        std::string command;
        if (std::getline(comm, command) && command == "ModemManager")
            return Problem(
                "modemmanager",
                "ModemManager is running; it probes new serial ports and can hold them for seconds",
                "sudo systemctl stop ModemManager && sudo systemctl disable ModemManager");
    }
    return Ok("modemmanager", "ModemManager is not running");
}

Check UdevRuleCheck(const Env& env) {
    for (const char* dir : {"/etc/udev/rules.d/", "/usr/lib/udev/rules.d/", "/lib/udev/rules.d/"})
        if (Exists(env, std::string(dir) + kRuleFile))
            return Ok("udev-rule", "the rule for our USB converters and key is installed: " +
                                       std::string(dir) + kRuleFile);
    return Problem("udev-rule", "the udev rule for our USB converters and key is not installed",
                   std::string("sudo install -m 644 data/") + kRuleFile +
                       " /etc/udev/rules.d/ && sudo udevadm control --reload-rules && sudo udevadm trigger "
                       "(in the source folder; the package installs it)");
}

Check UsbLibraryCheck(const Env& env) {
    if (env.usbLoadable && env.usbLoadable())
        return Ok("usb-library", env.usbFile + " loads: USB converters and the key can be reached");
    return Problem("usb-library",
                   env.usbFile + " cannot be loaded: USB converters and the key are out of reach (serial and "
                                 "TCP ports work)",
                   "sudo apt install libusb-0.1-4");
}

Check DisplayCheck(const Env& env) {
    if (!env.display.empty()) return Ok("display", "display " + env.display + " for the desktop program");
    return Problem("display", "no display: the desktop program cannot open its window here",
                   "start startzel in a desktop session (or over ssh -X); startzel-cli works without one");
}

std::string LookedIn(const Env& env, const char* file) {
    return std::string("looked for ") + file + " in the working folder" +
           (env.userFolder ? " and in ~/.config/startzel" : "");
}

Check ComIniCheck(const Env& env) {
    const std::string& path = env.files.comIni;
    std::error_code ec;
    const std::string example = "echo 'ttyUSB0 0 4800 0 1 0 8 N 1' > " + path;
    if (!fs::exists(path, ec))
        return Problem("com.ini", "com.ini not found (" + LookedIn(env, "it") + ")",
                       "choose the port in startzel (Com порт → Настройки), or: " + example);
    ComIniTable table;
    if (ReadComIni(table, path) != 1)
        return Problem("com.ini", "cannot read " + path + ": " + std::strerror(errno), "chmod u+r " + path);
    if (table.entries[0].name.empty())
        return Problem("com.ini", path + " names no port on its first line",
                       "choose the port in startzel (Com порт → Настройки), or: " + example);
    if (const std::string problem = ComLineProblem(table.entries[0]); !problem.empty())
        return Problem("com.ini", path + " has " + problem + " on its first line",
                       "choose the settings in startzel (Com порт → Настройки), or: " + example);
    return Ok("com.ini", path + " (port " + table.entries[0].name + ")");
}

Check DonMsgCheck(const Env& env) {
    const std::string& path = env.files.donMsg;
    const std::string fix = std::string("cp /usr/share/startzel/don.msg . (or data/don.msg of the source)");
    std::error_code ec;
    if (!fs::exists(path, ec))
        return Problem("don.msg",
                       "don.msg not found (" + LookedIn(env, "it") +
                           "): controller errors are shown without their texts",
                       fix);
    ErrorMessageTable table;
    if (!table.Load(path))
        return Problem("don.msg", "cannot read " + path + ": " + std::strerror(errno), "chmod u+r " + path);
    if (table.Count() == 0) return Problem("don.msg", path + " holds no error texts", fix);
    return Ok("don.msg", path + " (" + std::to_string(table.Count()) + " error texts)");
}

// The tty behind a device port: "ttyUSB0" for /dev/ttyUSB0 and for its by-id link.
std::string TtyName(const Env& env, const std::string& path) {
    std::string real = env.resolvePath ? env.resolvePath(path) : path;
    if (real.empty()) real = path;
    return fs::path(real).filename().string();
}

// USB serial adapters (FTDI and the like) hold received bytes up to their
// latency timer, which at 38400 baud and above dominates every exchange.
std::optional<Check> LatencyCheck(const Env& env) {
    if (!IsDeviceName(env.port)) return std::nullopt;
    const std::string tty = TtyName(env, PortDevicePath(env.port.c_str()));
    const std::string file = "/sys/bus/usb-serial/devices/" + tty + "/latency_timer";
    std::ifstream f(Under(env, file));
    int ms = 0;
    if (!(f >> ms)) return std::nullopt; // not a USB serial adapter with such a timer
    const std::string held = tty + " holds received bytes up to " + std::to_string(ms) + " ms (" + file + ")";
    if (ms <= 1) return Ok("latency", held);
    return Ok("latency",
              held +
                  "; the program asks the driver for low latency while the port is open; to lower it "
                  "until the adapter is unplugged: echo 1 | sudo tee " +
                  file);
}

std::optional<Check> Rs485Check(const Env& env) {
    if (!IsDeviceName(env.port) || !env.rs485Support) return std::nullopt;
    const std::string path = PortDevicePath(env.port.c_str());
    const int r = env.rs485Support(path);
    if (r < 0) return std::nullopt; // not to be opened: the port check says why
    if (r == 1)
        return Ok("rs485",
                  path + " has the kernel's RS-485 mode: the port settings (or --rs485) can turn it on");
    return Ok("rs485", path + " has no kernel RS-485 mode: the adapter has to switch its transmitter itself");
}

} // namespace

std::vector<Check> Run(const Env& env) {
    std::vector<Check> checks{GroupCheck(env),        PortCheck(env),     BrlttyCheck(env),
                              ModemManagerCheck(env), UdevRuleCheck(env), UsbLibraryCheck(env),
                              DisplayCheck(env),      ComIniCheck(env),   DonMsgCheck(env)};
    // Checks of the port itself, where it has what they look at.
    for (auto c : {LatencyCheck(env), Rs485Check(env)})
        if (c) checks.push_back(*c);
    return checks;
}

Env SystemEnv() {
    Env env;
    env.uid = getuid();
    env.primaryGid = getgid();
    passwd pw{}, *found = nullptr;
    std::vector<char> buf(16384);
    if (getpwuid_r(env.uid, &pw, buf.data(), buf.size(), &found) == 0 && found) env.user = found->pw_name;
    const int n = getgroups(0, nullptr);
    if (n > 0) {
        std::vector<gid_t> gs(static_cast<size_t>(n));
        const int got = getgroups(n, gs.data());
        for (int i = 0; i < got; ++i)
            env.sessionGroups.push_back(gs[static_cast<size_t>(i)]);
    }
    env.groupByName = [](const std::string& name) -> std::optional<GroupEntry> {
        group g{}, *res = nullptr;
        std::vector<char> b(65536);
        if (getgrnam_r(name.c_str(), &g, b.data(), b.size(), &res) != 0 || !res) return std::nullopt;
        GroupEntry e;
        e.gid = res->gr_gid;
        for (char** m = res->gr_mem; m && *m; ++m)
            e.members.emplace_back(*m);
        return e;
    };
    env.groupName = [](unsigned gid) -> std::string {
        group g{}, *res = nullptr;
        std::vector<char> b(65536);
        if (getgrgid_r(gid, &g, b.data(), b.size(), &res) != 0 || !res) return "";
        return res->gr_name;
    };
    env.statPath = [](const std::string& path, struct stat& st) { return ::stat(path.c_str(), &st) == 0; };
    env.accessReadWrite = [](const std::string& path) {
        return ::access(path.c_str(), R_OK | W_OK) == 0 ? 0 : errno;
    };
    env.resolvePath = [](const std::string& path) {
        std::error_code ec;
        const fs::path real = fs::canonical(path, ec);
        return ec ? path : real.string();
    };
    env.rs485Support = [](const std::string& path) { return PortRs485SupportedAt(path.c_str()); };
    env.usbLoadable = [] { return PortUsbLibraryLoads(); };
    env.usbFile = PortUsbLibraryFile();
    const char* d = std::getenv("DISPLAY");
    const char* w = std::getenv("WAYLAND_DISPLAY");
    env.display = d && *d ? d : w && *w ? w : "";
    return env;
}

std::string Line(const Check& c) {
    if (c.ok) return "ok   " + c.name + ": " + c.detail;
    return "FAIL " + c.name + ": " + c.detail + "; fix: " + c.fix;
}

} // namespace doctor
