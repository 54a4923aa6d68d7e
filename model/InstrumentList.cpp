#include "model/InstrumentList.h"

void CInstrumentList::Clear() {
    m_listInstruments.clear();
}

std::uint32_t CInstrumentList::GetCount() const {
    return static_cast<std::uint32_t>(m_listInstruments.size());
}

void CInstrumentList::MergeDiscovered(const CMolvarInstrument& instrument) {
    auto itReplaced = m_listInstruments.end();
    for (auto it = m_listInstruments.begin(); it != m_listInstruments.end(); ++it) {
        if (CMolvarInstrument::IsEqual(*it, instrument)) {
            return; // nothing new: neither changed nor re-sorted
        }
        if (it->m_dwIPAddress == instrument.m_dwIPAddress) {
            itReplaced = it;
            break;
        }
    }
    // The new copy goes in before the old record leaves, so a failed allocation loses nothing.
    m_listInstruments.push_back(instrument);
    if (itReplaced != m_listInstruments.end()) {
        m_listInstruments.erase(itReplaced);
    }
    if (m_listInstruments.size() >= 2) {
        m_listInstruments.sort(); // stable merge sort that relinks nodes
    }
}

void CInstrumentList::CopyFrom(const CInstrumentList& other) {
    // The copies are made aside first, so that copying a list onto itself keeps its records;
    // a failure part-way leaves this list empty and propagates.
    std::list<CMolvarInstrument> listCopy;
    try {
        listCopy.assign(other.m_listInstruments.begin(), other.m_listInstruments.end());
    } catch (...) {
        m_listInstruments.clear();
        throw;
    }
    m_listInstruments.swap(listCopy);
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
