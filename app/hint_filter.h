// How the hints show as tooltips: their "\r" line breaks become real line
// breaks, and a control whose hint display is switched off (EnabledHint)
// shows no tooltip while keeping its text for the "?" buttons.
#pragma once

#include "field_binder.h" // kShowHintProperty

#include <QObject>

// Installed on the application.
class HintFilter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* o, QEvent* e) override;
};
