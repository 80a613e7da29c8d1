#include "hint_filter.h"

#include "dialogs.h"

#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

bool HintFilter::eventFilter(QObject* o, QEvent* e) {
    if (e->type() != QEvent::ToolTip) return false;
    auto* w = qobject_cast<QWidget*>(o);
    if (!w) return false;
    const QVariant show = w->property(kShowHintProperty);
    if (show.isValid() && !show.toBool()) {
        QToolTip::hideText();
        return true;
    }
    if (!w->toolTip().contains(QLatin1Char('\r'))) return false;
    QToolTip::showText(static_cast<QHelpEvent*>(e)->globalPos(), DisplayText(w->toolTip()), w);
    return true;
}
