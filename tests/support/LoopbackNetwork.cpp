#include "tests/support/LoopbackNetwork.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool IsLoopback(std::uint32_t dwAddress) {
    return (dwAddress >> 24) == 127;
}

sockaddr_in SocketAddress(std::uint32_t dwAddress, std::uint16_t nPort) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(dwAddress);
    address.sin_port = htons(nPort);
    return address;
}

} // namespace

std::vector<SNetworkAdapter> LoopbackAdapterList() {
    return {{ADAPTER_TYPE_ETHERNET, "lo-test (test)", "127.0.0.1", "255.0.0.0"}};
}

std::uint16_t FreeUDPPort() {
    const int hSocket = socket(AF_INET, SOCK_DGRAM, 0);
    if (hSocket < 0) {
        return 0;
    }
    sockaddr_in address = SocketAddress(INADDR_ANY, 0);
    socklen_t nLength = sizeof(address);
    std::uint16_t nPort = 0;
    if (bind(hSocket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(hSocket, reinterpret_cast<sockaddr*>(&address), &nLength) == 0) {
        nPort = ntohs(address.sin_port);
    }
    close(hSocket);
    return nPort;
}

bool SendDatagramFrom(std::uint32_t dwFromAddress, std::uint16_t nToPort,
                      std::span<const std::uint8_t> datagram, std::uint32_t dwToAddress) {
    if (!IsLoopback(dwFromAddress) || !IsLoopback(dwToAddress) || nToPort == 0) {
        return false;
    }
    const int hSocket = socket(AF_INET, SOCK_DGRAM, 0);
    if (hSocket < 0) {
        return false;
    }
    const sockaddr_in from = SocketAddress(dwFromAddress, 0);
    const sockaddr_in to = SocketAddress(dwToAddress, nToPort);
    int nBroadcast = 1; // 127.255.255.255 is a broadcast address
    const bool bSent =
        setsockopt(hSocket, SOL_SOCKET, SO_BROADCAST, &nBroadcast, sizeof(nBroadcast)) == 0 &&
        bind(hSocket, reinterpret_cast<const sockaddr*>(&from), sizeof(from)) == 0 &&
        sendto(hSocket, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof(to)) == static_cast<ssize_t>(datagram.size());
    close(hSocket);
    return bSent;
}
