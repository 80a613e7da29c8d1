#include "dialogs.h"
#include "main_window.h"
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

const char* const kUsage =
    "usage: startzel [/I] [-tfind MS] [--service]\n"
    "\n"
    "  /I          demo mode: every read and write goes to demo_trk.bin in the working folder\n"
    "  -tfind MS   interval of the controller search in milliseconds (default 300)\n"
    "  --service   also show the service tabs \"Сост канала\" (channel state) and \"Dump\" (memory)\n"
    "  --help      this text\n"
    "\n"
    "The port and its line settings come from com.ini in the working folder.\n";

} // namespace

int main(int argc, char** argv) {
    // Answered before any window exists, so it works without a display too.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    QApplication app(argc, argv);
    app.setApplicationName("startzel");
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
