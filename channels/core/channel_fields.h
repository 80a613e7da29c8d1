// The controls of the channel, side and advanced settings tabs: where each box
// keeps its value in its block, how it is shown and typed, and its hint.
#pragma once

#include "field_table.h"

namespace settings {

// TabAdvSet: the boxes of CtrlrParams and the buttons of the tab.
fields::Table AdvParamsFields();
// TabAdvSet: the Nara group (NaraSpecific).
fields::Table NaraFields();
// TabNozzRegs: the boxes of NozRegs, the lists and the buttons.
fields::Table NozRegsFields();
// TabNozSetts: the boxes of NozSetts, the lists and the buttons.
fields::Table NozSettsFields();
// TabRegsSides: the boxes of one side's SidesSetts block (0: side A, the
// "_s1" controls; 1: side B, "_s2"); side A's table also carries the buttons.
fields::Table SideFields(int side);

} // namespace settings
