// Image files against the virtual controller: the saved layout byte for byte,
// saves that fail or cannot write, loads onto controllers with other sizes,
// the files a load refuses, the write journal, and image listings.
#include "../support/line_rig.h"
#include "block_fields.h"
#include "block_layout.h"
#include "block_transfer.h"
#include "block_write_hook.h"
#include "checksum.h"
#include "demo_image.h"
#include "image_core.h"
#include "image_files.h"
#include "memory_map.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "snapshot.h"
#include "virtual_controller.h"
#include "write_journal.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

namespace {

Bytes ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), {});
}

void WriteFile(const std::string& path, const Bytes& b) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Every block of a controller's image filled with bytes that tell where they
// came from, so a block in the wrong place shows.
void Scribble(zelsim::VirtualController& c, uint8_t seed) {
    const Bytes sizes = c.peek(0, kAddrSizes, 7);
    int8_t h[7];
    for (int i = 0; i < 7; ++i)
        h[i] = static_cast<int8_t>(sizes[static_cast<size_t>(i)]);
    for (const image::ImageBlock& b : image::ImageLayout(h)) {
        Bytes data(static_cast<size_t>(b.length));
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<uint8_t>(seed + (b.address >> 8) * 7 + i);
        if (b.address == CtrlrParams.address) {
            data[2] = c.address(); // it keeps answering at its address after a restart
            data.back() = FrameChecksum(data.data(), data.size() - 1);
        }
        c.poke(0, b.address, data);
    }
}

class ImageFiles : public LineRig {
protected:
    void SetUp() override {
        LineRig::SetUp();
        state = fs::absolute("state").string();
        fs::remove_all(state);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
        for (const char* f : {"img.bin", "old.bin"})
            fs::remove(f);
    }
    void TearDown() override {
        journal::Uninstall();
        LineRig::TearDown();
    }
    void setSizes(Bytes sizes) { c->poke(0, kAddrSizes, sizes); }
    size_t writes() const { return line.writeCommandCount(); }

    std::string state;
};

TEST_F(ImageFiles, SaveWritesTheLayoutByteForByteWithAndWithoutTheOptionalBlocks) {
    // The usual sizes (h4 = 0): no 0x0/0x100 group, 1292 bytes.
    Scribble(*c, 1);
    long last = 0;
    ASSERT_EQ(image::SaveImageFile(port, 1, "img.bin", [&](long done) { last = done; }), 1);
    Bytes saved = ReadFile("img.bin");
    EXPECT_EQ(saved.size(), 1292u);
    EXPECT_EQ(saved, c->imageBytes());
    EXPECT_EQ(Bytes(saved.begin(), saved.begin() + 7), (Bytes{58, 0, 0, 20, 0, 69, 12}));
    EXPECT_EQ(Bytes(saved.begin() + 7 + 58, saved.begin() + 7 + 58 + 20), c->peek(0, 0x1000, 20));
    EXPECT_EQ(Bytes(saved.begin() + 7 + 58 + 200, saved.begin() + 7 + 58 + 212), c->peek(0, 0x4000, 12));
    EXPECT_EQ(Bytes(saved.end() - 57, saved.end()), c->peek(0, 0x3000, 57));
    EXPECT_EQ(last, 58 + 890 + 24 + 313);

    // h4 = 16: the two blocks sit between the channel settings and the sides.
    setSizes({58, 0, 0, 20, 16, 69, 12});
    Scribble(*c, 2);
    ASSERT_EQ(image::SaveImageFile(port, 1, "img.bin"), 1);
    saved = ReadFile("img.bin");
    EXPECT_EQ(saved.size(), 1292u + 32);
    EXPECT_EQ(saved, c->imageBytes());
    EXPECT_EQ(Bytes(saved.begin() + 265, saved.begin() + 281), c->peek(0, 0x0, 16));
    EXPECT_EQ(Bytes(saved.begin() + 281, saved.begin() + 297), c->peek(0, 0x100, 16));
    EXPECT_EQ(image::ReadImageFile("img.bin").check, image::FileCheck::Ok);
    // No temporary file is left beside it.
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_NE(e.path().filename().string().rfind(".startzel-", 0), 0u) << e.path();
}

