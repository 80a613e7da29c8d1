// The field tables and their codecs: every row of every table, checked once
// against the rules every box shares, and the codecs on their edge cases.
#include "block_layout.h"
#include "channel_fields.h"
#include "controller_fields.h"
#include "field_table.h"
#include "global_setts_core.h"
#include "little_endian.h"
#include "memory_map.h"
#include "temperature_table.h"

#include <gtest/gtest.h>

#include <array>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

using fields::Codec;
using fields::Field;

namespace {

struct NamedTable {
    const char* tab;
    fields::Table rows;
};

std::vector<NamedTable> AllTables() {
    return {{"TabIdent", settings::MainTabFields()},
            {"TabCtrlrSetts", settings::CtrlrSettsFields()},
            {"TabAdvSet/params", settings::AdvParamsFields()},
            {"TabAdvSet/nara", settings::NaraFields()},
            {"TabNozzRegs", settings::NozRegsFields()},
            {"TabNozSetts", settings::NozSettsFields()},
            {"TabRegsSides/A", settings::SideFields(0)},
            {"TabRegsSides/B", settings::SideFields(1)},
            {"TabTemperatureTbl", tools::TemperatureTblFields()},
            {"TfGlobalSetts", tools::GlobalSettsFields()}};
}

std::array<uint8_t, 256> Block(uint8_t fill) {
    std::array<uint8_t, 256> b{};
    b.fill(fill);
    return b;
}

// The text a value (typed units) is written as.
std::string TextOf(const Field& f, int64_t v) {
    if (f.codec == Codec::Hundredths)
        return std::to_string(v / 100) + "," + (v % 100 < 10 ? "0" : "") + std::to_string(v % 100);
    if (f.codec == Codec::Hex) {
        static const char d[] = "0123456789ABCDEF";
        std::string s;
        do {
            s.insert(s.begin(), d[v % 16]);
            v /= 16;
        } while (v);
        return s;
    }
    return std::to_string(v);
}

TEST(FieldTables, EveryRowKeepsTheRulesOfItsCodec) {
    for (const NamedTable& t : AllTables()) {
        std::set<std::string> names;
        for (const Field& f : t.rows) {
            SCOPED_TRACE(std::string(t.tab) + " " + f.name);
            ASSERT_NE(f.name, nullptr);
            EXPECT_TRUE(names.insert(f.name).second) << "named twice";
            if (f.codec == Codec::None) {
                EXPECT_NE(f.hint, nullptr) << "a row without a value carries a hint";
                continue;
            }
            ASSERT_TRUE(f.width == 1 || f.width == 2 || f.width == 4);
            ASSERT_GE(f.offset, 0);
            EXPECT_NE(f.field, nullptr) << "value rows name their block field";
            if (!f.items.empty()) {
                // Choices and lists: every item stands for its own code or bits.
                std::set<uint32_t> codes;
                for (const fields::Item& item : f.items) {
                    EXPECT_NE(item.text, nullptr);
                    if (f.codec == Codec::Bits) {
                        EXPECT_NE(item.code, 0u) << item.text;
                    }
                    if (f.codec == Codec::Choice) {
                        EXPECT_TRUE(codes.insert(item.code).second) << item.text;
                    }
                }
                continue; // no box to type into
            }
            // The box is long enough for whatever the block can hold.
            auto full = Block(0xFF), zero = Block(0);
            const int longest = static_cast<int>(
                std::max(fields::FieldText(f, full.data()).size(), fields::FieldText(f, zero.data()).size()));
            if (f.maxLength == 0) {
                EXPECT_GE(fields::TextLength(f), longest);
            }
            if (f.custom) continue;

            // The ends of the range are stored and read back as typed.
            for (int64_t v : {fields::MinValue(f), fields::MaxValue(f)}) {
                auto b = Block(0xEE);
                ASSERT_TRUE(fields::StoreFieldText(f, TextOf(f, v), b.data())) << v;
                const int64_t shown = f.codec == Codec::Decimal ? v / f.scale * f.scale : v;
                std::string text =
                    f.codec == Codec::Hex ? fields::WholeByteHex(static_cast<uint32_t>(v)) : TextOf(f, shown);
                if (static_cast<int>(text.size()) < f.digits)
                    text.insert(0, static_cast<size_t>(f.digits) - text.size(), '0');
                EXPECT_EQ(fields::FieldText(f, b.data()), text);
                // Nothing outside the field's bytes moved.
                for (int i = 0; i < 256; ++i) {
                    if (i < f.offset || i >= f.offset + f.width) {
                        ASSERT_EQ(b[static_cast<size_t>(i)], 0xEE) << i;
                    }
                }
            }
            // Just outside the range: refused, the block untouched.
            for (int64_t v : {fields::MinValue(f) - 1, fields::MaxValue(f) + 1}) {
                if (v < 0 && f.codec != Codec::Signed) continue;
                if (f.zeroAllowed && v == 0) continue;
                auto b = Block(0x5A);
                EXPECT_FALSE(fields::StoreFieldText(f, TextOf(f, v), b.data())) << v;
                EXPECT_EQ(b, Block(0x5A));
            }
            // Empty text, letters and signs are never a value (the minus only for Signed).
            auto b = Block(0x5A);
            for (const char* bad : {"", " 1", "1 ", "+1", "1x", "--1"})
                EXPECT_FALSE(fields::StoreFieldText(f, bad, b.data())) << bad;
            EXPECT_EQ(b, Block(0x5A));
        }
    }
}

TEST(FieldCodecs, EdgeCasesOfEachCodec) {
    auto b = Block(0);
    // Hundredths in 32 and 16 bits.
    const Field sum{.name = "e", .field = "F", .offset = 0, .width = 4, .codec = Codec::Hundredths};
    const Field price{.name = "p", .field = "P", .offset = 4, .width = 2, .codec = Codec::Hundredths};
    struct Case {
        const Field* f;
        const char* text;
        int64_t value; // -1: refused
    };
    const Case cases[] = {
        {&sum, "12", 1200},        {&sum, "12,5", 1250},      {&sum, "12.05", 1205},
        {&sum, "0,07", 7},         {&sum, "12,", -1},         {&sum, "12,345", -1},
        {&sum, ",5", -1},          {&sum, "1,2,3", -1},       {&sum, "42949672,95", 4294967295},
        {&sum, "42949672,96", -1}, {&sum, "99999999999", -1}, {&price, "655,35", 65535},
        {&price, "655,36", -1},    {&price, "0,5", 50},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto v = fields::ParseFieldText(*c.f, c.text);
        if (c.value < 0) {
            EXPECT_FALSE(v.has_value());
        } else {
            ASSERT_TRUE(v.has_value());
            EXPECT_EQ(*v, c.value);
        }
    }
    PutU32(b.data(), 0, 12345);
    EXPECT_EQ(fields::FieldText(sum, b.data()), "123,45");
    PutU32(b.data(), 0, 7);
    EXPECT_EQ(fields::FieldText(sum, b.data()), "0,07");
    PutU32(b.data(), 0, 0xFFFFFFFF);
    EXPECT_EQ(fields::FieldText(sum, b.data()), "42949672,95");
    EXPECT_GE(fields::TextLength(sum), 11);

    // Hexadecimal in whole bytes; at most the field's width.
    const Field hex32{.name = "h", .field = "H", .offset = 0, .width = 4, .codec = Codec::Hex};
    const Field hex16{.name = "h", .field = "H", .offset = 0, .width = 2, .codec = Codec::Hex};
    for (auto [v, text] : {std::pair<uint32_t, const char*>{0, "00"},
                           {5, "05"},
                           {0x1234, "1234"},
                           {0x12345, "012345"},
                           {0xFFFFFFFF, "FFFFFFFF"}}) {
        PutU32(b.data(), 0, v);
        EXPECT_EQ(fields::FieldText(hex32, b.data()), text);
    }
    EXPECT_EQ(fields::ParseFieldText(hex32, "fFfF").value_or(-1), 0xFFFF);
    EXPECT_FALSE(fields::ParseFieldText(hex32, "123456789").has_value()); // nine digits
    EXPECT_FALSE(fields::ParseFieldText(hex16, "1FFFF").has_value());
    EXPECT_FALSE(fields::ParseFieldText(hex32, "0x12").has_value());

    // Signed bytes: two's complement, the byte's range.
    const Field temp{.name = "t", .field = "T", .offset = 8, .width = 1, .codec = Codec::Signed};
    ASSERT_TRUE(fields::StoreFieldText(temp, "-5", b.data()));
    EXPECT_EQ(b[8], 0xFB);
    EXPECT_EQ(fields::FieldText(temp, b.data()), "-5");
    EXPECT_FALSE(fields::StoreFieldText(temp, "128", b.data()));
    EXPECT_FALSE(fields::StoreFieldText(temp, "-129", b.data()));
    EXPECT_FALSE(fields::StoreFieldText(temp, "-", b.data()));

    // Scaled decimal: the stored byte is the typed value divided, the fraction dropped.
    const Field ml{.name = "m",
                   .field = "M",
                   .offset = 9,
                   .width = 1,
                   .codec = Codec::Decimal,
                   .min = 0,
                   .max = 25599,
                   .scale = 100};
    ASSERT_TRUE(fields::StoreFieldText(ml, "150", b.data()));
    EXPECT_EQ(b[9], 1);
    EXPECT_EQ(fields::FieldText(ml, b.data()), "100");
    EXPECT_FALSE(fields::StoreFieldText(ml, "25600", b.data()));
    // "0 or lo..hi".
    const Field gap{.name = "g",
                    .field = "G",
                    .offset = 10,
                    .width = 1,
                    .codec = Codec::Decimal,
                    .min = 3,
                    .max = 180,
                    .zeroAllowed = true};
    for (auto [text, ok] : {std::pair<const char*, bool>{"0", true},
                            {"1", false},
                            {"2", false},
                            {"3", true},
                            {"180", true},
                            {"181", false},
                            {"00", true}})
        EXPECT_EQ(fields::ParseFieldText(gap, text).has_value(), ok) << text;
    // Whole-width decimal for a 4-byte field: beyond 32 bits is refused, never wrapped.
    const Field count{.name = "c", .field = "C", .offset = 12, .width = 4, .codec = Codec::Decimal};
    EXPECT_TRUE(fields::StoreFieldText(count, "4294967295", b.data()));
    EXPECT_FALSE(fields::StoreFieldText(count, "4294967296", b.data()));
    EXPECT_FALSE(fields::StoreFieldText(count, "99999999999999999999999", b.data()));
    EXPECT_EQ(GetU32(b.data(), 12), 4294967295u);
}

// The layouts, table by table: each block's length is the memory map's, and
// every byte belongs to exactly one named field or is reserved.
TEST(BlockLayouts, EveryByteIsANamedFieldOrReserved) {
    const std::pair<const char*, MemBlock> blocks[] = {{"CtrlrParams", CtrlrParams},
                                                       {"NozSetts", NozSetts},
                                                       {"NozRegs", NozRegs},
                                                       {"SidesSetts", SidesSetts},
                                                       {"NaraSpecific", NaraSpecific}};
    ASSERT_EQ(fields::AllLayouts().size(), std::size(blocks));
    for (const auto& [group, block] : blocks) {
        SCOPED_TRACE(group);
        const fields::BlockLayout* layout = fields::FindLayout(group);
        ASSERT_NE(layout, nullptr);
        EXPECT_EQ(layout->length, block.length);
        std::set<std::string> names;
        int at = 0, named = 0;
        for (const fields::PlacedField& p : fields::PlacedFields(*layout)) {
            SCOPED_TRACE(p.name + " +" + std::to_string(p.field.offset));
            EXPECT_EQ(p.field.offset, at) << "a gap or an overlap";
            at += p.field.width;
            if (p.name.empty()) {
                EXPECT_EQ(p.field.width, 1) << "reserved bytes are listed one by one";
                continue;
            }
            ++named;
            EXPECT_TRUE(names.insert(p.name).second) << "named twice";
            EXPECT_NE(p.field.codec, Codec::None);
            EXPECT_TRUE(p.field.width >= 1 && p.field.width <= 4);
            EXPECT_EQ(p.field.width == 3, p.field.codec == Codec::Date);
        }
        EXPECT_EQ(at, block.length);
        EXPECT_GT(named, 0);
    }
    EXPECT_EQ(fields::FindLayout("Block3000"), nullptr);
}

// A row of a tab is a field of its block's layout: same name, place and codec.
TEST(BlockLayouts, EveryValueRowTakesItsPlaceFromTheLayout) {
    const std::pair<fields::Table, const char*> tables[] = {
        {settings::CtrlrSettsFields(), "CtrlrParams"}, {settings::AdvParamsFields(), "CtrlrParams"},
        {tools::GlobalSettsFields(), "CtrlrParams"},   {settings::NaraFields(), "NaraSpecific"},
        {settings::NozRegsFields(), "NozRegs"},        {settings::NozSettsFields(), "NozSetts"},
        {settings::SideFields(0), "SidesSetts"},       {settings::SideFields(1), "SidesSetts"}};
    for (const auto& [rows, group] : tables) {
        const std::vector<fields::PlacedField> placed = fields::PlacedFields(*fields::FindLayout(group));
        for (const Field& f : rows) {
            if (f.codec == Codec::None) continue;
            SCOPED_TRACE(std::string(group) + " " + f.name);
            const fields::PlacedField* p = nullptr;
            for (const fields::PlacedField& x : placed)
                if (x.name == f.field) p = &x;
            ASSERT_NE(p, nullptr) << "no field of the layout";
            EXPECT_EQ(f.offset, p->field.offset);
            EXPECT_EQ(f.width, p->field.width);
            EXPECT_EQ(f.codec, p->field.codec);
            EXPECT_EQ(f.scale, p->field.scale);
            EXPECT_EQ(f.divide, p->field.divide);
            EXPECT_EQ(f.digits, p->field.digits);
        }
    }
}

// The layout codecs the number boxes do not use: the pulses a choice shows
// for twice their number, a value shown as it is, padding, dates, codes and flags.
TEST(FieldCodecs, LayoutCodecs) {
    auto b = Block(0);
    const Field slowStart = fields::ElementField(ctrlrparams::SlowStart, 0);
    b[24] = 1;
    EXPECT_EQ(fields::FieldText(slowStart, b.data()), "100");
    b[24] = 255;
    EXPECT_EQ(fields::FieldText(slowStart, b.data()), "255");
    b[24] = 254;
    EXPECT_EQ(fields::FieldText(slowStart, b.data()), "25400");

    const Field impLit = fields::ElementField(nozsetts::ImpLit, 0);
    PutU16(b.data(), 14, 512);
    EXPECT_EQ(fields::FieldText(impLit, b.data()), "256");
    ASSERT_TRUE(fields::StoreFieldText(impLit, "100", b.data()));
    EXPECT_EQ(GetU16(b.data(), 14), 200);
    EXPECT_EQ(fields::MaxValue(impLit), 32767);
    EXPECT_FALSE(fields::StoreFieldText(impLit, "32768", b.data()));

    const Field fcMil = fields::ElementField(nozregs::FCMil, 0);
    b[50] = 7;
    EXPECT_EQ(fields::FieldText(fcMil, b.data()), "07");
    b[50] = 123;
    EXPECT_EQ(fields::FieldText(fcMil, b.data()), "123");

    const Field date = fields::ElementField(sidessetts::DateLastKor, 0);
    b[3] = 3, b[4] = 11, b[5] = 24, b[6] = 0x99;
    EXPECT_EQ(fields::FieldText(date, b.data()), "03.11.24");
    EXPECT_EQ(fields::StoredValue(date, b.data()), 0x180B03u) << "three bytes, not four";
    EXPECT_FALSE(fields::ParseFieldText(date, "03.11.24").has_value()) << "the tab types dates itself";

    b[1] = 43;
    EXPECT_EQ(fields::FieldText(fields::ElementField(nozregs::State, 0), b.data()), "43");
    PutU16(b.data(), 30, 0x1401);
    EXPECT_EQ(fields::FieldText(fields::ElementField(ctrlrparams::ModeMask, 0), b.data()), "1401");
    // Elements of a repeated field.
    b[35 + 2 * 3 + 1] = 77;
    EXPECT_EQ(fields::FieldText(fields::ElementField(ctrlrparams::PhysToLogB, 3), b.data()), "77");
    EXPECT_EQ(fields::GetField(ctrlrparams::PhysToLogB, b.data(), 3), 77u);
}

// Choices and check lists: item texts against stored codes and masks.
TEST(FieldCodecs, ItemsOfChoicesAndLists) {
    static constexpr fields::Item kChoice[] = {{"один", 1}, {"два", 2}, {"ручной", 255}};
    const Field choice{
        .name = "c", .field = "C", .offset = 3, .width = 1, .codec = Codec::Choice, .items = kChoice};
    struct Case {
        uint8_t stored;
        int index;
        const char* text;
    };
    // Codes that select nothing are listed as their number; the box shows none.
    for (const Case& c : {Case{1, 0, "один"}, Case{255, 2, "ручной"}, Case{0, -1, "0"}, Case{7, -1, "7"}}) {
        auto b = Block(0);
        b[3] = c.stored;
        EXPECT_EQ(fields::ChoiceIndex(choice, b.data()), c.index) << int(c.stored);
        EXPECT_EQ(fields::FieldText(choice, b.data()), c.text);
    }
    // Choosing stores the item's code; an index outside the items stores nothing.
    for (const auto& [index, after] : {std::pair{2, 255}, {0, 1}, {-1, 7}, {3, 7}, {99, 7}}) {
        auto b = Block(0xEE);
        b[3] = 7;
        fields::StoreChoice(choice, index, b.data());
        EXPECT_EQ(b[3], after) << index;
        EXPECT_EQ(b[2], 0xEE);
        EXPECT_EQ(b[4], 0xEE);
    }

    // Two boxes sharing one byte: the display types of side A (low nibble) and B.
    const Field* a = fields::FindField(settings::CtrlrSettsFields(), "cbTypeTbl");
    const Field* bSide = fields::FindField(settings::CtrlrSettsFields(), "cbTypeTbl2");
    ASSERT_TRUE(a && bSide);
    auto p = Block(0);
    const int at = ctrlrparams::DisplayTypes.offset;
    p[at] = 0x25;
    EXPECT_EQ(fields::ChoiceIndex(*a, p.data()), 5);
    EXPECT_EQ(fields::ChoiceIndex(*bSide, p.data()), 2);
    p[at] = 0x07; // below 16: one type for both sides
    EXPECT_EQ(fields::ChoiceIndex(*bSide, p.data()), 7);
    fields::StoreChoice(*bSide, 7, p.data()); // side B left on it: no edit
    EXPECT_EQ(p[at], 0x07);
    fields::StoreChoice(*bSide, 3, p.data());
    EXPECT_EQ(p[at], 0x37);
    fields::StoreChoice(*a, 14, p.data());
    EXPECT_EQ(p[at], 0x3E);
    p[at] = 0x0F; // a type no item has
    EXPECT_EQ(fields::ChoiceIndex(*a, p.data()), -1);

    // Bits: an item of several bits is checked when all are set; setting or
    // clearing an item keeps the other bits, also the ones no item has.
    static constexpr fields::Item kBits[] = {{"a", 0x0001}, {"b", 0x0004}, {"c", 0x0004}, {"ab", 0x0101}};
    const Field bits{
        .name = "l", .field = "L", .offset = 0, .width = 2, .codec = Codec::Bits, .items = kBits};
    auto w = Block(0);
    PutU16(w.data(), 0, 0x8005);
    EXPECT_TRUE(fields::ItemChecked(bits, 0, w.data()));
    EXPECT_TRUE(fields::ItemChecked(bits, 1, w.data()));
    EXPECT_TRUE(fields::ItemChecked(bits, 2, w.data())) << "items sharing a bit show alike";
    EXPECT_FALSE(fields::ItemChecked(bits, 3, w.data()));
    EXPECT_FALSE(fields::ItemChecked(bits, 4, w.data()));
    EXPECT_EQ(fields::WithItem(bits, 3, true, 0x8005), 0x8105u);
    EXPECT_EQ(fields::WithItem(bits, 2, false, 0x8005), 0x8001u);
    EXPECT_EQ(fields::WithItem(bits, 7, true, 0x8005), 0x8005u);
    EXPECT_EQ(fields::WithItem(bits, 0, true, 0xFFFFFF00u), 0xFF01u) << "kept to the width";

    // The mode list: items 0..7 are bits 0..7, items 8..14 bits 9..15.
    const Field* modes = fields::FindField(settings::CtrlrSettsFields(), "checkbTrkModes");
    ASSERT_TRUE(modes);
    ASSERT_EQ(modes->items.size(), 15u);
    uint32_t all = 0;
    for (const fields::Item& item : modes->items)
        all |= item.code;
    EXPECT_EQ(all, 0xFEFFu);
}

TEST(FieldTables, FindField) {
    EXPECT_NE(fields::FindField(settings::CtrlrSettsFields(), "eMetTOut"), nullptr);
    EXPECT_EQ(fields::FindField(settings::CtrlrSettsFields(), "eNoSuchBox"), nullptr);
}

} // namespace
