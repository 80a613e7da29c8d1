// The forms opened from the main window's main tab: the report on the demo
// image, and the factory defaults in demo mode identified again afterwards.
#include "demo_image.h"
#include "gui_rig.h"

#include <QComboBox>
#include <QDialog>
#include <filesystem>

namespace {

// The main tab's button opens the report on the demo image.
using ToolsMainWindow = GuiRig;

TEST_F(ToolsMainWindow, TheMainTabOpensTheReport) {
    WriteTextFile("com.ini", "STUB 0 4800 0 1 0 8 N 1\n");
    zelsim::VirtualController image;
    const auto bytes = image.demoImageBytes();
    WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
    start(QString("1"), {"/I"});
    ASSERT_TRUE(state.Identified);
    QString shown;
    dialogs.modals.push_back([&shown](QDialog& d) {
        d.show();
        QCoreApplication::processEvents();
        if (auto* memo = d.findChild<QPlainTextEdit*>("mParam1")) shown = memo->toPlainText();
        d.reject();
        return QDialog::Rejected;
    });
    btn("bSaveParamToText")->click();
    EXPECT_EQ(dialogs.records.back().text, "TformViewParam");
    EXPECT_TRUE(shown.startsWith("\tТрк №1\n\nАдрес стороны А - 1")) << shown.toStdString();
}

// Factory defaults from the main tab in demo mode: the new demo file is what
// the program identifies again once the form has closed.
TEST_F(ToolsMainWindow, DemoDefaultsAreIdentifiedAgainAfterTheForm) {
    WriteTextFile("com.ini", "STUB 0 4800 0 1 0 8 N 1\n");
    zelsim::VirtualController image;
    const auto bytes = image.demoImageBytes();
    WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
    const std::string home = std::filesystem::absolute("state").string();
    setenv("XDG_STATE_HOME", home.c_str(), 1);
    start(QString("1"), {"/I"});
    ASSERT_TRUE(state.Identified);
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
    EXPECT_EQ(dialogs.records.back().kind, "message"); // where the old demo file went
    ASSERT_TRUE(WaitFor([this] { return DemoImage().loaded && !state.ReidentifyPending; }));
    EXPECT_TRUE(state.Identified);
    EXPECT_EQ(DemoImage().bytes[7 + 5], 1); // one side, as written
    EXPECT_EQ(DemoImage().fileSize, 1107u);
}

} // namespace
