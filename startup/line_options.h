// line.ini, beside com.ini: the port settings com.ini has no room for. com.ini
// keeps its own format; what it cannot say is kept here.
//
//   echo=1     the adapter returns every byte sent (two-wire RS-485 adapters)
//   rs485=1    kernel RS-485 mode of the serial port, RTS raised while sending
//
// Lines starting with ";" or "#", empty lines and unknown keys are ignored, so a
// later program's keys do not upset this one. A missing file means both off.
// Qt-free; the desktop program and startzel-cli both use it.
#pragma once

#include <string>

struct LineOptions {
    bool echo = false;
    bool rs485 = false;
    bool operator==(const LineOptions&) const = default;
};

// The file beside the given com.ini: the same folder, "line.ini".
std::string LineOptionsPath(const std::string& comIniPath);
LineOptions ReadLineOptions(const std::string& path);
// Replaces the file (a temporary file renamed over it). 1, or 0 when it could
// not be written (the old file is kept).
int WriteLineOptions(const LineOptions& options, const std::string& path);
// Puts the options on an open port: the echo setting, then RS-485 mode when
// asked for. 0, or the errno of the refused RS-485 setting (ENOTTY: the port
// has no kernel RS-485 support).
int ApplyLineOptions(int handle, const LineOptions& options);
