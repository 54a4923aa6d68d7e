// The choice of the local network adapter at start-up, over a listing handed in as plain data.
#pragma once

#include "platform/NetworkAdapters.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

struct SAdapterChoice {
    std::uint32_t dwLocalIPAddress = 0;
    std::uint32_t dwBroadcastIPAddress = 0xFFFFFFFF;
};

// Walks the adapters in order. An adapter qualifies when it is Ethernet, has an address and its
// description does not say "wireless" in any letter case; a qualifying adapter that others
// follow is offered to the user in a Yes/No box, the last one is taken without asking. With no
// choice the last adapter is used whatever it is; with no listing (or an empty one), address 0
// and the limited broadcast address.
SAdapterChoice ChooseNetworkAdapter(const std::optional<std::vector<SNetworkAdapter>>& adapters);

// The address the adapter's broadcasts go to: the directed broadcast address of its subnet, or
// the limited broadcast address 255.255.255.255 where the directed one would be an interface's
// own address (masks /31 and /32).
std::uint32_t BroadcastAddressOf(std::uint32_t dwAddress, std::uint32_t dwMask);

// The address number of a dotted text, read leniently: the text is split at full stops (empty
// pieces skipped), the first four pieces read as decimal numbers the way strtol does (a piece
// without digits is 0, missing pieces are 0), and combined in 32-bit arithmetic without
// limiting the pieces to a byte: "300.0.0.1" is 0x2C000001, "-1.0.0.0" is 0xFF000000.
std::uint32_t DottedQuadValue(std::string_view strText);
