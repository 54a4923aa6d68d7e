// What tavikctl prints: its texts, tables and JSON documents, and where each goes (standard
// output unless --quiet; one JSON document instead with --json; errors on standard error).
#pragma once

#include "app/ConfigurationStore.h"
#include "model/InstrumentList.h"
#include "model/MolvarInstrument.h"
#include "platform/NetworkAdapters.h"

#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <vector>

class CCliOutput {
public:
    CCliOutput(bool bJson, bool bQuiet, std::FILE* pOut = stdout, std::FILE* pErr = stderr);

    bool IsJson() const { return m_bJson; }
    // Text for standard output: printed unless --json or --quiet.
    void Text(const QString& strText) const;
    // The document: printed with --json only. Indented, or on one line (one per collection of
    // discover --watch).
    void Json(const QJsonObject& document, bool bOneLine = false) const;
    // One line on standard error, after the program's name.
    void Error(const QString& strMessage) const;

    // "10.77.1.11"
    static QString Dotted(std::uint32_t dwAddress);
    // "host [10.77.1.11]"
    static QString HostAndAddress(const QString& strHost, std::uint32_t dwAddress);

    // {"name", "host", "address", "in_use", "claimed", "owner_host", "owner_address"} as the
    // lists show the instrument: in use and claimed for any nonzero flag, the owner null when
    // the instrument is not claimed.
    static QJsonObject InstrumentObject(const CMolvarInstrument& instrument);
    // The configured instrument where no reply describes it: what the flags and the owner are
    // is not known (null).
    static QJsonObject ConfiguredObject(const SConfiguration& configuration);
    static QJsonObject ListObject(const CInstrumentList& list);
    // The list view's four columns as a table, then the discovery status line.
    static QString ListTable(const CInstrumentList& list);
    // "Lab-7 (tavik-a101 [10.77.1.11]), Unnamed (...)": a list on one line, for an error.
    static QString OneLine(const std::vector<const CMolvarInstrument*>& listInstruments);

    static QJsonObject AdaptersObject(const std::vector<SNetworkAdapter>& listAdapters,
                                      std::optional<std::size_t> nChosen);
    static QString AdaptersTable(const std::vector<SNetworkAdapter>& listAdapters,
                                 std::optional<std::size_t> nChosen);

private:
    bool m_bJson;
    bool m_bQuiet;
    std::FILE* m_pOut;
    std::FILE* m_pErr;
};
