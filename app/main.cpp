#include "data_files.h"
#include "dialogs.h"
#include "hint_filter.h"
#include "main_window.h"
#include "port_layer.h"
#include "protocol_state.h"
#include "working_state.h"
#include "write_journal.h"

#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>

namespace {

const char* const kUsage =
    "usage: startzel [/I] [-tfind MS] [--service] [--image FILE [--type HEX]]\n"
    "\n"
    "Service tool for fuel-dispenser controllers on an RS-485 line.\n"
    "  /I          demo mode: every read and write goes to demo_trk.bin\n"
    "  -tfind MS   interval of the controller search in milliseconds (default 300)\n"
    "  --service   also show the service tabs \"Сост канала\" (channel state) and \"Dump\" (memory)\n"
    "  --image FILE  work on the controller image FILE as on a controller, with no line: every write\n"
    "              goes into the file at once (the file as it was is kept as a snapshot first);\n"
    "              --type HEX gives the device type it reports (21, 22, 17 or 27; default 21)\n"
    "  --version   the version\n"
    "  --help      this text\n"
    "\n"
    "The port and its line settings come from com.ini. See startzel(1).\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before any window or file is touched, so both work without a display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("startzel %s\n", ZEL_VERSION);
        return 0;
    }
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
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
    // Every block written goes into the journal of the state folder; a journal
    // that cannot be written is reported once, after the write in progress.
    journal::Install([&dialogs](const std::string& error) {
        const QString text =
            "Не удалось записать журнал записей в контроллер: " + QString::fromStdString(error);
        QMetaObject::invokeMethod(
            qApp, [&dialogs, text] { dialogs.message(text, "startzel", Dialogs::Icon::Warning); },
            Qt::QueuedConnection);
    });
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
