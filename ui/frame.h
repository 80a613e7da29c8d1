// What a tab or dialog may ask of the main window. Tabs talk to the frame and
// to the working state's signals, never to each other or to widgets found by
// name; the main window implements this, and tests use a small stand-in.
#pragma once

#include "frames.h"

#include <QString>

class Frame {
public:
    virtual ~Frame() = default;

    // The status line SB.
    virtual void setStatus(const QString& text) = 0;
    virtual QString status() const = 0;
    // Makes the main tab TabIdent visible and current.
    virtual void showMainTab() = 0;
    // The label lNumberCtrlr above the tabs.
    virtual void setNumberLabel(const QString& text) = 0;
    // The label for the working controller number, decided here for every
    // caller: "Работа с Адресом №N", or "Контроллер найден" while the number is
    // still the reserve address (the controller found there answers at it).
    void showControllerNumber(int number) {
        setNumberLabel(number == kReserveAddress ? QStringLiteral("Контроллер найден")
                                                 : "Работа с Адресом №" + QString::number(number));
    }
    // The controller answers at `number` from now on (a write moved its side
    // A address): the working number, and the label says so (showControllerNumber).
    virtual void setControllerNumber(int number) = 0;
    // After a failed save: ReidentifyPending set, the main tab shown, and the
    // repaint queued that identifies the controller again.
    virtual void requestReidentify() = 0;
    // Queues the repaint checks of the main window.
    virtual void repaint() = 0;
    // The port and log menus (hidden in demo mode).
    virtual void setPortMenusVisible(bool visible) = 0;
    // The password step of every protected write: presents the administrator
    // password typed in the panel when the controller has one set. False: the
    // write stops (the reason was shown already).
    virtual bool passwordStep() = 0;
    // The password step of the channel settings save: the administrator
    // password when the controller has one set, else the adjustment password
    // typed in the panel when the controller has that one set.
    virtual bool adjustPasswordStep() = 0;
    // Demo mode: blocks come from the demo image.
    virtual bool demo() const = 0;
};
