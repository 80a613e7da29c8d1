// The password change and reset sequences of the password panel.
#pragma once

// Presents the current password of the row (tag 0 administrator, 2
// adjustment) at 0x5300 + tag and, only when that was accepted, sets the new
// one at 0x5400 + tag. 1 both accepted; -1 the current password was refused
// (nothing more sent); -2 the new password was refused.
int ChangePassword(int port, int ctrl, int tag, long current, long next);

// Presents the administrator password and, only when accepted, writes 0, 0 to
// 0x5402. 1, -1 or -2 as above.
int ResetAdjustPassword(int port, int ctrl, long admin);
