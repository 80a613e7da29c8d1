// Program-wide working state, one instance owned by the application and handed
// to the main window, its tabs and its dialogs.
#pragma once

#include "com_ini.h"
#include "nara_core.h"
#include "noz_regs_core.h"
#include "noz_setts_core.h"
#include "params_model.h"

#include <QObject>
#include <array>
#include <cstdint>
#include <functional>
#include <string>

class WorkingState : public QObject {
    Q_OBJECT
public:
    static constexpr int ReserveAddress = 240;

    bool demo = false;
    // startzel --image FILE: the controller image file worked on instead of a line.
    std::string imageFile;
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
    std::string identText; // the identification text of the controller, UTF-8
    std::array<uint8_t, 16> PasswordStatus{};

    // The controller parameter block, shared by every tab and dialog that
    // shows or edits it.
    settings::ParamsModel params;
    // The advanced settings block (NaraSpecific), shared the same way.
    settings::NaraPair nara;
    // The channel blocks of the channel state and channel settings tabs (the
    // settings save of the controller tab works on the channel settings
    // too), and the channel either tab read last.
    settings::NozRegsPair nozRegs;
    settings::NozSettsPair nozSetts;
    int currentChannel = 0;
    // The temperature table as last read from the controller or computed (39
    // converter readings, -50 to 102 °C); the source of every table write.
    std::array<uint16_t, 39> temperatureTable{};
    // The table above was read or computed since the start: only then may it
    // be written (before, it holds zeros, not a table).
    bool temperatureTableKnown = false;

    // The field convention of the tabs: text changed since the box was
    // entered, and the number of boxes marked invalid.
    bool FieldEdited = false;
    int InvalidFieldCount = 0;

    // Replaces the password step of the frame (tests).
    std::function<bool()> passwordStep;

    int port() const { return portHandle; }
    int ctrl() const { return controllerNumber & 0xFF; }

    // Asks the main window to run its repaint checks from a handler queued on
    // the event loop (several requests before it runs give one pass).
    void requestRepaint() { emit repaintRequested(); }
    // Asks the main window to read the password status and refresh its panel.
    void requestPasswordStatus() { emit passwordStatusRequested(); }

signals:
    void repaintRequested();
    void passwordStatusRequested();
    // The parameter block was read: every view of it fills its controls.
    void paramsRead(const settings::ParamsView& view);
    // Identification: DeviceType was read (captions that depend on it follow),
    // then the identification text (identText).
    void deviceTypeRead();
    void identTextRead();
    // Identification enabled the commands that talk to the controller (true)
    // or disabled them (DisableCommands, false).
    void commandsEnabled(bool on);
    // The advanced settings block was read (ok) or its read failed.
    void naraRead(bool ok);
};
