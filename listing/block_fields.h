// The fields of every block of a controller image, named and written by the
// blocks' layouts as the tabs show them, for listings and comparisons of
// images, of a controller against a file, and of journal records.
#pragma once

#include "image_core.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace image {

// One field of a block, or one byte no table names.
struct FieldValue {
    std::string name; // the block field ("SlowLoad"); "" for an unnamed byte
    int offset = 0;
    int width = 1;
    std::string text;    // as the tab shows it; two hex digits for an unnamed byte
    std::string hex;     // the stored bytes, two hex digits each, in memory order
    uint32_t stored = 0; // the stored value (little-endian)
};

// Every byte of a block in offset order: a named field for each field of the
// block's layout lying wholly inside the block, single unnamed bytes for the
// reserved bytes and the rest. The last byte of CtrlrParams is its "Checksum"
// (also in a block shorter or longer than the layout).
std::vector<FieldValue> DecodeBlock(std::string_view group, const uint8_t* data, int length);

// "CtrlrParams", "NozSetts[3]", "SidesSetts[1]" (channel and side blocks carry
// their number, counted from 0 as in the memory map).
std::string BlockName(std::string_view group, int index);
// The image block a board-0 address starts (for journal records).
struct GroupRef {
    const char* group;
    int index;
};
std::optional<GroupRef> GroupAt(int board, uint32_t address);

// One differing field: "block field: before → after".
struct Difference {
    std::string block;
    std::string field; // the field name, "+offset" for an unnamed byte, "h0".."h6" for the header
    std::string before, after;
};
// "NozSetts[3] ImpLit: 100 → 200"
std::string DifferenceLine(const Difference& d);

// The fields of two versions of one block that differ ("(none)" for a field
// only one of them is long enough to hold).
std::vector<Difference> DiffBlock(std::string_view group, int index, const uint8_t* a, int lengthA,
                                  const uint8_t* b, int lengthB);
// Two images (each at least as long as its header says): the header sizes,
// then every block in file order; a block only one image has gives one line.
std::vector<Difference> DiffImages(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

} // namespace image
