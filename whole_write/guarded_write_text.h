// What the desktop program tells the engineer about a whole-controller write:
// the question when no snapshot could be taken, and the one result at the end.
#pragma once

#include "guarded_write.h"
#include "snapshot.h"

#include <string>

namespace image {

// The snapshot could not be taken: why, and whether to write all the same.
std::string SnapshotFailedQuestion(const Snapshot& s, bool demo);
// Where the controller's previous content went.
std::string SnapshotSavedText(const Snapshot& s);

// How a write names what it wrote, in its three outcomes.
struct WholeWriteWords {
    const char* written;    // "Заводские установки записаны"
    const char* notWritten; // "Заводские установки не записаны"
    const char* partly; // "Заводские установки записаны не полностью"
};
extern const WholeWriteWords kImageWords, kDefaultsWords, kPrimaryWords;

// The one result: written, verified and restarted, or what failed (each
// failure text once, each block that differs with its fields, the value
// written → the value held), where the controller answers now, and the
// snapshot to restore from.
std::string WholeWriteResultText(const WholeWriteWords& words, const WholeWriteResult& r);

// The cloning question: the image's side addresses differ from this
// controller's. Its buttons, keep first (the default), the answer that
// changes nothing last.
std::string CloneAddressQuestion(const ImageLoadPlan& plan);
extern const char* const kCloneKeep;
extern const char* const kCloneTake;
extern const char* const kCloneCancel;

} // namespace image
