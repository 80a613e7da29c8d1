// The write journal's file: records of any port name, whole records on a
// full disk, begun and confirmed writes, rotation, reading from the end, and
// files that are not journals.
#include "../support/line_rig.h"
#include "block_transfer.h"
#include "memory_map.h"
#include "virtual_controller.h"
#include "write_journal.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

namespace wjfs = std::filesystem;

std::string WjText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

journal::Record WjRecord(const std::string& port, uint32_t address, uint8_t fill) {
    journal::Record r;
    r.time = "2026-12-10T10:00:00.000+0000";
    r.port = port;
    r.ctrl = 5;
    r.address = address;
    r.count = 3;
    r.after = {fill, fill, fill};
    return r;
}

class WjFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = wjfs::absolute("wj").string();
        wjfs::remove_all(dir);
        wjfs::create_directories(dir);
        path = dir + "/journal.log";
    }
    std::string dir, path;
};

TEST_F(WjFile, RecordsOfAnyPortNameAndFieldsThatAreNoRecord) {
    // The names /dev/serial/by-id gives are long; some have spaces and non-ASCII bytes.
    const std::string port = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" +
                             std::string(150, 'x') + " \xcf\xee\xf0\xf2";
    ASSERT_TRUE(journal::Append(path, WjRecord(port, 0x1000, 1)));
    ASSERT_TRUE(journal::Append(path, WjRecord(port, 0x1100, 2)));
    const journal::Contents c = journal::ReadJournal(path);
    EXPECT_EQ(c.skipped, 0);
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_EQ(c.records[0].port, port);
    EXPECT_EQ(c.records[1].address, 0x1100u);

    // A length or board beyond any block, a glued time: not records.
    const std::string good = journal::FormatLine(WjRecord("COM1", 0x1000, 1));
    for (const std::string& bad :
         {std::string("2026-12-10T10:00:00.000+0000 port=COM1 ctrl=05 board=0 addr=001000 len=2147483648 "
                      "before=hidden after=hidden"),
          std::string("22026-12-10T10:00:00.000+0000") + good.substr(good.find(' ')),
          std::string("2026-12-10T10:00:00.000+0000 port=COM1 ctrl=105 board=0 addr=001000 len=3 "
                      "before=unknown after=010101")})
        EXPECT_FALSE(journal::ParseLine(bad)) << bad;
    EXPECT_TRUE(journal::ParseLine(good));
    // "-" stands for no name in the file; a port named "-" keeps its name.
    EXPECT_EQ(journal::ParseLine(journal::FormatLine(WjRecord("-", 0x1000, 1)))->port, "-");
    EXPECT_EQ(journal::ParseLine(journal::FormatLine(WjRecord("", 0x1000, 1)))->port, "");
}

// A short write (a full disk, here a file size limit) is taken back: the
// records before and after it stay whole, and the failure says why.
TEST_F(WjFile, ARecordIsWrittenWholeOrNotAtAll) {
    ASSERT_TRUE(journal::Append(path, WjRecord("COM1", 0x1000, 1)));
    const auto size = wjfs::file_size(path);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit tight = old;
    tight.rlim_cur = size + 20;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    std::string error;
    const bool written = journal::Append(path, WjRecord("COM1", 0x1100, 2), &error);
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_FALSE(written);
    EXPECT_EQ(error, "cannot write " + path + ": File too large");
    EXPECT_EQ(wjfs::file_size(path), size);

    // A record torn by a crash keeps its own line; the next one is whole.
    std::ofstream(path, std::ios::app) << "2026-12-10T10:00:00.000+0000 port=COM1 ctrl=05 bo";
    ASSERT_TRUE(journal::Append(path, WjRecord("COM1", 0x1200, 3)));
    const journal::Contents c = journal::ReadJournal(path);
    ASSERT_EQ(c.records.size(), 2u) << WjText(path);
    EXPECT_EQ(c.records[1].address, 0x1200u);
    EXPECT_EQ(c.skipped, 1);
}

