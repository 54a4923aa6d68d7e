// Link figures over loopback with ports of its own, printed as one line:
// - how long a Send takes to be confirmed;
// - a farm of 2000 instruments answering three discovery requests in one burst of 6000 replies,
//   taken as the main connection window takes them (what waits, per announcement), with the
//   socket's receive buffer at the size the link asks for and at the kernel's default: how many
//   arrive, and at what rate they go from the socket to TakeDatagram;
// - the wake-ups per second of a link with nothing to do (context switches of every thread of
//   this process while it sleeps).
#include "link/DatagramNotifyTarget.h"
#include "link/Messages.h"
#include "link/UDPInstrumentInterface.h"
#include "platform/UDPSocket.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t LOOPBACK_ADDRESS = 0x7F000001;
constexpr std::uint32_t LOOPBACK_BROADCAST = 0x7FFFFFFF;
constexpr int SENDS = 1000;
constexpr int INSTRUMENTS = 2000;
constexpr int REPLIES_EACH = 3;
constexpr auto IDLE_TIME = std::chrono::seconds(5);
// A burst is over once nothing more has been taken for this long.
constexpr auto QUIET_TIME = std::chrono::milliseconds(1500);

std::uint16_t FreeUDPPort() {
    CUDPSocket probe;
    return probe.Open() && probe.Bind(0) ? probe.GetLocalPort() : 0;
}

std::vector<std::uint8_t> Frame(std::uint32_t dwDestination, std::uint32_t dwSource,
                                std::span<const std::uint8_t> payload) {
    std::vector<std::uint8_t> datagram(MAX_DATAGRAM_SIZE);
    datagram.resize(FrameDatagram(dwDestination, dwSource, payload, datagram.data()));
    return datagram;
}

// Takes what waits per announcement, a receive buffer's worth at most, on a thread of its own, as
// the window thread routes on its posted messages.
class CDrainingTarget final : public CDatagramNotifyTarget {
public:
    explicit CDrainingTarget(CUDPInstrumentInterface& link)
        : m_link(link), m_thread([this] { Drain(); }) {}
    ~CDrainingTarget() {
        {
            std::lock_guard lock(m_mutex);
            m_bStop = true;
        }
        m_condition.notify_one();
        m_thread.join();
    }
    void PostDatagramNotification() override {
        {
            std::lock_guard lock(m_mutex);
            ++m_nPending;
        }
        m_condition.notify_one();
    }
    int Taken() const { return m_nTaken.load(); }
    Clock::time_point LastTaken() const {
        std::lock_guard lock(m_mutex);
        return m_lastTaken;
    }
    void Reset() {
        std::lock_guard lock(m_mutex);
        m_nTaken.store(0);
    }

private:
    void Drain() {
        std::uint8_t abDatagram[MAX_DATAGRAM_SIZE];
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_condition.wait(lock, [this] { return m_bStop || m_nPending > 0; });
            if (m_bStop) {
                return;
            }
            --m_nPending;
            lock.unlock();
            std::uint32_t dwLength = 0;
            int nTaken = 0;
            for (std::uint32_t dwTaken = 0; dwTaken < CUDPInstrumentInterface::BUFFER_SIZE &&
                                            m_link.TakeDatagram(&dwLength, abDatagram);
                 dwTaken += dwLength) {
                ++nTaken;
            }
            lock.lock();
            if (nTaken > 0) {
                m_nTaken.fetch_add(nTaken);
                m_lastTaken = Clock::now();
            }
        }
    }

    CUDPInstrumentInterface& m_link;
    mutable std::mutex m_mutex;
    std::condition_variable m_condition;
    int m_nPending = 0;
    bool m_bStop = false;
    std::atomic<int> m_nTaken{0};
    Clock::time_point m_lastTaken;
    std::thread m_thread;
};

// Context switches of every thread of this process so far.
long long ContextSwitches() {
    long long nTotal = 0;
    DIR* pTasks = opendir("/proc/self/task");
    if (pTasks == nullptr) {
        return -1;
    }
    while (const dirent* pEntry = readdir(pTasks)) {
        if (pEntry->d_name[0] == '.') {
            continue;
        }
        std::ifstream status(std::string("/proc/self/task/") + pEntry->d_name + "/status");
        std::string strLine;
        while (std::getline(status, strLine)) {
            if (strLine.rfind("voluntary_ctxt_switches:", 0) == 0 ||
                strLine.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
                nTotal += std::stoll(strLine.substr(strLine.find(':') + 1));
            }
        }
    }
    closedir(pTasks);
    return nTotal;
}

struct SLink {
    std::unique_ptr<CUDPInstrumentInterface> pLink;
    std::uint16_t nPort = 0;
};

// A link that is seen to receive from the peer.
SLink StartLink(CUDPSocket& peer, int nSocketReceiveBufferBytes) {
    SLink link;
    link.nPort = FreeUDPPort();
    link.pLink =
        std::make_unique<CUDPInstrumentInterface>(LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, link.nPort,
                                                  peer.GetLocalPort(), nSocketReceiveBufferBytes);
    const std::uint8_t abProbe[] = {0xEE};
    const auto probe = Frame(LOOPBACK_ADDRESS, LOOPBACK_ADDRESS, abProbe);
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (Clock::now() < deadline) {
        peer.SendTo(LOOPBACK_ADDRESS, link.nPort, probe.data(), probe.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        std::uint32_t dwLength = 0;
        if (link.pLink->TakeDatagram(&dwLength, nullptr)) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            while (link.pLink->TakeDatagram(&dwLength, nullptr)) {
            }
            return link;
        }
    }
    link.pLink.reset();
    return link;
}

