#include "transfer_result.h"

std::string TransferResultText(int result) {
    switch (result) {
    case kTransferDone:
        return "done";
    case kTransferFailed:
        return "no answer (or the write was refused)";
    case kTransferBadAnswer:
        return "the answer is not valid (a wrong checksum or echo, or a device not supported)";
    case kTransferBadHandle:
        return "the port handle cannot be used by the protocol";
    case kTransferBadCount:
        return "a write frame carries 1 to 64 bytes";
    default:
        return "result " + std::to_string(result);
    }
}
