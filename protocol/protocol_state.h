// The program-wide state of the controller protocol, in one named object.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "error_messages.h"

struct ProtocolState {
    // Chosen once at start-up; every ReadBlock/WriteBlock is then answered by the demo image.
    bool demoMode = false;
    std::string demoFileName = "demo_trk.bin";
    // Scales every poll limit of the transfers; always 1 or more.
    int timeoutMultiplier = 1;
    // The sizes record of the controller (0x3040), or of the demo image header.
    int blockSizes[7] = {};
    // Device type of the last accepted identify answer.
    uint8_t deviceType = 0;

    // Error-code query: 0 = next call sends the query, 1 = waiting for the answer.
    int errorQueryPhase = 0;
    int64_t errorQueryDeadline = 0; // milliseconds of the line clock (line_wait.h)
    int lastErrorCode = 0;

    ErrorMessageTable errorMessages;
    // Called with the CP1251 text of a controller error after a refused password
    // write; the GUI shows ControllerErrorMessageUtf8(text) in a message box.
    std::function<void(const std::string& text1251)> controllerErrorSink;
};

ProtocolState& Protocol();
// Back to the start-up state (for tests): no demo, multiplier 1, sizes 0, empty table, no sink.
void ResetProtocolState();
