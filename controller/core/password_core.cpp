#include "password_core.h"

#include "block_transfer.h"
#include "ident_core.h"

int ChangePassword(int port, int ctrl, int tag, long current, long next) {
    const auto cur = ident::PasswordBytes(current);
    if (WriteBlock(port, ctrl, kAddrAdminPassword + tag, 2, cur.data(), kBoardMain) != 1) return -1;
    const auto nxt = ident::PasswordBytes(next);
    if (WriteBlock(port, ctrl, kAddrNewAdminPassword + tag, 2, nxt.data(), kBoardMain) != 1) return -2;
    return 1;
}

int ResetAdjustPassword(int port, int ctrl, long admin) {
    const auto cur = ident::PasswordBytes(admin);
    if (WriteBlock(port, ctrl, kAddrAdminPassword, 2, cur.data(), kBoardMain) != 1) return -1;
    const uint8_t zero[2] = {0, 0};
    if (WriteBlock(port, ctrl, kAddrNewAdjustPassword, 2, zero, kBoardMain) != 1) return -2;
    return 1;
}
