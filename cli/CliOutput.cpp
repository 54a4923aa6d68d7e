#include "cli/CliOutput.h"

#include "app/AdapterAddress.h"
#include "cli/AdapterChoice.h"
#include "link/Messages.h"
#include "model/AddressText.h"
#include "platform/window/WideText.h"
#include "protocol/OutcomeTexts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QStringList>
#include <algorithm>

namespace {

bool IsControl(char16_t ch) {
    return ch < 0x20 || (ch >= 0x7F && ch <= 0x9F);
}

// Every control character as Escaped shows it, but the line feeds (the lines of the program's
// own text) and the backslashes as they are.
QString ControlsEscaped(const QString& strText) {
    QString strShown;
    strShown.reserve(strText.size());
    for (const QChar ch : strText) {
        if (ch == QLatin1Char('\n') || !IsControl(ch.unicode())) {
            strShown += ch;
        } else {
            strShown += CCliOutput::Escaped(QString(ch));
        }
    }
    return strShown;
}

void Write(std::FILE* pFile, const QString& strText) {
    const QByteArray abText = ControlsEscaped(strText).toUtf8();
    std::fwrite(abText.constData(), 1, static_cast<std::size_t>(abText.size()), pFile);
    std::fflush(pFile);
}

// Pads to a width counted in characters, as a terminal shows them.
QString Padded(const QString& strText, qsizetype nWidth) {
    return strText.size() >= nWidth ? strText + QLatin1Char(' ')
                                    : strText.leftJustified(nWidth + 1);
}

} // namespace

CCliOutput::CCliOutput(bool bJson, bool bQuiet, std::FILE* pOut, std::FILE* pErr)
    : m_bJson(bJson), m_bQuiet(bQuiet), m_pOut(pOut), m_pErr(pErr) {}

void CCliOutput::Text(const QString& strText) const {
    if (m_bJson || m_bQuiet) {
        return;
    }
    Write(m_pOut, strText.endsWith(QLatin1Char('\n')) ? strText : strText + QLatin1Char('\n'));
}

QString CCliOutput::Escaped(const QString& strText) {
    static constexpr char SHORT_ESCAPES[] = "abtnvfr"; // U+0007 to U+000D
    QString strShown;
    strShown.reserve(strText.size());
    for (const QChar ch : strText) {
        const char16_t nUnit = ch.unicode();
        if (nUnit == u'\\') {
            strShown += QLatin1String("\\\\");
        } else if (nUnit >= 0x07 && nUnit <= 0x0D) {
            strShown += QLatin1Char('\\');
            strShown += QLatin1Char(SHORT_ESCAPES[nUnit - 0x07]);
        } else if (IsControl(nUnit)) {
            strShown += QStringLiteral("\\x%1").arg(unsigned{nUnit}, 2, 16, QLatin1Char('0'));
        } else {
            strShown += ch;
        }
    }
    return strShown;
}

void CCliOutput::Json(const QJsonObject& document, bool bOneLine) const {
    if (!m_bJson) {
        return;
    }
    QJsonObject versioned = document;
    versioned[QStringLiteral("version")] = JSON_VERSION;
    QByteArray abText = QJsonDocument(versioned).toJson(bOneLine ? QJsonDocument::Compact
                                                                 : QJsonDocument::Indented);
    if (!abText.endsWith('\n')) {
        abText += '\n';
    }
    std::fwrite(abText.constData(), 1, static_cast<std::size_t>(abText.size()), m_pOut);
    std::fflush(m_pOut);
}

void CCliOutput::Error(const QString& strMessage) const {
    QString strLine = strMessage;
    strLine.replace(QLatin1Char('\n'), QLatin1Char(' '));
    Write(m_pErr, QStringLiteral("tavikctl: ") + strLine + QLatin1Char('\n'));
}

QString CCliOutput::Dotted(std::uint32_t dwAddress) {
    return QString::fromStdString(DottedAddress(dwAddress));
}

QString CCliOutput::HostAndAddress(const QString& strHost, std::uint32_t dwAddress) {
    return FromWide(FormatHostAndAddress(ToWideView(Escaped(strHost)), dwAddress));
}

QJsonObject CCliOutput::InstrumentObject(const CMolvarInstrument& instrument) {
    QJsonObject object;
    object[QStringLiteral("name")] = FromWide(instrument.NameText());
    object[QStringLiteral("host")] = FromWide(instrument.HostNameText());
    object[QStringLiteral("address")] = Dotted(instrument.m_dwIPAddress);
    object[QStringLiteral("in_use")] = instrument.m_bInUse != 0;
    object[QStringLiteral("claimed")] = instrument.m_bClaimed != 0;
    if (instrument.m_bClaimed != 0) {
        object[QStringLiteral("owner_host")] = FromWide(instrument.OwnerHostNameText());
        object[QStringLiteral("owner_address")] = Dotted(instrument.m_dwOwnerIPAddress);
    } else {
        object[QStringLiteral("owner_host")] = QJsonValue::Null;
        object[QStringLiteral("owner_address")] = QJsonValue::Null;
    }
    return object;
}

QJsonObject CCliOutput::ConfiguredObject(const SConfiguration& configuration) {
    QJsonObject object;
    object[QStringLiteral("name")] = configuration.strInstrumentName;
    object[QStringLiteral("host")] = configuration.strInstrumentHostName;
    object[QStringLiteral("address")] = Dotted(configuration.dwInstrumentIPAddress);
    for (const char* pszUnknown : {"in_use", "claimed", "owner_host", "owner_address"}) {
        object[QLatin1String(pszUnknown)] = QJsonValue::Null;
    }
    return object;
}

