// A whole station: every controller of a line saved into one folder
// (ctrl-XX.bin, one image a controller, and station.json naming them),
// compared with it, or loaded back from it.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

namespace station {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 31;
constexpr const char* kManifestName = "station.json";

// "ctrl-05.bin": the file of the controller at an address (two hex digits).
std::string FileName(int address);

struct Found {
    int address = 0;
    uint8_t deviceType = 0;
};
// The identify request at one address: its Identify result; `found` is set when
// the controller at that very address answered (a late answer of another is
// never taken for it).
int Probe(int port, int address, Found& found, bool& ok);
// Identifies every address from 1 to 31; `polled(address, found)` after each.
std::vector<Found> Search(int port, const std::function<void(int, bool)>& polled = {});

// One controller of the manifest.
struct Entry {
    int address = 0;
    uint8_t deviceType = 0;
    std::string ident; // identification text, UTF-8
    int8_t sizes[7] = {};
    std::string file; // "ctrl-05.bin"
    bool saved = false;
    std::string failure; // why it was not saved
    long bytes = 0;      // the file's length
};

struct Manifest {
    std::time_t time = 0;
    std::string version; // of the program that saved it
    std::string port;
    std::vector<Entry> controllers;
};

// Saves each controller found into dir/ctrl-XX.bin (the folder is made when
// needed), then writes dir/station.json (atomically). `reading(address, bytes)`
// reports progress; `done(entry)` follows each controller. A controller that
// cannot be saved keeps no file of this run (an older file of it is left as
// it was) and is listed with its failure; the others are kept. An empty
// `portName` names the port as the port layer does.
struct SaveResult {
    Manifest manifest;
    int failed = 0;
    std::string manifestError; // empty: station.json written
};
SaveResult Save(int port, const std::string& dir, const std::vector<Found>& found, const std::string& version,
                const std::string& portName, const std::function<void(int, long)>& reading = {},
                const std::function<void(const Entry&)>& done = {});

// station.json as text, and read back; false with the reason when the file
// cannot be read or is not a station manifest.
std::string ManifestText(const Manifest& m);
bool ReadManifest(const std::string& dir, Manifest& m, std::string& why);

} // namespace station
