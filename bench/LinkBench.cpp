// Link figures over loopback with ports of its own: how long a Send takes to be confirmed, and
// how many replies of a burst from 250 instruments reach a caller that drains the link as the
// main connection window does. Prints one line.
#include "link/Messages.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/UdpSocket.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t LOOPBACK_ADDRESS = 0x7F000001;
constexpr std::uint32_t LOOPBACK_BROADCAST = 0x7FFFFFFF;
constexpr int SENDS = 1000;
constexpr int INSTRUMENTS = 250;
constexpr int REPLIES_EACH = 3;
constexpr auto POLL_PERIOD = std::chrono::milliseconds(5);

std::uint16_t FreeUdpPort() {
    CUdpSocket probe;
    return probe.Open() && probe.Bind(0) ? probe.GetLocalPort() : 0;
}

std::vector<std::uint8_t> Frame(std::uint32_t dwDestination, std::uint32_t dwSource,
                                std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> datagram(MAX_DATAGRAM_SIZE);
    datagram.resize(FrameDatagram(dwDestination, dwSource, payload, datagram.data()));
    return datagram;
}

bool WaitUntilReceiving(CUDPInstrumentInterface& link, CUdpSocket& peer, std::uint16_t nPort) {
    const std::uint8_t abProbe[] = {0xEE};
    const auto probe = Frame(LOOPBACK_ADDRESS, LOOPBACK_ADDRESS, abProbe);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        peer.SendTo(LOOPBACK_ADDRESS, nPort, probe.data(), probe.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        std::uint32_t dwLength = 0;
        if (link.TakeDatagram(&dwLength, nullptr)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            while (link.TakeDatagram(&dwLength, nullptr)) {
            }
            return true;
        }
    }
    return false;
}

} // namespace

int main() {
    CUdpSocket peer;
    if (!peer.Open() || !peer.SetNonBlocking() || !peer.Bind(0, LOOPBACK_ADDRESS)) {
        std::fprintf(stderr, "LinkBench: no peer socket\n");
        return 1;
    }
    const std::uint16_t nLinkPort = FreeUdpPort();
    CUDPInstrumentInterface link(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, nLinkPort,
                                 peer.GetLocalPort());
    if (!WaitUntilReceiving(link, peer, nLinkPort)) {
        std::fprintf(stderr, "LinkBench: the link does not receive on port %u\n", nLinkPort);
        return 1;
    }
    link.m_dwDestinationAddress = LOOPBACK_ADDRESS;
    link.m_dwSourceAddress = LOOPBACK_ADDRESS;

    // Send latency, with the peer draining what arrives.
    std::atomic<bool> bDraining{true};
    std::thread drainer([&] {
        std::uint8_t abBuffer[MAX_DATAGRAM_SIZE];
        while (bDraining.load()) {
            std::size_t nLength = 0;
            if (peer.Receive(abBuffer, sizeof(abBuffer), &nLength) == CUdpSocket::RECEIVE_NO_DATA) {
                peer.WaitReadable(10);
            }
        }
    });
    const auto request = BuildNamedRequest(MSG_VERIFY, u"Bench", u"bench-host");
    std::vector<double> listMicroseconds;
    int nFailed = 0;
    for (int i = 0; i < SENDS; ++i) {
        const auto start = Clock::now();
        nFailed += link.Send(request.data(), NAMED_REQUEST_SIZE) != STATUS_NO_ERROR ? 1 : 0;
        listMicroseconds.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    bDraining.store(false);
    drainer.join();
    std::sort(listMicroseconds.begin(), listMicroseconds.end());
    const double dMedian = listMicroseconds[SENDS / 2];
    const double dP99 = listMicroseconds[SENDS * 99 / 100];

    // A burst of discovery replies, sent as fast as the socket takes them, drained by polling.
    std::vector<std::vector<std::uint8_t>> listReplies;
    for (int nRound = 0; nRound < REPLIES_EACH; ++nRound) {
        for (int nInstrument = 0; nInstrument < INSTRUMENTS; ++nInstrument) {
            InstrumentDescriptionFields fields;
            fields.strHostName = "tavik-" + std::to_string(nInstrument);
            fields.dwAddress = 0x0A000000 + static_cast<std::uint32_t>(nInstrument) + 1;
            fields.strName = "Instrument " + std::to_string(nInstrument);
            listReplies.push_back(
                Frame(LOOPBACK_ADDRESS, fields.dwAddress, BuildDiscoveryReply(fields)));
        }
    }
    int nSendErrors = 0;
    const auto burstStart = Clock::now();
    for (const auto& reply : listReplies) {
        nSendErrors += peer.SendTo(LOOPBACK_ADDRESS, nLinkPort, reply.data(), reply.size()) ? 0 : 1;
    }
    int nTaken = 0;
    auto lastTaken = Clock::now();
    std::uint8_t abDatagram[MAX_DATAGRAM_SIZE];
    while (nTaken < static_cast<int>(listReplies.size()) &&
           Clock::now() - lastTaken < std::chrono::seconds(2)) {
        std::uint32_t dwLength = 0;
        while (link.TakeDatagram(&dwLength, abDatagram)) {
            ++nTaken;
            lastTaken = Clock::now();
        }
        std::this_thread::sleep_for(POLL_PERIOD);
    }
    const double dBurstMs =
        std::chrono::duration<double, std::milli>(lastTaken - burstStart).count();

    std::printf("LinkBench: Send median %.0f us, p99 %.0f us over %d sends (%d failed); burst of "
                "%zu DiscoveryReply datagrams of %zu bytes: %d taken in %.0f ms polling every "
                "%lld ms (%d not sent)\n",
                dMedian, dP99, SENDS, nFailed, listReplies.size(), listReplies[0].size(), nTaken,
                dBurstMs, static_cast<long long>(POLL_PERIOD.count()), nSendErrors);
    return nTaken == static_cast<int>(listReplies.size()) && nFailed == 0 ? 0 : 2;
}
