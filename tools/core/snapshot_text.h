// What the forms tell the engineer about the snapshot taken before a write
// that replaces a whole controller.
#pragma once

#include "snapshot.h"

#include <string>
#include <vector>

namespace tools {

// The snapshot could not be taken: why, and whether to write all the same.
std::string SnapshotFailedQuestion(const image::Snapshot& s, bool demo);
// Where the controller's previous content went.
std::string SnapshotSavedText(const image::Snapshot& s);

// The one result of a write that replaces a whole controller (`what`, such as
// "Заводские установки"): written and restarted, or not or partly written with
// the blocks that failed (each failure text once) and the snapshot to restore from.
std::string WholeWriteResultText(const std::string& what, int failed, int blocks, bool restarted,
                                 const std::vector<std::string>& failures, const image::Snapshot& s);

} // namespace tools