TEST_F(WjFile, TheJournalRotatesAndIsReadFromTheEnd) {
    for (int i = 0; i < 6; ++i)
        ASSERT_TRUE(journal::Append(path, WjRecord("COM1", 0x1000 + 0x100 * i, uint8_t(i)), nullptr, 300));
    EXPECT_TRUE(wjfs::exists(path + ".1"));
    EXPECT_LT(wjfs::file_size(path), 400u);
    journal::Contents c = journal::ReadJournal(path);
    ASSERT_GE(c.records.size(), 2u);
    EXPECT_EQ(c.records.back().address, 0x1500u);
    for (size_t i = 1; i < c.records.size(); ++i)
        EXPECT_EQ(c.records[i].address, c.records[i - 1].address + 0x100);

    // A line longer than any record is skipped unread, from either end.
    std::ofstream(path, std::ios::app) << std::string(3u << 20, 'A') << "\n";
    ASSERT_TRUE(journal::Append(path, WjRecord("COM1", 0x1600, 7)));
    c = journal::ReadJournal(path, 2);
    ASSERT_EQ(c.records.size(), 2u);
    EXPECT_EQ(c.records[0].address, 0x1500u);
    EXPECT_EQ(c.records[1].address, 0x1600u);
    EXPECT_EQ(c.skipped, 1);
    int seen = 0;
    c = journal::ForEachRecord(path, [&](const journal::Record&) { ++seen; });
    EXPECT_EQ(c.skipped, 1);
    EXPECT_EQ(seen, static_cast<int>(journal::ReadJournal(path).records.size()));
}

TEST_F(WjFile, WhatIsNotARegularFileIsRefusedWithoutWaiting) {
    wjfs::create_directory(path);
    journal::Contents c = journal::ReadJournal(path);
    EXPECT_TRUE(c.exists);
    EXPECT_EQ(c.error, path + " is not a regular file");
    wjfs::remove(path);
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    c = journal::ReadJournal(path, 3);
    EXPECT_EQ(c.error, path + " is not a regular file");
    std::string error;
    EXPECT_FALSE(journal::Append(path, WjRecord("COM1", 0x1000, 1), &error));
    EXPECT_FALSE(error.empty());
}

class WjLine : public LineRig {
protected:
    void SetUp() override {
        LineRig::SetUp();
        state = wjfs::absolute("wj-state").string();
        wjfs::remove_all(state);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        journal::Install();
    }
    void TearDown() override {
        journal::Uninstall();
        LineRig::TearDown();
    }
    std::string state;
};

// A block is on record before its first piece goes out; a write that went
// through is confirmed, one cut off stays marked as begun.
TEST_F(WjLine, BlocksAreJournalledBeforeTheyGoOut) {
    const std::string path = journal::JournalPath(false);
    std::vector<uint8_t> regs(69, 0x11);
    ASSERT_EQ(WriteBlock(port, 1, 0x2000, 69, regs.data(), kBoardMain), 1);
    std::string text = WjText(path);
    EXPECT_NE(text.find(" len=69 state=begun before=unknown after=1111"), std::string::npos) << text;
    EXPECT_NE(text.find(" len=69 state=done\n"), std::string::npos) << text;

    zelsim::Faults f;
    f.refuseWrites = true;
    c->setFaults(f);
    regs.assign(69, 0x22);
    EXPECT_EQ(WriteBlock(port, 1, 0x2100, 69, regs.data(), kBoardMain), -1);
    for (const journal::Contents& j : {journal::ReadJournal(path), journal::ReadJournal(path, 2)}) {
        ASSERT_EQ(j.records.size(), 2u);
        EXPECT_EQ(j.records[0].kind, journal::Record::Kind::Whole);
        EXPECT_EQ(j.records[0].address, 0x2000u);
        EXPECT_EQ(j.records[1].kind, journal::Record::Kind::Begun);
        EXPECT_EQ(j.records[1].after, regs);
        EXPECT_EQ(j.skipped, 0);
    }
}

} // namespace
