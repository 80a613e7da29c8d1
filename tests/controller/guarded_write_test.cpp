// The guarded whole-controller write against the virtual controller: the
// read-back catching a controller that acknowledges what it does not keep,
// the controller found after a restart it did not answer, cloning an image
// onto a controller at another address, and the journal's read-back records.
#include "../support/line_rig.h"
#include "block_layout.h"
#include "block_transfer.h"
#include "checksum.h"
#include "guarded_write.h"
#include "guarded_write_text.h"
#include "image_core.h"
#include "memory_map.h"
#include "virtual_controller.h"
#include "write_journal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace {

using GuardedBytes = std::vector<uint8_t>;

class GuardedWrite : public LineRig {
protected:
    void SetUp() override {
        LineRig::SetUp();
        state = std::filesystem::absolute("guarded-state").string();
        std::filesystem::remove_all(state);
        setenv("XDG_STATE_HOME", state.c_str(), 1);
    }
    void TearDown() override {
        journal::Uninstall();
        LineRig::TearDown();
    }
    // The parameter block with these side addresses, its checksum right.
    void setSides(zelsim::VirtualController& v, uint8_t a, uint8_t b) {
        GuardedBytes p = v.peek(0, CtrlrParams.address, CtrlrParams.length);
        p[ctrlrparams::AddrSideA.offset] = a;
        p[ctrlrparams::AddrSideB.offset] = b;
        p.back() = FrameChecksum(p.data(), p.size() - 1);
        v.poke(0, CtrlrParams.address, p);
    }
    // Two blocks that differ from what the controller holds.
    image::WholeWriteRequest request(int ctrl) {
        image::WholeWriteRequest q;
        q.port = port;
        q.ctrl = ctrl;
        q.snapshot = false;
        GuardedBytes p = c->peek(0, CtrlrParams.address, CtrlrParams.length);
        p[ctrlrparams::SlowLoad.offset] = static_cast<uint8_t>(p[ctrlrparams::SlowLoad.offset] + 1);
        p.back() = FrameChecksum(p.data(), p.size() - 1);
        q.blocks.push_back({CtrlrParams.address, p, "Ошибка записи параметров контроллера"});
        GuardedBytes s = c->peek(0, NozSetts.address, NozSetts.length);
        s[0] ^= 0xFF;
        q.blocks.push_back({NozSetts.address, s, "Ошибка записи настроек шланга"});
        return q;
    }
    std::string state;
};

TEST_F(GuardedWrite, TheReadBackCatchesWritesAcknowledgedButNotKept) {
    journal::Install();
    const image::WholeWriteRequest q = request(1);
    const GuardedBytes kept = c->peek(0, CtrlrParams.address, CtrlrParams.length);

    // Stored nothing: both blocks differ, their fields named; nothing is
    // reported written whole.
    c->setFaults({.loseWrites = true});
    image::WholeWriteResult r = image::WriteWholeController(q);
    EXPECT_EQ(r.failed(), 0);
    EXPECT_EQ(r.differing(), 2);
    EXPECT_FALSE(r.ok());
    ASSERT_EQ(r.blocks.size(), 2u);
    EXPECT_EQ(r.blocks[0].check, image::WholeBlockResult::Check::Differs);
    EXPECT_EQ(r.blocks[0].name, "CtrlrParams");
    ASSERT_FALSE(r.blocks[0].differences.empty());
    const std::string text = image::WholeWriteResultText(image::kImageWords, r);
    EXPECT_EQ(text.rfind("Образ записан не полностью: контроллер хранит не то, что в него записано (блоков с "
                         "отличиями 2 из 2).\nПрочитано из контроллера после записи (записано → считано):\n",
                         0),
              0u)
        << text;
    EXPECT_NE(text.find("CtrlrParams SlowLoad: "), std::string::npos) << text;
    EXPECT_NE(text.find("\nСнимка нет: прежнее содержимое восстановить нельзя."), std::string::npos) << text;
    EXPECT_EQ(c->peek(0, CtrlrParams.address, CtrlrParams.length), kept);

    // Stored with a bit changed: the first byte of each piece.
    c->setFaults({.flipWrites = true});
    r = image::WriteWholeController(q);
    EXPECT_EQ(r.differing(), 2);
    ASSERT_EQ(r.blocks[1].differences.size(), 1u);
    EXPECT_EQ(r.blocks[1].name, "NozSetts[0]");

    // Verified as sent without the faults, and without the read-back nothing is read.
    c->setFaults({});
    r = image::WriteWholeController(q);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(image::WholeWriteResultText(image::kImageWords, r),
              "Образ записан в контроллер, контроллер перезапущен.\nЗаписанное прочитано из контроллера и "
              "совпадает.\nСнимка нет: прежнее содержимое восстановить нельзя.");
    image::WholeWriteRequest unchecked = q;
    unchecked.verify = false;
    c->setFaults({.loseWrites = true});
    r = image::WriteWholeController(unchecked);
    EXPECT_FALSE(r.verified);
    EXPECT_TRUE(r.ok());

    // The journal holds each read-back: differing ones with the bytes sent and held.
    const journal::Contents j = journal::ReadJournal(journal::JournalPath(false));
    std::vector<journal::Record> checks;
    std::copy_if(j.records.begin(), j.records.end(), std::back_inserter(checks),
                 [](const journal::Record& x) { return x.kind == journal::Record::Kind::Verified; });
    ASSERT_EQ(checks.size(), 6u);
    EXPECT_EQ(checks[0].check, journal::Record::Check::Differs);
    EXPECT_EQ(checks[0].before, q.blocks[0].bytes);
    EXPECT_EQ(checks[0].after, kept);
    EXPECT_EQ(checks[4].check, journal::Record::Check::Same);
    EXPECT_TRUE(checks[4].after.empty());
}

