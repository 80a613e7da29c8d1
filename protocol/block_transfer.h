// Controller memory map and block transfers.
//
// ReadBlock and WriteBlock split a transfer into pieces of at most 40 bytes and
// wait for each answer; every wait limit is scaled by the timeout multiplier.
// In demo mode both are answered by the demo image instead. The protocol serves
// port handles 1 to 4; a handle above 4 gives -3 without any traffic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "memory_map.h"

constexpr int kPieceSize = 40;
constexpr int kLengthQueryCapacity = 255; // a length-queried block is at most this long

// The multiplier typed into the timeout box: its integer value; 0, negative,
// non-numeric or out-of-range text gives 1.
int TimeoutMultiplierFromText(std::string_view text);
// Sets Protocol().timeoutMultiplier (values below 1 become 1).
void SetTimeoutMultiplier(int value);
int TimeoutMultiplier();
// Protocol().blockSizes.
int* BlockSizes();

// Reads a block into dst. length <= 0 asks for the length query (1 byte at the
// block address gives the length, the data follows from the next address; dst
// must hold 255 bytes). Returns the number of bytes placed (0 or more); -1 send
// failure, time-out, bad board or argument; -3 handle above 4.
int ReadBlock(int port, int ctrl, uint32_t blockAddr, int length, uint8_t* dst, int board);
// Writes count bytes. 1 when every piece was accepted (also for count 0); -1 send
// failure, time-out, refusal, bad board or argument; -3 handle above 4.
int WriteBlock(int port, int ctrl, uint32_t blockAddr, int count, const uint8_t* data, int board);
// ReadBlock of the 7-byte sizes record into BlockSizes (signed bytes); 1, or -1
// with BlockSizes all zero.
int ReadBlockSizes(int port, int ctrl);
// The single byte 0x01 to 0x88FFFF. 1 or -1 (-3 handle above 4).
int RestartController(int port, int ctrl);
// 1 when the pulse simulator bit (0x40 of register 0x24, board 2) is set, 0
// when clear, -1 when the read fails.
int ReadSimulator(int port, int ctrl);
// Reads register 0x24 and writes it back with the simulator bit set or cleared,
// the other seven bits kept. 1, -1 (read or write failed), -3 handle above 4.
int SetSimulator(int port, int ctrl, bool on);
// 1 when a 3-byte read of register 0x25 (board 2) gave bytes, else 0.
int ReadTemperatureRaw(int port, int ctrl, uint8_t* dst3);
// Write value / 100 and value % 100 to 0x5300 (administrator) or 0x5302
// (adjustment). The WriteBlock result; when it is not 1 the controller's error
// text is handed to Protocol().controllerErrorSink first.
int PresentAdminPassword(int port, int ctrl, long value);
int PresentAdjustPassword(int port, int ctrl, long value);

// The write used by WriteImage: board 0, 20 ms after each command frame, waits
// for the status byte by 1 ms polls (300 x multiplier). 1, -1, -3.
int WriteImageBlock(int port, int ctrl, uint32_t blockAddr, int count, const uint8_t* data);
// Writes a whole controller image (7 signed size bytes, then the blocks in
// image order: parameters, 10 channel settings, [2 blocks at 0x0/0x100], 2
// sides, 10 channel state registers, 256 bytes for 0x5100, 57 bytes for
// 0x3000). Each block goes out with the controller's size; a group the
// controller reports with size 0 is skipped. 1 or -1; an image shorter than
// its header claims, or with a negative size (sizes 1 and 2 are not used), is
// refused with -1 before any traffic.
int WriteImage(int port, int ctrl, const uint8_t* image, size_t imageSize);
// One block WriteImage sends: where, and the bytes as they go out.
struct ImageWriteBlock {
    uint32_t address;
    std::vector<uint8_t> bytes;
};
// The blocks WriteImage sends for an image and the controller's sizes (as
// ReadBlockSizes leaves them), in order: each with the controller's size, the
// image's bytes zero filled or cut, the parameter block closed with its
// checksum. False where the image cannot be written whole: nothing when it
// is refused outright, else the blocks before the group that neither the
// image nor the controller has (WriteImage writes those, then fails).
bool PlanImageWrite(const uint8_t* image, size_t imageSize, const int sizes[7],
                    std::vector<ImageWriteBlock>& out);
// The length an image of these header sizes occupies, header included; -1 for a
// negative size (sizes 1 and 2 are not used).
long ImageLength(const int8_t sizes[7]);
