// startzel-cli doctor: the usual reasons a serial tool fails on Linux, checked
// one by one, each with the command that fixes it.
//
// Everything the checks look at comes through DoctorEnv, so tests can give a
// file-system root, the user's groups, the port's permission and the USB
// library's fate of their own.
#pragma once

#include "data_files.h"

#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace doctor {

struct GroupEntry {
    unsigned gid = 0;
    std::vector<std::string> members; // listed members (not those for whom it is the primary group)
};

struct Env {
    std::string root = "/";  // where /etc, /usr, /lib and /proc are looked for
    std::string port;        // the port in use ("" when none is configured)
    std::string portFrom;    // "--port" or the com.ini it came from
    DataFiles files;         // com.ini and don.msg in use
    bool userFolder = false; // the installed program's per-user folder is in play

    unsigned uid = 0;
    std::string user;
    unsigned primaryGid = 0;
    std::vector<unsigned> sessionGroups; // the groups this process has
    std::function<std::optional<GroupEntry>(const std::string& name)> groupByName;
    std::function<std::string(unsigned gid)> groupName;

    std::function<bool(const std::string& path, struct stat& st)> statPath;
    std::function<int(const std::string& path)> accessReadWrite; // 0, or the errno of the refusal

    // The file a path leads to (a /dev/serial/by-id link resolved); the path
    // itself when empty or when it leads nowhere.
    std::function<std::string(const std::string& path)> resolvePath;
    // Whether the serial port at the path has the kernel's RS-485 mode: 1, 0,
    // or -errno when it cannot be asked. Empty: not checked.
    std::function<int(const std::string& path)> rs485Support;

    std::function<bool()> usbLoadable;
    std::string usbFile; // the file the program loads
    std::string display; // $DISPLAY or $WAYLAND_DISPLAY, "" when neither
};

struct Check {
    std::string name; // "dialout", "port", "brltty", ...
    bool ok = false;
    std::string detail; // what was found, or what is wrong
    std::string fix;    // the command that fixes it ("" when ok)
};

std::vector<Check> Run(const Env& env);

// This process's environment; port and files are filled in by the caller.
Env SystemEnv();

// "ok   name: detail" or "FAIL name: detail; fix: command".
std::string Line(const Check& c);

} // namespace doctor