TEST_F(ImageFiles, AFailedSaveLeavesAnExistingFileAsItWas) {
    const Bytes old = {1, 2, 3, 4, 5};
    WriteFile("old.bin", old);
    // The line goes quiet after the first channel block.
    EXPECT_EQ(image::SaveImageFile(port, 1, "old.bin",
                                   [&](long done) {
                                       if (done > 58) {
                                           zelsim::Faults f;
                                           f.noAnswer = true;
                                           c->setFaults(f);
                                       }
                                   }),
              -2);
    EXPECT_EQ(ReadFile("old.bin"), old);
    c->setFaults({});
    // No answer at all: the sizes cannot be read.
    zelsim::Faults f;
    f.noAnswer = true;
    c->setFaults(f);
    EXPECT_EQ(image::SaveImageFile(port, 1, "img.bin"), -1);
    EXPECT_FALSE(fs::exists("img.bin"));
    c->setFaults({});
    // A folder that does not exist: refused before any traffic.
    line.clearFrames();
    EXPECT_EQ(image::SaveImageFile(port, 1, "no/such/folder/img.bin"), -3);
    EXPECT_EQ(line.frameCount(), 0u);
    for (const auto& e : fs::directory_iterator("."))
        EXPECT_NE(e.path().filename().string().rfind(".startzel-", 0), 0u) << e.path();
}

