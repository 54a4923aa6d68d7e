#include "LoopbackPeer.h"

#include "link/Messages.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>

std::uint16_t FreeUDPPort() {
    CUDPSocket probe;
    if (!probe.Open() || !probe.Bind(0)) {
        ADD_FAILURE() << "no free UDP port: errno " << probe.GetLastError();
        return 0;
    }
    return probe.GetLocalPort();
}

Bytes MakeDatagram(std::uint32_t dwDestination, std::uint32_t dwSource, const Bytes& payload) {
    Bytes datagram(DATAGRAM_HEADER_SIZE + payload.size());
    DatagramHeader header;
    header.dwDestination = dwDestination;
    header.dwSource = dwSource;
    header.wPayloadLength = static_cast<std::uint16_t>(payload.size());
    WriteDatagramHeader(datagram.data(), header);
    std::copy(payload.begin(), payload.end(), datagram.begin() + DATAGRAM_HEADER_SIZE);
    return datagram;
}

Bytes MakePayload(std::uint8_t nCode, std::size_t nLength, std::uint8_t nFill) {
    Bytes payload(nLength);
    for (std::size_t i = 0; i < nLength; ++i) {
        payload[i] = static_cast<std::uint8_t>(nFill + i);
    }
    if (nLength > 0) {
        payload[0] = nCode;
    }
    return payload;
}

CLoopbackPeer::CLoopbackPeer() {
    // Bound to any address so that it also hears what the link sends to 127.255.255.255.
    if (!m_socket.Open() || !m_socket.SetNonBlocking() || !m_socket.Bind(0)) {
        ADD_FAILURE() << "peer socket: errno " << m_socket.GetLastError();
        return;
    }
    m_nPort = m_socket.GetLocalPort();
}

bool CLoopbackPeer::SendTo(std::uint16_t nPort, const Bytes& datagram, std::uint32_t dwAddress) {
    if ((dwAddress >> 24) != 127) {
        ADD_FAILURE() << "the peer sends on loopback only";
        return false;
    }
    return m_socket.SendTo(dwAddress, nPort, datagram.data(), datagram.size());
}

std::optional<Bytes> CLoopbackPeer::ReceiveWithin(std::uint32_t dwTimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwTimeoutMs);
    Bytes buffer(65536);
    for (;;) {
        std::size_t nLength = 0;
        if (m_socket.Receive(buffer.data(), buffer.size(), &nLength) ==
            CUDPSocket::RECEIVE_DATAGRAM) {
            buffer.resize(nLength);
            return buffer;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return std::nullopt;
        }
        m_socket.WaitReadable(static_cast<std::uint32_t>(left.count()));
    }
}
