// The controls of the main tab and of the controller settings tab: the number
// boxes with their place in the parameter block, and the hint of every control.
#pragma once

#include "field_table.h"

namespace settings {

fields::Table MainTabFields();
// Rows of TabCtrlrSetts; the number boxes store into CtrlrParams.
fields::Table CtrlrSettsFields();

} // namespace settings
