#include "LoopbackClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

CLoopbackClient::CLoopbackClient() {
    m_hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_hSocket < 0) {
        throw std::runtime_error("socket");
    }
    const int nOn = 1;
    ::setsockopt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof nOn);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(LOOPBACK_CLIENT);
    socklen_t nLength = sizeof address;
    if (::bind(m_hSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&address), &nLength) != 0) {
        ::close(m_hSocket);
        throw std::runtime_error("bind");
    }
    m_nPort = ntohs(address.sin_port);
}

CLoopbackClient::~CLoopbackClient() {
    ::close(m_hSocket);
}

void CLoopbackClient::Send(std::uint32_t dwTo, std::uint16_t nPort,
                           std::span<const std::uint8_t> payload,
                           std::optional<std::uint32_t> dwHeaderDestination) {
    std::uint8_t abDatagram[MAX_DATAGRAM_SIZE];
    const std::size_t nLength =
        FrameDatagram(dwHeaderDestination.value_or(dwTo), LOOPBACK_CLIENT, payload, abDatagram);
    SendRaw(dwTo, nPort, std::span(abDatagram, nLength));
}

void CLoopbackClient::SendRaw(std::uint32_t dwTo, std::uint16_t nPort,
                              std::span<const std::uint8_t> datagram) {
    // Loopback only, whatever a test asks for.
    if ((dwTo >> 24) != 127) {
        throw std::logic_error("loopback tests send only to 127.0.0.0/8");
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(nPort);
    address.sin_addr.s_addr = htonl(dwTo);
    if (::sendto(m_hSocket, datagram.data(), datagram.size(), 0,
                 reinterpret_cast<sockaddr*>(&address), sizeof address) < 0) {
        throw std::runtime_error("sendto");
    }
}

std::optional<SReceived> CLoopbackClient::Receive(std::chrono::milliseconds timeout) {
    pollfd fd{m_hSocket, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(timeout.count())) <= 0) {
        return std::nullopt;
    }
    SReceived received;
    received.datagram.resize(2048);
    sockaddr_in from{};
    socklen_t nLength = sizeof from;
    const ssize_t nReceived =
        ::recvfrom(m_hSocket, received.datagram.data(), received.datagram.size(), 0,
                   reinterpret_cast<sockaddr*>(&from), &nLength);
    if (nReceived < 0) {
        return std::nullopt;
    }
    received.datagram.resize(static_cast<std::size_t>(nReceived));
    received.dwFrom = ntohl(from.sin_addr.s_addr);
    received.nFromPort = ntohs(from.sin_port);
    received.when = std::chrono::steady_clock::now();
    return received;
}

std::vector<SReceived> CLoopbackClient::ReceiveUntilQuiet(std::chrono::milliseconds quiet) {
    std::vector<SReceived> listReceived;
    while (auto received = Receive(quiet)) {
        listReceived.push_back(std::move(*received));
    }
    return listReceived;
}