TEST_F(GuardedWrite, JournalReadBackLinesGoBackAndForth) {
    journal::Record r;
    r.time = "2025-01-31T12:34:56.789+0300";
    r.port = "/dev/ttyUSB0";
    r.ctrl = 5;
    r.address = 0x1000;
    r.count = 2;
    r.kind = journal::Record::Kind::Verified;
    for (auto check : {journal::Record::Check::Same, journal::Record::Check::Unread}) {
        r.check = check;
        const auto back = journal::ParseLine(journal::FormatLine(r));
        ASSERT_TRUE(back) << journal::FormatLine(r);
        EXPECT_EQ(back->kind, journal::Record::Kind::Verified);
        EXPECT_EQ(back->check, check);
    }
    r.check = journal::Record::Check::Differs;
    r.beforeKnown = true;
    r.before = {1, 2};
    r.after = {1, 3};
    const std::string text = journal::FormatLine(r);
    EXPECT_EQ(text, "2025-01-31T12:34:56.789+0300 port=/dev/ttyUSB0 ctrl=05 board=0 addr=001000 len=2 "
                    "state=verified check=differs before=0102 after=0103");
    const auto back = journal::ParseLine(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->after, r.after);
    // A read-back claiming bytes it should not have, or lacking them, is no record.
    EXPECT_FALSE(journal::ParseLine(text.substr(0, text.find(" before="))));
    EXPECT_FALSE(journal::ParseLine(text.substr(0, text.find(" check=")) + " check=same after=0103"));
    EXPECT_FALSE(journal::ParseLine(text.substr(0, text.find(" check=")) + " check=maybe"));
}

TEST_F(GuardedWrite, AControllerThatRestartsSilentlyIsFoundAtItsNewAddress) {
    c->setAddress(7);
    setSides(*c, 7, 8);
    image::WholeWriteRequest q = request(7);
    q.blocks[0].bytes[ctrlrparams::AddrSideA.offset] = 3; // the new side A address
    q.blocks[0].bytes.back() = FrameChecksum(q.blocks[0].bytes.data(), q.blocks[0].bytes.size() - 1);
    c->setFaults({.silentRestart = true});
    const int restarts = c->restartCount();
    const image::WholeWriteResult r = image::WriteWholeController(q);
    EXPECT_EQ(c->restartCount(), restarts + 1);
    EXPECT_NE(r.restart, 1);
    EXPECT_EQ(r.newAddress, 3);
    EXPECT_EQ(r.foundAt, 3);
    EXPECT_TRUE(r.moved());
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(
        image::WholeWriteResultText(image::kDefaultsWords, r),
        "Заводские установки записаны, но контроллер не подтвердил перезапуск.\nЗаписанное прочитано из "
        "контроллера и совпадает.\nКонтроллер отвечает по адресу 3.\nСнимка нет: прежнее содержимое "
        "восстановить нельзя.");

    // A parameter block not taken leaves it at its old address: asked there first.
    c->setFaults({.refuseWrites = true});
    q.ctrl = 3;
    q.blocks[0].bytes[ctrlrparams::AddrSideA.offset] = 9;
    const image::WholeWriteResult refused = image::WriteWholeController(q);
    EXPECT_EQ(refused.foundAt, 3);
    EXPECT_EQ(refused.newAddress, 3);

    // Nobody answers anywhere: said with both addresses.
    c->setFaults({.noAnswer = true});
    image::WholeWriteResult lost;
    lost.blocks.push_back({});
    lost.blocks[0].written = true;
    lost.restart = -1;
    lost.oldAddress = 7;
    lost.newAddress = 3;
    lost.foundAt = image::FindController(port, 3, 7);
    EXPECT_EQ(lost.foundAt, -1);
    EXPECT_NE(image::WholeWriteResultText(image::kDefaultsWords, lost)
                  .find("\nПосле перезапуска контроллер не отвечает по адресу 3 и по прежнему адресу 7."),
              std::string::npos);
}

