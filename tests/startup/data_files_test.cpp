// Where an installed program finds com.ini, don.msg, demo_trk.bin and port.out,
// and that a working folder keeps its files as ever.
#include "data_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

void Write(const fs::path& p, const std::string& text) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
}

std::string Read(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

class DataFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::absolute("data_files_root");
        fs::remove_all(root);
        work = root / "work";
        user = root / "config" / "startzel";
        share = root / "usr" / "share" / "startzel";
        fs::create_directories(work);
        Write(share / "don.msg", "16,1,shipped\n");
        Write(share / "demo_trk.bin", std::string("\x3a\x00\x00\x14", 4));
        env.workDir = work.string();
        env.userDir = user.string();
        env.shareDir = share.string();
    }
    void TearDown() override { fs::remove_all(root); }
    fs::path root, work, user, share;
    DataFileEnv env;
};

TEST_F(DataFilesTest, NotInstalledEverythingStaysInTheWorkingFolder) {
    const DataFiles plain = ResolveDataFiles(DataFileEnv{});
    EXPECT_EQ(plain.comIni, "com.ini");
    EXPECT_EQ(plain.donMsg, "don.msg");
    EXPECT_EQ(plain.demoImage, "demo_trk.bin");
    EXPECT_EQ(plain.portOut, "port.out");

    env.shareDir.clear();
    const DataFiles f = ResolveDataFiles(env);
    EXPECT_EQ(f.comIni, (work / "com.ini").string());
    EXPECT_EQ(f.donMsg, (work / "don.msg").string());
    EXPECT_EQ(f.portOut, (work / "port.out").string());
    EXPECT_FALSE(fs::exists(user)) << "a build-tree program never creates the per-user folder";
}

TEST_F(DataFilesTest, InstalledFromAnEmptyFolderUsesTheSeededUserFolder) {
    const DataFiles f = ResolveDataFiles(env);
    EXPECT_EQ(f.comIni, (user / "com.ini").string());
    EXPECT_EQ(f.comIniFrom, "user folder");
    EXPECT_EQ(f.portOut, (user / "port.out").string()) << "port.out lies beside com.ini";
    EXPECT_EQ(f.donMsg, (user / "don.msg").string());
    EXPECT_EQ(f.demoImage, (user / "demo_trk.bin").string());
    EXPECT_EQ(Read(user / "don.msg"), "16,1,shipped\n");
    EXPECT_EQ(Read(user / "demo_trk.bin"), Read(share / "demo_trk.bin"));
    EXPECT_FALSE(fs::exists(user / "com.ini")) << "com.ini is written by the port settings dialog only";

    // The user's own copies are kept on later starts (demo mode rewrites the image).
    Write(user / "demo_trk.bin", "changed in demo mode");
    Write(user / "don.msg", "16,1,edited\n");
    const DataFiles again = ResolveDataFiles(env);
    EXPECT_EQ(Read(again.demoImage), "changed in demo mode");
    EXPECT_EQ(Read(again.donMsg), "16,1,edited\n");
    for (const auto& e : fs::directory_iterator(user))
        EXPECT_EQ(e.path().filename().string().find(".new"), std::string::npos) << "temporary left behind";
}

TEST_F(DataFilesTest, WorkingFolderFilesWinOneByOne) {
    Write(work / "com.ini", "ttyUSB0 0 9600 0 1 0 8 N 1");
    Write(work / "don.msg", "16,1,local\n");
    Write(user / "com.ini", "COM1 0 4800 0 1 0 8 N 1");
    const DataFiles f = ResolveDataFiles(env);
    EXPECT_EQ(f.comIni, (work / "com.ini").string());
    EXPECT_EQ(f.comIniFrom, "working folder");
    EXPECT_EQ(f.portOut, (work / "port.out").string());
    EXPECT_EQ(f.donMsg, (work / "don.msg").string());
    EXPECT_EQ(f.demoImage, (user / "demo_trk.bin").string()) << "only the missing file falls back";

    // A folder named like a file is no file.
    fs::create_directories(work / "demo_trk.bin");
    EXPECT_EQ(ResolveDataFiles(env).demoImage, (user / "demo_trk.bin").string());
}

TEST_F(DataFilesTest, WithoutAUsableUserFolderTheDataFolderServesReading) {
    Write(root / "blocker", "a file where the folder should be");
    env.userDir = (root / "blocker" / "startzel").string();
    const DataFiles f = ResolveDataFiles(env);
    EXPECT_EQ(f.donMsg, (share / "don.msg").string());
    EXPECT_EQ(f.donMsgFrom, "data folder");
    EXPECT_EQ(f.demoImage, (share / "demo_trk.bin").string());
    EXPECT_EQ(f.comIni, (work / "com.ini").string()) << "nowhere else to keep it";

    // No home at all, and a data folder lacking a file.
    env.userDir.clear();
    fs::remove(share / "don.msg");
    const DataFiles g = ResolveDataFiles(env);
    EXPECT_EQ(g.donMsg, (work / "don.msg").string()) << "the start-up message then names the usual file";
}

TEST(DataFilesEnv, UserFolderFromXdgConfigHomeOrHome) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const char* oldHome = std::getenv("HOME");
    const std::string keepXdg = oldXdg ? oldXdg : "", keepHome = oldHome ? oldHome : "";

    setenv("XDG_CONFIG_HOME", "/tmp/xdg-test", 1);
    EXPECT_EQ(ProcessDataFileEnv().userDir, "/tmp/xdg-test/startzel");
    setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/engineer", 1);
    EXPECT_EQ(ProcessDataFileEnv().userDir, "/home/engineer/.config/startzel");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(ProcessDataFileEnv().userDir, "/home/engineer/.config/startzel");
    // The test binary lives in the build tree: not installed.
    EXPECT_EQ(ProcessDataFileEnv().shareDir, "");

    if (oldXdg)
        setenv("XDG_CONFIG_HOME", keepXdg.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    if (oldHome)
        setenv("HOME", keepHome.c_str(), 1);
    else
        unsetenv("HOME");
}

} // namespace
