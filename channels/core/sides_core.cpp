#include "sides_core.h"

#include "block_transfer.h"
#include "little_endian.h"

#include <algorithm>

namespace settings {

int ReadSide(int port, int ctrl, int side, SideBuffer& buffer) {
    SideBuffer in{};
    if (ReadBlock(port, ctrl, SideAddress(side), SidesSetts.length, in.data(), kBoardMain) <
        SidesSetts.length)
        return -1;
    buffer = in;
    return 1;
}

int WriteSide(int port, int ctrl, int side, const SideBuffer& buffer) {
    return WriteBlock(port, ctrl, SideAddress(side), SidesSetts.length, buffer.data(), kBoardMain) == 1 ? 1
                                                                                                        : -1;
}

std::string SideDateText(const SideBuffer& b) {
    return fields::FieldText(fields::ElementField(sidessetts::DateLastKor, 0), b.data());
}

std::optional<std::array<uint8_t, 3>> ParseSideDate(std::string_view text) {
    const fields::Field date = fields::ElementField(sidessetts::DateLastKor, 0);
    std::array<uint8_t, SidesSetts.length> b{};
    if (!fields::StoreDateText(date, text, b.data())) return std::nullopt;
    return std::array<uint8_t, 3>{b[date.offset], b[date.offset + 1], b[date.offset + 2]};
}

uint32_t LeadingDigitsValue(std::string_view text) {
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > 0xFFFFFFFFu) return 0xFFFFFFFFu;
    }
    return static_cast<uint32_t>(v);
}

uint16_t StoredCountKor(const SideBuffer& b) {
    return GetU16(b.data(), sidessetts::SideCountKor.offset);
}

void StoreCountKor(SideBuffer& b, long count) {
    PutU16(b.data(), sidessetts::SideCountKor.offset, static_cast<uint16_t>(count & 0xFFFF));
}

bool StoreSideDate(SideBuffer& b, std::string_view text) {
    const auto date = ParseSideDate(text);
    if (date) std::copy(date->begin(), date->end(), b.begin() + sidessetts::DateLastKor.offset);
    return date.has_value();
}

void StoreCountTranz(SideBuffer& b, std::string_view text) {
    PutU32(b.data(), sidessetts::CountTranz.offset, LeadingDigitsValue(text));
}

const char* SidesWrittenText(int result) {
    switch (result) {
    case -11:
        return "Состояния первой и второй стороны не записаны!";
    case -9:
        return "Состояние первой стороны не записано!";
    case 9:
        return "Состояние второй стороны не записано!";
    case 11:
        return "Состояния первой и второй стороны записаны";
    default:
        return nullptr;
    }
}

} // namespace settings