QJsonObject CCliOutput::ListObject(const CInstrumentList& list) {
    QJsonArray instruments;
    for (const CMolvarInstrument& instrument : list) {
        instruments.append(InstrumentObject(instrument));
    }
    QJsonObject object;
    object[QStringLiteral("instruments")] = instruments;
    return object;
}

QString CCliOutput::ListTable(const CInstrumentList& list) {
    QList<QStringList> listRows;
    listRows.append({QStringLiteral("Instrument name"), QStringLiteral("Instrument address"),
                     QStringLiteral("In use"), QStringLiteral("Owner address")});
    for (const CMolvarInstrument& instrument : list) {
        listRows.append({Escaped(FromWide(instrument.DisplayName())),
                         Escaped(FromWide(instrument.DisplayAddress())),
                         FromWide(instrument.DisplayInUse()),
                         Escaped(FromWide(instrument.DisplayOwner()))});
    }
    QString strText;
    if (list.GetCount() > 0) {
        qsizetype anWidths[3] = {0, 0, 0};
        for (const QStringList& row : listRows) {
            for (int i = 0; i < 3; ++i) {
                anWidths[i] = std::max(anWidths[i], row[i].size());
            }
        }
        for (const QStringList& row : listRows) {
            strText += Padded(row[0], anWidths[0]) + Padded(row[1], anWidths[1]) +
                       Padded(row[2], anWidths[2]) + row[3] + QLatin1Char('\n');
        }
    }
    return strText + FromWide(DiscoveryStatusText(list.GetCount(), false)) + QLatin1Char('\n');
}

QString CCliOutput::OneLine(const std::vector<const CMolvarInstrument*>& listInstruments) {
    QStringList listTexts;
    for (const CMolvarInstrument* pInstrument : listInstruments) {
        listTexts << QStringLiteral("%1 (%2)").arg(
            Escaped(FromWide(pInstrument->DisplayName())),
            Escaped(FromWide(pInstrument->DisplayAddress())));
    }
    return listTexts.join(QStringLiteral(", "));
}

QJsonObject CCliOutput::AdaptersObject(const std::vector<SNetworkAdapter>& listAdapters,
                                       std::optional<std::size_t> nChosen) {
    QJsonArray adapters;
    for (std::size_t i = 0; i < listAdapters.size(); ++i) {
        const SNetworkAdapter& adapter = listAdapters[i];
        const std::uint32_t dwAddress = DottedQuadValue(adapter.strIpAddress);
        QJsonObject object;
        object[QStringLiteral("interface")] = CAdapterChoice::InterfaceName(adapter);
        object[QStringLiteral("description")] = QString::fromStdString(adapter.strDescription);
        object[QStringLiteral("ethernet")] = adapter.nType == ADAPTER_TYPE_ETHERNET;
        object[QStringLiteral("address")] = QString::fromStdString(adapter.strIpAddress);
        object[QStringLiteral("mask")] = QString::fromStdString(adapter.strIpMask);
        object[QStringLiteral("broadcast")] =
            Dotted(BroadcastAddressOf(dwAddress, DottedQuadValue(adapter.strIpMask)));
        object[QStringLiteral("qualifies")] = CAdapterChoice::Qualifies(adapter);
        object[QStringLiteral("chosen")] = nChosen == i;
        adapters.append(object);
    }
    QJsonObject object;
    object[QStringLiteral("adapters")] = adapters;
    object[QStringLiteral("chosen")] =
        nChosen ? QJsonValue(CAdapterChoice::InterfaceName(listAdapters[*nChosen]))
                : QJsonValue(QJsonValue::Null);
    return object;
}

QString CCliOutput::AdaptersTable(const std::vector<SNetworkAdapter>& listAdapters,
                                  std::optional<std::size_t> nChosen) {
    QString strText;
    for (std::size_t i = 0; i < listAdapters.size(); ++i) {
        const SNetworkAdapter& adapter = listAdapters[i];
        const std::uint32_t dwAddress = DottedQuadValue(adapter.strIpAddress);
        strText +=
            QStringLiteral("%1 %2 %3 address %4 mask %5 broadcast %6\n")
                .arg(nChosen == i ? QStringLiteral("*") : QStringLiteral(" "),
                     Padded(Escaped(QString::fromStdString(adapter.strDescription)), 24),
                     adapter.nType == ADAPTER_TYPE_ETHERNET ? QStringLiteral("Ethernet")
                                                            : QStringLiteral("other   "),
                     QString::fromStdString(adapter.strIpAddress),
                     QString::fromStdString(adapter.strIpMask),
                     Dotted(BroadcastAddressOf(dwAddress, DottedQuadValue(adapter.strIpMask))));
    }
    if (listAdapters.empty()) {
        strText += QStringLiteral("No network adapter but loopback: broadcasts go to "
                                  "255.255.255.255.\n");
    } else if (nChosen) {
        strText += QStringLiteral("* the adapter in use: %1\n")
                       .arg(Escaped(CAdapterChoice::InterfaceName(listAdapters[*nChosen])));
    } else {
        strText += QStringLiteral("None is used without --adapter: several qualify.\n");
    }
    return strText;
}
