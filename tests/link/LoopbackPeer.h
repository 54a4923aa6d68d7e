// A raw UDP socket on loopback that plays the instruments' side in the link tests: it sends
// hand-made datagrams to the link and catches what the link sends. Its destinations are always
// in 127.0.0.0/8.
#pragma once

#include "platform/UDPSocket.h"

#include <cstdint>
#include <optional>
#include <vector>

constexpr std::uint32_t LOOPBACK_ADDRESS = 0x7F000001;   // 127.0.0.1
constexpr std::uint32_t LOOPBACK_BROADCAST = 0x7FFFFFFF; // 127.255.255.255

using Bytes = std::vector<std::uint8_t>;

// A port that no socket held a moment ago.
std::uint16_t FreeUDPPort();

// Header and payload as the instruments would frame them.
Bytes MakeDatagram(std::uint32_t dwDestination, std::uint32_t dwSource, const Bytes& payload);
// A payload of nLength bytes starting with nCode, the rest counting up from nFill.
Bytes MakePayload(std::uint8_t nCode, std::size_t nLength, std::uint8_t nFill = 0);

class CLoopbackPeer {
public:
    CLoopbackPeer(); // bound to any local address, a port the kernel chooses
    std::uint16_t Port() const { return m_nPort; }
    // To 127.0.0.1 at nPort unless another loopback address is given.
    bool SendTo(std::uint16_t nPort, const Bytes& datagram,
                std::uint32_t dwAddress = LOOPBACK_ADDRESS);
    // The next datagram that comes within dwTimeoutMs.
    std::optional<Bytes> ReceiveWithin(std::uint32_t dwTimeoutMs);

private:
    CUDPSocket m_socket;
    std::uint16_t m_nPort = 0;
};
