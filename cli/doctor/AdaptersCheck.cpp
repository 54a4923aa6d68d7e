#include "cli/doctor/AdaptersCheck.h"

#include "app/AdapterAddress.h"
#include "cli/AdapterChoice.h"
#include "cli/CliOutput.h"

#include <QFile>
#include <QStringList>
#include <bit>
#include <net/if.h>
#include <set>

namespace {

std::optional<QByteArray> ReadSysEntry(const QString& strInterface, const char* pszEntry) {
    QFile file(QStringLiteral("/sys/class/net/%1/%2").arg(strInterface, QLatin1String(pszEntry)));
    if (!file.open(QIODevice::ReadOnly)) {
        return std::nullopt;
    }
    const QByteArray abText = file.readAll().trimmed();
    return abText.isEmpty() ? std::nullopt : std::optional<QByteArray>(abText);
}

// "/24" for a contiguous mask, the dotted mask otherwise.
QString MaskText(std::uint32_t dwMask) {
    const int nBits = std::popcount(dwMask);
    if (dwMask == (nBits == 0 ? 0u : ~0u << (32 - nBits))) {
        return QStringLiteral("/%1").arg(nBits);
    }
    return QStringLiteral(" mask ") + CCliOutput::Dotted(dwMask);
}

class CFindings {
public:
    void Add(EDoctorResult nResult, const QString& strFinding, const QString& strHint) {
        m_nResult = Graver(m_nResult, nResult);
        m_listFindings << strFinding;
        if (!strHint.isEmpty() && !m_listHints.contains(strHint)) {
            m_listHints << strHint;
        }
    }
    SDoctorCheck Check(const QString& strSeen) const {
        QStringList listDetail = m_listFindings;
        listDetail << strSeen;
        return {QStringLiteral("adapters"), m_nResult, listDetail.join(QStringLiteral("; ")),
                m_listHints.join(QStringLiteral("; "))};
    }

private:
    EDoctorResult m_nResult = EDoctorResult::Ok;
    QStringList m_listFindings;
    QStringList m_listHints;
};

} // namespace

std::map<QString, SLinkState>
CAdaptersCheck::ReadLinkStates(const std::vector<SNetworkAdapter>& listAdapters) {
    std::map<QString, SLinkState> mapStates;
    for (const SNetworkAdapter& adapter : listAdapters) {
        const QString strInterface = CAdapterChoice::InterfaceName(adapter);
        SLinkState state;
        if (const std::optional<QByteArray> abFlags = ReadSysEntry(strInterface, "flags")) {
            state.bAdminUp = (abFlags->toUInt(nullptr, 16) & IFF_UP) != 0;
        }
        if (const std::optional<QByteArray> abCarrier = ReadSysEntry(strInterface, "carrier")) {
            state.bCarrier = *abCarrier == "1";
        }
        mapStates[strInterface] = state;
    }
    return mapStates;
}

SDesktopAdapterChoice
CAdaptersCheck::DesktopChoice(const std::vector<SNetworkAdapter>& listAdapters) {
    SDesktopAdapterChoice choice;
    if (listAdapters.empty()) {
        return choice;
    }
    for (std::size_t i = 0; i + 1 < listAdapters.size(); ++i) {
        if (CAdapterChoice::Qualifies(listAdapters[i])) {
            choice.listOffered.push_back(i);
        }
    }
    choice.nTaken = listAdapters.size() - 1;
    return choice;
}