// A save through a symbolic link replaces the file it names (the link stays,
// the file keeps its mode); a read-only file or a folder is refused before any
// traffic; temporary files of a killed save are cleaned up by the next one.
TEST_F(ImageFiles, SavesKeepLinksModesAndReadOnlyFiles) {
    fs::remove_all("links");
    fs::create_directories("links");
    WriteFile("links/real.bin", {1, 2, 3});
    fs::permissions("links/real.bin",
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    fs::create_symlink("real.bin", "links/link.bin");
    // Left by saves that were killed: one of a process that is gone, one of this one.
    WriteFile("links/.startzel-999999999-abcdef", {});
    const std::string mine = "links/.startzel-" + std::to_string(getpid()) + "-abcdef";
    WriteFile(mine, {});
    ASSERT_EQ(image::SaveImageFile(port, 1, "links/link.bin"), 1);
    EXPECT_TRUE(fs::is_symlink("links/link.bin"));
    EXPECT_EQ(ReadFile("links/real.bin"), c->imageBytes());
    EXPECT_EQ(fs::status("links/real.bin").permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    EXPECT_FALSE(fs::exists("links/.startzel-999999999-abcdef"));
    EXPECT_TRUE(fs::exists(mine));

    WriteFile("links/ro.bin", {4, 5});
    fs::permissions("links/ro.bin", fs::perms::owner_read);
    line.clearFrames();
    EXPECT_EQ(image::SaveImageFile(port, 1, "links/ro.bin"), -5);
    EXPECT_EQ(ReadFile("links/ro.bin"), (Bytes{4, 5}));
    EXPECT_EQ(image::SaveImageFile(port, 1, "links"), -6);
    EXPECT_EQ(line.frameCount(), 0u);
    fs::remove_all("links");
}

TEST_F(ImageFiles, LoadsWriteEachBlockWithTheTargetsSizes) {
    Scribble(*c, 3);
    const Bytes image = c->imageBytes();
    WriteFile("img.bin", image);
    const image::ImageFile file = image::ReadImageFile("img.bin");
    ASSERT_EQ(file.check, image::FileCheck::Ok);

    // A target with other sizes: each block goes out with the target's size
    // (cut or zero filled), the channel settings with the image's; the
    // target's 0x0/0x100 blocks are filled with zeros.
    setSizes({50, 0, 0, 24, 8, 60, 14});
    c->poke(0, 0x0, Bytes(8, 0xEE));
    c->poke(0, NozSetts.address + NozSetts.length, {0xAB});
    c->poke(0, NozRegs.address + nozregs::BCount.offset, {0xAB, 0xCD});
    c->poke(0, SidesSetts.address + SidesSetts.length, {0xAB, 0xCD});
    ASSERT_EQ(image::LoadImageIntoController(port, 1, file.bytes), 1);
    const Bytes params(image.begin() + 7, image.begin() + 7 + 49);
    Bytes sent = c->peek(0, 0x3101, 50);
    EXPECT_EQ(Bytes(sent.begin(), sent.begin() + 49), params);
    EXPECT_EQ(sent[49], FrameChecksum(params.data(), 49));
    EXPECT_EQ(c->peek(0, 0x1000, 21), [&] {
        Bytes b(image.begin() + 65, image.begin() + 85);
        b.push_back(0xAB); // 20 bytes written, not 24
        return b;
    }());
    EXPECT_EQ(c->peek(0, 0x0, 8), Bytes(8, 0));
    EXPECT_EQ(c->peek(0, 0x4000, 14), [&] {
        Bytes b(image.begin() + 265, image.begin() + 277);
        b.push_back(0);
        b.push_back(0);
        return b;
    }());
    EXPECT_EQ(c->peek(0, 0x2000, 61), [&] {
        Bytes b(image.begin() + 289, image.begin() + 289 + 60);
        b.push_back(0xCD); // cut to 60: byte 60 untouched
        return b;
    }());
}

TEST_F(ImageFiles, WriteImageSkipsGroupsTheControllerLacksAndIgnoresSizesOneAndTwo) {
    // An image with the 0x0/0x100 blocks onto a controller without them: the
    // group is skipped and every later block still lands where it belongs.
    setSizes({58, 0, 0, 20, 16, 69, 12});
    Scribble(*c, 4);
    const Bytes image = c->imageBytes();
    setSizes({58, 0, 0, 20, 0, 69, 12});
    Scribble(*c, 5);
    c->poke(0, 0x0, Bytes(16, 0x77));
    ASSERT_EQ(WriteImage(port, 1, image.data(), image.size()), 1);
    EXPECT_EQ(c->peek(0, 0x0, 16), Bytes(16, 0x77));
    EXPECT_EQ(c->peek(0, 0x4000, 12), Bytes(image.begin() + 297, image.begin() + 309));
    EXPECT_EQ(c->peek(0, 0x3000, 57), Bytes(image.end() - 57, image.end()));

    // Sizes 1 and 2 reported as 0x80..0xFF (nothing uses them) do not stop a
    // load; a negative size the layout uses does.
    setSizes({58, 0x80, 0xFF, 20, 0, 69, 12});
    Scribble(*c, 6);
    const Bytes usual = [&] {
        Bytes b = image;
        b.erase(b.begin() + 7 + 58 + 200, b.begin() + 7 + 58 + 232);
        b[4] = 0;
        return b;
    }();
    EXPECT_EQ(WriteImage(port, 1, usual.data(), usual.size()), 1);
    EXPECT_EQ(c->peek(0, 0x2000, 69), Bytes(usual.begin() + 289, usual.begin() + 289 + 69));
    setSizes({58, 0, 0, 20, 0, 0x90, 12});
    line.clearFrames();
    EXPECT_EQ(WriteImage(port, 1, usual.data(), usual.size()), -1);
    EXPECT_EQ(writes(), 0u);

    // An image saved from a controller reporting 0x80 at index 1 is loadable.
    Bytes header1 = usual;
    header1[1] = 0x80;
    WriteFile("img.bin", header1);
    EXPECT_EQ(image::ReadImageFile("img.bin").check, image::FileCheck::Ok);
}

TEST_F(ImageFiles, FilesALoadRefusesBeforeAnyTraffic) {
    const Bytes usual = c->imageBytes();
    struct Case {
        const char* what;
        Bytes bytes;
        image::FileCheck check;
        int header;
    };
    Bytes tooLong = usual;
    tooLong.resize(image::kImageBufferSize + 1, 0);
    Bytes exactBuffer = usual;
    exactBuffer.resize(image::kImageBufferSize, 0); // trailing bytes within the buffer are carried
    Bytes zeroAt3 = usual;
    zeroAt3[3] = 0;
    Bytes negative = usual;
    negative[5] = 0x85;
    const Case cases[] = {
        {"usual", usual, image::FileCheck::Ok, 1},
        {"buffer size", exactBuffer, image::FileCheck::Ok, 1},
        {"longer than the buffer", tooLong, image::FileCheck::TooLong, 1},
        {"one byte short", Bytes(usual.begin(), usual.end() - 1), image::FileCheck::TooShort, 1},
        {"header only", Bytes(usual.begin(), usual.begin() + 7), image::FileCheck::TooShort, 1},
        {"zero at 3", zeroAt3, image::FileCheck::Refused, -1},
        {"negative size", negative, image::FileCheck::BadSizes, 1},
        {"six bytes", Bytes(usual.begin(), usual.begin() + 6), image::FileCheck::Refused, -2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        WriteFile("img.bin", k.bytes);
        const image::ImageFile f = image::ReadImageFile("img.bin");
        EXPECT_EQ(f.check, k.check);
        EXPECT_EQ(f.header, k.header);
        if (k.check == image::FileCheck::TooShort) {
            EXPECT_EQ(f.length, static_cast<long>(k.bytes.size()));
            EXPECT_EQ(f.expected, 1292);
        }
    }
    EXPECT_EQ(image::ReadImageFile("no_such.bin").header, -3);
    EXPECT_EQ(line.frameCount(), 0u);
    EXPECT_EQ(image::WithDefaultExtension("/tmp/a"), "/tmp/a.bin");
    EXPECT_EQ(image::WithDefaultExtension("/tmp.d/a.img"), "/tmp.d/a.img");
    EXPECT_EQ(image::WithDefaultExtension(".hidden"), ".hidden.bin");
}

TEST_F(ImageFiles, JournalKeepsEveryWriteWithTheContentBeforeWhereKnown) {
    journal::Install();
    const std::string path = journal::JournalPath(false);
    EXPECT_EQ(path, state + "/startzel/journal.log");

    // A tab's save: the as-read copy gives the "before".
    const Bytes asRead = c->peek(0, 0x5100, 128);
    Bytes changed = asRead;
    changed[15] = 7;
    {
        journal::KnownContent before(kBoardMain, 0x5100, asRead.data(), 128);
        ASSERT_EQ(WriteBlock(port, 1, 0x5100, 128, changed.data(), kBoardMain), 1);
        changed[15] = 9;
        ASSERT_EQ(WriteBlock(port, 1, 0x5100, 128, changed.data(), kBoardMain), 1); // after the first
    }
    // No one knew: the "before" is unknown. A refused write stays begun, never confirmed.
    const uint8_t reg = 0x40;
    ASSERT_EQ(WriteBlock(port, 1, 0x24, 1, &reg, kBoardRegisters), 1);
    c->setPasswords(1234, 0);
    ASSERT_EQ(WriteBlock(port, 1, 0x5100, 128, changed.data(), kBoardMain), -1);
    // Presented passwords never reach the file.
    ASSERT_EQ(PresentAdminPassword(port, 1, 1234), 1);

    journal::Contents j = journal::ReadJournal(path);
    ASSERT_EQ(j.records.size(), 5u);
    EXPECT_EQ(j.records[3].kind, journal::Record::Kind::Begun);
    j.records.erase(j.records.begin() + 3);
    EXPECT_EQ(j.skipped, 0);
    const journal::Record r0 = j.records[0];
    EXPECT_EQ(r0.port, pty.slavePath());
    EXPECT_EQ(r0.ctrl, 1);
    EXPECT_EQ(r0.address, 0x5100u);
    EXPECT_TRUE(r0.beforeKnown);
    EXPECT_EQ(r0.before, asRead);
    EXPECT_EQ(r0.after[15], 7);
    EXPECT_EQ(j.records[1].before[15], 7);
    EXPECT_EQ(j.records[1].after[15], 9);
    EXPECT_EQ(j.records[2].board, kBoardRegisters);
    EXPECT_FALSE(j.records[2].beforeKnown);
    EXPECT_EQ(j.records[2].after, Bytes{0x40});
    EXPECT_TRUE(j.records[3].hidden);
    const Bytes file = ReadFile(path);
    EXPECT_EQ(std::string(file.begin(), file.end()).find("0C22"), std::string::npos); // 1234 as 12, 34

    // A torn last line (a crash in the middle of a record) is skipped, the rest kept.
    std::ofstream(path, std::ios::app) << "2025-01-01T00:00:00.000+0000 port=x ctrl=01 bo";
    j = journal::ReadJournal(path);
    EXPECT_EQ(j.records.size(), 5u);
    EXPECT_EQ(j.skipped, 1);

    // Port names with spaces survive the line format.
    journal::Record odd = r0;
    odd.port = "/dev/serial/by-id/usb FTDI 100%=x";
    EXPECT_EQ(journal::ParseLine(journal::FormatLine(odd))->port, odd.port);

    // A journal that cannot be written does not stop the writes; the failure is reported once.
    int reported = 0;
    journal::Install([&](const std::string&) { ++reported; });
    fs::remove(path);
    fs::create_directory(path); // a folder where the file should be
    c->setPasswords(0, 0);
    EXPECT_EQ(WriteBlock(port, 1, 0x5100, 128, asRead.data(), kBoardMain), 1);
    EXPECT_EQ(WriteBlock(port, 1, 0x5100, 128, asRead.data(), kBoardMain), 1);
    EXPECT_EQ(reported, 1);
    EXPECT_NE(journal::LastError().find(path), std::string::npos);
}

TEST_F(ImageFiles, DemoWritesGoToTheDemoFolder) {
    journal::Install();
    WriteFile("demo_trk.bin", c->demoImageBytes());
    Protocol().demoMode = true;
    ASSERT_EQ(LoadDemoImage("demo_trk.bin"), 1);
    const uint8_t b[2] = {1, 2};
    ASSERT_EQ(WriteBlock(port, 1, 0x4000, 2, b, kBoardMain), 1);
    Protocol().demoMode = false;
    const journal::Contents j = journal::ReadJournal("startzel-demo/journal.log");
    ASSERT_EQ(j.records.size(), 1u);
    EXPECT_EQ(j.records[0].port, "demo");
    EXPECT_FALSE(fs::exists(journal::JournalPath(false)));
    fs::remove_all("startzel-demo");
}

TEST(BlockFields, BlocksDecodeByTheTablesOfTheirTabs) {
    Bytes params(58, 0);
    params[ctrlrparams::SlowLoad.offset] = 3; // x 100
    fields::PutField(ctrlrparams::ModeMask, params.data(), 0x1401);
    params[ctrlrparams::TempHeatLow.offset] = 0xFB; // -5
    const auto v = image::DecodeBlock("CtrlrParams", params.data(), 58);
    auto find = [&](const std::string& name) {
        for (const auto& f : v)
            if (f.name == name) return f;
        return image::FieldValue{};
    };
    EXPECT_EQ(find("SlowLoad").text, "300");
    EXPECT_EQ(find("SlowLoad").offset, 25);
    EXPECT_EQ(find("ModeMask").text, "1401");
    EXPECT_EQ(find("ModeMask").width, 2);
    EXPECT_EQ(find("TempHeatLow").text, "-5");
    EXPECT_EQ(find("Checksum").offset, 57);
    // Every byte exactly once, in order.
    int at = 0;
    for (const auto& f : v) {
        EXPECT_EQ(f.offset, at);
        at += f.width;
    }
    EXPECT_EQ(at, 58);
    // A short block names only the fields it holds whole (ModeMask does not
    // fit: its first byte is the short block's checksum).
    const auto shortBlock = image::DecodeBlock("CtrlrParams", params.data(), 31);
    EXPECT_EQ(shortBlock.back().name, "Checksum");
    EXPECT_EQ(shortBlock.back().text, "01");
    // Bytes no table names: single bytes with their hex.
    const auto unknown = image::DecodeBlock("Block3000", params.data(), 3);
    ASSERT_EQ(unknown.size(), 3u);
    EXPECT_TRUE(unknown[1].name.empty());

    EXPECT_EQ(image::BlockName("NozSetts", 3), "NozSetts[3]");
    EXPECT_EQ(image::BlockName("CtrlrParams", 0), "CtrlrParams");
    EXPECT_EQ(std::string(image::GroupAt(0, 0x2300)->group), "NozRegs");
    EXPECT_EQ(image::GroupAt(0, 0x2300)->index, 3);
    EXPECT_FALSE(image::GroupAt(2, 0x2300));
    EXPECT_FALSE(image::GroupAt(0, 0x2A00));
}

// Two images apart in one field (or one reserved byte) of one block: the
// difference names that block and that field, and nothing else.
TEST(BlockFields, ADifferenceInEachFieldNamesThatField) {
    const Bytes base = zelsim::VirtualController(1).imageBytes();
    int8_t h[7];
    image::ImageHeader(base, h);
    int checked = 0;
    for (const image::ImageBlock& blk : image::ImageLayout(h)) {
        const fields::BlockLayout* layout = fields::FindLayout(blk.group);
        if (!layout || blk.index > 1) continue; // channels 0 and 1 and both sides stand for the rest
        for (const fields::PlacedField& p : fields::PlacedFields(*layout)) {
            Bytes other = base;
            uint8_t* field = other.data() + blk.offset + p.field.offset;
            for (int i = 0; i < p.field.width; ++i)
                field[i] ^= static_cast<uint8_t>(0x21 + i); // every byte of the field changes
            const auto d = image::DiffImages(base, other);
            const std::string name = p.name.empty() ? "+" + std::to_string(p.field.offset) : p.name;
            SCOPED_TRACE(image::BlockName(blk.group, blk.index) + " " + name);
            ASSERT_EQ(d.size(), 1u);
            EXPECT_EQ(d[0].block, image::BlockName(blk.group, blk.index));
            EXPECT_EQ(d[0].field, name);
            EXPECT_NE(d[0].before, d[0].after);
            checked += p.field.width;
        }
    }
    EXPECT_EQ(checked, 58 + 2 * 20 + 2 * 69 + 2 * 12 + 128);
}

TEST(BlockFields, ListingNamesTheFieldsAsTheTabsShowThem) {
    Bytes setts(20, 0), regs(69, 0), side(12, 0), params(58, 0);
    fields::PutField(nozsetts::ImpLit, setts.data(), 200);
    fields::PutField(nozsetts::MeterPhase, setts.data(), 1);
    fields::PutField(nozregs::State, regs.data(), 5);
    fields::PutField(nozregs::FCMil, regs.data(), 7);
    fields::PutField(sidessetts::DateLastKor, side.data(), 3 | 11 << 8 | 24 << 16); // day, month, year
    fields::PutField(ctrlrparams::SlowStart, params.data(), 1);
    auto text = [](const std::vector<image::FieldValue>& v, const std::string& name) {
        for (const auto& f : v)
            if (f.name == name) return f.text;
        return std::string("(unnamed)");
    };
    EXPECT_EQ(text(image::DecodeBlock("NozSetts", setts.data(), 20), "ImpLit"), "100");
    EXPECT_EQ(text(image::DecodeBlock("NozSetts", setts.data(), 20), "MeterPhase"), "Две фазы");
    EXPECT_EQ(text(image::DecodeBlock("NozRegs", regs.data(), 69), "State"), "Отпуск");
    fields::PutField(nozregs::State, regs.data(), 44); // the high codes are items 16..19
    EXPECT_EQ(text(image::DecodeBlock("NozRegs", regs.data(), 69), "State"), "Нормальное завершение");
    fields::PutField(nozregs::State, regs.data(), 20); // no item: the code itself
    EXPECT_EQ(text(image::DecodeBlock("NozRegs", regs.data(), 69), "State"), "20");
    EXPECT_EQ(text(image::DecodeBlock("NozRegs", regs.data(), 69), "FCMil"), "07");
    EXPECT_EQ(text(image::DecodeBlock("SidesSetts", side.data(), 12), "DateLastKor"), "03.11.24");
    EXPECT_EQ(text(image::DecodeBlock("CtrlrParams", params.data(), 58), "SlowStart"), "100");
    fields::PutField(ctrlrparams::SlowStart, params.data(), 255);
    EXPECT_EQ(text(image::DecodeBlock("CtrlrParams", params.data(), 58), "SlowStart"), "255");
    // A longer parameter block still ends in its checksum, and only there.
    Bytes longer(59, 0);
    const auto v = image::DecodeBlock("CtrlrParams", longer.data(), 59);
    int sums = 0;
    for (const auto& f : v)
        sums += f.name == "Checksum";
    EXPECT_EQ(sums, 1);
    EXPECT_EQ(v.back().name, "Checksum");
    EXPECT_EQ(v.back().offset, 58);
}

TEST(BlockFields, ImagesDifferByHeaderBlockAndField) {
    zelsim::VirtualController a(1), b(1);
    Bytes ia = a.imageBytes(), ib = b.imageBytes();
    EXPECT_TRUE(image::DiffImages(ia, ib).empty());
    // Past the seven size bytes: the parameter block, then the channel settings.
    constexpr size_t kParamsAt = kLenSizes, kChannelsAt = kParamsAt + CtrlrParams.length;
    ib[kParamsAt + ctrlrparams::SlowLoad.offset] = 5;
    ib[kChannelsAt + 3 * NozSetts.length + nozsetts::ImpWLo.offset + 2] =
        0x42; // a byte of ImpWLo of NozSetts[3]
    auto d = image::DiffImages(ia, ib);
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(image::DifferenceLine(d[0]), "CtrlrParams SlowLoad: 300 → 500");
    EXPECT_EQ(image::DifferenceLine(d[1]), "NozSetts[3] ImpWLo: 80000000 → 80420000");

    // Other sizes: the header, blocks one image lacks, fields only one is long enough for.
    b.poke(0, kAddrSizes, {58, 0, 0, 20, 4, 68, 12});
    ib = b.imageBytes();
    d = image::DiffImages(ia, ib);
    ASSERT_GE(d.size(), 2u + 2 + 10);
    EXPECT_EQ(image::DifferenceLine(d[0]), "header h4: 0 → 4");
    EXPECT_EQ(image::DifferenceLine(d[1]), "header h5: 69 → 68");
    int none = 0, blocks = 0;
    for (const auto& x : d) {
        if (x.field == "(block)") ++blocks;
        if (x.block.rfind("NozRegs", 0) == 0 && x.after == "(none)") ++none;
    }
    EXPECT_EQ(blocks, 2);
    EXPECT_EQ(none, 10);
}

} // namespace
