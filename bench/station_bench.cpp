// Saving a whole station: eight controllers on one line, paced at a real baud
// rate, saved with station save against one search plus the eight image saves
// done one by one.
//
//   station_bench [baud ...]     (default: 4800)
//
// One line per case, the ratio last:
//   station  4800 baud  8 controllers  search 3.1 s  singles 62.0 s  station 64.0 s  ratio 0.980
#include "image_files.h"
#include "port_layer.h"
#include "station.h"
#include "virtual_controller.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

template <class Op> double Seconds(Op op) {
    const auto t0 = std::chrono::steady_clock::now();
    op();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

int main(int argc, char** argv) {
    std::vector<int> rates;
    for (int i = 1; i < argc; ++i)
        rates.push_back(std::atoi(argv[i]));
    if (rates.empty()) rates = {4800};
    constexpr int kControllers = 8;

    const std::string folder = (std::filesystem::temp_directory_path() / "startzel-station-bench").string();
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    PortLayerStart();
    int status = 0;
    for (int baud : rates) {
        if (baud <= 0) continue;
        zelsim::Line line;
        for (int a = 1; a <= kControllers; ++a)
            line.addController(static_cast<uint8_t>(a * 3));
        zelsim::PtyTransport pty(line, baud);
        std::string error;
        int port = 0;
        if (!pty.start(&error) || PortOpen(&port, pty.slavePath().c_str()) != 0) {
            std::fprintf(stderr, "station_bench: %s\n", error.c_str());
            return 1;
        }
        U_xxx(port, static_cast<uint32_t>(baud), 8, 'N', 1);
        std::vector<station::Found> found;
        const double search = Seconds([&] { found = station::Search(port); });
        double singles = 0;
        bool ok = static_cast<int>(found.size()) == kControllers;
        for (const station::Found& f : found)
            singles += Seconds(
                [&] { ok = image::SaveImageFile(port, f.address, folder + "/single.bin") == 1 && ok; });
        station::SaveResult r;
        const double whole = Seconds([&] {
            const std::vector<station::Found> again = station::Search(port);
            r = station::Save(port, folder + "/station", again, "bench", "");
        });
        ok = ok && r.failed == 0 && r.manifestError.empty() &&
             static_cast<int>(r.manifest.controllers.size()) == kControllers;
        std::printf("station %6d baud  %d controllers  search %6.2f s  singles %7.2f s  station %7.2f s%s  "
                    "ratio %.3f\n",
                    baud, kControllers, search, singles, whole, ok ? "" : "  (failed)",
                    whole / (search + singles));
        std::fflush(stdout);
        if (!ok) status = 1;
        PortClose(port);
        pty.stop();
    }
    PortLayerStop();
    std::filesystem::remove_all(folder);
    return status;
}
