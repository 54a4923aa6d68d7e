// What tavikctl prints: its texts, tables and JSON documents, and where each goes (standard
// output unless --quiet; one JSON document instead with --json; errors on standard error).
//
// Text that other hosts wrote (instrument, host and owner names) is data, never terminal control:
// in text output every control character is shown escaped, C style, so that a name can neither
// drive the terminal nor forge a table row. JSON keeps such text as it is (JSON's own escapes).
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
    // The format of every JSON document, which each carries as "version": a field may be added
    // within a version; one changes or goes only with the next.
    static constexpr int JSON_VERSION = 1;

    CCliOutput(bool bJson, bool bQuiet, std::FILE* pOut = stdout, std::FILE* pErr = stderr);

    bool IsJson() const { return m_bJson; }
    // Text for standard output: printed unless --json or --quiet.
    void Text(const QString& strText) const;
    // The document, with its "version": printed with --json only. Indented, or on one line
    // (one per collection of discover --watch).
    void Json(const QJsonObject& document, bool bOneLine = false) const;
    // One line on standard error, after the program's name.
    void Error(const QString& strMessage) const;
    // Text and Error also show every control character but the line feeds that end lines (Error:
    // line feeds become spaces) as Escaped does, whatever text reaches them; Escaped is still
    // needed where a foreign text enters a line, for its line feeds and backslashes.

    // A foreign text as it may stand in text output: a backslash as \\; BEL, BS, TAB, LF, VT,
    // FF, CR as \a \b \t \n \v \f \r; any other of U+0000-U+001F, U+007F and U+0080-U+009F as
    // \x and exactly two lowercase hex digits of its code point (ESC as \x1b, CSI as \x9b);
    // everything else as it is. Unambiguous, since every backslash shown begins an escape; read
    // back as a Python string literal reads it.
    static QString Escaped(const QString& strText);

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
