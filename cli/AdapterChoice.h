// The adapter choice of the command line, which never asks: the one Ethernet-type adapter that
// qualifies as the desktop program sees it, or the one --adapter names.
#pragma once

#include "app/AdapterAddress.h"
#include "platform/NetworkAdapters.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

struct SCliAdapterChoice {
    enum EResult : std::uint8_t {
        Chosen,   // choice holds the addresses; nIndex the adapter (none: no adapter listed)
        Several,  // several adapters qualify and none was named
        NotFound, // --adapter names no listed adapter
    } nResult = Chosen;
    SAdapterChoice choice;
    std::optional<std::size_t> nIndex;
};

class CAdapterChoice {
public:
    // "enp3s0" of "enp3s0 (e1000e), wireless": the interface name the description begins with.
    static QString InterfaceName(const SNetworkAdapter& adapter);
    // Qualifies as the desktop program's choice has it: Ethernet, an address, not wireless.
    static bool Qualifies(const SNetworkAdapter& adapter);

    // "eth0 (10.77.1.1), eth1 (10.78.1.1)", or "none": the adapters, or those that qualify.
    static QString ListText(const std::vector<SNetworkAdapter>& listAdapters, bool bQualifyingOnly);
    // The error when --adapter names no adapter.
    static QString NotFoundText(const QString& strWanted,
                                const std::vector<SNetworkAdapter>& listAdapters);

    // Without strWanted: the one qualifying adapter; none qualifying, the last adapter as the
    // desktop program falls back to; none listed, any local address and the limited broadcast.
    // With strWanted: the adapter of that interface name or address, whatever its type.
    static SCliAdapterChoice Choose(const std::optional<std::vector<SNetworkAdapter>>& adapters,
                                    const QString& strWanted);
};
