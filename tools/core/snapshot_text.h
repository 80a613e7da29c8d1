// What the forms tell the engineer about the snapshot taken before a write
// that replaces a whole controller.
#pragma once

#include "snapshot.h"

#include <string>

namespace tools {

// The snapshot could not be taken: why, and whether to write all the same.
std::string SnapshotFailedQuestion(const image::Snapshot& s, bool demo);
// Where the controller's previous content went.
std::string SnapshotSavedText(const image::Snapshot& s);

} // namespace tools
