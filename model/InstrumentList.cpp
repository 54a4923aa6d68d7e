#include "model/InstrumentList.h"

#include "link/LinkLog.h"

#include <vector>

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
    if (&other == this) {
        return;
    }
    // The records and index entries held are written over in place and only the difference is
    // allocated or freed, so that a collection end that shows as many instruments as the last
    // one touches no new memory. A failure part-way leaves this list empty and propagates.
    try {
        std::vector<Places::node_type> listEntries;
        listEntries.reserve(m_mapPlaces.size());
        while (!m_mapPlaces.empty()) {
            listEntries.push_back(m_mapPlaces.extract(m_mapPlaces.begin()));
        }
        auto itRecord = m_listInstruments.begin();
        for (const CMolvarInstrument& instrument : other.m_listInstruments) {
            if (itRecord == m_listInstruments.end()) {
                itRecord = m_listInstruments.insert(itRecord, instrument);
            } else {
                *itRecord = instrument;
            }
            if (listEntries.empty()) {
                m_mapPlaces.emplace_hint(m_mapPlaces.end(), instrument.m_dwIPAddress, itRecord);
            } else {
                Places::node_type entry = std::move(listEntries.back());
                listEntries.pop_back();
                entry.key() = instrument.m_dwIPAddress;
                entry.mapped() = itRecord;
                m_mapPlaces.insert(m_mapPlaces.end(), std::move(entry));
            }
            ++itRecord;
        }
        m_listInstruments.erase(itRecord, m_listInstruments.end());
    } catch (...) {
        Clear();
        throw;
    }
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

const CMolvarInstrument* CInstrumentList::Find(std::uint32_t dwAddress) const {
    const auto itPlace = m_mapPlaces.find(dwAddress);
    return itPlace == m_mapPlaces.end() ? nullptr : &*itPlace->second;
}
