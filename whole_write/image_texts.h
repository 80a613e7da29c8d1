// What the main tab tells the engineer about an image file and its two
// transfers: why a file is refused, how a save ended, why a load could not be
// planned, and the label and bar that follow the load's stages.
#pragma once

#include "guarded_write.h"
#include "image_files.h"

#include <string>

namespace image {

// Why a file read for a load is refused (the file as `name` shows it); ""
// when it is taken.
std::string LoadRefusalText(const ImageFile& file, const std::string& name);

// How SaveImageFile's result is shown: in a message box (error) or on the
// status line.
struct ResultText {
    std::string text;
    bool error = false;
};
ResultText SaveResultText(int result, const std::string& path);

// PlanImageLoad could not lay the image out (-1) or read the parameter block (-2).
std::string PlanFailureText(int result);

// The load's label and bar at a stage: a new label text restarts the bar at
// 0 with `maximum` when `restart` is set; without a text the bar takes
// `maximum` when it is above 0; `position` moves it (-1: not moved).
// `measure` is the bar's length for the writes, `step` the part of it left
// for the restart.
struct StageView {
    const char* text = nullptr;
    bool restart = false;
    long maximum = 0;
    long position = -1;
};
StageView LoadStageView(WholeStage stage, long done, long total, long measure, long step);

} // namespace image
