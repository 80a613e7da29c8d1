// Code page 866 for texts that leave or enter the program as bytes: the port.out
// trace, controller texts and the simulator's answers. Only the Cyrillic
// letters (with Ё and ё) and ASCII are mapped; anything else becomes '?'.
#pragma once

#include <string>
#include <string_view>

// UTF-8 to CP866. A character outside ASCII and the Cyrillic letters, and every
// malformed UTF-8 sequence, gives one '?'.
std::string Utf8ToCp866(std::string_view utf8);

// CP866 to UTF-8 for the same letters; other bytes above 0x7F give '?'.
std::string Cp866ToUtf8(std::string_view cp866);
