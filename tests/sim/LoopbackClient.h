// A plain UDP client on 127.0.0.1 for talking to the simulator over loopback.
#pragma once

#include "link/Messages.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

constexpr std::uint32_t LOOPBACK_CLIENT = 0x7F000001;    // 127.0.0.1
constexpr std::uint32_t LOOPBACK_BROADCAST = 0x7FFFFFFF; // 127.255.255.255

struct SReceived {
    std::uint32_t dwFrom = 0;
    std::uint16_t nFromPort = 0;
    std::vector<std::uint8_t> datagram;
    std::chrono::steady_clock::time_point when;

    DatagramHeader Header() const { return ReadDatagramHeader(datagram.data()); }
    std::span<const std::uint8_t> Payload() const {
        return std::span(datagram).subspan(DATAGRAM_HEADER_SIZE);
    }
};

class CLoopbackClient {
public:
    CLoopbackClient(); // binds 127.0.0.1 on an ephemeral port, broadcast allowed
    ~CLoopbackClient();
    CLoopbackClient(const CLoopbackClient&) = delete;
    CLoopbackClient& operator=(const CLoopbackClient&) = delete;

    std::uint16_t Port() const { return m_nPort; }

    // Frames the payload with header destination dwHeaderDestination and source 127.0.0.1 and
    // sends it to dwTo:nPort.
    void Send(std::uint32_t dwTo, std::uint16_t nPort, std::span<const std::uint8_t> payload,
              std::optional<std::uint32_t> dwHeaderDestination = std::nullopt);
    void SendRaw(std::uint32_t dwTo, std::uint16_t nPort, std::span<const std::uint8_t> datagram);

    // The next datagram, or nothing when none comes within the time.
    std::optional<SReceived> Receive(std::chrono::milliseconds timeout);
    // Datagrams until none has come for the quiet time.
    std::vector<SReceived> ReceiveUntilQuiet(std::chrono::milliseconds quiet);

private:
    int m_hSocket = -1;
    std::uint16_t m_nPort = 0;
};
