#include "cli/AdapterChoice.h"

#include "app/AdapterAddress.h"

#include <QStringList>

namespace {

SCliAdapterChoice ChosenAdapter(const std::vector<SNetworkAdapter>& listAdapters,
                                std::size_t nIndex) {
    SCliAdapterChoice result;
    result.nResult = SCliAdapterChoice::Chosen;
    result.nIndex = nIndex;
    const std::uint32_t dwAddress = DottedQuadValue(listAdapters[nIndex].strIpAddress);
    result.choice.dwLocalIPAddress = dwAddress;
    result.choice.dwBroadcastIPAddress =
        BroadcastAddressOf(dwAddress, DottedQuadValue(listAdapters[nIndex].strIpMask));
    return result;
}

} // namespace

QString CAdapterChoice::InterfaceName(const SNetworkAdapter& adapter) {
    const QString strDescription = QString::fromStdString(adapter.strDescription);
    qsizetype nEnd = strDescription.indexOf(QLatin1Char(' '));
    const qsizetype nComma = strDescription.indexOf(QLatin1Char(','));
    if (nComma >= 0 && (nEnd < 0 || nComma < nEnd)) {
        nEnd = nComma;
    }
    return nEnd < 0 ? strDescription : strDescription.left(nEnd);
}

bool CAdapterChoice::Qualifies(const SNetworkAdapter& adapter) {
    return adapter.nType == ADAPTER_TYPE_ETHERNET && DottedQuadValue(adapter.strIpAddress) != 0 &&
           !QString::fromStdString(adapter.strDescription)
                .contains(QLatin1String("wireless"), Qt::CaseInsensitive);
}

QString CAdapterChoice::ListText(const std::vector<SNetworkAdapter>& listAdapters,
                                 bool bQualifyingOnly) {
    QStringList listTexts;
    for (const SNetworkAdapter& adapter : listAdapters) {
        if (!bQualifyingOnly || Qualifies(adapter)) {
            listTexts << QStringLiteral("%1 (%2)").arg(
                InterfaceName(adapter), QString::fromStdString(adapter.strIpAddress));
        }
    }
    return listTexts.isEmpty() ? QStringLiteral("none") : listTexts.join(QStringLiteral(", "));
}

QString CAdapterChoice::NotFoundText(const QString& strWanted,
                                     const std::vector<SNetworkAdapter>& listAdapters) {
    return QStringLiteral("no adapter '%1'; the adapters are: %2")
        .arg(strWanted, ListText(listAdapters, false));
}

SCliAdapterChoice
CAdapterChoice::Choose(const std::optional<std::vector<SNetworkAdapter>>& adapters,
                       const QString& strWanted) {
    SCliAdapterChoice result;
    const std::vector<SNetworkAdapter> listAdapters =
        adapters.value_or(std::vector<SNetworkAdapter>{});
    if (!strWanted.isEmpty()) {
        for (std::size_t i = 0; i < listAdapters.size(); ++i) {
            if (InterfaceName(listAdapters[i]) == strWanted ||
                QString::fromStdString(listAdapters[i].strIpAddress) == strWanted) {
                return ChosenAdapter(listAdapters, i);
            }
        }
        result.nResult = SCliAdapterChoice::NotFound;
        return result;
    }
    if (listAdapters.empty()) {
        return result; // any local address, the limited broadcast
    }
    std::optional<std::size_t> nQualifying;
    for (std::size_t i = 0; i < listAdapters.size(); ++i) {
        if (!Qualifies(listAdapters[i])) {
            continue;
        }
        if (nQualifying) {
            result.nResult = SCliAdapterChoice::Several;
            return result;
        }
        nQualifying = i;
    }
    return ChosenAdapter(listAdapters, nQualifying.value_or(listAdapters.size() - 1));
}
