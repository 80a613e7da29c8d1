// The tools' forms in a small frame (status line, number label, main tab),
// talking to a virtual controller over a pseudo-terminal or to the demo
// image, with scripted dialogs. Snapshots go to a folder of the test's own.
#pragma once

#include "block_transfer.h"
#include "def_set_form.h"
#include "demo_image.h"
#include "global_setts_form.h"
#include "tab_rig.h"
#include "view_param_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QProgressBar>
#include <QTableWidget>
#include <filesystem>

class FormsRig : public TabRig {
protected:
    std::string stateHome;

    void SetUp() override {
        TabRig::SetUp();
        ReleaseDemoImage();
        stateHome = std::filesystem::absolute("state").string();
        std::filesystem::remove_all(stateHome);
        std::filesystem::remove_all("startzel-demo");
        setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
    }
    void TearDown() override {
        TabRig::TearDown();
        ReleaseDemoImage();
        ResetProtocolState();
    }

    // The line on a pty, the controller at `controller`.
    void open(int controller = 1) {
        openLine(controller);
        buildFrame();
        frame->show();
    }
    // Demo mode on demo_trk.bin holding the virtual controller's memory
    // (nothing written when `withFile` is false).
    void openDemo(bool withFile = true) {
        ::unlink("demo_trk.bin");
        if (withFile) {
            const auto bytes = c->demoImageBytes();
            WriteTextFile("demo_trk.bin", std::string(bytes.begin(), bytes.end()));
            ASSERT_EQ(LoadDemoImage("demo_trk.bin"), 1);
        }
        state.demo = true;
        Protocol().demoMode = true;
        state.controllerNumber = 1;
        buildFrame();
        frame->show();
    }
    template <class Form> Form* show() {
        auto* f = new Form(context(), frame.get());
        f->show();
        QCoreApplication::processEvents();
        return f;
    }

    using TabRig::ctl;
    template <class T = QWidget> static T* ctl(QWidget* form, const char* name) {
        T* w = form->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    // Enters a box, puts the text in as typed and leaves it.
    static void type(QLineEdit* e, const QString& text) {
        focus(e, QEvent::FocusIn);
        e->setText(text);
        emit e->textEdited(text);
        focus(e, QEvent::FocusOut);
    }
    std::vector<uint8_t> regs(int n) const { return c->peek(0, ChannelAddress(NozRegs, n), NozRegs.length); }
    std::vector<uint8_t> params() const { return c->peek(0, CtrlrParams.address, CtrlrParams.length); }
    QString lastMessage() const {
        return dialogs.messages().isEmpty() ? QString() : dialogs.messages().last();
    }
};
