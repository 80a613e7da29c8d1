#include "codepage.h"
#include "error_messages.h"
#include "frames.h"
#include "protocol_state.h"

std::string ControllerErrorText(int port, int ctrl) {
    ProtocolState& s = Protocol();
    RunErrorQuery(port, ctrl);
    return Cp866ToCp1251ErrorText(s.errorMessages.Lookup(kErrorGroupController, s.lastErrorCode));
}

std::string ControllerErrorMessageUtf8(const std::string& text1251) {
    return "Ошибка! " + Cp1251ToUtf8(text1251);
}

void ShowControllerError(int port, int ctrl) {
    const std::string text = ControllerErrorText(port, ctrl);
    if (Protocol().controllerErrorSink) Protocol().controllerErrorSink(text);
}
