// Image listings and differences over any image bytes: every block of the
// layout decodes field by field, two images differ field by field, and every
// text (values, names, difference lines) is valid UTF-8.
#include "block_fields.h"
#include "fuzz_input.h"
#include "image_core.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in(data, size);
    const uint8_t flips = in.u8();
    std::vector<uint8_t> a = in.bytes(static_cast<size_t>(image::kImageBufferSize));
    if (a.size() < 7) return 0;
    int8_t h[7];
    image::ImageHeader(a, h);
    const long length = image::ImageFileLength(h);
    if (length < 0 || static_cast<long>(a.size()) < length) return 0;
    for (const image::ImageBlock& b : image::ImageLayout(h)) {
        FUZZ_CHECK(b.offset + b.length <= length);
        FUZZ_CHECK(ValidUtf8(image::BlockName(b.group, b.index)));
        int covered = 0;
        for (const image::FieldValue& v : image::DecodeBlock(b.group, a.data() + b.offset, b.length)) {
            FUZZ_CHECK(v.offset == covered && v.width >= 1);
            covered += v.width;
            FUZZ_CHECK(ValidUtf8(v.name) && ValidUtf8(v.text) && ValidUtf8(v.hex));
        }
        FUZZ_CHECK(covered == b.length);
    }
    std::vector<uint8_t> b = a;
    for (int i = 0; i < flips % 8; ++i) {
        const size_t at =
            (static_cast<size_t>(flips) * 2654435761u + static_cast<size_t>(i) * 40503u) % b.size();
        b[at] ^= static_cast<uint8_t>(flips | 1);
    }
    FUZZ_CHECK(image::DiffImages(a, a).empty());
    for (const image::Difference& d : image::DiffImages(a, b))
        FUZZ_CHECK(ValidUtf8(image::DifferenceLine(d)));
    return 0;
}
