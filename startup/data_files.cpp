#include "data_files.h"

#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string In(const std::string& dir, const char* name) {
    if (dir.empty() || dir == ".") return name;
    return (fs::path(dir) / name).string();
}

bool IsFile(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

// Copies the data folder's file into the user folder through a temporary name,
// so a second program starting at the same moment never reads half a file.
bool Seed(const std::string& from, const std::string& to) {
    if (!IsFile(from)) return false;
    const std::string tmp = to + ".new" + std::to_string(getpid());
    std::error_code ec;
    fs::copy_file(from, tmp, fs::copy_options::overwrite_existing, ec);
    if (!ec) fs::rename(tmp, to, ec);
    if (ec) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

// A file that is seeded from the data folder: working folder, user folder, a
// fresh copy in the user folder, the data folder's own file.
void Seeded(const DataFileEnv& env, bool haveUserDir, const char* name, std::string& path,
            std::string& from) {
    path = In(env.workDir, name);
    from = "working folder";
    if (IsFile(path)) return;
    if (haveUserDir) {
        const std::string user = In(env.userDir, name);
        if (IsFile(user) || Seed(In(env.shareDir, name), user)) {
            path = user;
            from = "user folder";
            return;
        }
    }
    const std::string shared = In(env.shareDir, name);
    if (IsFile(shared)) {
        path = shared;
        from = "data folder";
    }
}

DataFiles& Current() {
    static DataFiles files;
    return files;
}

} // namespace

DataFiles ResolveDataFiles(const DataFileEnv& env) {
    DataFiles f;
    f.comIni = In(env.workDir, "com.ini");
    f.donMsg = In(env.workDir, "don.msg");
    f.demoImage = In(env.workDir, "demo_trk.bin");
    f.portOut = In(env.workDir, "port.out");
    if (env.shareDir.empty()) return f; // not installed: the working folder as ever

    bool haveUserDir = false;
    if (!env.userDir.empty()) {
        std::error_code ec;
        fs::create_directories(env.userDir, ec);
        haveUserDir = fs::is_directory(env.userDir, ec);
    }
    if (!IsFile(f.comIni) && haveUserDir) {
        f.comIni = In(env.userDir, "com.ini");
        f.portOut = In(env.userDir, "port.out");
        f.comIniFrom = "user folder";
    }
    Seeded(env, haveUserDir, "don.msg", f.donMsg, f.donMsgFrom);
    Seeded(env, haveUserDir, "demo_trk.bin", f.demoImage, f.demoImageFrom);
    return f;
}

DataFileEnv ProcessDataFileEnv() {
    DataFileEnv env;
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        const fs::path share = exe.parent_path().parent_path() / "share" / "startzel";
        if (fs::is_directory(share, ec)) env.shareDir = share.string();
    }
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') {
        env.userDir = (fs::path(xdg) / "startzel").string();
    } else {
        const char* home = std::getenv("HOME");
        std::string h = home && home[0] == '/' ? home : "";
        if (h.empty()) {
            passwd pw{}, *found = nullptr;
            char buf[4096];
            if (getpwuid_r(getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
                h = found->pw_dir;
        }
        if (!h.empty()) env.userDir = (fs::path(h) / ".config" / "startzel").string();
    }
    return env;
}

const DataFiles& ProgramFiles() {
    return Current();
}

void SetProgramFiles(const DataFiles& files) {
    Current() = files;
}
