// Whole-file writes and link following on the real file system: a folder of
// its own under /tmp, symbolic link chains, a dangling link, a loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "file_ops.h"

namespace {

namespace fs = std::filesystem;

class FileOps : public ::testing::Test {
protected:
    void SetUp() override {
        char t[] = "/tmp/startzel-file-ops-XXXXXX";
        ASSERT_NE(::mkdtemp(t), nullptr);
        dir = t;
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string At(const std::string& name) const { return dir + "/" + name; }
    static std::string Content(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    static mode_t Mode(const std::string& path) {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
    }
    // Names in the folder other than the ones given: temporary files left over.
    std::vector<std::string> Leftovers(std::initializer_list<std::string> expected) const {
        std::vector<std::string> out;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (std::find(expected.begin(), expected.end(), n) == expected.end()) out.push_back(n);
        }
        return out;
    }
    std::string dir;
};

TEST_F(FileOps, WritesNewAndReplacesWholeKeepingTheMode) {
    const mode_t mask = ::umask(022);
    std::string why = "untouched";
    ASSERT_TRUE(files::WriteWholeFile(At("new.bin"), std::string("\x00\x01zz", 4), &why));
    EXPECT_EQ(why, "untouched");
    EXPECT_EQ(Content(At("new.bin")), std::string("\x00\x01zz", 4));
    EXPECT_EQ(Mode(At("new.bin")), 0644u); // an ordinary file, not mkstemp's private one

    ASSERT_EQ(::chmod(At("new.bin").c_str(), 0600), 0);
    ASSERT_TRUE(files::WriteWholeFile(At("new.bin"), std::vector<uint8_t>{'a', 'b'}));
    EXPECT_EQ(Content(At("new.bin")), "ab");
    EXPECT_EQ(Mode(At("new.bin")), 0600u);
    ASSERT_TRUE(files::WriteWholeFile(At("new.bin"), std::string_view()));
    EXPECT_EQ(Content(At("new.bin")), "");
    EXPECT_TRUE(Leftovers({"new.bin"}).empty());
    ::umask(mask);
}

TEST_F(FileOps, FailuresLeaveTheOldFileAndNoTemporary) {
    // No such folder: nothing can be made beside the file.
    std::string why;
    errno = 0;
    EXPECT_FALSE(files::WriteWholeFile(At("no/such.bin"), "x", &why));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(why, "cannot write beside " + At("no/such.bin") + ": No such file or directory");

    // A folder where the file should be: the rename fails, the folder stays.
    fs::create_directory(At("folder"));
    std::ofstream(At("folder/inside")) << "keep";
    EXPECT_FALSE(files::WriteWholeFile(At("folder"), "x", &why));
    EXPECT_EQ(why.rfind("cannot replace " + At("folder") + ": ", 0), 0u) << why;
    EXPECT_EQ(Content(At("folder/inside")), "keep");
    EXPECT_TRUE(Leftovers({"folder"}).empty());

    // A temporary file never committed goes with its owner.
    std::string temp;
    {
        files::TempBeside t(At("a.bin"), files::TemporaryPrefix(At("a.bin")));
        ASSERT_TRUE(t.ok());
        temp = t.tempPath();
        EXPECT_EQ(temp.rfind(At(".a.bin.startzel-"), 0), 0u) << temp;
        EXPECT_TRUE(fs::exists(temp));
    }
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(Leftovers({"folder"}).empty());
}

TEST_F(FileOps, FollowsLinkChainsAndKeepsTheLinks) {
    fs::create_directory(At("sub"));
    std::ofstream(At("sub/real.ini")) << "old";
    ASSERT_EQ(::chmod(At("sub/real.ini").c_str(), 0640), 0);
    // first -> sub/second (relative) -> real.ini (relative to sub/) ; abs -> first (absolute)
    fs::create_symlink("sub/second", At("first"));
    fs::create_symlink("real.ini", At("sub/second"));
    fs::create_symlink(At("first"), At("abs"));
    EXPECT_EQ(files::FinalTarget(At("abs")), At("sub/real.ini"));
    EXPECT_EQ(files::FinalTarget(At("sub/real.ini")), At("sub/real.ini"));
    EXPECT_EQ(files::FinalTarget(At("missing")), At("missing"));
    EXPECT_EQ(files::FinalTarget("relative-name"), "relative-name");

    ASSERT_TRUE(files::WriteWholeFile(At("abs"), "new"));
    EXPECT_TRUE(fs::is_symlink(At("abs")));
    EXPECT_TRUE(fs::is_symlink(At("first")));
    EXPECT_TRUE(fs::is_symlink(At("sub/second")));
    EXPECT_EQ(Content(At("sub/real.ini")), "new");
    EXPECT_EQ(Mode(At("sub/real.ini")), 0640u);
    EXPECT_TRUE(Leftovers({"sub", "first", "abs"}).empty());

    // A dangling link names the file to be made; the link stays.
    fs::create_symlink("sub/later.bin", At("dangling"));
    EXPECT_EQ(files::FinalTarget(At("dangling")), At("sub/later.bin"));
    ASSERT_TRUE(files::WriteWholeFile(At("dangling"), "made"));
    EXPECT_TRUE(fs::is_symlink(At("dangling")));
    EXPECT_EQ(Content(At("sub/later.bin")), "made");
}

TEST_F(FileOps, LinkLoopsEndAndAreNotWrittenOver) {
    fs::create_symlink("loop-b", At("loop-a"));
    fs::create_symlink("loop-a", At("loop-b"));
    fs::create_symlink("self", At("self"));
    for (const char* name : {"loop-a", "self"}) {
        SCOPED_TRACE(name);
        const std::string end = files::FinalTarget(At(name));
        EXPECT_TRUE(fs::is_symlink(end)) << end;
        std::string why;
        errno = 0;
        EXPECT_FALSE(files::WriteWholeFile(At(name), "x", &why));
        EXPECT_EQ(errno, ELOOP);
        EXPECT_NE(why.find("Too many levels of symbolic links"), std::string::npos) << why;
    }
    EXPECT_TRUE(fs::is_symlink(At("loop-a")));
    EXPECT_TRUE(fs::is_symlink(At("loop-b")));
    EXPECT_TRUE(fs::is_symlink(At("self")));
    EXPECT_TRUE(Leftovers({"loop-a", "loop-b", "self"}).empty());

    // A chain longer than the hops followed is taken for a loop too.
    std::ofstream(At("end")) << "end";
    std::string prev = "end";
    for (int i = 0; i <= files::kMaxLinkHops; ++i) {
        const std::string name = "l" + std::to_string(i);
        fs::create_symlink(prev, At(name));
        prev = name;
    }
    EXPECT_FALSE(files::WriteWholeFile(At(prev), "x"));
    EXPECT_EQ(Content(At("end")), "end");
}

} // namespace
