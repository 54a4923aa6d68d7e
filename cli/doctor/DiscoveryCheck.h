// What tavikctl doctor makes of a discovery cycle and of the instruments it asked directly: an
// instrument that answers a request sent to its address but not a broadcast points at a
// firewall or another subnet, and instruments outside the adapter's subnet are named.
#pragma once

#include "cli/doctor/DoctorCheck.h"
#include "model/MolvarInstrument.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

// An instrument asked directly (a VerifyRequest): the configured one, or an address of --to.
struct SDirectAsk {
    QString strWhat; // "the configured instrument Lab-7", "the instrument" (of --to)
    std::uint32_t dwAddress = 0;
    std::optional<CMolvarInstrument> answer;
};

struct SDiscoveryFindings {
    QString strAdapter; // the interface tavikctl broadcast through
    std::uint32_t dwAdapterAddress = 0;
    std::uint32_t dwAdapterMask = 0;
    std::vector<CMolvarInstrument> listBroadcast; // what answered the cycle's broadcasts
    std::vector<SDirectAsk> listDirect;
};

class CDiscoveryCheck {
public:
    static SDoctorCheck Check(const SDiscoveryFindings& findings);
};
