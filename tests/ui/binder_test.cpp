// Every field table names only controls its tab has, and a table that names
// one the tab lacks is caught.
#include "settings_rig.h"

#include "channel_fields.h"
#include "controller_fields.h"
#include "field_binder.h"
#include "ident_tab.h"

#include <QPushButton>

namespace {

using Binder = SettingsRig;

TEST_F(Binder, EveryTableFindsItsControls) {
    open();
    EXPECT_TRUE(tab->binder().missing().isEmpty()) << tab->binder().missing().join(", ").toStdString();
    EXPECT_TRUE(adv->paramsBinder().missing().isEmpty())
        << adv->paramsBinder().missing().join(", ").toStdString();
    EXPECT_TRUE(adv->naraBinder().missing().isEmpty())
        << adv->naraBinder().missing().join(", ").toStdString();
    IdentTab ident(TabContext{state, dialogs, *testFrame});
    EXPECT_TRUE(ApplyHints(&ident, settings::MainTabFields()).isEmpty());
    // The hint reaches the box and its "?" button, and the button shows it.
    EXPECT_EQ(edit("eMetTOut")->toolTip(), ctl<QPushButton>("helpMetTOut")->toolTip());
    ctl<QPushButton>("helpMetTOut")->click();
    EXPECT_EQ(dialogs.messages(),
              QStringList{"Время ожидание счетных импульсов от датчика расходомера в секундах"});
}

TEST(BinderAlone, ATableNamingAMissingControlFails) {
    TestApp();
    QWidget root;
    auto* e = new QLineEdit(&root);
    e->setObjectName("eHere");
    static const fields::Field rows[] = {
        {.name = "eHere",
         .field = "A",
         .offset = 0,
         .width = 1,
         .codec = fields::Codec::Decimal,
         .hint = "a"},
        {.name = "eGone",
         .field = "B",
         .offset = 1,
         .width = 1,
         .codec = fields::Codec::Decimal,
         .hint = "b"},
    };
    uint8_t block[2] = {7, 9};
#ifdef QT_NO_DEBUG
    FieldBinder binder(&root, rows, block, nullptr);
    EXPECT_EQ(binder.missing(), QStringList{"eGone"});
    binder.fill(false);
    EXPECT_EQ(e->text(), "7");
#else
    EXPECT_DEATH(FieldBinder(&root, rows, block, nullptr), "eGone");
#endif
}

} // namespace
