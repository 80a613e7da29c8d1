#include "snapshot.h"

#include "file_ops.h"
#include "image_core.h"
#include "protocol_state.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace image {

std::string ImageFileSnapshotPath(const std::string& file) {
    const std::string folder = SnapshotFolder(false);
    EnsureFolder(folder);
    std::string base = file.substr(file.find_last_of('/') + 1);
    if (base.size() > 4 && base.compare(base.size() - 4, 4, ".bin") == 0) base.resize(base.size() - 4);
    char when[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(when, sizeof when, "%Y%m%d-%H%M%S", &tm);
    const std::string stem = folder + "/image-" + base + "-" + when;
    // Runs within one second keep a snapshot each: the first holds the file as it was.
    std::string path = stem + ".bin";
    for (int n = 2; ::access(path.c_str(), F_OK) == 0 && n < 1000; ++n)
        path = stem + "-" + std::to_string(n) + ".bin";
    return path;
}

bool EnsureFolder(const std::string& path) {
    for (size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        struct stat st {};
        if (stat(part.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                errno = ENOTDIR;
                return false;
            }
            continue;
        }
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

std::string StateFolder(bool demo) {
    if (demo) {
        // Beside the demo image: the working folder, or the per-user folder of
        // an installed program.
        const std::string& image = Protocol().demoFileName;
        const size_t slash = image.rfind('/');
        return slash == std::string::npos ? "startzel-demo" : image.substr(0, slash + 1) + "startzel-demo";
    }
    if (const char* x = std::getenv("XDG_STATE_HOME"); x && x[0] == '/') return std::string(x) + "/startzel";
    const char* home = std::getenv("HOME");
    return std::string(home && home[0] ? home : ".") + "/.local/state/startzel";
}

std::string SnapshotFolder(bool demo) {
    return StateFolder(demo) + "/snapshots";
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
    return files::WriteWholeFile(path, bytes);
}

Snapshot TakeSnapshot(int port, int ctrl, bool demo, const std::string& demoImage,
                      const std::function<void(long)>& progress) {
    Snapshot s;
    std::string bytes;
    if (demo) {
        std::ifstream in(demoImage, std::ios::binary);
        if (!in) return s;
        bytes.assign(std::istreambuf_iterator<char>(in), {});
        if (bytes.empty()) return s;
    } else {
        std::vector<uint8_t> img;
        if (ReadImage(port, ctrl, img, progress) != 1) return s;
        s.problem = ImageContentProblem(img);
        if (!s.problem.empty()) {
            s.result = -3;
            return s;
        }
        bytes.assign(img.begin(), img.end());
    }
    s.bytes.assign(bytes.begin(), bytes.end());
    const std::string folder = SnapshotFolder(demo);
    s.result = -2;
    if (!EnsureFolder(folder)) {
        s.problem = std::strerror(errno);
        return s;
    }
    char name[64];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::snprintf(name, sizeof name, "/ctrl-%02X-%04d%02d%02d-%02d%02d%02d", ctrl & 0xFF, tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    // Two snapshots within one second get distinct names.
    std::string path = folder + name + ".bin";
    for (int n = 2; access(path.c_str(), F_OK) == 0 && n < 100; ++n)
        path = folder + name + "-" + std::to_string(n) + ".bin";
    errno = 0;
    if (!WriteFileAtomically(path, bytes)) {
        s.problem = std::strerror(errno ? errno : EIO);
        return s;
    }
    s.result = 1;
    s.path = path;
    return s;
}

} // namespace image
