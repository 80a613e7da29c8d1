#include "nara_core.h"

#include "block_transfer.h"
#include "conversions.h"
#include "write_journal.h"

#include <string>

namespace settings {

int DotItem(uint8_t flags) {
    if (flags & 0x04) return 1;
    if (flags & 0x02) return 2;
    return 0;
}

uint8_t FlagsForDotItem(uint8_t flags, int item) {
    auto f = static_cast<uint8_t>(flags & ~0x06);
    if (item == 1)
        f |= 0x04;
    else if (item == 2)
        f |= 0x02;
    return f;
}

bool InRange(std::string_view text, int lo, int hi, bool zeroAllowed, int* value) {
    if (CheckNumberText(text, 0xFFFF, 0) != 1) return false;
    const int v = std::stoi(std::string(text));
    if (!((v >= lo && v <= hi) || (zeroAllowed && v == 0))) return false;
    if (value) *value = v;
    return true;
}

bool NozzleWaitValid(std::string_view t, int* v) {
    return InRange(t, 0, 99, true, v);
}
bool MinSpeedValid(std::string_view t, int* v) {
    return InRange(t, 0, 30, true, v);
}
bool MinSpTimeValid(std::string_view t, int* v) {
    return InRange(t, 3, 180, true, v);
}
bool PcTimeoutValid(std::string_view t, int* v) {
    return InRange(t, 3, 60, true, v);
}
bool ValveDelayValid(std::string_view t, int* v) {
    return InRange(t, 0, 30, true, v);
}
bool ShimDurationValid(std::string_view t, int* v) {
    return InRange(t, 2, 19, true, v);
}
bool MinVolNaraValid(std::string_view t, int* v) {
    return InRange(t, 10, 500, true, v);
}
bool StWaitForceValid(std::string_view t, int* v) {
    return InRange(t, 0, 99, true, v);
}
bool PbTimeoutNaraValid(std::string_view t, int* v) {
    return InRange(t, 0, 100, true, v);
}

bool HydroHitValid(long value) {
    return value >= 0 && value <= kHydroHitMax;
}
uint8_t HydroHitByte(long value) {
    return static_cast<uint8_t>(value / 10);
}

bool TempLowValid(long value) {
    return value < 0 && value >= -128;
}
bool TempHighValid(long value) {
    return value >= -128 && value <= 127;
}

bool StoreHydroHit(uint8_t* params, long value) {
    if (!HydroHitValid(value)) return false;
    PutField(ctrlrparams::HydroHit, params, HydroHitByte(value));
    return true;
}

// The byte holds the low eight bits of the temperature (two's complement).
bool StoreTempLow(uint8_t* params, long value) {
    if (!TempLowValid(value)) return false;
    PutField(ctrlrparams::TempHeatLow, params, static_cast<uint32_t>(value & 0xFF));
    return true;
}

bool StoreTempHigh(uint8_t* params, long value) {
    if (!TempHighValid(value)) return false;
    PutField(ctrlrparams::TempHeatHigh, params, static_cast<uint32_t>(value & 0xFF));
    return true;
}

int StoredDotItem(const uint8_t* nara) {
    return DotItem(static_cast<uint8_t>(GetField(naraspecific::NaraFlags, nara)));
}

void StoreDotItem(uint8_t* nara, int item) {
    PutField(naraspecific::NaraFlags, nara,
             FlagsForDotItem(static_cast<uint8_t>(GetField(naraspecific::NaraFlags, nara)), item));
}

void StorePrcShift(uint8_t* nara, std::string_view text) {
    PutField(naraspecific::PrcShift, nara, PrcShiftValue(text));
}

bool BmuPasswordTextValid(std::string_view text) {
    if (text.size() != 10) return true;
    const char first = text[0];
    if (first >= '5' && first <= '9') return false;
    if (first == '4') {
        uint64_t rest = 0;
        for (size_t i = 1; i < text.size(); ++i) {
            if (text[i] < '0' || text[i] > '9') return true;
            rest = rest * 10 + static_cast<uint64_t>(text[i] - '0');
        }
        return rest < 294967296ull;
    }
    return true;
}

std::optional<uint32_t> BmuPasswordValue(std::string_view text) {
    std::string t(text);
    while (!t.empty() && t.front() == ' ')
        t.erase(t.begin());
    while (!t.empty() && t.back() == ' ')
        t.pop_back();
    if (t.empty()) return std::nullopt;
    size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
    if (i == t.size()) return std::nullopt;
    for (size_t k = i; k < t.size(); ++k)
        if (t[k] < '0' || t[k] > '9') return std::nullopt;
    if (t.size() - i > 18) return std::nullopt; // beyond a 64-bit integer
    const long long v = std::stoll(t);
    return static_cast<uint32_t>(static_cast<unsigned long long>(v) & 0xFFFFFFFFull);
}

uint8_t PrcShiftValue(std::string_view text) {
    unsigned v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        v = v * 10 + static_cast<unsigned>(c - '0');
        if (v > 255) return 255;
    }
    return static_cast<uint8_t>(v);
}

} // namespace settings

namespace settings {

int ReadNara(int port, int ctrl, NaraPair& pair) {
    const int r =
        ReadBlock(port, ctrl, NaraSpecific.address, NaraSpecific.length, pair.working.data(), kBoardMain);
    // A short answer would fill the boxes from stale bytes: only the whole block counts.
    if (r < NaraSpecific.length) {
        pair.restore();
        return -1;
    }
    pair.loaded(NaraSpecific.length);
    return 1;
}

int WriteNara(int port, int ctrl, NaraPair& pair) {
    if (!pair.changed()) return 0;
    const journal::KnownContent before(kBoardMain, NaraSpecific.address, pair.asRead.data(), pair.length);
    if (WriteBlock(port, ctrl, NaraSpecific.address, NaraSpecific.length, pair.working.data(), kBoardMain) !=
        1)
        return -1;
    pair.accept();
    return 1;
}

int TestHeaterRelay(int port, int ctrl) {
    const uint8_t one = 1;
    return WriteBlock(port, ctrl, kRegRelayTest, 1, &one, kBoardRegisters);
}

uint32_t BmuUserPassword(const uint8_t* nara, int slot) {
    return GetField(naraspecific::BmuPUser, nara, slot);
}

void StoreBmuUserPassword(uint8_t* nara, int slot, uint32_t value) {
    PutField(naraspecific::BmuPUser, nara, value, slot);
}

void StoreBmuAdmPassword(uint8_t* nara, uint32_t value) {
    PutField(naraspecific::BmuPAdm, nara, value);
}

} // namespace settings
