#include "sim/InstrumentSimulator.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr std::size_t RECEIVE_ROOM = 2048;
// How long the socket thread sleeps at most when no answer is due, so a stop is never missed.
constexpr std::chrono::milliseconds IDLE_POLL{200};
// Datagrams handed to the kernel in one sendmmsg call, at most (its own limit).
constexpr std::size_t BURST_BATCH = 1024;

// A 20-byte datagram whose header announces 100 payload bytes.
std::vector<std::uint8_t> MalformedDatagram(std::uint32_t dwDestination, std::uint32_t dwSource) {
    std::vector<std::uint8_t> datagram(20, 0);
    WriteDatagramHeader(datagram.data(), DatagramHeader{dwDestination, dwSource, 100});
    return datagram;
}

// Room for the one control message either way: the address a datagram came to or goes from.
constexpr std::size_t CONTROL_ROOM = CMSG_SPACE(sizeof(in_pktinfo));

// A message of one buffer, its peer's address and room for the control message.
msghdr PacketInfoMessage(sockaddr_in& address, iovec& iov, char (&abControl)[CONTROL_ROOM]) {
    msghdr message{};
    message.msg_name = &address;
    message.msg_namelen = sizeof address;
    message.msg_iov = &iov;
    message.msg_iovlen = 1;
    message.msg_control = abControl;
    message.msg_controllen = sizeof abControl;
    return message;
}

// One answer as sendmsg takes it: to the requester at the client port, from the instrument's
// own address.
struct SWireMessage {
    SWireMessage(const SSimulatorOutgoing& outgoing, std::uint16_t nClientPort)
        : iov{const_cast<std::uint8_t*>(outgoing.datagram.data()), outgoing.datagram.size()},
          message(PacketInfoMessage(destination, iov, abControl)) {
        destination.sin_family = AF_INET;
        destination.sin_port = htons(nClientPort);
        destination.sin_addr.s_addr = htonl(outgoing.dwTo);
        cmsghdr* pHeader = CMSG_FIRSTHDR(&message);
        pHeader->cmsg_level = IPPROTO_IP;
        pHeader->cmsg_type = IP_PKTINFO;
        pHeader->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_spec_dst.s_addr = htonl(outgoing.dwFrom);
        std::memcpy(CMSG_DATA(pHeader), &info, sizeof info);
    }
    // The message points into the object itself.
    SWireMessage(const SWireMessage&) = delete;
    SWireMessage& operator=(const SWireMessage&) = delete;

    sockaddr_in destination{};
    iovec iov;
    alignas(cmsghdr) char abControl[CONTROL_ROOM] = {};
    msghdr message;
};

} // namespace

CInstrumentSimulator::CInstrumentSimulator(std::vector<SSimulatedInstrument> instruments,
                                           SSimulatorOptions options)
    : CSimulatedInstruments(std::move(instruments), options), m_nPort(options.nPort),
      m_nClientPort(options.nClientPort), m_dwBindAddress(options.dwBindAddress),
      m_bBurst(options.bBurst) {}

CInstrumentSimulator::~CInstrumentSimulator() {
    Stop();
}

