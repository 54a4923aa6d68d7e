// 8-bit texts from the wire read as the Windows clients that share the instruments read them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Windows-1252: 0x80-0x9F by its table (the unassigned 0x81, 0x8D, 0x8F, 0x90, 0x9D to the code
// points of the same value), every other byte as Latin-1.
std::u16string AnsiToWide(std::string_view strAnsi);
// One UTF-16 code unit as the byte that reads back as it: the characters the table gives to
// 0x80-0x9F go back to those bytes, every other unit keeps its low 8 bits.
std::uint8_t WideToAnsiUnit(char16_t ch);
