#include "link/StagedDatagrams.h"

#include "link/Messages.h"

#include <cstring>

CStagedDatagrams::CStagedDatagrams(std::uint32_t nCapacity) : m_nCapacity(nCapacity) {}

bool CStagedDatagrams::Push(std::span<const std::uint8_t> datagram) {
    if (datagram.size() > MAX_DATAGRAM_SIZE || m_nCount == m_nCapacity) {
        return false;
    }
    if (!m_abSlots) {
        // Left uninitialised: the pages of slots never used are never touched.
        m_abSlots = std::make_unique_for_overwrite<std::uint8_t[]>(
            static_cast<std::size_t>(m_nCapacity) * MAX_DATAGRAM_SIZE);
        m_anLengths = std::make_unique_for_overwrite<std::uint16_t[]>(m_nCapacity);
    }
    const std::uint32_t nSlot = (m_nFirst + m_nCount) % m_nCapacity;
    std::memcpy(m_abSlots.get() + static_cast<std::size_t>(nSlot) * MAX_DATAGRAM_SIZE,
                datagram.data(), datagram.size());
    m_anLengths[nSlot] = static_cast<std::uint16_t>(datagram.size());
    ++m_nCount;
    return true;
}

std::span<const std::uint8_t> CStagedDatagrams::Front() const {
    if (m_nCount == 0) {
        return {};
    }
    return {m_abSlots.get() + static_cast<std::size_t>(m_nFirst) * MAX_DATAGRAM_SIZE,
            m_anLengths[m_nFirst]};
}

void CStagedDatagrams::Pop() {
    if (m_nCount > 0) {
        m_nFirst = (m_nFirst + 1) % m_nCapacity;
        --m_nCount;
    }
}
