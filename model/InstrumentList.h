// The instruments of one discovery cycle, one per address, ascending by address.
#pragma once

#include "model/MolvarInstrument.h"

#include <cstdint>
#include <list>
#include <map>

class CInstrumentList {
public:
    using const_iterator = std::list<CMolvarInstrument>::const_iterator;

    // The most instruments a list holds: the windows read counts and rows as 16-bit numbers, and
    // a flood of replies from ever-new addresses must not fill the memory.
    static constexpr std::uint32_t MAX_INSTRUMENTS = 65535;

    // At most nMaxInstruments records come in by merging (tests choose fewer).
    explicit CInstrumentList(std::uint32_t nMaxInstruments = MAX_INSTRUMENTS);

    void Clear();
    std::uint32_t GetCount() const;
    // An identical record leaves the list as it is; one with the same address is replaced in
    // its place; any other goes in where its address belongs, so the list stays sorted by
    // address. Found through an index by address, not a scan: a segment may hold thousands.
    // A full list drops a record from a new address (counted, and said once on the log).
    void MergeDiscovered(const CMolvarInstrument& instrument);
    // Records from new addresses dropped because the list was full, since it was made.
    std::uint64_t GetDroppedCount() const { return m_nDropped; }
    // Copies of the other list's records, in its order, however many; on failure part-way the
    // list is empty and the failure propagates.
    void CopyFrom(const CInstrumentList& other);
    // The record at a 0-based position, or nullptr past the end.
    const CMolvarInstrument* GetAt(std::uint32_t nPosition) const;
    // The record of this address, or nullptr; through the index, not a scan.
    const CMolvarInstrument* Find(std::uint32_t dwAddress) const;

    const_iterator begin() const { return m_listInstruments.begin(); }
    const_iterator end() const { return m_listInstruments.end(); }

private:
    using Places = std::map<std::uint32_t, std::list<CMolvarInstrument>::iterator>;

    std::list<CMolvarInstrument> m_listInstruments;
    // Where each address stands in m_listInstruments.
    Places m_mapPlaces;
    std::uint32_t m_nMaxInstruments;
    std::uint64_t m_nDropped = 0;
};
