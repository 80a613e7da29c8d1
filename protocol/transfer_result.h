// What a frame exchange or a block transfer ends with. Success is 1 (or, for a
// read, the count of bytes placed); the failures are these small negatives,
// each function naming the ones it gives.
#pragma once

#include <string>

constexpr int kTransferDone = 1;
// Nothing came in time, the port refused the bytes, the controller refused
// the write, or a bad board or argument.
constexpr int kTransferFailed = -1;
// Something came but is no answer: a wrong checksum, a device type not
// supported, a text that did not end, or the adapter's echo wrong or missing.
constexpr int kTransferBadAnswer = -2;
// A port handle the protocol does not serve (above 4): nothing was sent.
constexpr int kTransferBadHandle = -3;
// A write frame of a count outside 1..64: nothing was sent.
constexpr int kTransferBadCount = -4;

// "done", "no answer (or the write was refused)", ...; "result N" for a
// number that is none of these.
std::string TransferResultText(int result);
