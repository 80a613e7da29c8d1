// Pictures of the three forms with data from the virtual controller, under
// screenshots/ in the build folder (ctest -L shots).
#include "forms_rig.h"

#include "block_layout.h"
#include "little_endian.h"

#include <QDir>
#include <QPixmap>

namespace {

using ToolsShots = FormsRig;

QString ShotFolder() {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    return QString::fromLocal8Bit(bin ? bin : ".") + "/screenshots";
}

} // namespace

TEST_F(ToolsShots, TheThreeForms) {
    const QString dir = ShotFolder();
    ASSERT_TRUE(QDir().mkpath(dir));
    auto r = regs(2);
    PutU16(r.data(), nozregs::BitStat.offset, 0x1088);
    c->poke(0, ChannelAddress(NozRegs, 2), r);
    open();

    auto* setup = show<TfGlobalSetts>();
    WaitFor([] { return false; }, 200); // let the layouts settle
    EXPECT_TRUE(setup->grab().save(dir + "/form-TfGlobalSetts.png"));
    setup->reject();

    auto* defaults = show<TformDefSet>();
    choose(ctl<QComboBox>(defaults, "cbTypeTrk"), 0);
    WaitFor([] { return false; }, 200);
    EXPECT_TRUE(defaults->grab().save(dir + "/form-TformDefSet.png"));
    choose(ctl<QComboBox>(defaults, "cbCountNoz_DS"), 5);
    WaitFor([] { return false; }, 100);
    EXPECT_TRUE(defaults->grab().save(dir + "/form-TformDefSet-limit.png"));
    defaults->reject();

    auto* report = show<TformViewParam>();
    ctl<QCheckBox>(report, "checkAdvanceMode")->click();
    WaitFor([] { return false; }, 200);
    EXPECT_TRUE(report->grab().save(dir + "/form-TformViewParam.png"));
    report->reject();
}
