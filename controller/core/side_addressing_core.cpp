#include "side_addressing_core.h"

#include "conversions.h"
#include "ctrl_params_core.h"

#include <algorithm>

namespace settings {
namespace {

bool ByteValue(const std::string& text, int* value) {
    if (CheckNumberText(text, 255, 0) != 1) return false;
    *value = std::stoi(text);
    return true;
}

bool OneSideTwoNozzles(int nozzles, int sides) {
    return sides == 1 && nozzles == 2;
}

} // namespace

int NozzlesOf(const uint8_t* block) {
    const int n = block[kNozzlesPerSide];
    return n >= 1 && n <= kMaxNozzles ? n : 1;
}

int SidesOf(const uint8_t* block) {
    return block[kSideCount] == 2 ? 2 : 1;
}

void FillNaraCells(const uint8_t* block, int nozzles, Cells& a, Cells& b) {
    const int n = std::clamp(nozzles, 1, kMaxNozzles);
    a.assign(static_cast<size_t>(n), {});
    b.assign(static_cast<size_t>(n), {});
    for (int j = 0; j < n; ++j) {
        a[static_cast<size_t>(j)] = std::to_string(block[kNaraAddrs + j]);
        b[static_cast<size_t>(j)] = std::to_string(block[kNaraAddrs + n + j]);
    }
}

void FillPhysCells(const uint8_t* block, int nozzles, int sides, Cells& a, Cells& b) {
    const int n = std::clamp(nozzles, 1, kMaxNozzles);
    a.assign(static_cast<size_t>(n), {});
    b.assign(static_cast<size_t>(n), {});
    for (int j = 0; j < n; ++j) {
        a[static_cast<size_t>(j)] = std::to_string(block[kPhysToLog + 2 * j]);
        b[static_cast<size_t>(j)] = std::to_string(block[kPhysToLog + 1 + 2 * j]);
    }
    if (OneSideTwoNozzles(n, sides)) {
        a[0] = std::to_string(block[kPhysToLog]);
        a[1] = std::to_string(block[kPhysToLog + 1]);
    }
}

Cells PhysHeaderCells(int nozzles) {
    Cells h;
    for (int j = 0; j < std::clamp(nozzles, 1, kMaxNozzles); ++j)
        h.push_back(std::to_string(j));
    return h;
}

void AutoNumberNara(const uint8_t* block, int nozzles, Cells& a, Cells& b) {
    const int n = std::clamp(nozzles, 1, kMaxNozzles);
    a.assign(static_cast<size_t>(n), {});
    b.assign(static_cast<size_t>(n), {});
    int prev = 0;
    for (int j = 0; j < n; ++j) {
        int v = block[kNaraAddrs + j];
        if (v == 0) v = j == 0 ? 1 : prev + 1;
        a[static_cast<size_t>(j)] = std::to_string(v);
        prev = v;
    }
    for (int j = 0; j < n; ++j) {
        int v = block[kNaraAddrs + n + j];
        if (v == 0) v = prev + 1; // for j = 0 prev is grid A's last cell
        b[static_cast<size_t>(j)] = std::to_string(v);
        prev = v;
    }
}

void RenumberPhys(int nozzles, Cells& a, Cells& b) {
    const int n = std::clamp(nozzles, 1, kMaxNozzles);
    a.assign(static_cast<size_t>(n), {});
    b.assign(static_cast<size_t>(n), {});
    for (int j = 0; j < n; ++j) {
        a[static_cast<size_t>(j)] = std::to_string(j);
        b[static_cast<size_t>(j)] = std::to_string(n + j);
    }
}

bool SideAddressValid(const std::string& text, int* value) {
    int v = 0;
    if (!ByteValue(text, &v)) return false;
    if (value) *value = v;
    return true;
}

namespace {

int FirstBad(const Cells& own, const Cells& other, bool allowRepeated255) {
    std::vector<int> others;
    for (const auto& t : other) {
        int v = 0;
        if (ByteValue(t, &v)) others.push_back(v);
    }
    std::vector<int> seen;
    for (size_t i = 0; i < own.size(); ++i) {
        int v = 0;
        if (!ByteValue(own[i], &v)) return static_cast<int>(i);
        const bool free = allowRepeated255 && v == 255;
        if (!free &&
            (std::count(seen.begin(), seen.end(), v) > 0 || std::count(others.begin(), others.end(), v) > 0))
            return static_cast<int>(i);
        seen.push_back(v);
    }
    return -1;
}

} // namespace

int FirstBadNaraCell(const Cells& own, const Cells& other) {
    return FirstBad(own, other, false);
}
int FirstBadPhysCell(const Cells& own, const Cells& other) {
    return FirstBad(own, other, true);
}

GridACheck CheckNaraGridA(const Cells& a) {
    std::vector<int> seen;
    for (const auto& t : a) {
        int v = 0;
        if (!ByteValue(t, &v)) return GridACheck::Invalid;
        seen.push_back(v);
    }
    for (size_t i = 0; i < seen.size(); ++i) {
        if (seen[i] == 0) return GridACheck::Coloured;
        for (size_t k = 0; k < i; ++k)
            if (seen[k] == seen[i]) return GridACheck::Coloured;
    }
    return GridACheck::Ok;
}

namespace {

void Put(uint8_t* block, int at, const std::string& text) {
    int v = 0;
    if (ByteValue(text, &v)) block[at] = static_cast<uint8_t>(v);
}

} // namespace

void StoreNaraA(uint8_t* block, const Cells& a) {
    for (size_t j = 0; j < a.size() && j < static_cast<size_t>(kMaxNozzles); ++j)
        Put(block, kNaraAddrs + static_cast<int>(j), a[j]);
}

void StoreNaraB(uint8_t* block, int nozzles, const Cells& b) {
    const int n = std::clamp(nozzles, 1, kMaxNozzles);
    for (int j = 0; j < n && j < static_cast<int>(b.size()); ++j)
        Put(block, kNaraAddrs + n + j, b[static_cast<size_t>(j)]);
}

void StorePhysA(uint8_t* block, int nozzles, int sides, const Cells& a) {
    if (OneSideTwoNozzles(nozzles, sides) && a.size() >= 2) {
        Put(block, kPhysToLog, a[0]);
        Put(block, kPhysToLog + 1, a[1]);
        return;
    }
    for (size_t j = 0; j < a.size() && j < static_cast<size_t>(kMaxNozzles); ++j)
        Put(block, kPhysToLog + 2 * static_cast<int>(j), a[j]);
}

void StorePhysB(uint8_t* block, const Cells& b) {
    for (size_t j = 0; j < b.size() && j < static_cast<size_t>(kMaxNozzles); ++j)
        Put(block, kPhysToLog + 1 + 2 * static_cast<int>(j), b[j]);
}

void TakeGrids(uint8_t* block, int nozzles, int sides, const Cells& naraA, const Cells& naraB,
               const Cells& physA, const Cells& physB) {
    const int n = std::clamp(nozzles, 1, kMaxNozzles);
    auto cell = [](const Cells& c, int j) {
        return j < static_cast<int>(c.size()) ? c[static_cast<size_t>(j)] : "";
    };
    if (OneSideTwoNozzles(n, sides)) {
        Put(block, kPhysToLog, cell(physA, 0));
        Put(block, kPhysToLog + 1, cell(physA, 1));
        std::fill(block + kPhysToLog + 2, block + kPhysToLog + 10, 0xFF);
    } else {
        for (int j = 0; j < kMaxNozzles; ++j) {
            if (j < n) {
                Put(block, kPhysToLog + 2 * j, cell(physA, j));
                if (sides == 2)
                    Put(block, kPhysToLog + 1 + 2 * j, cell(physB, j));
                else
                    block[kPhysToLog + 1 + 2 * j] = 0xFF;
            } else {
                block[kPhysToLog + 2 * j] = 0xFF;
                block[kPhysToLog + 1 + 2 * j] = 0xFF;
            }
        }
    }
    for (int j = 0; j < n; ++j) {
        Put(block, kNaraAddrs + j, cell(naraA, j));
        Put(block, kNaraAddrs + n + j, cell(naraB, j));
    }
    std::fill(block + kNaraAddrs + 2 * n, block + kNaraAddrs + 10, 0);
}

} // namespace settings
