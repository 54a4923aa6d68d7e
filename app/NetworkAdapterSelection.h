// The choice of the local network adapter at start-up, over a listing handed in as plain data.
#pragma once

#include "app/AdapterAddress.h"
#include "platform/NetworkAdapters.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

// Walks the adapters in order. An adapter qualifies when it is Ethernet, has an address and its
// description does not say "wireless" in any letter case; a qualifying adapter that others
// follow is offered to the user in a Yes/No box, the last one is taken without asking. With no
// choice the last adapter is used whatever it is; with no listing (or an empty one), address 0
// and the limited broadcast address.
SAdapterChoice ChooseNetworkAdapter(const std::optional<std::vector<SNetworkAdapter>>& adapters);
