#include "cli/InstrumentMatch.h"

#include "cli/CommandLineOptions.h"

CInstrumentMatch::CInstrumentMatch(const QString& strInstrument) : m_strInstrument(strInstrument) {
    std::uint32_t dwAddress = 0;
    if (ParseStrictAddress(strInstrument, &dwAddress)) {
        m_dwAddress = dwAddress;
    }
}

bool CInstrumentMatch::Matches(const CMolvarInstrument& instrument) const {
    if (m_dwAddress) {
        return instrument.m_dwIPAddress == *m_dwAddress;
    }
    return QString::fromStdU16String(instrument.NameText()) == m_strInstrument ||
           QString::fromStdU16String(instrument.HostNameText())
                   .compare(m_strInstrument, Qt::CaseInsensitive) == 0;
}

std::vector<const CMolvarInstrument*> CInstrumentMatch::Find(const CInstrumentList& list) const {
    std::vector<const CMolvarInstrument*> listFound;
    for (const CMolvarInstrument& instrument : list) {
        if (Matches(instrument)) {
            listFound.push_back(&instrument);
        }
    }
    return listFound;
}
