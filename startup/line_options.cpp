#include "line_options.h"

#include "port_layer.h"

#include <cstdio>
#include <fstream>
#include <sstream>

std::string LineOptionsPath(const std::string& comIniPath) {
    const size_t slash = comIniPath.find_last_of('/');
    return slash == std::string::npos ? std::string("line.ini")
                                      : comIniPath.substr(0, slash + 1) + "line.ini";
}

LineOptions ReadLineOptions(const std::string& path) {
    LineOptions o;
    std::ifstream f(path);
    std::string line;
    while (std::getline(f, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        const std::string key = line.substr(0, eq);
        const std::string value = line.substr(eq + 1);
        const bool on = value == "1" || value == "yes" || value == "on" || value == "true";
        if (key == "echo") o.echo = on;
        if (key == "rs485") o.rs485 = on;
    }
    return o;
}

int WriteLineOptions(const LineOptions& o, const std::string& path) {
    std::ostringstream text;
    text << "; port settings beside com.ini\n"
         << "echo=" << (o.echo ? 1 : 0) << "\n"
         << "rs485=" << (o.rs485 ? 1 : 0) << "\n";
    const std::string tmp = path + ".new";
    {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        if (!f) return 0;
        f << text.str();
        f.flush();
        if (!f) {
            f.close();
            std::remove(tmp.c_str());
            return 0;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return 0;
    }
    return 1;
}

int ApplyLineOptions(int handle, const LineOptions& o) {
    PortSetEcho(handle, o.echo);
    if (!o.rs485) return 0;
    return PortSetRs485(handle, true);
}
