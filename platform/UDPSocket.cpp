#include "platform/UDPSocket.h"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

sockaddr_in MakeAddress(std::uint32_t dwAddress, std::uint16_t nPort) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(dwAddress);
    address.sin_port = htons(nPort);
    return address;
}

} // namespace

CUDPSocket::~CUDPSocket() {
    Close();
}

bool CUDPSocket::Fail() {
    m_nLastError = errno;
    return false;
}

bool CUDPSocket::Open() {
    Close();
    m_hSocket = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    return m_hSocket >= 0 || Fail();
}

void CUDPSocket::Close() {
    if (m_hSocket >= 0) {
        close(m_hSocket);
        m_hSocket = -1;
    }
}

bool CUDPSocket::SetNonBlocking() {
    const int nFlags = fcntl(m_hSocket, F_GETFL);
    if (nFlags < 0) {
        return Fail();
    }
    return fcntl(m_hSocket, F_SETFL, nFlags | O_NONBLOCK) == 0 || Fail();
}

bool CUDPSocket::AllowBroadcast() {
    const int nOn = 1;
    return setsockopt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof(nOn)) == 0 || Fail();
}

bool CUDPSocket::RequestReceiveBuffer(int nBytes) {
    // SO_RCVBUFFORCE needs CAP_NET_ADMIN; without it SO_RCVBUF is capped at rmem_max.
    if (setsockopt(m_hSocket, SOL_SOCKET, SO_RCVBUFFORCE, &nBytes, sizeof(nBytes)) == 0) {
        return true;
    }
    return setsockopt(m_hSocket, SOL_SOCKET, SO_RCVBUF, &nBytes, sizeof(nBytes)) == 0 || Fail();
}

int CUDPSocket::GetReceiveBufferSize() const {
    int nBytes = 0;
    socklen_t nLength = sizeof(nBytes);
    if (getsockopt(m_hSocket, SOL_SOCKET, SO_RCVBUF, &nBytes, &nLength) != 0) {
        return 0;
    }
    return nBytes;
}

bool CUDPSocket::Bind(std::uint16_t nPort, std::uint32_t dwAddress) {
    const sockaddr_in address = MakeAddress(dwAddress, nPort);
    return bind(m_hSocket, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0 ||
           Fail();
}

std::uint16_t CUDPSocket::GetLocalPort() const {
    sockaddr_in address{};
    socklen_t nLength = sizeof(address);
    if (getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&address), &nLength) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool CUDPSocket::SendTo(std::uint32_t dwAddress, std::uint16_t nPort, const std::uint8_t* pbBytes,
                        std::size_t nCount) {
    const sockaddr_in address = MakeAddress(dwAddress, nPort);
    const ssize_t nSent = sendto(m_hSocket, pbBytes, nCount, MSG_NOSIGNAL,
                                 reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    if (nSent < 0) {
        return Fail();
    }
    if (static_cast<std::size_t>(nSent) != nCount) {
        m_nLastError = EMSGSIZE;
        return false;
    }
    return true;
}

CUDPSocket::EReceiveResult CUDPSocket::Receive(std::uint8_t* pbBuffer, std::size_t nRoom,
                                               std::size_t* pnLength,
                                               std::uint32_t* pdwSenderAddress,
                                               std::uint16_t* pnSenderPort) {
    *pnLength = 0;
    sockaddr_in sender{};
    iovec vector{pbBuffer, nRoom};
    msghdr message{};
    message.msg_name = &sender;
    message.msg_namelen = sizeof(sender);
    message.msg_iov = &vector;
    message.msg_iovlen = 1;
    // MSG_TRUNC makes the call answer the datagram's real length even when it did not fit.
    const ssize_t nReceived = recvmsg(m_hSocket, &message, MSG_TRUNC);
    if (nReceived < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return RECEIVE_NO_DATA;
        }
        m_nLastError = errno;
        return RECEIVE_ERROR;
    }
    if (static_cast<std::size_t>(nReceived) > nRoom || (message.msg_flags & MSG_TRUNC) != 0) {
        m_nLastError = EMSGSIZE;
        return RECEIVE_TOO_LONG;
    }
    *pnLength = static_cast<std::size_t>(nReceived);
    if (pdwSenderAddress != nullptr) {
        *pdwSenderAddress = ntohl(sender.sin_addr.s_addr);
    }
    if (pnSenderPort != nullptr) {
        *pnSenderPort = ntohs(sender.sin_port);
    }
    return RECEIVE_DATAGRAM;
}

int CUDPSocket::ReceiveMany(std::uint8_t* pbBuffers, std::size_t nRoom, std::size_t nCount,
                            std::size_t* pnLengths) {
    constexpr std::size_t MAX_AT_ONCE = 64;
    std::array<iovec, MAX_AT_ONCE> aVectors{};
    std::array<mmsghdr, MAX_AT_ONCE> aMessages{};
    nCount = std::min(nCount, MAX_AT_ONCE);
    for (std::size_t i = 0; i < nCount; ++i) {
        aVectors[i] = {pbBuffers + i * nRoom, nRoom};
        aMessages[i].msg_hdr.msg_iov = &aVectors[i];
        aMessages[i].msg_hdr.msg_iovlen = 1;
    }
    // MSG_TRUNC makes each length the datagram's real one, also when it did not fit.
    const int nReceived =
        recvmmsg(m_hSocket, aMessages.data(), static_cast<unsigned>(nCount), MSG_TRUNC, nullptr);
    if (nReceived < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return 0;
        }
        m_nLastError = errno;
        return -1;
    }
    for (int i = 0; i < nReceived; ++i) {
        const bool bTruncated = (aMessages[i].msg_hdr.msg_flags & MSG_TRUNC) != 0;
        pnLengths[i] = bTruncated ? std::max<std::size_t>(aMessages[i].msg_len, nRoom + 1)
                                  : aMessages[i].msg_len;
    }
    return nReceived;
}

bool CUDPSocket::WaitReadable(std::uint32_t dwTimeoutMs) {
    pollfd descriptor{m_hSocket, POLLIN, 0};
    const int nTimeout = dwTimeoutMs > INT_MAX ? INT_MAX : static_cast<int>(dwTimeoutMs);
    const int nReady = poll(&descriptor, 1, nTimeout);
    if (nReady < 0) {
        return Fail();
    }
    return nReady > 0 && (descriptor.revents & POLLIN) != 0;
}

CUDPSocket::EWaitResult CUDPSocket::WaitReadableOrWoken(int hWake, bool bForData,
                                                        std::uint32_t dwTimeoutMs) {
    pollfd aDescriptors[2] = {{hWake, POLLIN, 0}, {m_hSocket, POLLIN, 0}};
    const int nTimeout = dwTimeoutMs > INT_MAX ? INT_MAX : static_cast<int>(dwTimeoutMs);
    const int nReady = poll(aDescriptors, bForData ? 2 : 1, nTimeout);
    if (nReady < 0) {
        m_nLastError = errno;
        return WAIT_FAILED;
    }
    if (nReady == 0) {
        return WAIT_TIMEOUT;
    }
    if (aDescriptors[0].revents != 0) {
        return WAIT_WOKEN;
    }
    return WAIT_READABLE;
}
