#include "protocol_state.h"

ProtocolState& Protocol() {
    static ProtocolState state;
    return state;
}

void ResetProtocolState() {
    ProtocolState& s = Protocol();
    s.demoMode = false;
    s.demoFileName = "demo_trk.bin";
    s.timeoutMultiplier = 1;
    for (int& v : s.blockSizes)
        v = 0;
    s.deviceType = 0;
    s.errorQueryPhase = 0;
    s.errorQueryDeadline = 0;
    s.lastErrorCode = 0;
    s.errorMessages.Clear();
    s.controllerErrorSink = nullptr;
}