bool CInstrumentSimulator::Start() {
    if (m_hSocket >= 0) {
        errno = EALREADY;
        return false;
    }
    auto fail = [this]() {
        const int nError = errno;
        CloseDescriptors();
        errno = nError;
        return false;
    };

    m_hSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (m_hSocket < 0) {
        return fail();
    }
    const int nOn = 1;
    if (::setsockopt(m_hSocket, SOL_SOCKET, SO_REUSEADDR, &nOn, sizeof nOn) != 0 ||
        ::setsockopt(m_hSocket, SOL_SOCKET, SO_BROADCAST, &nOn, sizeof nOn) != 0 ||
        ::setsockopt(m_hSocket, IPPROTO_IP, IP_PKTINFO, &nOn, sizeof nOn) != 0) {
        return fail();
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_nPort);
    address.sin_addr.s_addr = htonl(m_dwBindAddress);
    if (::bind(m_hSocket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        return fail();
    }
    socklen_t nAddressLength = sizeof address;
    if (::getsockname(m_hSocket, reinterpret_cast<sockaddr*>(&address), &nAddressLength) != 0) {
        return fail();
    }
    m_nBoundPort = ntohs(address.sin_port);
    if (::pipe2(m_ahWakePipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        return fail();
    }
    m_bStop = false;
    try {
        m_hThread = std::thread([this] { Run(); });
    } catch (const std::system_error& error) {
        errno = error.code().value();
        return fail();
    }
    return true;
}

void CInstrumentSimulator::Stop() {
    if (m_hThread.joinable()) {
        m_bStop = true;
        const char c = 0;
        [[maybe_unused]] const auto nWritten = ::write(m_ahWakePipe[1], &c, 1);
        m_hThread.join();
    }
    CloseDescriptors();
    m_mapDue.clear();
}

void CInstrumentSimulator::CloseDescriptors() {
    for (int* pDescriptor : {&m_hSocket, &m_ahWakePipe[0], &m_ahWakePipe[1]}) {
        if (*pDescriptor >= 0) {
            ::close(*pDescriptor);
            *pDescriptor = -1;
        }
    }
}

std::uint16_t CInstrumentSimulator::Port() const {
    return m_nBoundPort;
}

// ---- Socket thread --------------------------------------------------------------------------

std::string CInstrumentSimulator::OutLine(const SSimulatorOutgoing& outgoing) const {
    return outgoing.strWhat + " from " + DottedAddress(outgoing.dwFrom) + " to " +
           DottedAddress(outgoing.dwTo) + ":" + std::to_string(m_nClientPort) + " length " +
           std::to_string(outgoing.datagram.size());
}

void CInstrumentSimulator::Run() {
    while (!m_bStop) {
        auto wait = IDLE_POLL;
        if (!m_mapDue.empty()) {
            const auto untilDue = std::chrono::ceil<std::chrono::milliseconds>(
                m_mapDue.begin()->first - std::chrono::steady_clock::now());
            wait = std::clamp(untilDue, std::chrono::milliseconds(0), IDLE_POLL);
        }
        pollfd afd[2] = {{m_hSocket, POLLIN, 0}, {m_ahWakePipe[0], POLLIN, 0}};
        const int nReady = ::poll(afd, 2, static_cast<int>(wait.count()));
        if (m_bStop) {
            break;
        }
        if (nReady > 0 && (afd[0].revents & POLLIN) != 0) {
            ReceiveAll();
        }
        SendDue();
    }
}

void CInstrumentSimulator::ReceiveAll() {
    for (;;) {
        std::uint8_t abBuffer[RECEIVE_ROOM];
        sockaddr_in sender{};
        iovec iov{abBuffer, sizeof abBuffer};
        alignas(cmsghdr) char abControl[CONTROL_ROOM];
        msghdr message = PacketInfoMessage(sender, iov, abControl);
        const ssize_t nReceived = ::recvmsg(m_hSocket, &message, MSG_DONTWAIT | MSG_TRUNC);
        if (nReceived < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                Log(std::string("error receiving: ") + std::strerror(errno));
            }
            return;
        }
        std::optional<std::uint32_t> dwReceivedOn;
        for (cmsghdr* pHeader = CMSG_FIRSTHDR(&message); pHeader != nullptr;
             pHeader = CMSG_NXTHDR(&message, pHeader)) {
            if (pHeader->cmsg_level == IPPROTO_IP && pHeader->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(pHeader), sizeof info);
                dwReceivedOn = ntohl(info.ipi_addr.s_addr);
            }
        }
        const bool bTruncated = static_cast<std::size_t>(nReceived) > sizeof abBuffer;
        Schedule(Decide(
            std::span(abBuffer, std::min(static_cast<std::size_t>(nReceived), sizeof abBuffer)),
            bTruncated, ntohl(sender.sin_addr.s_addr), ntohs(sender.sin_port), dwReceivedOn));
    }
}

