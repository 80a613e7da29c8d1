#include "dialogs.h"
#include "hint_filter.h"
#include "main_window.h"
#include "working_state.h"

#include <QApplication>
#include <exception>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    app.setApplicationName("startzel");
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
