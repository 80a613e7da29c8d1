// Replays inputs through a fuzz target without fuzzing: every file under the
// folders (or the files) named on the command line, in name order. The first
// folder is the target's seed corpus and must not be empty; the others (past
// failures) may be missing. A failing input ends the run with its name on
// stderr (or with the sanitizer's report in a sanitizer build).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i) {
        const fs::path p(argv[i]);
        std::error_code ec;
        if (fs::is_regular_file(p, ec)) {
            inputs.push_back(p);
            continue;
        }
        size_t found = 0;
        if (fs::is_directory(p, ec)) {
            for (const auto& e : fs::recursive_directory_iterator(p, ec)) {
                if (!e.is_regular_file() || e.path().filename().string()[0] == '.') continue;
                inputs.push_back(e.path());
                ++found;
            }
        }
        if (i == 1 && found == 0) {
            std::fprintf(stderr, "no seed inputs in %s\n", argv[i]);
            return 1;
        }
    }
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& p : inputs) {
        std::ifstream f(p, std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(f)),
                                         std::istreambuf_iterator<char>());
        std::fprintf(stderr, "%s\n", p.c_str());
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", inputs.size());
    return 0;
}
