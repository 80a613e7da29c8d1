// Hexadecimal texts of bytes, words, addresses and byte strings: upper-case
// digits, no prefix, and their parsing back. Every text of ours that shows or
// reads hexadecimal goes through here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The value of one hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);

// The value in at least `digits` upper-case digits, zero-padded ("0A", "00FF",
// 0x12345 with 4 digits -> "12345").
std::string HexNumber(uint32_t value, int digits = 1);
// Two digits of the low byte of the value ("%02X").
std::string HexByte(unsigned value);
// Each byte as two digits, the bytes separated by `separator` ("0A FF 10").
std::string HexBytes(const uint8_t* bytes, size_t count, std::string_view separator = " ");

// The whole text as hexadecimal digits: false when it is empty, holds any
// other character, or its value does not fit 32 bits (leading zeros are fine).
// value is left alone when false.
bool ParseHexDigits(std::string_view text, uint32_t& value);
// As ParseHexDigits, after an optional "0x" or "0X".
bool ParseHexNumber(std::string_view text, uint32_t& value);
// Pairs of digits, white space anywhere between digits ignored ("0A FF",
// "0aff"): false for a character that is not a digit or an odd count of
// digits. bytes is replaced only when true.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& bytes);
