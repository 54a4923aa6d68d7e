// Whole datagrams that the socket thread has read but the receive buffer has no room for yet,
// oldest first: a bounded queue of its own, so that a burst leaves the kernel's socket buffer
// whatever the window thread is doing. The slots are made once, when the first is needed.
// One thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

class CStagedDatagrams {
public:
    explicit CStagedDatagrams(std::uint32_t nCapacity);

    // Keeps a copy of a datagram of at most MAX_DATAGRAM_SIZE bytes behind the others; false
    // (nothing kept) when it is longer or all the slots are taken.
    bool Push(std::span<const std::uint8_t> datagram);
    // The oldest datagram; empty when none is held.
    std::span<const std::uint8_t> Front() const;
    void Pop();
    std::uint32_t GetCount() const { return m_nCount; }
    bool IsEmpty() const { return m_nCount == 0; }

private:
    const std::uint32_t m_nCapacity;
    std::unique_ptr<std::uint8_t[]> m_abSlots;    // m_nCapacity slots of MAX_DATAGRAM_SIZE
    std::unique_ptr<std::uint16_t[]> m_anLengths; // the length held in each slot
    std::uint32_t m_nFirst = 0;
    std::uint32_t m_nCount = 0;
};
