// Controller images: the file layout (a 7-byte size header, then the blocks
// of every group with the sizes of the header), reading a whole controller
// into one, and where each block of an image lies.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace image {

constexpr long kImageBufferSize = 0x4800; // the largest image the program reads or writes

// One block of an image: the group it belongs to ("CtrlrParams", "NozSetts",
// "Block0", "Block100", "SidesSetts", "NozRegs", "NaraSpecific", "Block3000"),
// its number in the group (channel or side), its controller address, its
// length and its position in the file.
struct ImageBlock {
    const char* group;
    int index;
    uint32_t address;
    int length;
    long offset;
};

// The blocks of an image with header sizes h0..h6, in file order; groups of
// size 0 are left out. Empty when a size the layout uses (0, 3, 4, 5, 6) is
// negative.
std::vector<ImageBlock> ImageLayout(const int8_t h[7]);
// The bytes an image of these sizes takes, header included; -1 as above.
long ImageFileLength(const int8_t h[7]);
// The progress measure: the number of block bytes, (h3 + h5) x 10 + h0 + (h4 + h6) x 2 + 313.
long ImageProgressMeasure(const int8_t h[7]);
// The header of an image held in memory (the first 7 bytes, signed).
void ImageHeader(const std::vector<uint8_t>& image, int8_t h[7]);

// Reads the whole controller into `image` in the file layout: the sizes
// record first (its low bytes are the header), then every block. `progress`
// gets the bytes read so far after each block. 1; -1 the sizes could not be
// read or use a negative size; -2 a block read failed or came back empty.
int ReadImage(int port, int ctrl, std::vector<uint8_t>& image,
              const std::function<void(long)>& progress = {});

// What can be checked of an image read from a controller before it is kept:
// the sizes a load takes (h0, h3, h5 and h6 above 0, none the layout uses
// negative), room for the whole layout, and the parameter block's last byte
// being the checksum of the others. "" when it passes, else the reason. A
// line that changes bytes on the way fails here instead of leaving a file
// that looks like a controller.
std::string ImageContentProblem(const std::vector<uint8_t>& image);

} // namespace image
