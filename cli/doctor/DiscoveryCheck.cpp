#include "cli/doctor/DiscoveryCheck.h"

#include "cli/CliOutput.h"
#include "link/Messages.h"

#include <QStringList>
#include <algorithm>
#include <bit>

namespace {

QString Shown(const CMolvarInstrument& instrument) {
    return QStringLiteral("%1 (%2)").arg(QString::fromStdU16String(instrument.DisplayName()),
                                         CCliOutput::Dotted(instrument.m_dwIPAddress));
}

} // namespace

SDoctorCheck CDiscoveryCheck::Check(const SDiscoveryFindings& findings) {
    const QString strName = QStringLiteral("discovery");
    const std::uint32_t dwSubnet = findings.dwAdapterAddress & findings.dwAdapterMask;
    const QString strSubnet = QStringLiteral("%1/%2")
                                  .arg(CCliOutput::Dotted(dwSubnet))
                                  .arg(std::popcount(findings.dwAdapterMask));
    auto Outside = [&](std::uint32_t dwAddress) {
        return findings.dwAdapterAddress != 0 && (dwAddress & findings.dwAdapterMask) != dwSubnet;
    };

    EDoctorResult nResult = EDoctorResult::Ok;
    auto Raise = [&](EDoctorResult nTo) { nResult = Graver(nResult, nTo); };
    QStringList listSeen;
    QStringList listHints;
    if (findings.listBroadcast.empty()) {
        listSeen << QStringLiteral("no instrument answered the broadcasts through %1")
                        .arg(findings.strAdapter);
    } else {
        QStringList listNames;
        for (const CMolvarInstrument& instrument : findings.listBroadcast) {
            listNames << Shown(instrument);
        }
        listSeen
            << QStringLiteral("%1 answered the broadcasts through %2: %3")
                   .arg(findings.listBroadcast.size() == 1
                            ? QStringLiteral("1 instrument")
                            : QStringLiteral("%1 instruments").arg(findings.listBroadcast.size()),
                        findings.strAdapter, listNames.join(QStringLiteral(", ")));
    }

    QStringList listOutside;
    for (const CMolvarInstrument& instrument : findings.listBroadcast) {
        if (Outside(instrument.m_dwIPAddress)) {
            listOutside << Shown(instrument);
        }
    }
    bool bFirewallSuspected = false;
    for (const SDirectAsk& ask : findings.listDirect) {
        if (!ask.answer) {
            listSeen << QStringLiteral("%1 at %2 did not answer")
                            .arg(ask.strWhat, CCliOutput::Dotted(ask.dwAddress));
            Raise(EDoctorResult::Problem);
            listHints << QStringLiteral("check that %1 is on and connected; if it has moved, "
                                        "tavikctl repair finds it by name")
                             .arg(ask.strWhat);
            continue;
        }
        const bool bBroadcastToo = std::any_of(
            findings.listBroadcast.begin(), findings.listBroadcast.end(),
            [&](const CMolvarInstrument& found) { return found.m_dwIPAddress == ask.dwAddress; });
        if (bBroadcastToo) {
            continue;
        }
        if (Outside(ask.dwAddress)) {
            listOutside << Shown(*ask.answer);
            listSeen << QStringLiteral("%1 answers at its address but not the broadcast: it lies "
                                       "in another subnet")
                            .arg(Shown(*ask.answer));
            Raise(EDoctorResult::Warning);
            listHints << QStringLiteral("ask it directly (tavikctl discover --to %1)")
                             .arg(CCliOutput::Dotted(ask.dwAddress));
        } else {
            listSeen << QStringLiteral("%1 answers at its address but not the broadcast: a "
                                       "firewall drops the replies to broadcasts")
                            .arg(Shown(*ask.answer));
            Raise(EDoctorResult::Problem);
            bFirewallSuspected = true;
        }
    }
    if (!listOutside.isEmpty()) {
        listOutside.removeDuplicates();
        listSeen << QStringLiteral("outside %1's subnet %2: %3")
                        .arg(findings.strAdapter, strSubnet,
                             listOutside.join(QStringLiteral(", ")));
        Raise(EDoctorResult::Warning);
        listHints << QStringLiteral("give the instruments and this computer addresses in one "
                                    "subnet");
    }
    if (bFirewallSuspected) {
        listHints
            << QStringLiteral("let UDP port %1 in (see the firewall check)").arg(INSTRUMENT_PORT);
    } else if (findings.listBroadcast.empty() && findings.listDirect.empty()) {
        Raise(EDoctorResult::Warning);
        listHints << QStringLiteral("check that the instruments are on and on %1's segment; "
                                    "ask one by address with --to ADDRESS")
                         .arg(findings.strAdapter);
    }
    return {strName, nResult, listSeen.join(QStringLiteral("; ")),
            listHints.join(QStringLiteral("; "))};
}
