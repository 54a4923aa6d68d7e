// What the exchange tests share: addresses, payload helpers and a recording reply receiver.
#pragma once

#include "link/Messages.h"
#include "protocol/ReplyReceiver.h"

#include <array>
#include <cstdint>
#include <span>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t LOCAL_ADDRESS = 0xC0A8010A;      // 192.168.1.10
constexpr std::uint32_t INSTRUMENT_ADDRESS = 0xC0A80114; // 192.168.1.20
constexpr std::uint32_t BROADCAST_ADDRESS = 0xC0A801FF;  // 192.168.1.255

template <std::size_t N> Bytes ToBytes(const std::array<std::uint8_t, N>& payload) {
    return Bytes(payload.begin(), payload.end());
}

// A payload one byte longer or shorter than the reply's own length.
inline Bytes Lengthened(Bytes payload) {
    payload.push_back(0);
    return payload;
}
inline Bytes Shortened(Bytes payload) {
    payload.pop_back();
    return payload;
}

inline Bytes Frame(std::uint32_t dwDestination, std::uint32_t dwSource,
                   std::span<const std::uint8_t> payload) {
    Bytes datagram(MAX_DATAGRAM_SIZE);
    datagram.resize(FrameDatagram(dwDestination, dwSource, payload, datagram.data()));
    return datagram;
}

// Takes replies while bTaking; keeps the payload of each.
class CRecordingReceiver final : public CReplyReceiver {
public:
    bool IsTakingReplies() const override { return m_bTaking; }
    void TakeReply(const SDatagramView& datagram) override {
        m_listPayloads.emplace_back(datagram.payload.begin(), datagram.payload.end());
    }

    bool m_bTaking = true;
    std::vector<Bytes> m_listPayloads;
};
