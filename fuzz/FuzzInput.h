// Reads a fuzz input front to back as the targets' small instruction streams: bytes, 16-bit
// words and runs of bytes. Past the end every read yields zeros or an empty run.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

class CFuzzInput {
public:
    CFuzzInput(const std::uint8_t* pbData, std::size_t nSize) : m_bytes(pbData, nSize) {}

    bool IsEmpty() const { return m_bytes.empty(); }
    std::size_t Remaining() const { return m_bytes.size(); }

    std::uint8_t Byte() {
        if (m_bytes.empty()) {
            return 0;
        }
        const std::uint8_t b = m_bytes.front();
        m_bytes = m_bytes.subspan(1);
        return b;
    }
    // Little-endian, as the protocol's length field.
    std::uint16_t Word() {
        const std::uint8_t nLow = Byte();
        return static_cast<std::uint16_t>(nLow | Byte() << 8);
    }
    // Up to nCount bytes; fewer at the end.
    std::span<const std::uint8_t> Take(std::size_t nCount) {
        const std::size_t nTaken = std::min(nCount, m_bytes.size());
        const auto taken = m_bytes.first(nTaken);
        m_bytes = m_bytes.subspan(nTaken);
        return taken;
    }
    std::span<const std::uint8_t> Rest() { return Take(m_bytes.size()); }

private:
    std::span<const std::uint8_t> m_bytes;
};
