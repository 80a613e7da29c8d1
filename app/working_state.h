// Program-wide working state, one instance owned by the application and handed
// to the main window, its tabs and its dialogs.
#pragma once

#include "com_ini.h"

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>

class WorkingState : public QObject {
    Q_OBJECT
public:
    static constexpr int ReserveAddress = 240;

    bool demo = false;
    int32_t controllerNumber = 0; // only the low byte reaches the frames
    int portHandle = 0;
    bool portFailed = false;
    bool noControllerNumber = true;
    bool closeAtShow = false;
    bool refreshButtons = false;
    bool ReidentifyPending = false;
    bool AddressChanged = false;
    bool idle = true; // no controller image transfer is running
    ComPortSetting portSettings;

    bool Identified = false;
    bool ParamsLoaded = false;
    uint8_t DeviceType = 0;
    std::array<uint8_t, 16> PasswordStatus{};

    // The field convention of the tabs: text changed since the box was
    // entered, and the number of boxes marked invalid.
    bool FieldEdited = false;
    int InvalidFieldCount = 0;

    // The password step of every protected operation: presents the
    // administrator password typed in the panel when the controller has one
    // set. False: the operation stops (the reason was shown already).
    std::function<bool()> passwordStep;
    bool PasswordStep() { return passwordStep ? passwordStep() : true; }

    // Asks the main window to run its repaint checks from a handler queued on
    // the event loop (several requests before it runs give one pass).
    void requestRepaint() { emit repaintRequested(); }
    // Asks the main window to read the password status and refresh its panel.
    void requestPasswordStatus() { emit passwordStatusRequested(); }

signals:
    void repaintRequested();
    void passwordStatusRequested();
};