struct SBurst {
    int nTaken = 0;
    double dMs = 0;
    int nSocketBuffer = 0;
    int nNotSent = 0;
};

SBurst RunBurst(CUDPSocket& peer, int nSocketReceiveBufferBytes,
                const std::vector<std::vector<std::uint8_t>>& listReplies) {
    SBurst burst;
    SLink link = StartLink(peer, nSocketReceiveBufferBytes);
    if (!link.pLink) {
        return burst;
    }
    burst.nSocketBuffer = link.pLink->GetSocketReceiveBufferBytes();
    CDrainingTarget target(*link.pLink);
    link.pLink->m_hNotifyWnd.store(&target);
    const auto start = Clock::now();
    for (const auto& reply : listReplies) {
        burst.nNotSent +=
            peer.SendTo(LOOPBACK_ADDRESS, link.nPort, reply.data(), reply.size()) ? 0 : 1;
    }
    while (target.Taken() < static_cast<int>(listReplies.size())) {
        const auto last = std::max(target.LastTaken(), start);
        if (Clock::now() - last > QUIET_TIME) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    burst.nTaken = target.Taken();
    burst.dMs = std::chrono::duration<double, std::milli>(target.LastTaken() - start).count();
    link.pLink->m_hNotifyWnd.store(nullptr);
    return burst;
}

} // namespace

int main() {
    CUDPSocket peer;
    if (!peer.Open() || !peer.SetNonBlocking() || !peer.Bind(0, LOOPBACK_ADDRESS)) {
        std::fprintf(stderr, "LinkBench: no peer socket\n");
        return 1;
    }

    // Idle wake-ups first, with nothing else running but the link.
    double dIdlePerSecond = -1;
    double dSendMedian = 0;
    double dSendP99 = 0;
    int nFailed = 0;
    {
        SLink link = StartLink(peer, CUDPInstrumentInterface::SOCKET_RECEIVE_BUFFER_BYTES);
        if (!link.pLink) {
            std::fprintf(stderr, "LinkBench: the link does not receive\n");
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const long long nBefore = ContextSwitches();
        std::this_thread::sleep_for(IDLE_TIME);
        const long long nAfter = ContextSwitches();
        dIdlePerSecond = static_cast<double>(nAfter - nBefore) /
                         std::chrono::duration<double>(IDLE_TIME).count();

        // Send latency, with the peer draining what arrives.
        link.pLink->m_dwDestinationAddress = LOOPBACK_ADDRESS;
        link.pLink->m_dwSourceAddress = LOOPBACK_ADDRESS;
        std::atomic<bool> bDraining{true};
        std::thread drainer([&] {
            std::uint8_t abBuffer[MAX_DATAGRAM_SIZE];
            while (bDraining.load()) {
                std::size_t nLength = 0;
                if (peer.Receive(abBuffer, sizeof(abBuffer), &nLength) ==
                    CUDPSocket::RECEIVE_NO_DATA) {
                    peer.WaitReadable(10);
                }
            }
        });
        const auto request = BuildNamedRequest(MSG_VERIFY, u"Bench", u"bench-host");
        std::vector<double> listMicroseconds;
        for (int i = 0; i < SENDS; ++i) {
            const auto start = Clock::now();
            nFailed += link.pLink->Send(request.data(), NAMED_REQUEST_SIZE) != STATUS_NO_ERROR;
            listMicroseconds.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
        bDraining.store(false);
        drainer.join();
        std::sort(listMicroseconds.begin(), listMicroseconds.end());
        dSendMedian = listMicroseconds[SENDS / 2];
        dSendP99 = listMicroseconds[SENDS * 99 / 100];
    }

    std::vector<std::vector<std::uint8_t>> listReplies;
    for (int nRound = 0; nRound < REPLIES_EACH; ++nRound) {
        for (int nInstrument = 0; nInstrument < INSTRUMENTS; ++nInstrument) {
            SInstrumentDescriptionFields fields;
            fields.strHostName = "tavik-f" + std::to_string(nInstrument + 1);
            fields.dwAddress = 0x0A4D080A + static_cast<std::uint32_t>(nInstrument);
            fields.strName = "Farm-" + std::to_string(nInstrument + 1);
            listReplies.push_back(
                Frame(LOOPBACK_ADDRESS, fields.dwAddress, BuildDiscoveryReply(fields)));
        }
    }
    const SBurst asked =
        RunBurst(peer, CUDPInstrumentInterface::SOCKET_RECEIVE_BUFFER_BYTES, listReplies);
    const SBurst fallback = RunBurst(peer, 0, listReplies);

    const auto perSecond = [](const SBurst& burst) {
        return burst.dMs > 0 ? burst.nTaken * 1000.0 / burst.dMs : 0.0;
    };
    std::printf(
        "LinkBench: Send median %.0f us, p99 %.0f us (%d sends, %d failed); farm burst of "
        "%zu DiscoveryReply (%d x %d): socket buffer %d B: %d arrived in %.0f ms "
        "(%.0f/s), default %d B: %d arrived (%.0f/s); %d not sent; idle %.1f wake-ups/s over "
        "%lld s\n",
        dSendMedian, dSendP99, SENDS, nFailed, listReplies.size(), INSTRUMENTS, REPLIES_EACH,
        asked.nSocketBuffer, asked.nTaken, asked.dMs, perSecond(asked), fallback.nSocketBuffer,
        fallback.nTaken, perSecond(fallback), asked.nNotSent + fallback.nNotSent, dIdlePerSecond,
        static_cast<long long>(
            std::chrono::duration_cast<std::chrono::seconds>(IDLE_TIME).count()));
    return asked.nTaken == static_cast<int>(listReplies.size()) && nFailed == 0 ? 0 : 2;
}
