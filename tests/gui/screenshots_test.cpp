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
