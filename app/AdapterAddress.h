// The address arithmetic of the adapter choice, shared by the desktop program and the command
// line: plain functions over the adapter listing's texts.
#pragma once

#include <cstdint>
#include <string_view>

// The addresses the link is created with: the chosen adapter's own and its broadcast address.
struct SAdapterChoice {
    std::uint32_t dwLocalIPAddress = 0;
    std::uint32_t dwBroadcastIPAddress = 0xFFFFFFFF;
};

// The address the adapter's broadcasts go to: the directed broadcast address of its subnet, or
// the limited broadcast address 255.255.255.255 where the directed one would be an interface's
// own address (masks /31 and /32).
std::uint32_t BroadcastAddressOf(std::uint32_t dwAddress, std::uint32_t dwMask);

// The address number of a dotted text, read leniently: the text is split at full stops (empty
// pieces skipped), the first four pieces read as decimal numbers the way strtol does (a piece
// without digits is 0, missing pieces are 0), and combined in 32-bit arithmetic without
// limiting the pieces to a byte: "300.0.0.1" is 0x2C000001, "-1.0.0.0" is 0xFF000000.
std::uint32_t DottedQuadValue(std::string_view strText);
