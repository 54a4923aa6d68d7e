// How addresses are shown: the four bytes in decimal, most significant first.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// "%u.%u.%u.%u"
std::u16string FormatAddress(std::uint32_t dwAddress);
// "%s [%u.%u.%u.%u]": a host name followed by its address in square brackets.
std::u16string FormatHostAndAddress(std::u16string_view strHostName, std::uint32_t dwAddress);
