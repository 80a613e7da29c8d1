#include "data_files.h"
#include "dialogs.h"
#include "main_window.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "working_state.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

// Hints break their lines with "\r"; a tooltip shows them with real line breaks.
class HintBreaks : public QObject {
public:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::ToolTip) return false;
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || !w->toolTip().contains(QLatin1Char('\r'))) return false;
        QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), DisplayText(w->toolTip()), w);
        return true;
    }
};

} // namespace

int main(int argc, char** argv) {
    // Answered before any window or file is touched, so both work without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("startzel %s\n", ZEL_VERSION);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: startzel [/I | -tfind MS]\n"
                    "Service tool for fuel-dispenser controllers on an RS-485 line.\n"
                    "  /I          demo mode: every read and write is served by demo_trk.bin\n"
                    "  -tfind MS   interval of the controller search in milliseconds (default 300)\n"
                    "  --version   the version\n"
                    "See startzel(1).\n");
        return 0;
    }
    const DataFiles files = ResolveDataFiles(ProcessDataFileEnv());
    SetProgramFiles(files);
    Protocol().demoFileName = files.demoImage;
    PortSetTraceFile(files.portOut);

    QApplication app(argc, argv);
    app.setApplicationName("startzel");
    InstallQtTranslations();
    HintBreaks hintBreaks;
    app.installEventFilter(&hintBreaks);
    QtDialogs dialogs;
    try {
        WorkingState state;
        TStartZelMain window(state, dialogs, app.arguments().mid(1));
        dialogs.setParent(&window);
        window.show();
        return app.exec();
    } catch (const std::exception& e) {
        dialogs.message(QString::fromLocal8Bit(e.what()), "startzel", Dialogs::Icon::Error);
        return 1;
    }
}
