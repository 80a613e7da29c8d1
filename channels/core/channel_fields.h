// The controls of the channel, side and advanced settings tabs: where each box
// keeps its value in its block, how it is shown and typed, and its hint.
#pragma once

#include "field_table.h"

namespace settings {

// TabAdvSet: the boxes of CtrlrParams and the buttons of the tab.
fields::Table AdvParamsFields();
// TabAdvSet: the Nara group (NaraSpecific).
fields::Table NaraFields();

} // namespace settings
