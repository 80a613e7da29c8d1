// Snapshots: before any write that replaces a whole controller (an image
// load, the factory defaults, the primary setup) the controller as it is goes
// into an image file in the user's state folder, so a bad write can be undone
// with an ordinary image load.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace image {

// $XDG_STATE_HOME/startzel (else $HOME/.local/state/startzel); in demo mode
// the folder "startzel-demo" beside the demo image (Protocol().demoFileName).
std::string StateFolder(bool demo);
// StateFolder(demo) + "/snapshots".
std::string SnapshotFolder(bool demo);

struct Snapshot {
    // 1 saved; -1 the controller could not be read; -2 the file could not be
    // written; -3 what was read fails the image checks (ImageContentProblem,
    // in `problem`): no file, and nothing to restore from.
    int result = -1;
    std::string path;           // the file written (result 1)
    std::vector<uint8_t> bytes; // what was read (results 1 and -2)
    std::string problem;        // result -3: what failed the checks; -2: the system's reason
};

// Reads the whole controller (or, in demo mode, copies the demo image file)
// into "<folder>/ctrl-<address, 2 hex digits>-<YYYYMMDD-HHMMSS>.bin", creating
// the folder when needed. The file appears only complete (written beside it
// and renamed). `progress` gets the block bytes read so far.
Snapshot TakeSnapshot(int port, int ctrl, bool demo, const std::string& demoImage = "demo_trk.bin",
                      const std::function<void(long)>& progress = {});

// Where an image file worked on as a controller is kept before its first
// write: "<SnapshotFolder>/image-<name without .bin>-<YYYYMMDD-HHMMSS>[-n].bin",
// a name no file has yet (the folder is made when needed).
std::string ImageFileSnapshotPath(const std::string& file);

// Creates the folder and its parents as needed; false when one cannot be made.
bool EnsureFolder(const std::string& path);

// Writes `bytes` to the file `path` finally names (files::WriteWholeFile):
// through a temporary file beside it, renamed into place only when every byte
// is on the disk; an existing file stays untouched on failure. True when done,
// else false with errno set.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);

} // namespace image
