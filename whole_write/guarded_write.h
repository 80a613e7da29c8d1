// The guarded write of a whole controller, used by the image load, the factory
// defaults and the primary setup alike: the controller as it is goes into a
// snapshot first (or the caller is asked whether to go on without one), every
// block is written with its content before journalled, each block written is
// read back and compared with the bytes sent, the controller is restarted and
// then looked for at its new side A address and at its old one. Everything
// that happened comes back in one result, for the caller to word once.
#pragma once

#include "block_fields.h"
#include "snapshot.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace image {

// One block of the write: where it goes and the bytes as they go out (padded
// to the controller's size, the parameter block closed with its checksum).
struct WholeBlock {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
    std::string failure; // what the form says when its write fails ("" for none of its own)
};

enum class WholeStage { Snapshot, Write, Verify, Restart, Find };
enum class RestartWhen { Always, AllWritten };

struct WholeWriteRequest {
    int port = 0;
    int ctrl = 0;
    bool demo = false;
    std::string demoImage = "demo_trk.bin";
    bool snapshot = true; // false: nothing worth keeping (an image file made just now)
    bool verify = true;
    bool imagePacing = false; // the pauses of an image write (WriteImageBlock)
    RestartWhen restart = RestartWhen::Always;
    std::vector<WholeBlock> blocks;
    // No snapshot could be taken: true to write all the same. Empty: stop.
    std::function<bool(const Snapshot&)> goOnWithoutSnapshot;
    // After the snapshot (given, whatever its result), before the first write
    // (the password step): false stops with nothing written.
    std::function<bool(const Snapshot&)> beforeWrite;
    // Set when the whole goes in one piece instead of block by block (the
    // demo file of the factory defaults): called in place of the writes; no
    // read-back, no restart. True when done.
    std::function<bool()> replace;
    // The stage under way and its bytes done of its total (the snapshot: the
    // bytes read so far of the controller's image, total 0 when not known;
    // the restart and the search: 0 of 0).
    std::function<void(WholeStage, long done, long total)> progress;
};

struct WholeBlockResult {
    uint32_t address = 0;
    std::string name; // "CtrlrParams", "NozSetts[3]", or the address in hex for a block no image holds
    std::string failure;
    bool written = false; // the controller acknowledged it
    enum class Check { NotRun, Same, Differs, Unread } check = Check::NotRun;
    std::vector<Difference> differences; // Differs: each field, the value sent → the value held
};

struct WholeWriteResult {
    Snapshot snapshot; // result 1 with its path; else why there is none
    bool snapshotTaken = false;
    // Nothing was written: no snapshot and the caller would not go on, or the
    // step before the writes said no.
    enum class Stop { None, NoSnapshot, BeforeWrite } stopped = Stop::None;
    std::vector<WholeBlockResult> blocks;
    int replaced = 0;      // the `replace` result: 1 done, -1 failed, 0 not called
    bool verified = false; // the read-back ran
    int restart = 0;       // the RestartController result; 0 when none was sent
    int oldAddress = 0;    // where the controller answered before
    int newAddress = 0;    // its side A address as written (the old one when no parameter block went out)
    int foundAt = -1;      // where it answered after the restart; -1 nowhere

    int failed() const;    // blocks not acknowledged
    int differing() const; // blocks read back with other bytes, or not readable
    // Every block written and (when verified) held as sent, the controller
    // restarted (or found after a restart it did not answer) and answering.
    bool ok() const;
    // The failure texts of the blocks not written, each once, in order.
    std::vector<std::string> failures() const;
    bool moved() const { return foundAt >= 0 && foundAt != oldAddress; }
};

WholeWriteResult WriteWholeController(const WholeWriteRequest& request);

// After a restart: identifies at `first`, then at `second` (when it is
// another address), a few rounds while a controller comes back up. The
// address that answered, or -1.
int FindController(int port, int first, int second);

// The image load's blocks for this controller: its sizes are read and the
// image laid out by them (PlanImageWrite), and its side addresses (parameter
// bytes 2 and 3) read beside the image's.
struct ImageLoadPlan {
    int result = -1; // 1; -1 the sizes cannot be read or the image does not fit them; -2 the parameter block
                     // cannot be read
    std::vector<WholeBlock> blocks;
    uint8_t imageSides[2] = {0, 0};
    uint8_t targetSides[2] = {0, 0};
    bool sidesDiffer() const { return imageSides[0] != targetSides[0] || imageSides[1] != targetSides[1]; }
};
ImageLoadPlan PlanImageLoad(int port, int ctrl, const std::vector<uint8_t>& image);
// Cloning onto another controller: the parameter block keeps the target's
// side addresses, its checksum computed again.
void KeepTargetAddresses(ImageLoadPlan& plan);

} // namespace image