TEST_F(GuardedWrite, AnImageFromAnotherControllerKeepsOrTakesItsAddresses) {
    // The image of a controller at 5 (sides 5 and 6), loaded into one at 9.
    c->setAddress(5);
    setSides(*c, 5, 6);
    std::vector<uint8_t> img;
    ASSERT_EQ(image::ReadImage(port, 5, img), 1);
    c->setAddress(9);
    setSides(*c, 9, 10);

    image::ImageLoadPlan plan = image::PlanImageLoad(port, 9, img);
    ASSERT_EQ(plan.result, 1);
    EXPECT_TRUE(plan.sidesDiffer());
    EXPECT_EQ(plan.imageSides[0], 5);
    EXPECT_EQ(plan.targetSides[1], 10);
    EXPECT_EQ(
        image::CloneAddressQuestion(plan),
        "Адреса сторон в образе (А - 5, Б - 6) не совпадают с адресами этого контроллера (А - 9, Б - 10).\n"
        "Оставить адреса контроллера или взять адреса из образа? С адресами из образа контроллер после "
        "перезапуска будет отвечать по адресу 5.");

    // Kept: the parameter block goes out with 9 and 10, its checksum right.
    image::ImageLoadPlan keep = plan;
    image::KeepTargetAddresses(keep);
    image::WholeWriteRequest q;
    q.port = port;
    q.ctrl = 9;
    q.snapshot = false;
    q.imagePacing = true;
    q.restart = image::RestartWhen::AllWritten;
    q.blocks = keep.blocks;
    image::WholeWriteResult r = image::WriteWholeController(q);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.foundAt, 9);
    EXPECT_EQ(c->address(), 9);
    const GuardedBytes p = c->peek(0, CtrlrParams.address, CtrlrParams.length);
    EXPECT_EQ(p[ctrlrparams::AddrSideA.offset], 9);
    EXPECT_EQ(p[ctrlrparams::AddrSideB.offset], 10);
    EXPECT_EQ(p.back(), FrameChecksum(p.data(), p.size() - 1));
    EXPECT_EQ(image::ImageContentProblem(c->imageBytes()), "");

    // Taken: the controller moves to 5 and is found there.
    q.blocks = plan.blocks;
    r = image::WriteWholeController(q);
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.foundAt, 5);
    EXPECT_TRUE(r.moved());
    EXPECT_EQ(c->address(), 5);
    EXPECT_EQ(c->peek(0, CtrlrParams.address + ctrlrparams::AddrSideA.offset, 2), (GuardedBytes{5, 6}));
    EXPECT_FALSE(image::PlanImageLoad(port, 5, img).sidesDiffer());
}

TEST_F(GuardedWrite, NoSnapshotAsksAndTheStepBeforeTheWritesMayStop) {
    c->poke(0, kAddrSizes + 5, {0x90}); // a negative size: the controller cannot be imaged
    image::WholeWriteRequest q = request(1);
    q.snapshot = true;
    int asked = 0;
    q.goOnWithoutSnapshot = [&](const image::Snapshot& s) {
        ++asked;
        EXPECT_EQ(s.result, -1);
        return false;
    };
    image::WholeWriteResult r = image::WriteWholeController(q);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(r.stopped, image::WholeWriteResult::Stop::NoSnapshot);
    EXPECT_TRUE(r.blocks.empty());

    q.goOnWithoutSnapshot = [](const image::Snapshot&) { return true; };
    q.beforeWrite = [](const image::Snapshot&) { return false; };
    r = image::WriteWholeController(q);
    EXPECT_EQ(r.stopped, image::WholeWriteResult::Stop::BeforeWrite);
    EXPECT_EQ(c->writeCount(), 0);
}

} // namespace
