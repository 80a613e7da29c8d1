// Saves pictures of the window in demo mode: one PNG per tab and one of the
// port settings dialog, under screenshots/ in the build folder.
#include "com_setting.h"
#include "gui_rig.h"

#include <QDir>
#include <QPixmap>

using Screenshots = GuiRig;

TEST_F(Screenshots, EveryTabAndThePortSettingsDialog) {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    const QString dir = QString::fromLocal8Bit(bin ? bin : ".") + "/screenshots";
    ASSERT_TRUE(QDir().mkpath(dir));

    WriteTextFile("com.ini", "STUB 0 4800 0 1 0 8 N 1\n");
    zelsim::VirtualController image;
    const auto bytes = image.demoImageBytes();
    WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
    start(QString("1"), {"/I"});
    ASSERT_TRUE(state.Identified);
    WaitFor([] { return false; }, 200); // let the layouts settle

    QTabWidget* tabs = ctl<QTabWidget>("TabSetts");
    for (int i = 0; i < tabs->count(); ++i) {
        const bool visible = tabs->isTabVisible(i);
        tabs->setTabVisible(i, true);
        tabs->setCurrentIndex(i);
        QCoreApplication::processEvents();
        const QString file = dir + "/tab-" + tabs->widget(i)->objectName() + ".png";
        EXPECT_TRUE(w->grab().save(file)) << file.toStdString();
        tabs->setTabVisible(i, visible);
    }
    tabs->setCurrentIndex(0);

    TComSetting* d = w->comSetting();
    d->FormShow();
    d->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(d->grab().save(dir + "/TComSetting.png"));
    d->hide();
}
