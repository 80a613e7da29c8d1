#include "file_ops.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace files {

std::string FinalTarget(const std::string& path) {
    std::string p = path;
    for (int hops = 0; hops < kMaxLinkHops; ++hops) {
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
    return p;
}

std::string TemporaryPrefix(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return dir + "." + name + ".startzel-";
}

TempBeside::TempBeside(std::string path, const std::string& prefix) : path_(std::move(path)) {
    struct stat old {};
    const bool exists = ::lstat(path_.c_str(), &old) == 0;
    if (exists && S_ISLNK(old.st_mode)) {
        errno = ELOOP;
        return;
    }
    std::string name = prefix + "XXXXXX";
    std::vector<char> t(name.begin(), name.end());
    t.push_back('\0');
    fd_ = ::mkstemp(t.data());
    if (fd_ < 0) return;
    temp_ = t.data();
    if (exists && S_ISREG(old.st_mode)) {
        ::fchmod(fd_, old.st_mode & 07777);
    } else {
        // mkstemp makes the file private; what we write is an ordinary file.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
    }
}

TempBeside::~TempBeside() {
    const int saved = errno; // the caller reads the failure's errno after us
    if (fd_ >= 0) ::close(fd_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
    errno = saved;
}

bool TempBeside::commit(const void* data, size_t size) {
    if (fd_ < 0) return false;
    const auto fail = [this](const char* step) {
        const int saved = errno;
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
        ::unlink(temp_.c_str());
        temp_.clear();
        failedStep_ = step;
        errno = saved ? saved : EIO;
        return false;
    };
    const auto* p = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, p + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("write");
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd_) != 0) return fail("write");
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail("write");
    if (::rename(temp_.c_str(), path_.c_str()) != 0) return fail("replace");
    temp_.clear();
    return true;
}

bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* why) {
    // Through a symbolic link the file it points to is replaced; the link
    // stays. The temporary file lives beside that file, so the rename stays
    // on one file system.
    const std::string target = FinalTarget(path);
    TempBeside temp(target, TemporaryPrefix(target));
    if (!temp.ok()) {
        const int e = errno;
        if (why) *why = "cannot write beside " + path + ": " + std::strerror(e);
        errno = e;
        return false;
    }
    if (temp.commit(bytes.data(), bytes.size())) return true;
    const int e = errno;
    if (why)
        *why = std::string(std::strcmp(temp.failedStep(), "replace") == 0 ? "cannot replace "
                                                                          : "cannot write ") +
               path + ": " + std::strerror(e);
    errno = e;
    return false;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* why) {
    return WriteWholeFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                          why);
}

} // namespace files
