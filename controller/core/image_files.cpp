#include "image_files.h"

#include "block_transfer.h"
#include "block_write_hook.h"
#include "conversions.h"
#include "file_ops.h"
#include "image_core.h"
#include "memory_map.h"
#include "write_journal.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace image {

namespace {

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
            stale =
                ::lstat((folder + name).c_str(), &st) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > 3600;
        }
        if (stale) ::unlink((folder + name).c_str());
    }
    ::closedir(d);
}

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
    const std::string target = files::FinalTarget(path);
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return -6;
        // Checked by its mode, not by access(): root may write anything.
        if ((st.st_mode & 0222) == 0) return -5;
    }
    const std::string folder = FolderOf(target);
    RemoveStaleTemps(folder);
    // Made before the read: a folder that takes no file fails before the line is busy.
    files::TempBeside temp(target, folder + kTempPrefix + std::to_string(::getpid()) + "-");
    if (!temp.ok()) return -3;
    std::vector<uint8_t> img;
    const int r = ReadImage(port, ctrl, img, progress);
    if (r != 1) return r;
    if (!ImageContentProblem(img).empty()) return -4;
    return temp.commit(img.data(), img.size()) ? 1 : -3;
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
