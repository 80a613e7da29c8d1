#include "dialogs.h"
#include "main_window.h"
#include "working_state.h"
#include "write_journal.h"

#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>
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
    QApplication app(argc, argv);
    app.setApplicationName("startzel");
    HintBreaks hintBreaks;
    app.installEventFilter(&hintBreaks);
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
