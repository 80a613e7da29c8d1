#include "block_layout.h"

#include <algorithm>

namespace fields {

namespace {

const BlockLayout* const kAll[] = {&ctrlrparams::kLayout, &nozsetts::kLayout, &nozregs::kLayout,
                                   &sidessetts::kLayout, &naraspecific::kLayout};

} // namespace

std::vector<PlacedField> PlacedFields(const BlockLayout& b) {
    std::vector<PlacedField> out;
    for (const Layout& l : b.entries) {
        if (l.codec == Codec::None) {
            for (int k = 0; k < l.width * l.count; ++k)
                out.push_back({"", Field{.offset = l.offset + k, .width = 1}});
            continue;
        }
        for (int i = 0; i < l.count; ++i) {
            std::string name = l.field;
            if (l.count > 1) name += "[" + std::to_string(i) + "]";
            out.push_back({std::move(name), ElementField(l, i)});
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const PlacedField& a, const PlacedField& c) {
        return a.field.offset < c.field.offset;
    });
    return out;
}

const BlockLayout* FindLayout(std::string_view group) {
    for (const BlockLayout* b : kAll)
        if (group == b->group) return b;
    return nullptr;
}

std::span<const BlockLayout* const> AllLayouts() {
    return kAll;
}

} // namespace fields
