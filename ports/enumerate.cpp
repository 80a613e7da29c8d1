// The list of ports offered by the port settings dialog: the serial ports the
// kernel knows, then (with room left) the USB converter names, sorted.
#include "port_slot.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

PortListTable PortList;

namespace {

std::mutex sysfsMutex;
std::string sysfsRoot = "/sys";
std::string byIdRoot = "/dev/serial/by-id";

std::string SysfsRoot() {
    std::lock_guard<std::mutex> lock(sysfsMutex);
    return sysfsRoot;
}

std::string ByIdRoot() {
    std::lock_guard<std::mutex> lock(sysfsMutex);
    return byIdRoot;
}

// tty name -> its stable path: udev's links "usb-<vendor>_<model>_<serial>-if00-port0"
// point at "../../ttyUSB0". When two links name one tty the first in name order wins.
std::map<std::string, std::string> StableNames() {
    std::vector<std::filesystem::path> links;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(ByIdRoot(), ec), end; !ec && it != end; it.increment(ec))
        if (it->is_symlink(ec)) links.push_back(it->path());
    std::sort(links.begin(), links.end());
    std::map<std::string, std::string> byTty;
    for (const auto& link : links) {
        const std::filesystem::path target = std::filesystem::read_symlink(link, ec);
        if (ec || target.filename().empty()) continue;
        byTty.emplace(target.filename().string(), link.string());
    }
    return byTty;
}

// Three-way comparison of two list names: names that both begin with "COM" by
// the number after it (COM2 before COM10), any other pair byte by byte.
int ComparePortNames(const char* a, const char* b) {
    if (std::strncmp(a, "COM", 3) == 0 && std::strncmp(b, "COM", 3) == 0) {
        const long na = std::strtol(a + 3, nullptr, 10);
        const long nb = std::strtol(b + 3, nullptr, 10);
        if (na != nb) return na < nb ? -1 : 1;
        // same number ("COM1" and "COM01"): bytes decide, so the order is stable
    }
    return std::strcmp(a, b);
}

// A tty with a device behind it is a real port. Serial-core ports whose UART
// type reads 0 have no hardware (the legacy ttyS slots every kernel creates).
bool IsRealPort(const std::filesystem::path& tty) {
    std::error_code ec;
    if (!std::filesystem::exists(tty / "device", ec)) return false;
    std::ifstream type(tty / "type");
    if (type) {
        long value = -1;
        if (type >> value && value == 0) return false;
    }
    return true;
}

void AddName(PortListTable& list, const std::string& name, const PortListEntryInfo& info) {
    if (list.count >= kPortListSize) return;
    std::strncpy(list.names[list.count], name.c_str(), sizeof list.names[0] - 1); // cut to 19
    list.names[list.count][sizeof list.names[0] - 1] = '\0';
    list.info[list.count] = info;
    ++list.count;
}

// USB converter channels and the USB key (usb_port.cpp).
void AppendUsbNames(PortListTable& list) {
    UsbAppendPortNames(list);
}

} // namespace

void PortSetSysfsRoot(const std::string& root) {
    std::lock_guard<std::mutex> lock(sysfsMutex);
    sysfsRoot = root.empty() ? "/sys" : root;
}

void PortSetByIdRoot(const std::string& root) {
    std::lock_guard<std::mutex> lock(sysfsMutex);
    byIdRoot = root.empty() ? "/dev/serial/by-id" : root;
}

int EnumeratePorts() {
    PortListTable list;

    // Directory order is arbitrary; the candidates are put in list order first so
    // that the same 16 are chosen on every run when there are more.
    std::vector<std::string> names;
    std::error_code ec;
    const std::filesystem::path ttyDir = std::filesystem::path(SysfsRoot()) / "class" / "tty";
    for (std::filesystem::directory_iterator it(ttyDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (IsRealPort(it->path())) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return ComparePortNames(a.c_str(), b.c_str()) < 0;
    });
    const std::map<std::string, std::string> stable = StableNames();
    for (const std::string& name : names) {
        PortListEntryInfo info;
        if (auto it = stable.find(name); it != stable.end()) info.byId = it->second;
        AddName(list, name, info);
    }

    if (list.count < kPortListSize) AppendUsbNames(list);

    if (list.count >= 2) {
        // names and their device information travel together
        std::vector<int> order(static_cast<size_t>(list.count));
        for (int i = 0; i < list.count; ++i)
            order[static_cast<size_t>(i)] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](int a, int b) { return ComparePortNames(list.names[a], list.names[b]) < 0; });
        PortListTable sorted;
        for (int i = 0; i < list.count; ++i) {
            const int from = order[static_cast<size_t>(i)];
            std::memcpy(sorted.names[i], list.names[from], sizeof sorted.names[i]);
            sorted.info[i] = list.info[from];
        }
        sorted.count = list.count;
        list = sorted;
    }
    PortList = list;
    return 1;
}