SDoctorCheck CAdaptersCheck::Check(const std::optional<std::vector<SNetworkAdapter>>& adapters,
                                   const std::map<QString, SLinkState>& mapStates,
                                   const QString& strWanted) {
    if (!adapters) {
        return {QStringLiteral("adapters"), EDoctorResult::Unknown,
                QStringLiteral("the network adapters could not be listed"), QString()};
    }
    const std::vector<SNetworkAdapter>& listAdapters = *adapters;
    CFindings findings;
    if (listAdapters.empty()) {
        findings.Add(EDoctorResult::Problem,
                     QStringLiteral("no network adapter but loopback: broadcasts go to "
                                    "255.255.255.255 and reach no instrument"),
                     QStringLiteral("connect this computer to the instruments' network"));
        return findings.Check(QStringLiteral("both programs use any address"));
    }

    auto Name = [&](std::size_t nIndex) {
        return CAdapterChoice::InterfaceName(listAdapters[nIndex]);
    };
    QStringList listSeen;
    for (const SNetworkAdapter& adapter : listAdapters) {
        const std::uint32_t dwAddress = DottedQuadValue(adapter.strIpAddress);
        const auto it = mapStates.find(CAdapterChoice::InterfaceName(adapter));
        const SLinkState state = it != mapStates.end() ? it->second : SLinkState{};
        listSeen << QStringLiteral("%1: %2, %3, %4")
                        .arg(QString::fromStdString(adapter.strDescription),
                             adapter.nType == ADAPTER_TYPE_ETHERNET ? QStringLiteral("Ethernet")
                                                                    : QStringLiteral("other"),
                             dwAddress == 0 ? QStringLiteral("no address")
                                            : CCliOutput::Dotted(dwAddress) +
                                                  MaskText(DottedQuadValue(adapter.strIpMask)),
                             !state.bAdminUp   ? QStringLiteral("down")
                             : !state.bCarrier ? QStringLiteral("carrier unknown")
                             : *state.bCarrier ? QStringLiteral("carrier")
                                               : QStringLiteral("no carrier"));
    }

    // Which adapter each program talks through.
    std::set<std::size_t> setUsed;
    const SCliAdapterChoice cli = CAdapterChoice::Choose(adapters, strWanted);
    const SDesktopAdapterChoice desktop = DesktopChoice(listAdapters);
    QString strCli;
    if (cli.nResult == SCliAdapterChoice::NotFound) {
        strCli = QStringLiteral("tavikctl has no adapter '%1'").arg(strWanted);
        findings.Add(EDoctorResult::Problem, strCli,
                     QStringLiteral("name one of the adapters listed with --adapter"));
    } else if (cli.nResult == SCliAdapterChoice::Several) {
        QStringList listQualifying;
        for (std::size_t i = 0; i < listAdapters.size(); ++i) {
            if (CAdapterChoice::Qualifies(listAdapters[i])) {
                listQualifying << Name(i);
            }
        }
        strCli = QStringLiteral("tavikctl needs --adapter: %1 qualify")
                     .arg(listQualifying.join(QStringLiteral(", ")));
        findings.Add(EDoctorResult::Warning, strCli,
                     QStringLiteral("give tavikctl --adapter with the adapter on the "
                                    "instruments' segment"));
    } else {
        strCli = QStringLiteral("tavikctl uses %1").arg(Name(*cli.nIndex));
        setUsed.insert(*cli.nIndex);
    }
    QString strDesktop = QStringLiteral("tavik-connection uses %1").arg(Name(*desktop.nTaken));
    if (!desktop.listOffered.empty()) {
        QStringList listOffered;
        for (const std::size_t nIndex : desktop.listOffered) {
            listOffered << Name(nIndex);
        }
        strDesktop = QStringLiteral("tavik-connection asks \"Select Adapter\" for %1 in turn, and "
                                    "uses %2 when each is declined")
                         .arg(listOffered.join(QStringLiteral(", ")), Name(*desktop.nTaken));
        findings.Add(EDoctorResult::Warning,
                     QStringLiteral("tavik-connection asks \"Select Adapter\" at every start"),
                     QStringLiteral("in \"Select Adapter\" answer Yes for the adapter on the "
                                    "instruments' segment"));
        setUsed.insert(desktop.listOffered.front());
    } else {
        setUsed.insert(*desktop.nTaken);
    }

    // What keeps an adapter in use from reaching the instruments.
    for (const std::size_t nIndex : setUsed) {
        const SNetworkAdapter& adapter = listAdapters[nIndex];
        const QString strName = Name(nIndex);
        const auto it = mapStates.find(strName);
        const SLinkState state = it != mapStates.end() ? it->second : SLinkState{};
        const std::uint32_t dwMask = DottedQuadValue(adapter.strIpMask);
        if (!state.bAdminUp) {
            findings.Add(EDoctorResult::Problem, QStringLiteral("%1 is down").arg(strName),
                         QStringLiteral("bring it up (ip link set %1 up, or in the network "
                                        "settings)")
                             .arg(strName));
        } else if (state.bCarrier == false) {
            findings.Add(EDoctorResult::Problem, QStringLiteral("%1 has no carrier").arg(strName),
                         QStringLiteral("connect %1's cable or link").arg(strName));
        } else if (DottedQuadValue(adapter.strIpAddress) == 0) {
            findings.Add(
                EDoctorResult::Problem, QStringLiteral("%1 has no IPv4 address").arg(strName),
                QStringLiteral("give %1 an address in the instruments' subnet").arg(strName));
        } else if (std::popcount(dwMask) >= 31) {
            findings.Add(EDoctorResult::Warning,
                         QStringLiteral("%1 has a point-to-point mask (%2): its broadcasts go to "
                                        "255.255.255.255")
                             .arg(strName, MaskText(dwMask)),
                         QStringLiteral("ask instruments behind %1 by address (discover --to "
                                        "ADDRESS), or give it the segment's mask")
                             .arg(strName));
        }
        if (adapter.nType != ADAPTER_TYPE_ETHERNET) {
            findings.Add(
                EDoctorResult::Warning,
                QStringLiteral("%1 is not an Ethernet adapter (no adapter qualifies)").arg(strName),
                QStringLiteral("connect an Ethernet adapter to the instruments' segment"));
        }
    }
    return findings.Check(listSeen.join(QStringLiteral("; ")) + QStringLiteral("; ") + strCli +
                          QStringLiteral("; ") + strDesktop);
}
