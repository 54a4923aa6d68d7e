// 8-bit texts from the wire read as the Windows clients that share the instruments read them.
#pragma once

#include <string>
#include <string_view>

// Windows-1252: 0x80-0x9F by its table (the unassigned 0x81, 0x8D, 0x8F, 0x90, 0x9D to the code
// points of the same value), every other byte as Latin-1.
std::u16string AnsiToWide(std::string_view strAnsi);
