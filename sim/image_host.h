// A controller image file worked on as a controller, with no line at all: a
// virtual controller holding the file's memory answers on a pseudo-terminal
// of this process, which the port layer opens like any serial port, so every
// command, tab and form works on the file as on a controller.
//
// Every write the controller accepts goes back into the file at once (a
// temporary file beside it, renamed into place: a crash leaves the file as it
// was before or after the write, never half of it). Before the first write
// since the file was opened, the file as it was is copied to the snapshot path.
// A write that cannot be kept in the file is refused by the controller.
#pragma once

#include "virtual_controller.h"

#include <memory>
#include <string>
#include <vector>

namespace zelsim {

// The time-out multiplier a program keeps at least while it works on an image
// file: the file's controller answers a write only once the file holds it, and
// writing a file out to slow storage (or on a busy machine) takes longer than a
// controller on a line is given. A write kept in the file is never reported as
// failed for that.
constexpr int kImageHostTimeoutMultiplier = 20;

class ImageHost {
public:
    ImageHost();
    ~ImageHost();
    ImageHost(const ImageHost&) = delete;
    ImageHost& operator=(const ImageHost&) = delete;

    // Opens the image file (device type 0x21, 0x22, 0x17 or 0x27) and starts
    // its line; `snapshotPath` is where the file goes before its first write.
    // false with a sentence in *error (the file is not an image, cannot be read).
    bool open(const std::string& file, uint8_t deviceType, const std::string& snapshotPath,
              std::string* error);
    void close();

    // The pseudo-terminal to open; the controller answers at address().
    const std::string& portName() const;
    uint8_t address() const;
    const std::string& file() const { return file_; }
    // The snapshot written before the first write (empty until then), and the
    // reason the last write could not be kept in the file (empty: none failed).
    std::string snapshotWritten() const;
    std::string lastError() const;
    VirtualController& controller();

private:
    bool persist(const std::vector<uint8_t>& image);

    std::string file_, snapshotPath_;
    Line line_;
    VirtualController* controller_ = nullptr;
    std::unique_ptr<PtyTransport> pty_;
    mutable std::mutex m_; // guards the two texts below (the line's thread writes them)
    std::string snapshotWritten_, lastError_;
    bool snapshotTaken_ = false;
};

// The image a fresh controller of the device type holds for the sizes record
// (seven sizes as the controller reports them at 3040).
std::vector<uint8_t> BlankImage(uint8_t deviceType, const uint8_t sizes[7]);

} // namespace zelsim
