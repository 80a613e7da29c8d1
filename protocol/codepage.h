// Code pages of the controller texts. The controller speaks DOS Cyrillic
// (CP866); texts are turned into Windows-1251 byte by byte as the tool always
// did, and 1251 is turned into UTF-8 only for display.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// 0x80-0xAF +0x40, 0xE0-0xEF +0x10, 0xF0 -> 0xA8 (Ё), 0xF1 -> 0xB8 (ё),
// 0xFC -> 0xB9 (№); every other byte stays.
uint8_t Cp866ToCp1251(uint8_t b);
std::string Cp866ToCp1251(std::string_view text);
// The variant used for the don.msg error texts: 0xF0, 0xF1 and 0xFC stay.
uint8_t Cp866ToCp1251ErrorText(uint8_t b);
std::string Cp866ToCp1251ErrorText(std::string_view text);

// Windows-1251 to UTF-8 (0x98, the one unassigned byte, becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view text);
// UTF-8 to Windows-1251; characters without a 1251 byte (and broken UTF-8)
// become '?'.
std::string Utf8ToCp1251(std::string_view text);
// The inverse of Cp866ToCp1251 for the letters it maps (А-я, Ё, ё, №); other
// bytes stay. Used to produce controller-side texts.
uint8_t Cp1251ToCp866(uint8_t b);
std::string Cp1251ToCp866(std::string_view text);
// (UTF-8 <-> CP866 directly: Utf8ToCp866 / Cp866ToUtf8 of the port layer, cp866.h.)
