#include "search_core.h"

#include "frames.h"

namespace settings {

std::string SearchLine(int address, bool found) {
    return "Трк №" + std::to_string(address) + (found ? " найдено." : " не найдено.");
}

std::string SearchRun::tick() {
    if (done()) return {};
    const int address = next_++;
    return SearchLine(address, identify_ && identify_(address) >= 1);
}

int IdentifyAddress(int port, int address) {
    uint8_t answer[kIdentAnswerSize];
    int addr = 0;
    return Identify(port, address, answer, &addr);
}

} // namespace settings
