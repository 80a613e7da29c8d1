#include "codepage.h"
#include "error_messages.h"
#include "frames.h"
#include "protocol_state.h"

std::string ControllerErrorCodeText(const ErrorMessageTable& table, int code) {
    return Cp866ToCp1251ErrorText(table.Lookup(kErrorGroupController, code));
}

std::string ControllerErrorText(int port, int ctrl, int* queryResult) {
    const int r = RunErrorQuery(port, ctrl);
    if (queryResult) *queryResult = r;
    return ControllerErrorCodeText(Protocol().errorMessages, Protocol().lastErrorCode);
}

std::string ControllerErrorMessageUtf8(const std::string& text1251) {
    return "Ошибка! " + Cp1251ToUtf8(text1251);
}

void ShowControllerError(int port, int ctrl) {
    const std::string text = ControllerErrorText(port, ctrl);
    if (Protocol().controllerErrorSink) Protocol().controllerErrorSink(text);
}
