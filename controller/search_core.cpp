#include "search_core.h"

namespace settings {

std::string SearchLine(int address, bool found) {
    return "Трк №" + std::to_string(address) + (found ? " найдено." : " не найдено.");
}

std::string SearchRun::tick() {
    if (done()) return {};
    const int address = next_++;
    return SearchLine(address, identify_ && identify_(address) >= 1);
}

} // namespace settings
