// Small conversions shared by the tabs and dialogs: number texts, hexadecimal
// texts, pulse weights, controller image files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

constexpr int kCheckNoMaximum = 1; // flag bit 0
constexpr int kCheckHex = 2;       // flag bit 1

// 1 valid; -1 a character is not allowed; -2 the value is above the maximum
// (compared unsigned; a value beyond 32 bits is always above); -3 empty.
int CheckNumberText(std::string_view text, uint32_t maximum, int flags);
// The text read as hexadecimal (32 bits; more than 8 digits overflow). Lower-case
// letters are turned to upper case in the caller's text. Characters that are not
// hexadecimal digits count as 0.
uint32_t HexTextToNumber(char* text);
uint32_t HexTextToNumber(std::string& text);
// Upper-case hexadecimal with a whole number of bytes and no leading zero byte
// ("FF", "0100", 0 -> "00"). dst holds at least 9 characters. Returns 1.
int NumberToHexText(uint32_t value, char* dst);
std::string NumberToHexText(uint32_t value);
// Two upper-case hexadecimal digits.
std::string ByteToHexDigits(uint8_t b);

constexpr int kPulseRecordSize = 14;
// Rescales the two 40-bit weights of a pulse weight record when the
// pulses-per-litre code changes. 1 done; -1 new code 0 (nothing changed);
// -2 a result does not fit 40 bits (nothing changed).
int ScalePulseWeights(uint8_t* record, int oldCode, int newCode);

// 1 the first 7 bytes (an image's size header) can be read and sizes 0, 3, 5
// and 6 are non-zero (1, 2 and 4 may be 0); -1 one of those four is 0; -2
// fewer than 7 bytes; -3 cannot open.
int CheckImageFileHeader(const std::string& fileName);

// fopen(path, "rb") for regular files only: a FIFO, a device or a folder is
// refused (nullptr, errno EISDIR for a folder, else EINVAL) before a read
// could block on it. Every file the program reads goes through it.
std::FILE* OpenRegularFile(const std::string& path);
// Reads the rest of the open file into dst, at most capacity bytes. Returns the
// count read (also in *outCount), or -1 when the file holds more than capacity
// (dst then holds the first capacity bytes, *outCount = capacity).
long ReadWholeFile(uint8_t* dst, size_t capacity, size_t* outCount, std::FILE* file);
// 1 when all length bytes equal value (also for length 0), else 0.
int AllBytesEqual(const uint8_t* data, long length, uint8_t value);
