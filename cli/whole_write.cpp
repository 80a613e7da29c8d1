// The guarded whole-controller write as the command line runs it (image load,
// defaults): the snapshot question, the password step, progress on a
// terminal, and the one account of the result at the end.
#include "cli.h"
#include "cli_command.h"
#include "guarded_write.h"
#include "hex_text.h"

#include <algorithm>
#include <ostream>

namespace cli {

namespace {

const char* StageName(image::WholeStage stage) {
    switch (stage) {
    case image::WholeStage::Snapshot:
        return "snapshot of the controller";
    case image::WholeStage::Write:
        return "writing the controller";
    case image::WholeStage::Verify:
        return "reading it back";
    case image::WholeStage::Restart:
        return "restarting";
    default:
        return "looking for the controller";
    }
}

// A controller that kept nothing differs in every field: the first ones are
// named, the rest counted.
constexpr size_t kShownDifferences = 40;

} // namespace

std::string SnapshotProblem(const image::Snapshot& s, bool demo, const std::string& who) {
    switch (s.result) {
    case -2:
        return "cannot write the snapshot into " + image::SnapshotFolder(demo) + ": " + s.problem;
    case -3:
        return "what " + who + " gave for a snapshot fails the image checks (" + s.problem + ")";
    default:
        return demo ? "cannot read the demo image for a snapshot" : "cannot read " + who + " for a snapshot";
    }
}

image::WholeWriteResult RunWholeWrite(const Options& o, const Session& s, Io& io,
                                      image::WholeWriteRequest q) {
    const std::string who = o.demo ? "the demo image" : "controller " + HexByte(s.ctrl());
    q.verify = !o.has("--no-verify");
    q.goOnWithoutSnapshot = [&](const image::Snapshot& snap) {
        if (io.errIsTerminal) io.err << "\n";
        return GoOnWithoutSnapshot(
            o, io, SnapshotProblem(snap, o.demo, who),
            "Write without a snapshot? The old settings and totalizers cannot be restored "
            "then.");
    };
    q.beforeWrite = [&](const image::Snapshot& snap) {
        // Said before the first write: a write cut off still leaves the way back known.
        if (snap.result == 1) {
            if (io.errIsTerminal) io.err << "\n";
            io.out << "snapshot of " << who << " saved to " << snap.path << "\n" << std::flush;
        }
        return o.demo || PasswordStep(o, s, io, false) == kCliOk;
    };
    image::WholeStage drawn = image::WholeStage::Find;
    long lastPct = -1;
    q.progress = [&](image::WholeStage stage, long done, long total) {
        if (!io.errIsTerminal) return;
        if (stage != drawn) {
            if (drawn != image::WholeStage::Find) io.err << "\n";
            drawn = stage;
            lastPct = -1;
        }
        if (total <= 0) {
            if (lastPct < 0) io.err << "\r" << StageName(stage) << "..." << std::flush;
            lastPct = 0;
            return;
        }
        const long pct = std::min(100L, done * 100 / total);
        if (pct == lastPct) return;
        lastPct = pct;
        io.err << "\r" << StageName(stage) << ": " << pct << "%" << std::flush;
    };
    const image::WholeWriteResult r = image::WriteWholeController(q);
    if (io.errIsTerminal && drawn != image::WholeStage::Find) io.err << "\n" << std::flush;
    return r;
}

int WordWholeWrite(Io& io, const image::WholeWriteResult& r, const std::string& what,
                   const std::string& into) {
    if (r.stopped != image::WholeWriteResult::Stop::None) return kCliFailed; // said where it stopped
    const std::string restore = r.snapshotTaken ? "; its previous content is in " + r.snapshot.path
                                                : "; there is no snapshot to restore from";
    if (r.replaced != 0) {
        if (r.replaced == 1) {
            io.out << into << " rewritten\n";
            return kCliOk;
        }
        return Say(io.err, "cannot write " + into + restore, kCliFailed);
    }
    const int blocks = static_cast<int>(r.blocks.size());
    const int failed = r.failed();
    if (r.ok()) {
        io.out << what << " written into " << into << (r.verified ? ", read back and verified" : "")
               << (r.restart == 1 ? "; the controller was restarted"
                                  : "; the controller did not answer the restart but answers again")
               << "\n";
        if (r.moved()) io.out << "the controller now answers at address " << HexByte(r.foundAt) << "\n";
        return kCliOk;
    }
    if (failed > 0) {
        std::string names;
        for (const image::WholeBlockResult& b : r.blocks)
            if (!b.written) names += (names.empty() ? "" : ", ") + b.name;
        io.err << "startzel-cli: " << failed << " of " << blocks << " blocks were not written (refused or no "
               << "answer; the error command tells why): " << names << "\n";
    }
    std::string unread;
    int differs = 0;
    for (const image::WholeBlockResult& b : r.blocks) {
        if (b.check == image::WholeBlockResult::Check::Unread)
            unread += (unread.empty() ? "" : ", ") + b.name;
        if (b.check == image::WholeBlockResult::Check::Differs) ++differs;
    }
    if (!unread.empty())
        io.err
            << "startzel-cli: blocks written could not be read back, what the controller holds is not known: "
            << unread << "\n";
    if (differs > 0) {
        io.err << "startzel-cli: the controller acknowledged " << differs
               << " block(s) but holds other bytes (the value written → the value held):\n";
        size_t shown = 0, more = 0;
        for (const image::WholeBlockResult& b : r.blocks) {
            if (b.check != image::WholeBlockResult::Check::Differs) continue;
            for (const image::Difference& d : b.differences)
                if (shown++ < kShownDifferences)
                    io.err << "  " << image::DifferenceLine(d) << "\n";
                else
                    ++more;
        }
        if (more > 0) io.err << "  ... and " << more << " more\n";
    }
    if (r.restart == 0)
        io.err << "startzel-cli: the controller was not restarted\n";
    else if (r.restart != 1)
        io.err << "startzel-cli: the controller did not answer the restart\n";
    if (r.foundAt < 0)
        io.err << "startzel-cli: after the restart the controller answers neither at "
               << HexByte(r.newAddress)
               << (r.newAddress != r.oldAddress ? " nor at " + HexByte(r.oldAddress) : std::string()) << "\n";
    else if (r.moved())
        io.err << "startzel-cli: the controller now answers at address " << HexByte(r.foundAt) << "\n";
    return Say(io.err,
               what + (failed >= blocks ? " not written into " : " not written whole into ") + into + restore,
               kCliFailed);
}

} // namespace cli
