// Whole-file writes that never leave a half-written file in place, and the
// file a path names through symbolic links. Qt-free; used for com.ini, image
// files, snapshots, the station manifest, reports and the simulator's image.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace files {

// Links followed at most; a longer chain is taken for a loop.
constexpr int kMaxLinkHops = 40;

// The file a path finally names: symbolic links followed, a relative link
// from the link's folder (a link to a file that does not exist yet names that
// file). The path itself when it is no link. A loop of links, a chain longer
// than kMaxLinkHops or an unreadable link ends at a link.
std::string FinalTarget(const std::string& path);

// ".<name>.startzel-" beside the file: how the names of its temporary files
// start.
std::string TemporaryPrefix(const std::string& path);

// A temporary file `prefix`XXXXXX, removed unless committed. It gets the mode
// of the regular file at `path` it is to replace, else the mode of an ordinary
// new file (0666 less the umask). Refused (ELOOP) when `path` is still a
// symbolic link: a loop, which the rename would silently replace.
class TempBeside {
public:
    TempBeside(std::string path, const std::string& prefix);
    ~TempBeside();
    TempBeside(const TempBeside&) = delete;
    TempBeside& operator=(const TempBeside&) = delete;

    bool ok() const { return fd_ >= 0; }
    const std::string& tempPath() const { return temp_; }
    // Every byte written and on the disk, then renamed over `path`. False
    // with errno set by the step that failed; the temporary file goes then.
    bool commit(const void* data, size_t size);
    // The step commit() failed in: "write", "replace" (or "" when none).
    const char* failedStep() const { return failedStep_; }

private:
    std::string path_, temp_;
    int fd_ = -1;
    const char* failedStep_ = "";
};

// Writes bytes to the file `path` finally names (its links stay links)
// through a temporary file beside that file. An existing file is replaced
// whole or stays as it was. False with errno set on failure; *why (when given)
// then says it in a sentence naming `path`.
bool WriteWholeFile(const std::string& path, std::string_view bytes, std::string* why = nullptr);
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string* why = nullptr);

} // namespace files
