#include "model/InstrumentList.h"

#include "link/LinkLog.h"

CInstrumentList::CInstrumentList(std::uint32_t nMaxInstruments)
    : m_nMaxInstruments(nMaxInstruments) {}

void CInstrumentList::Clear() {
    m_listInstruments.clear();
    m_mapPlaces.clear();
}

std::uint32_t CInstrumentList::GetCount() const {
    return static_cast<std::uint32_t>(m_listInstruments.size());
}

void CInstrumentList::MergeDiscovered(const CMolvarInstrument& instrument) {
    // The same outcome as appending the record, dropping the one at its address and sorting
    // the list again: the list is sorted and holds each address once.
    const auto itPlace = m_mapPlaces.lower_bound(instrument.m_dwIPAddress);
    if (itPlace != m_mapPlaces.end() && itPlace->first == instrument.m_dwIPAddress) {
        if (CMolvarInstrument::IsEqual(*itPlace->second, instrument)) {
            return; // nothing new
        }
        // The new copy goes in before the old record leaves, so a failed allocation loses
        // nothing.
        const auto itNew = m_listInstruments.insert(itPlace->second, instrument);
        m_listInstruments.erase(itPlace->second);
        itPlace->second = itNew;
        return;
    }
    if (m_mapPlaces.size() >= m_nMaxInstruments) {
        if (m_nDropped++ == 0) {
            LinkLog(LINK_LOG_WARNING,
                    "More than %u instruments answered: replies from further addresses are "
                    "dropped",
                    static_cast<unsigned>(m_nMaxInstruments));
        }
        return;
    }
    const auto itNext = itPlace == m_mapPlaces.end() ? m_listInstruments.end() : itPlace->second;
    const auto itNew = m_listInstruments.insert(itNext, instrument);
    try {
        m_mapPlaces.emplace_hint(itPlace, instrument.m_dwIPAddress, itNew);
    } catch (...) {
        m_listInstruments.erase(itNew);
        throw;
    }
}

void CInstrumentList::CopyFrom(const CInstrumentList& other) {
    // The copies are made aside first, so that copying a list onto itself keeps its records;
    // a failure part-way leaves this list empty and propagates.
    std::list<CMolvarInstrument> listCopy;
    std::map<std::uint32_t, std::list<CMolvarInstrument>::iterator> mapPlaces;
    try {
        for (const CMolvarInstrument& instrument : other.m_listInstruments) {
            const auto itNew = listCopy.insert(listCopy.end(), instrument);
            mapPlaces.emplace_hint(mapPlaces.end(), instrument.m_dwIPAddress, itNew);
        }
    } catch (...) {
        Clear();
        throw;
    }
    m_listInstruments.swap(listCopy);
    m_mapPlaces.swap(mapPlaces);
}

const CMolvarInstrument* CInstrumentList::GetAt(std::uint32_t nPosition) const {
    auto it = m_listInstruments.begin();
    for (std::uint32_t i = 0; i < nPosition; ++i) {
        if (it == m_listInstruments.end()) {
            return nullptr;
        }
        ++it;
    }
    return it == m_listInstruments.end() ? nullptr : &*it;
}
