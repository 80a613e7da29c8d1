#include "image_host.h"

#include "conversions.h"
#include "file_ops.h"
#include "sim_memory_map.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

namespace zelsim {

namespace {

// Images are a few kilobytes; anything far bigger is not one.
constexpr size_t kMaxImageFile = 65535;

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& bytes, std::string& why) {
    std::FILE* f = OpenRegularFile(path);
    if (!f) {
        why = errno == EISDIR || errno == EINVAL ? path + " is not a regular file"
                                                 : "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    bytes.clear();
    uint8_t buf[4096];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        bytes.insert(bytes.end(), buf, buf + n);
        if (bytes.size() > kMaxImageFile) break;
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        why = "cannot read " + path;
        return false;
    }
    if (bytes.size() > kMaxImageFile) {
        why = path + " is longer than any controller image";
        return false;
    }
    return true;
}

// Temporary files a killed program left beside the file.
void RemoveLeftovers(const std::string& path) {
    const std::string prefix = files::TemporaryPrefix(files::FinalTarget(path));
    const size_t slash = prefix.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : prefix.substr(0, slash);
    const std::string start = slash == std::string::npos ? prefix : prefix.substr(slash + 1);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return;
    while (const dirent* e = ::readdir(d)) {
        const std::string n = e->d_name;
        if (n.size() == start.size() + 6 && n.compare(0, start.size(), start) == 0)
            ::unlink((dir + "/" + n).c_str());
    }
    ::closedir(d);
}

} // namespace

std::vector<uint8_t> BlankImage(uint8_t deviceType, const uint8_t sizes[7]) {
    VirtualController c(1, deviceType);
    c.poke(0, kSizesRecord, std::vector<uint8_t>(sizes, sizes + 7));
    c.poke(0, kParamLength, {sizes[0]});
    return c.imageBytes();
}

ImageHost::ImageHost() = default;

ImageHost::~ImageHost() {
    close();
}

bool ImageHost::open(const std::string& file, uint8_t deviceType, const std::string& snapshotPath,
                     std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::vector<uint8_t> bytes;
    std::string why;
    if (!ReadWholeFile(file, bytes, why)) return fail(why);
    if (bytes.size() < 7)
        return fail(file + " is not a controller image: shorter than the 7-byte size header");
    for (int i = 0; i < 7; ++i)
        if (static_cast<int8_t>(bytes[i]) < 0)
            return fail(file + " is not a controller image: its header gives a negative block size");
    if (bytes[0] < 4 || bytes[3] == 0 || bytes[5] == 0 || bytes[6] == 0)
        return fail(file + " is refused: its header gives size 0 for h0, h3, h5 or h6");
    // The controller answers at the file's side A address, so that nothing in
    // the file changes by being opened.
    const uint8_t side = bytes[7 + 2];
    controller_ = &line_.addController(side, deviceType);
    if (controller_->loadImageBytes(bytes) != kImageOk)
        return fail(file + " is shorter than its header says");
    file_ = file;
    snapshotPath_ = snapshotPath;
    RemoveLeftovers(file);
    controller_->setPersist([this](const std::vector<uint8_t>& image) { return persist(image); });
    pty_ = std::make_unique<PtyTransport>(line_);
    if (!pty_->start(&why)) {
        pty_.reset();
        return fail("cannot start the line of the image: " + why);
    }
    return true;
}

void ImageHost::close() {
    if (pty_) pty_->stop();
    pty_.reset();
    if (controller_) controller_->setPersist({});
}

bool ImageHost::persist(const std::vector<uint8_t>& image) {
    std::lock_guard lk(m_);
    if (!snapshotTaken_ && !snapshotPath_.empty()) {
        std::vector<uint8_t> before;
        std::string why;
        if (!ReadWholeFile(file_, before, why) || !files::WriteWholeFile(snapshotPath_, before, &why)) {
            lastError_ = "no snapshot of " + file_ + ": " + why;
            return false;
        }
        snapshotWritten_ = snapshotPath_;
    }
    snapshotTaken_ = true;
    std::string why;
    const bool written = files::WriteWholeFile(file_, image, &why);
    lastError_ = written ? std::string() : why;
    return written;
}

const std::string& ImageHost::portName() const {
    static const std::string none;
    return pty_ ? pty_->slavePath() : none;
}

uint8_t ImageHost::address() const {
    return controller_ ? controller_->address() : 0;
}

std::string ImageHost::snapshotWritten() const {
    std::lock_guard lk(m_);
    return snapshotWritten_;
}

std::string ImageHost::lastError() const {
    std::lock_guard lk(m_);
    return lastError_;
}

VirtualController& ImageHost::controller() {
    return *controller_;
}

} // namespace zelsim
