// The factory defaults form under any sequence of events: the form never
// stores a channel address outside bytes 6..15, and whatever passes the
// write check has side addresses that differ by value (none 0), channel
// addresses 1..255 without repeats, and at most ten channels.
#include "ctrl_params_core.h"
#include "defaults_core.h"
#include "fixed_image.h"
#include "fuzz_input.h"

#include <set>

using namespace tools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    DefaultsForm f;
    f.open();
    while (in.more()) {
        const uint8_t op = in.u8() % 8;
        switch (op) {
        case 0:
            f.typeChanged(in.u8() % 4);
            break;
        case 1:
            f.sideItemChosen(in.u8() % 4 - 1);
            break;
        case 2:
            f.nozzleItemChosen(in.u8() % 10 - 1);
            break;
        case 3: {
            const int side = in.u8() & 1;
            f.sideAddressChanged(side, in.text(in.u8() % 5));
            break;
        }
        case 4:
            f.sideAddressLeft(in.u8() & 1);
            break;
        case 5: {
            const int side = in.u8() & 1;
            const int cell = in.u8() % 12 - 1;
            f.cellEdited(side, cell, in.text(in.u8() % 5));
            break;
        }
        case 6:
            f.gridLeft(in.u8() & 1);
            break;
        default: {
            if (!f.checkForWrite()) break;
            const uint8_t* p = f.image.data() + kFixParams;
            FUZZ_CHECK(!f.tooManyChannels() && f.channels() <= 10);
            FUZZ_CHECK(p[settings::kAddrSideA] != 0);
            if (f.sides() == 2)
                FUZZ_CHECK(p[settings::kAddrSideB] != 0 &&
                           p[settings::kAddrSideA] != p[settings::kAddrSideB]);
            std::set<int> seen;
            for (int i = 0; i < f.channels(); ++i) {
                FUZZ_CHECK(p[6 + i] != 0);
                FUZZ_CHECK(seen.insert(p[6 + i]).second);
            }
            break;
        }
        }
    }
    return 0;
}