void CInstrumentSimulator::Schedule(SSimulatorDecision decision) {
    const auto due = std::chrono::steady_clock::now() + decision.delay;
    for (SSimulatorOutgoing& answer : decision.listAnswers) {
        if (decision.bMalformed) {
            SSimulatorOutgoing malformed = answer;
            malformed.datagram = MalformedDatagram(
                ReadDatagramHeader(answer.datagram.data()).dwDestination, answer.dwFrom);
            malformed.strWhat = "malformed";
            m_mapDue.emplace(due, std::move(malformed));
        }
        if (decision.bAnswerTwice) {
            m_mapDue.emplace(due, answer);
        }
        m_mapDue.emplace(due, std::move(answer));
    }
    if (decision.delay.count() <= 0) {
        SendDue();
    }
}

void CInstrumentSimulator::SendDue() {
    const auto now = std::chrono::steady_clock::now();
    std::vector<SSimulatorOutgoing> listDue;
    while (!m_mapDue.empty() && m_mapDue.begin()->first <= now) {
        listDue.push_back(std::move(m_mapDue.begin()->second));
        m_mapDue.erase(m_mapDue.begin());
    }
    const auto start = std::chrono::steady_clock::now();
    if (m_bBurst) {
        TransmitBurst(listDue);
    } else {
        for (const SSimulatorOutgoing& outgoing : listDue) {
            Transmit(outgoing);
        }
    }
    if (listDue.size() > 1) {
        // The rate a client meets: the answers of one request, first to last.
        const double dMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        char szLine[160];
        std::snprintf(szLine, sizeof szLine, "burst of %zu answers, %s, in %.1f ms (%.0f/s)",
                      listDue.size(), m_bBurst ? "sendmmsg" : "one sendmsg each", dMs,
                      dMs > 0 ? listDue.size() * 1000.0 / dMs : 0.0);
        Log(szLine);
    }
}

void CInstrumentSimulator::Transmit(const SSimulatorOutgoing& outgoing) {
    SWireMessage wire(outgoing, m_nClientPort);
    if (::sendmsg(m_hSocket, &wire.message, MSG_NOSIGNAL) < 0) {
        Log("out failed (" + std::string(std::strerror(errno)) + "): " + OutLine(outgoing));
        return;
    }
    Log("out " + OutLine(outgoing));
}

void CInstrumentSimulator::TransmitBurst(const std::vector<SSimulatorOutgoing>& listOutgoing) {
    std::deque<SWireMessage> listWire; // never moved: each message points into itself
    for (const SSimulatorOutgoing& outgoing : listOutgoing) {
        listWire.emplace_back(outgoing, m_nClientPort);
    }
    std::vector<mmsghdr> listMessages(listWire.size());
    for (std::size_t i = 0; i < listWire.size(); ++i) {
        listMessages[i].msg_hdr = listWire[i].message;
    }
    std::size_t nNext = 0;
    while (nNext < listMessages.size() && !m_bStop) {
        const auto nCount =
            static_cast<unsigned>(std::min<std::size_t>(listMessages.size() - nNext, BURST_BATCH));
        const int nSent = ::sendmmsg(m_hSocket, &listMessages[nNext], nCount, MSG_NOSIGNAL);
        if (nSent > 0) {
            nNext += static_cast<std::size_t>(nSent);
        } else if (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS) {
            pollfd room{m_hSocket, POLLOUT, 0};
            ::poll(&room, 1, static_cast<int>(IDLE_POLL.count()));
        } else if (errno != EINTR) {
            Log("out failed (" + std::string(std::strerror(errno)) +
                "): " + OutLine(listOutgoing[nNext]));
            ++nNext;
        }
    }
}
