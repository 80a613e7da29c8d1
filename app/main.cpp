#include "data_files.h"
#include "dialogs.h"
#include "hint_filter.h"
#include "main_window.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "working_state.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>

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
    HintFilter hints;
    app.installEventFilter(&hints);
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
