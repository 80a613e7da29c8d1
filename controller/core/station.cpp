#include "station.h"

#include "frames.h"
#include "hex_text.h"
#include "ident_ops.h"
#include "image_files.h"
#include "snapshot.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

namespace station {

namespace {

using json = nlohmann::ordered_json;

std::string TimeText(std::time_t t) {
    std::tm tm{};
    localtime_r(&t, &tm);
    char b[32];
    std::strftime(b, sizeof b, "%Y-%m-%dT%H:%M:%S", &tm);
    return b;
}

bool ParseTime(const std::string& text, std::time_t& t) {
    std::tm tm{};
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &tm.tm_hour,
                    &tm.tm_min, &tm.tm_sec) != 6)
        return false;
    tm.tm_year -= 1900;
    tm.tm_mon -= 1;
    tm.tm_isdst = -1;
    t = std::mktime(&tm);
    return t != static_cast<std::time_t>(-1);
}

} // namespace

std::string FileName(int address) {
    return "ctrl-" + HexByte(static_cast<unsigned>(address)) + ".bin";
}

int Probe(int port, int address, Found& found, bool& ok) {
    const ident::IdentifyAnswer r = ident::IdentifyAt(port, address);
    ok = r.result >= 1 && r.address == address;
    if (ok) found = {address, r.deviceType};
    return r.result;
}

std::vector<Found> Search(int port, const std::function<void(int, bool)>& polled) {
    std::vector<Found> found;
    for (int a = kFirstAddress; a <= kLastAddress; ++a) {
        Found f;
        bool ok = false;
        Probe(port, a, f, ok);
        if (ok) found.push_back(f);
        if (polled) polled(a, ok);
    }
    return found;
}

SaveResult Save(int port, const std::string& dir, const std::vector<Found>& found, const std::string& version,
                const std::string& portName, const std::function<void(int, long)>& reading,
                const std::function<void(const Entry&)>& done) {
    SaveResult r;
    r.manifest.time = std::time(nullptr);
    r.manifest.version = version;
    r.manifest.port = portName.empty() ? LineName(port) : portName;
    const bool folder = image::EnsureFolder(dir);
    for (const Found& f : found) {
        Entry e;
        e.address = f.address;
        e.deviceType = f.deviceType;
        e.file = FileName(f.address);
        const std::string path = dir + "/" + e.file;
        if (!folder) {
            e.failure = "the folder " + dir + " cannot be made";
        } else {
            e.ident = ident::ReadIdentTextUtf8(port, f.address);
            const int s = image::SaveImageFile(port, f.address, path, [&](long bytes) {
                if (reading) reading(f.address, bytes);
            });
            if (s == 1) {
                const image::ImageFile file = image::ReadImageFile(path);
                e.saved = file.check == image::FileCheck::Ok;
                e.bytes = file.length;
                for (int i = 0; i < 7 && i < static_cast<int>(file.bytes.size()); ++i)
                    e.sizes[i] = static_cast<int8_t>(file.bytes[static_cast<size_t>(i)]);
                if (!e.saved) e.failure = "the saved file does not read back as an image";
            } else {
                e.failure = s == -1   ? "the block sizes could not be read"
                            : s == -2 ? "a block read failed"
                                      : "the file " + path + " could not be written";
            }
        }
        if (!e.saved) ++r.failed;
        if (done) done(e);
        r.manifest.controllers.push_back(std::move(e));
    }
    const std::string text = ManifestText(r.manifest);
    if (!folder || !image::WriteFileAtomically(dir + "/" + kManifestName, text))
        r.manifestError = "cannot write " + dir + "/" + kManifestName;
    return r;
}

std::string ManifestText(const Manifest& m) {
    json list = json::array();
    for (const Entry& e : m.controllers) {
        json sizes = json::array();
        for (int8_t s : e.sizes)
            sizes.push_back(s);
        json one{{"address", e.address}, {"file", e.file}, {"deviceType", e.deviceType},
                 {"ident", e.ident},     {"sizes", sizes}, {"saved", e.saved},
                 {"bytes", e.bytes}};
        if (!e.saved) one["failure"] = e.failure;
        list.push_back(one);
    }
    const json j{{"station", 1},
                 {"time", TimeText(m.time)},
                 {"program", "startzel " + m.version},
                 {"port", m.port},
                 {"controllers", list}};
    return j.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

bool ReadManifest(const std::string& dir, Manifest& m, std::string& why) {
    const std::string path = dir + "/" + kManifestName;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 4 * 1024 * 1024) {
        if (fd >= 0) ::close(fd);
        why = fd < 0 ? "cannot open " + path : path + " is not a station manifest (not a small regular file)";
        return false;
    }
    ::close(fd);
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    const json j = json::parse(text, nullptr, false);
    auto bad = [&](const std::string& what) {
        why = path + " is not a station manifest: " + what;
        return false;
    };
    if (j.is_discarded() || !j.is_object()) return bad("not JSON");
    if (!j.contains("controllers") || !j["controllers"].is_array()) return bad("no controller list");
    m = Manifest{};
    if (j.contains("time") && j["time"].is_string()) ParseTime(j["time"].get<std::string>(), m.time);
    if (j.contains("program") && j["program"].is_string()) m.version = j["program"].get<std::string>();
    if (j.contains("port") && j["port"].is_string()) m.port = j["port"].get<std::string>();
    for (const json& c : j["controllers"]) {
        if (!c.is_object() || !c.contains("address") || !c["address"].is_number_integer())
            return bad("a controller without its address");
        Entry e;
        const long a = c["address"].get<long>();
        if (a < kFirstAddress || a > 0xFF) return bad("address " + std::to_string(a) + " is out of range");
        e.address = static_cast<int>(a);
        e.file = FileName(e.address);
        // The file is always the address's own: a manifest cannot send a load elsewhere.
        if (c.contains("deviceType") && c["deviceType"].is_number_integer())
            e.deviceType = static_cast<uint8_t>(c["deviceType"].get<int>() & 0xFF);
        if (c.contains("ident") && c["ident"].is_string()) e.ident = c["ident"].get<std::string>();
        e.saved = !c.contains("saved") || (c["saved"].is_boolean() && c["saved"].get<bool>());
        if (c.contains("failure") && c["failure"].is_string()) e.failure = c["failure"].get<std::string>();
        for (const Entry& other : m.controllers)
            if (other.address == e.address) return bad("address " + std::to_string(a) + " is listed twice");
        m.controllers.push_back(std::move(e));
    }
    return true;
}

} // namespace station
