// Hints of the main tab, the controller settings and advanced settings tabs: each control
// and its "?" button carry the same text, shown as a tooltip and by the "?"
// button in a message box.
#pragma once

#include <QString>
#include <utility>
#include <vector>

class QWidget;

namespace settings {

// (objectName, hint) pairs in assignment order. "\r" is a line break.
const std::vector<std::pair<const char*, const char*>>& MainTabHints();
const std::vector<std::pair<const char*, const char*>>& CtrlrSettsHints();
const std::vector<std::pair<const char*, const char*>>& AdvSetHints();

// Sets the tooltip of every named child of `root` found in the table.
void ApplyHints(QWidget* root, const std::vector<std::pair<const char*, const char*>>& table);

} // namespace settings
