#include "image_files.h"

#include "block_transfer.h"
#include "block_write_hook.h"
#include "conversions.h"
#include "image_core.h"
#include "memory_map.h"
#include "write_journal.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace image {

namespace {

// A temporary file in the folder of `path`, removed unless committed.
class TempBeside {
public:
    explicit TempBeside(const std::string& path) : path_(path) {
        const size_t slash = path.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
        std::string name = (slash == std::string::npos ? std::string("./") : folder) + ".startzel-XXXXXX";
        std::vector<char> t(name.begin(), name.end());
        t.push_back('\0');
        fd_ = ::mkstemp(t.data());
        if (fd_ < 0) return;
        temp_ = t.data();
        // mkstemp makes the file private; an image is an ordinary file.
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd_, 0666 & ~mask);
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
    TempBeside temp(path);
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
