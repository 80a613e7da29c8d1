#include "image_files.h"

#include "block_transfer.h"
#include "block_write_hook.h"
#include "conversions.h"
#include "image_core.h"
#include "memory_map.h"
#include "write_journal.h"

#include <cerrno>
#include <climits>
#include <csignal>
#include <ctime>
#include <dirent.h>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace image {

namespace {

// The file a path finally names: symbolic links followed (a link to a file
// that does not exist yet names that file). The path itself when it is no link.
std::string FinalTarget(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return p;
        char target[PATH_MAX];
        const ssize_t n = ::readlink(p.c_str(), target, sizeof target - 1);
        if (n <= 0) return p;
        target[n] = 0;
        if (target[0] == '/') {
            p = target;
        } else {
            const size_t slash = p.rfind('/');
            p = (slash == std::string::npos ? std::string() : p.substr(0, slash + 1)) + target;
        }
    }
    return p; // a loop of links: creating the file fails on it
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
}

constexpr char kTempPrefix[] = ".startzel-";

// Temporary files of saves that never finished (the program was killed):
// ".startzel-<pid>-XXXXXX" of a process that is gone, and the older
// ".startzel-XXXXXX" once they are an hour old.
void RemoveStaleTemps(const std::string& folder) {
    DIR* d = ::opendir(folder.c_str());
    if (!d) return;
    const time_t now = ::time(nullptr);
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.rfind(kTempPrefix, 0) != 0) continue;
        const std::string rest = name.substr(sizeof kTempPrefix - 1);
        const size_t dash = rest.find('-');
        bool stale = false;
        if (dash != std::string::npos && dash > 0 && rest.size() == dash + 7 &&
            rest.find_first_not_of("0123456789") == dash) {
            const long pid = std::strtol(rest.c_str(), nullptr, 10);
            stale = pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
        } else if (rest.size() == 6) {
            struct stat st {};
            stale = ::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
                    now - st.st_mtime > 3600;
        }
        if (stale) ::unlink((folder + name).c_str());
    }
    ::closedir(d);
}

// A temporary file in the folder of `path`, removed unless committed. It
// gets the mode of the file it replaces (an ordinary file's mode otherwise).
class TempBeside {
public:
    explicit TempBeside(const std::string& path) : path_(path) {
        const std::string folder = FolderOf(path);
        RemoveStaleTemps(folder);
        std::string name = folder + kTempPrefix + std::to_string(::getpid()) + "-XXXXXX";
        std::vector<char> t(name.begin(), name.end());
        t.push_back('\0');
        fd_ = ::mkstemp(t.data());
        if (fd_ < 0) return;
        temp_ = t.data();
        struct stat old {};
        if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
            ::fchmod(fd_, old.st_mode & 07777);
        } else {
            // mkstemp makes the file private; an image is an ordinary file.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ::fchmod(fd_, 0666 & ~mask);
        }
    }
    ~TempBeside() {
        if (fd_ >= 0) ::close(fd_);
        if (!temp_.empty()) ::unlink(temp_.c_str());
    }
    bool ok() const { return fd_ >= 0; }
    bool commit(const std::vector<uint8_t>& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            done += static_cast<size_t>(n);
        }
        if (::fsync(fd_) != 0) return false;
        ::close(fd_);
        fd_ = -1;
        if (::rename(temp_.c_str(), path_.c_str()) != 0) return false;
        temp_.clear();
        return true;
    }

private:
    std::string path_, temp_;
    int fd_ = -1;
};

} // namespace

ImageFile ReadImageFile(const std::string& path) {
    ImageFile f;
    f.header = CheckImageFileHeader(path);
    if (f.header == -3) f.notRegular = errno == EINVAL || errno == EISDIR;
    if (f.header < 0) return f;
    std::FILE* file = OpenRegularFile(path);
    if (!file) return f;
    f.bytes.resize(static_cast<size_t>(kImageBufferSize));
    size_t count = 0;
    const long r = ReadWholeFile(f.bytes.data(), f.bytes.size(), &count, file);
    std::fclose(file);
    f.bytes.resize(count);
    f.length = static_cast<long>(count);
    if (r < 0) {
        f.check = FileCheck::TooLong;
        f.bytes.clear();
        f.length = kImageBufferSize + 1;
        return f;
    }
    if (count == 0) {
        f.check = FileCheck::Unreadable;
        return f;
    }
    int8_t h[7];
    ImageHeader(f.bytes, h);
    f.expected = ImageFileLength(h);
    if (f.expected < 0) {
        f.check = FileCheck::BadSizes;
        return f;
    }
    if (f.length < f.expected) {
        f.check = FileCheck::TooShort;
        return f;
    }
    f.check = FileCheck::Ok;
    return f;
}

std::string WithDefaultExtension(const std::string& path) {
    const size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty() || base.find('.', 1) != std::string::npos) return path;
    return path + ".bin";
}

int SaveImageFile(int port, int ctrl, const std::string& path, const std::function<void(long)>& progress) {
    // Through a symbolic link the file it points to is replaced; the link stays.
    const std::string target = FinalTarget(path);
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return -6;
        // Checked by its mode, not by access(): root may write anything.
        if ((st.st_mode & 0222) == 0) return -5;
    }
    TempBeside temp(target);
    if (!temp.ok()) return -3;
    std::vector<uint8_t> img;
    const int r = ReadImage(port, ctrl, img, progress);
    if (r != 1) return r;
    if (!ImageContentProblem(img).empty()) return -4;
    return temp.commit(img) ? 1 : -3;
}

int LoadImageIntoController(int port, int ctrl, const std::vector<uint8_t>& image,
                            const std::function<void(long)>& progress) {
    int r = -1;
    {
        long done = 0;
        ScopedBlockWriteObserver watch([&](const BlockWriteEvent& e) {
            done += e.count;
            if (progress) progress(done);
        });
        r = WriteImage(port, ctrl, image.data(), image.size());
    }
    if (r == 1) RestartController(port, ctrl);
    return r;
}

void AddImageContent(journal::KnownContent& known, const std::vector<uint8_t>& image) {
    int8_t h[7];
    ImageHeader(image, h);
    for (const ImageBlock& b : ImageLayout(h))
        if (b.offset + b.length <= static_cast<long>(image.size()))
            known.add(kBoardMain, b.address, image.data() + b.offset, b.length);
}

} // namespace image
