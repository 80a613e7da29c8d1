// startzel-cli: a scriptable front end over the controller protocol.
//
//   startzel-cli [--port NAME] [--baud N] [--data-bits N] [--parity N|E|O|M|S]
//                [--stop-bits 1|2] [--addr HEX] [--timeout-mult N] [--demo]
//                [--trace] COMMAND [ARGS]
//
// Port and line settings default to com.ini in the working directory. Exit
// status: 0 success, 1 the operation failed (a sentence and the result code on
// stderr), 2 the command line was wrong.
#pragma once

#include "hex_text.h"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

constexpr int kCliOk = 0;
constexpr int kCliFailed = 1;
constexpr int kCliUsage = 2;

// Runs one command line (args without the program name). Output goes to out,
// errors and usage to err.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

namespace cli {
struct Io;
}
// The same with standard input for confirmations and the terminal flags.
int RunCli(const std::vector<std::string>& args, cli::Io& io);

// ParseHexBytes ("0A1B2C" or "0A 1B 2C") and ParseHexNumber (an optional 0x
// prefix) read the command line's hex arguments.
