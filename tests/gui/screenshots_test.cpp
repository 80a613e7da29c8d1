// Saves pictures of the window in demo mode: one PNG per tab and one of the
// port settings dialog, under screenshots/ in the build folder.
#include "com_setting.h"
#include "gui_rig.h"

#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QProgressBar>

using Screenshots = GuiRig;

TEST_F(Screenshots, EveryTabAndThePortSettingsDialog) {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    const QString dir = QString::fromLocal8Bit(bin ? bin : ".") + "/screenshots";
    ASSERT_TRUE(QDir().mkpath(dir));

    WriteTextFile("com.ini", "STUB 0 4800 0 1 0 8 N 1\n");
    zelsim::VirtualController image;
    // Some life in the first channel's state registers and in the side registers.
    image.poke(0, 0x2000, {0x00, 44,   0x88, 0x10, 0x40, 0xE2, 0x01, 0x00, 0x10, 0x27, 0x00,
                           0x00, 0x39, 0x30, 0x00, 0x00, 0x34, 0x12, 0x00, 0x00, 0x07, 0x00,
                           0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x40, 0xE2, 0x01, 0x00});
    image.poke(0, 0x4000, {2, 0x0C, 0x00, 7, 3, 24, 0x15, 0xCD, 0x5B, 0x07, 0, 0});
    image.poke(0, 0x4100, {1, 0x03, 0x00, 28, 2, 25, 0x40, 0x42, 0x0F, 0x00, 0, 0});
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

// The main tab while an image is read from a controller, the label and the bar showing.
TEST_F(Screenshots, MainTabDuringAnImageSave) {
    const char* bin = std::getenv("ZEL_BINARY_DIR");
    const QString dir = QString::fromLocal8Bit(bin ? bin : ".") + "/screenshots";
    ASSERT_TRUE(QDir().mkpath(dir));
    line.addController(1);
    startLine();
    start(QString("1"));
    ASSERT_TRUE(state.Identified);
    const QString file = dir + "/tab-TabIdent-image-save.png";
    QFile::remove(file);
    auto* timer = new QTimer(w.get());
    timer->setInterval(0);
    QObject::connect(timer, &QTimer::timeout, w.get(), [&] {
        auto* bar = ctl<QProgressBar>("progrImage");
        if (!bar->isVisible() || bar->value() < bar->maximum() / 2) return;
        timer->stop();
        EXPECT_TRUE(w->grab().save(file));
    });
    timer->start();
    dialogs.fileNames.push_back("shot.bin");
    btn("bSaveImage")->click();
    EXPECT_TRUE(QFile::exists(file));
    QCoreApplication::processEvents();
    w->grab().save(dir + "/tab-TabIdent-image-saved.png");
}
