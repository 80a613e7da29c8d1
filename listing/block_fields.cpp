#include "block_fields.h"

#include "block_layout.h"
#include "channel_fields.h"
#include "controller_fields.h"
#include "hex_text.h"
#include "memory_map.h"

#include <map>

namespace image {

namespace {

bool Multi(std::string_view group) {
    return group == "NozSetts" || group == "NozRegs" || group == "SidesSetts";
}

// The rows of the tabs that show a group's fields.
std::vector<fields::Table> TablesOf(std::string_view group) {
    if (group == "CtrlrParams") return {settings::CtrlrSettsFields(), settings::AdvParamsFields()};
    if (group == "NozSetts") return {settings::NozSettsFields()};
    if (group == "NozRegs") return {settings::NozRegsFields()};
    if (group == "SidesSetts") return {settings::SideFields(0)};
    if (group == "NaraSpecific") return {settings::NaraFields()};
    return {};
}

// A choice is listed by the text of the item its box shows (the code itself
// when no item has it); fields without a choice box as their layout writes them.
std::string ChoiceText(const std::vector<fields::Table>& tables, const fields::PlacedField& p,
                       const uint8_t* data) {
    if (p.field.codec == fields::Codec::Choice)
        for (fields::Table t : tables)
            for (const fields::Field& row : t)
                if (!row.items.empty() && row.field && p.name == row.field && row.offset == p.field.offset &&
                    row.codec == fields::Codec::Choice)
                    return fields::FieldText(row, data);
    return fields::FieldText(p.field, data);
}

std::string Key(const FieldValue& f) {
    return f.name.empty() ? "+" + std::to_string(f.offset) : f.name;
}

} // namespace

std::vector<FieldValue> DecodeBlock(std::string_view group, const uint8_t* data, int length) {
    std::vector<FieldValue> out;
    if (!data || length <= 0) return out;
    // Fields a short block does not hold whole are listed as single bytes.
    std::vector<const fields::PlacedField*> at(static_cast<size_t>(length), nullptr);
    std::vector<fields::PlacedField> placed;
    if (const fields::BlockLayout* layout = fields::FindLayout(group)) placed = fields::PlacedFields(*layout);
    const std::vector<fields::Table> tables = TablesOf(group);
    // The checksum is the last byte of a parameter block of any length.
    const bool movedChecksum = group == ctrlrparams::kLayout.group && length != ctrlrparams::kLayout.length;
    for (const fields::PlacedField& p : placed)
        if (!p.name.empty() && p.field.offset + p.field.width <= length &&
            !(movedChecksum && p.field.offset == ctrlrparams::Checksum.offset))
            at[static_cast<size_t>(p.field.offset)] = &p;
    for (int off = 0; off < length;) {
        FieldValue v;
        v.offset = off;
        if (const fields::PlacedField* p = at[static_cast<size_t>(off)]) {
            v.name = p->name;
            v.width = p->field.width;
            v.text = ChoiceText(tables, *p, data);
            v.stored = fields::StoredValue(p->field, data);
        } else {
            v.width = 1;
            v.text = HexByte(data[off]);
            v.stored = data[off];
            if (group == "CtrlrParams" && off == length - 1) v.name = "Checksum";
        }
        v.hex = HexBytes(data + off, static_cast<size_t>(v.width), "");
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
