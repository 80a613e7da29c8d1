#include "block_fields.h"

#include "channel_fields.h"
#include "controller_fields.h"
#include "ctrl_params_core.h"
#include "memory_map.h"
#include "nara_core.h"

#include <cstdio>
#include <map>

namespace image {

using fields::Codec;
using fields::Field;

namespace {

// A row that only names a block field for listings (the tab fills and
// checks the control by hand).
constexpr Field Row(const char* name, int offset, int width, Codec codec) {
    return {.name = name, .field = name, .offset = offset, .width = width, .codec = codec, .custom = true};
}

// The bytes behind the choice boxes, lists and grids of the settings tabs.
const Field kParamsListing[] = {
    Row("Speed1", settings::kSpeed1, 1, Codec::Decimal),
    Row("Speed2", settings::kSpeed2, 1, Codec::Decimal),
    Row("AddrSideA", settings::kAddrSideA, 1, Codec::Decimal),
    Row("AddrSideB", settings::kAddrSideB, 1, Codec::Decimal),
    Row("NozzlesPerSide", settings::kNozzlesPerSide, 1, Codec::Decimal),
    Row("SideCount", settings::kSideCount, 1, Codec::Decimal),
    Row("NaraAddr[0]", settings::kNaraAddrs + 0, 1, Codec::Decimal),
    Row("NaraAddr[1]", settings::kNaraAddrs + 1, 1, Codec::Decimal),
    Row("NaraAddr[2]", settings::kNaraAddrs + 2, 1, Codec::Decimal),
    Row("NaraAddr[3]", settings::kNaraAddrs + 3, 1, Codec::Decimal),
    Row("NaraAddr[4]", settings::kNaraAddrs + 4, 1, Codec::Decimal),
    Row("NaraAddr[5]", settings::kNaraAddrs + 5, 1, Codec::Decimal),
    Row("NaraAddr[6]", settings::kNaraAddrs + 6, 1, Codec::Decimal),
    Row("NaraAddr[7]", settings::kNaraAddrs + 7, 1, Codec::Decimal),
    Row("NaraAddr[8]", settings::kNaraAddrs + 8, 1, Codec::Decimal),
    Row("NaraAddr[9]", settings::kNaraAddrs + 9, 1, Codec::Decimal),
    Row("MeterType", settings::kMeterType, 1, Codec::Decimal),
    Row("MeterPhase", settings::kMeterPhase, 1, Codec::Decimal),
    Row("SlowStart", settings::kSlowStart, 1, Codec::Decimal),
    Row("ModeMask", settings::kModeMask, 2, Codec::Hex),
    Row("ModeMask2", settings::kModeMask2, 2, Codec::Hex),
    Row("DisplayTypes", settings::kDisplayTypes, 1, Codec::Hex),
    Row("PhysToLogA[0]", settings::kPhysToLog + 0, 1, Codec::Decimal),
    Row("PhysToLogB[0]", settings::kPhysToLog + 1, 1, Codec::Decimal),
    Row("PhysToLogA[1]", settings::kPhysToLog + 2, 1, Codec::Decimal),
    Row("PhysToLogB[1]", settings::kPhysToLog + 3, 1, Codec::Decimal),
    Row("PhysToLogA[2]", settings::kPhysToLog + 4, 1, Codec::Decimal),
    Row("PhysToLogB[2]", settings::kPhysToLog + 5, 1, Codec::Decimal),
    Row("PhysToLogA[3]", settings::kPhysToLog + 6, 1, Codec::Decimal),
    Row("PhysToLogB[3]", settings::kPhysToLog + 7, 1, Codec::Decimal),
    Row("PhysToLogA[4]", settings::kPhysToLog + 8, 1, Codec::Decimal),
    Row("PhysToLogB[4]", settings::kPhysToLog + 9, 1, Codec::Decimal),
};

const Field kNaraListing[] = {
    Row("NaraFlags", settings::kNaraFlags, 1, Codec::Hex),
    Row("BmuPUser[0]", settings::kBmuPUser + 0, 4, Codec::Decimal),
    Row("BmuPUser[1]", settings::kBmuPUser + 4, 4, Codec::Decimal),
    Row("BmuPUser[2]", settings::kBmuPUser + 8, 4, Codec::Decimal),
    Row("BmuPUser[3]", settings::kBmuPUser + 12, 4, Codec::Decimal),
};

std::string HexOf(const uint8_t* p, int n) {
    std::string s;
    char b[3];
    for (int i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", p[i]);
        s += b;
    }
    return s;
}

bool Multi(std::string_view group) {
    return group == "NozSetts" || group == "NozRegs" || group == "SidesSetts";
}

std::string Key(const FieldValue& f) {
    return f.name.empty() ? "+" + std::to_string(f.offset) : f.name;
}

} // namespace

fields::Table ParamsListingFields() {
    return kParamsListing;
}

fields::Table NaraListingFields() {
    return kNaraListing;
}

std::vector<fields::Table> GroupFieldTables(std::string_view group) {
    if (group == "CtrlrParams")
        return {settings::CtrlrSettsFields(), settings::AdvParamsFields(), ParamsListingFields()};
    if (group == "NaraSpecific") return {settings::NaraFields(), NaraListingFields()};
    if (group == "NozSetts") return {settings::NozSettsFields()};
    if (group == "NozRegs") return {settings::NozRegsFields()};
    if (group == "SidesSetts") return {settings::SideFields(0)}; // both side blocks share one layout
    return {};
}

std::vector<FieldValue> DecodeBlock(std::string_view group, const uint8_t* data, int length) {
    std::vector<FieldValue> out;
    if (!data || length <= 0) return out;
    std::vector<const Field*> at(static_cast<size_t>(length), nullptr);
    std::vector<bool> taken(static_cast<size_t>(length), false);
    for (fields::Table table : GroupFieldTables(group))
        for (const Field& f : table) {
            if (f.codec == Codec::None || !f.field || f.width <= 0 || f.offset < 0 ||
                f.offset + f.width > length)
                continue;
            bool free = true;
            for (int i = 0; i < f.width; ++i)
                free = free && !taken[static_cast<size_t>(f.offset + i)];
            if (!free) continue;
            for (int i = 0; i < f.width; ++i)
                taken[static_cast<size_t>(f.offset + i)] = true;
            at[static_cast<size_t>(f.offset)] = &f;
        }
    for (int off = 0; off < length;) {
        FieldValue v;
        v.offset = off;
        if (const Field* f = at[static_cast<size_t>(off)]) {
            v.name = f->field;
            v.width = f->width;
            v.text = fields::FieldText(*f, data);
            v.stored = fields::StoredValue(*f, data);
        } else {
            v.width = 1;
            v.text = HexOf(data + off, 1);
            v.stored = data[off];
            if (group == "CtrlrParams" && off == length - 1) v.name = "Checksum";
        }
        v.hex = HexOf(data + off, v.width);
        off += v.width;
        out.push_back(std::move(v));
    }
    return out;
}

std::string BlockName(std::string_view group, int index) {
    std::string s(group);
    if (Multi(group)) s += "[" + std::to_string(index) + "]";
    return s;
}

std::optional<GroupRef> GroupAt(int board, uint32_t address) {
    if (board != kBoardMain) return std::nullopt;
    for (int n = 0; n < kMaxChannels; ++n) {
        if (address == ChannelAddress(NozSetts, n)) return GroupRef{"NozSetts", n};
        if (address == ChannelAddress(NozRegs, n)) return GroupRef{"NozRegs", n};
    }
    for (int side = 0; side < 2; ++side)
        if (address == SideAddress(side)) return GroupRef{"SidesSetts", side};
    if (address == CtrlrParams.address) return GroupRef{"CtrlrParams", 0};
    if (address == NaraSpecific.address) return GroupRef{"NaraSpecific", 0};
    if (address == kAddrBlock3000) return GroupRef{"Block3000", 0};
    if (address == kAddrImageBlock0) return GroupRef{"Block0", 0};
    if (address == kAddrImageBlock1) return GroupRef{"Block100", 0};
    return std::nullopt;
}

std::string DifferenceLine(const Difference& d) {
    return d.block + " " + d.field + ": " + d.before + " → " + d.after;
}

std::vector<Difference> DiffBlock(std::string_view group, int index, const uint8_t* a, int lengthA,
                                  const uint8_t* b, int lengthB) {
    const std::vector<FieldValue> fa = DecodeBlock(group, a, lengthA), fb = DecodeBlock(group, b, lengthB);
    std::map<std::string, const FieldValue*> inB;
    for (const FieldValue& f : fb)
        inB[Key(f)] = &f;
    std::vector<Difference> out;
    const std::string block = BlockName(group, index);
    std::map<std::string, bool> seen;
    for (const FieldValue& f : fa) {
        const std::string key = Key(f);
        seen[key] = true;
        auto it = inB.find(key);
        if (it == inB.end())
            out.push_back({block, key, f.text, "(none)"});
        else if (it->second->hex != f.hex || it->second->text != f.text)
            out.push_back({block, key, f.text, it->second->text});
    }
    for (const FieldValue& f : fb)
        if (!seen.count(Key(f))) out.push_back({block, Key(f), "(none)", f.text});
    return out;
}

std::vector<Difference> DiffImages(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    std::vector<Difference> out;
    int8_t ha[7], hb[7];
    ImageHeader(a, ha);
    ImageHeader(b, hb);
    for (int i = 0; i < 7; ++i)
        if (ha[i] != hb[i])
            out.push_back({"header", "h" + std::to_string(i), std::to_string(ha[i]), std::to_string(hb[i])});
    const std::vector<ImageBlock> la = ImageLayout(ha), lb = ImageLayout(hb);
    auto fits = [](const ImageBlock& blk, const std::vector<uint8_t>& img) {
        return blk.offset + blk.length <= static_cast<long>(img.size());
    };
    auto find = [](const std::vector<ImageBlock>& l, const ImageBlock& blk) -> const ImageBlock* {
        for (const ImageBlock& x : l)
            if (std::string_view(x.group) == blk.group && x.index == blk.index) return &x;
        return nullptr;
    };
    for (const ImageBlock& x : la) {
        const ImageBlock* y = find(lb, x);
        if (!y || !fits(*y, b)) {
            out.push_back(
                {BlockName(x.group, x.index), "(block)", std::to_string(x.length) + " bytes", "(none)"});
            continue;
        }
        if (!fits(x, a)) continue;
        for (Difference& d :
             DiffBlock(x.group, x.index, a.data() + x.offset, x.length, b.data() + y->offset, y->length))
            out.push_back(std::move(d));
    }
    for (const ImageBlock& y : lb)
        if (!find(la, y))
            out.push_back(
                {BlockName(y.group, y.index), "(block)", "(none)", std::to_string(y.length) + " bytes"});
    return out;
}

} // namespace image
