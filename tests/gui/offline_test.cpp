// The window on an image file (--image FILE): no line, no com.ini, no number
// prompt; the file's controller is identified at its side A address, the
// title and the status line name the file, the image transfers are hidden,
// and a form's write goes into the file after a snapshot of it.
#include "gui_rig.h"

#include <QComboBox>
#include <QDialog>
#include <filesystem>

namespace {

using OfflineWindow = GuiRig;

TEST_F(OfflineWindow, TheFileIsTheControllerAndKeepsEveryWrite) {
    namespace fs = std::filesystem;
    const std::string home = fs::absolute("state").string();
    fs::remove_all(home);
    setenv("XDG_STATE_HOME", home.c_str(), 1);
    ::unlink("com.ini");
    zelsim::VirtualController source(7, 0x22);
    const auto before = source.imageBytes();
    const std::string file = fs::absolute("offline.bin").string();
    WriteTextFile(file, std::string(before.begin(), before.end()));

    w = std::make_unique<TStartZelMain>(state, dialogs,
                                        QStringList{"--image", QString::fromStdString(file), "--type", "22"});
    w->show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(dialogs.records.empty()) << "no prompt, no com.ini message";
    ASSERT_TRUE(state.Identified);
    EXPECT_EQ(state.controllerNumber, 7);
    EXPECT_EQ(state.DeviceType, 0x22);
    EXPECT_EQ(w->windowTitle(), "StartZel — " + QString::fromStdString(file));
    EXPECT_EQ(ctl<QLabel>("lImageFile")->text(), "Файл образа: " + QString::fromStdString(file));
    EXPECT_TRUE(btn("bSaveImage")->isHidden());
    EXPECT_TRUE(btn("bLoadImage")->isHidden());
    EXPECT_FALSE(fs::exists("com.ini"));

    // The factory defaults of one side of one nozzle, written into the file.
    dialogs.modals.push_back([](QDialog& d) {
        d.show();
        QCoreApplication::processEvents();
        auto* type = d.findChild<QComboBox*>("cbTypeTrk");
        type->setCurrentIndex(3);
        emit type->activated(3);
        d.findChild<QPushButton*>("bSaveParam_DS")->click();
        return d.result();
    });
    btn("bGlobalDefaultSet")->click();
    ASSERT_TRUE(WaitFor([this] { return !state.ReidentifyPending; }));
    const std::string after = ReadTextFile(file);
    ASSERT_EQ(after.size(), before.size());
    EXPECT_NE(after, std::string(before.begin(), before.end()));
    EXPECT_EQ(static_cast<uint8_t>(after[7 + 5]), 1); // one side, as written
    // The file as it was before its first write is the snapshot.
    int kept = 0;
    for (const auto& e : fs::directory_iterator(home + "/startzel/snapshots"))
        if (e.path().filename().string().rfind("image-offline-", 0) == 0) {
            ++kept;
            EXPECT_EQ(ReadTextFile(e.path().string()), std::string(before.begin(), before.end()));
        }
    EXPECT_EQ(kept, 1);
}

TEST_F(OfflineWindow, AFileThatIsNoImageIsNamedAndNothingOpens) {
    WriteTextFile("short.bin", "abc");
    w = std::make_unique<TStartZelMain>(state, dialogs, QStringList{"--image", "short.bin"});
    w->show();
    QCoreApplication::processEvents();
    ASSERT_FALSE(dialogs.messages().isEmpty());
    EXPECT_EQ(
        dialogs.messages().first(),
        "Не удалось открыть файл образа short.bin\nshort.bin is not a controller image: shorter than the "
        "7-byte size header");
    EXPECT_FALSE(state.Identified);
    EXPECT_EQ(state.portHandle, 0);
}

} // namespace
