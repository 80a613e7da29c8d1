#include "guarded_write.h"

#include "block_transfer.h"
#include "checksum.h"
#include "ctrl_params_core.h"
#include "hex_text.h"
#include "ident_ops.h"
#include "image_core.h"
#include "image_files.h"
#include "memory_map.h"
#include "port_layer.h"
#include "write_journal.h"

#include <algorithm>

namespace image {

namespace {

// A controller coming back from a restart may miss the first identification.
constexpr int kFindRounds = 3;

std::string NameOf(uint32_t address) {
    if (const auto ref = GroupAt(kBoardMain, address)) return BlockName(ref->group, ref->index);
    return HexNumber(address, 4);
}

std::vector<Difference> Differences(uint32_t address, const std::vector<uint8_t>& sent,
                                    const std::vector<uint8_t>& held) {
    const int n = static_cast<int>(sent.size());
    if (const auto ref = GroupAt(kBoardMain, address))
        return DiffBlock(ref->group, ref->index, sent.data(), n, held.data(), n);
    return DiffBlock("", 0, sent.data(), n, held.data(), n);
}

} // namespace

int WholeWriteResult::failed() const {
    return static_cast<int>(
        std::count_if(blocks.begin(), blocks.end(), [](const WholeBlockResult& b) { return !b.written; }));
}

int WholeWriteResult::differing() const {
    return static_cast<int>(std::count_if(blocks.begin(), blocks.end(), [](const WholeBlockResult& b) {
        return b.check == WholeBlockResult::Check::Differs || b.check == WholeBlockResult::Check::Unread;
    }));
}

bool WholeWriteResult::ok() const {
    // A restart not answered counts when the controller answers afterwards:
    // some restart before their answer leaves.
    if (replaced != 0) return stopped == Stop::None && replaced == 1;
    return stopped == Stop::None && !blocks.empty() && failed() == 0 && differing() == 0 && restart != 0 &&
           foundAt >= 0;
}

std::vector<std::string> WholeWriteResult::failures() const {
    std::vector<std::string> out;
    for (const WholeBlockResult& b : blocks)
        if (!b.written && !b.failure.empty() && std::find(out.begin(), out.end(), b.failure) == out.end())
            out.push_back(b.failure);
    return out;
}

int FindController(int port, int first, int second) {
    // An answer that does not identify well (a type this program does not
    // serve, a wrong checksum) still says a controller is there.
    auto answers = [port](int at) {
        const int r = ident::IdentifyAt(port, at).result;
        return r == 1 || r == -2;
    };
    for (int round = 0; round < kFindRounds; ++round) {
        if (answers(first)) return first;
        if (second != first && answers(second)) return second;
    }
    return -1;
}

WholeWriteResult WriteWholeController(const WholeWriteRequest& q) {
    WholeWriteResult r;
    r.oldAddress = r.newAddress = q.ctrl;
    auto progress = [&](WholeStage stage, long done, long total) {
        if (q.progress) q.progress(stage, done, total);
    };

    if (q.snapshot) {
        // The bytes the snapshot reads, for its progress: the controller's own sizes.
        long measure = 0;
        if (q.progress && !q.demo && ReadBlockSizes(q.port, q.ctrl) == 1) {
            int8_t h[7];
            for (int i = 0; i < 7; ++i)
                h[i] = static_cast<int8_t>(BlockSizes()[i] & 0xFF);
            measure = std::max(0L, ImageProgressMeasure(h));
        }
        r.snapshot = TakeSnapshot(q.port, q.ctrl, q.demo, q.demoImage,
                                  [&](long done) { progress(WholeStage::Snapshot, done, measure); });
        r.snapshotTaken = r.snapshot.result == 1;
        if (!r.snapshotTaken && !(q.goOnWithoutSnapshot && q.goOnWithoutSnapshot(r.snapshot))) {
            r.stopped = WholeWriteResult::Stop::NoSnapshot;
            return r;
        }
    }
    if (q.beforeWrite && !q.beforeWrite(r.snapshot)) {
        r.stopped = WholeWriteResult::Stop::BeforeWrite;
        return r;
    }

    if (q.replace) {
        r.replaced = q.replace() ? 1 : -1;
        r.foundAt = q.ctrl;
        return r;
    }

    // The blocks just read for the snapshot are what each write replaces (a
    // demo snapshot is the demo file, laid out otherwise).
    journal::KnownContent before;
    if (!q.demo) AddImageContent(before, r.snapshot.bytes);

    long total = 0;
    for (const WholeBlock& b : q.blocks)
        total += static_cast<long>(b.bytes.size());
    long done = 0;
    bool paramsWritten = false;
    for (const WholeBlock& b : q.blocks) {
        WholeBlockResult br;
        br.address = b.address;
        br.name = NameOf(b.address);
        br.failure = b.failure;
        const int n = static_cast<int>(b.bytes.size());
        const int w = q.imagePacing ? WriteImageBlock(q.port, q.ctrl, b.address, n, b.bytes.data())
                                    : WriteBlock(q.port, q.ctrl, b.address, n, b.bytes.data(), kBoardMain);
        br.written = w == 1;
        if (br.written && b.address == CtrlrParams.address && n > settings::kAddrSideA) {
            paramsWritten = true;
            r.newAddress = b.bytes[settings::kAddrSideA];
        }
        r.blocks.push_back(std::move(br));
        done += n;
        progress(WholeStage::Write, done, total);
    }

    // A controller may acknowledge what it does not keep: each block written
    // is read back (before the restart, at the address it answers now).
    if (q.verify) {
        r.verified = true;
        long checked = 0, toCheck = 0;
        for (size_t i = 0; i < q.blocks.size(); ++i)
            if (r.blocks[i].written) toCheck += static_cast<long>(q.blocks[i].bytes.size());
        for (size_t i = 0; i < q.blocks.size(); ++i) {
            WholeBlockResult& br = r.blocks[i];
            if (!br.written) continue;
            const std::vector<uint8_t>& sent = q.blocks[i].bytes;
            std::vector<uint8_t> held(sent.size());
            const int n = static_cast<int>(sent.size());
            const bool read = ReadBlock(q.port, q.ctrl, br.address, n, held.data(), kBoardMain) == n;
            if (!read) {
                br.check = WholeBlockResult::Check::Unread;
            } else if (held == sent) {
                br.check = WholeBlockResult::Check::Same;
            } else {
                br.check = WholeBlockResult::Check::Differs;
                br.differences = Differences(br.address, sent, held);
            }
            journal::NoteVerification(PortNameOf(q.port), q.ctrl, kBoardMain, br.address, sent,
                                      read ? held.data() : nullptr);
            checked += n;
            progress(WholeStage::Verify, checked, toCheck);
        }
    }

    if (q.restart == RestartWhen::Always || r.failed() == 0) {
        progress(WholeStage::Restart, 0, 0);
        r.restart = RestartController(q.port, q.ctrl);
    }
    if (r.restart == 0) {
        r.foundAt = q.ctrl; // not restarted: it answers where it did
        return r;
    }
    if (q.demo) {
        r.foundAt = q.ctrl;
        return r;
    }
    // Whatever the restart answered (a controller may restart without
    // answering it): first where the parameters written send it, then where it
    // was. A parameter block not taken leaves it where it was: asked there first.
    progress(WholeStage::Find, 0, 0);
    r.foundAt = paramsWritten ? FindController(q.port, r.newAddress, q.ctrl)
                              : FindController(q.port, q.ctrl, r.newAddress);
    return r;
}

ImageLoadPlan PlanImageLoad(int port, int ctrl, const std::vector<uint8_t>& image) {
    ImageLoadPlan p;
    if (ReadBlockSizes(port, ctrl) != 1) return p;
    std::vector<ImageWriteBlock> blocks;
    if (!PlanImageWrite(image.data(), image.size(), BlockSizes(), blocks)) return p;
    for (ImageWriteBlock& b : blocks)
        p.blocks.push_back({b.address, std::move(b.bytes), {}});
    const int h0 = image.size() > 7 ? static_cast<int8_t>(image[0]) : 0;
    if (h0 > settings::kAddrSideB) {
        p.imageSides[0] = image[7 + settings::kAddrSideA];
        p.imageSides[1] = image[7 + settings::kAddrSideB];
    }
    uint8_t head[4] = {};
    if (ReadBlock(port, ctrl, CtrlrParams.address, 4, head, kBoardMain) != 4) {
        p.result = -2;
        return p;
    }
    p.targetSides[0] = head[settings::kAddrSideA];
    p.targetSides[1] = head[settings::kAddrSideB];
    p.result = 1;
    return p;
}

void KeepTargetAddresses(ImageLoadPlan& plan) {
    for (WholeBlock& b : plan.blocks) {
        if (b.address != CtrlrParams.address || b.bytes.size() <= settings::kAddrSideB) continue;
        b.bytes[settings::kAddrSideA] = plan.targetSides[0];
        b.bytes[settings::kAddrSideB] = plan.targetSides[1];
        b.bytes.back() = FrameChecksum(b.bytes.data(), b.bytes.size() - 1);
    }
}

} // namespace image
