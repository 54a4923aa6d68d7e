// The adapters check of tavikctl doctor: every adapter, which one each program talks through,
// and what keeps that one from reaching a segment's instruments.
#pragma once

#include "cli/doctor/DoctorCheck.h"
#include "platform/NetworkAdapters.h"

#include <QString>
#include <map>
#include <optional>
#include <vector>

// An interface's link as /sys/class/net shows it.
struct SLinkState {
    bool bAdminUp = true;         // IFF_UP in flags
    std::optional<bool> bCarrier; // carrier; not readable while the interface is down
};

// The desktop program's adapter choice, played without a user: the qualifying adapters it offers
// in "Select Adapter" one after the other, and the one it takes when it does not ask or when
// every offer is declined.
struct SDesktopAdapterChoice {
    std::vector<std::size_t> listOffered;
    std::optional<std::size_t> nTaken; // none: no adapter listed (any address, limited broadcast)
};

class CAdaptersCheck {
public:
    static std::map<QString, SLinkState> ReadLinkStates(const std::vector<SNetworkAdapter>& list);
    static SDesktopAdapterChoice DesktopChoice(const std::vector<SNetworkAdapter>& listAdapters);

    // strWanted: tavikctl's --adapter, if given.
    static SDoctorCheck Check(const std::optional<std::vector<SNetworkAdapter>>& adapters,
                              const std::map<QString, SLinkState>& mapStates,
                              const QString& strWanted);
};
