// Writes the demo controller image (the layout of demo_trk.bin) built from the
// virtual controller's defaults: zel_make_demo_image OUTPUT
#include <cstdio>

#include "virtual_controller.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zel_make_demo_image OUTPUT\n");
        return 2;
    }
    const std::vector<uint8_t> image = zelsim::VirtualController().demoImageBytes();
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "zel_make_demo_image: cannot write %s\n", argv[1]);
        std::remove(argv[1]);
        return 1;
    }
    return 0;
}
