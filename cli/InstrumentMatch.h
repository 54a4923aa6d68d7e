// Which discovered instruments an INSTRUMENT argument names: an address names the instrument
// at that address; any other text the instruments of that host name (in any letter case) or of
// that instrument name (exactly).
#pragma once

#include "model/InstrumentList.h"
#include "model/MolvarInstrument.h"

#include <QString>
#include <optional>
#include <vector>

class CInstrumentMatch {
public:
    explicit CInstrumentMatch(const QString& strInstrument);

    // The address the argument is, if it is one: it can be asked directly.
    std::optional<std::uint32_t> Address() const { return m_dwAddress; }
    bool Matches(const CMolvarInstrument& instrument) const;
    std::vector<const CMolvarInstrument*> Find(const CInstrumentList& list) const;

private:
    QString m_strInstrument;
    std::optional<std::uint32_t> m_dwAddress;
};
