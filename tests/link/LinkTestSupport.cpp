#include "LinkTestSupport.h"

#include <gtest/gtest.h>

namespace {

std::mutex g_logMutex;
struct SLogLine {
    ELinkLogLevel nLevel;
    std::string strLine;
    std::chrono::steady_clock::time_point when;
};
std::vector<SLogLine> g_listLogLines;

void KeepLogLine(ELinkLogLevel nLevel, const char* szLine) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard lock(g_logMutex);
    g_listLogLines.push_back({nLevel, szLine, now});
}

} // namespace

std::unique_ptr<CUDPInstrumentInterface> StartLoopbackLink(CLoopbackPeer& peer,
                                                           std::optional<std::uint16_t> nPeerPort) {
    const Bytes probe = MakeDatagram(LOOPBACK_ADDRESS, LOOPBACK_ADDRESS, {0xEE});
    // Another process may take the chosen port before the link binds it: then try another.
    for (int nAttempt = 0; nAttempt < 3; ++nAttempt) {
        const std::uint16_t nPort = FreeUDPPort();
        auto pLink = std::make_unique<CUDPInstrumentInterface>(
            LOOPBACK_ADDRESS, LOOPBACK_BROADCAST, nPort, nPeerPort.value_or(peer.Port()));
        const bool bReady = WaitUntil(
            [&] {
                peer.SendTo(nPort, probe);
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
                std::uint32_t dwLength = 0;
                return pLink->TakeDatagram(&dwLength, nullptr);
            },
            std::chrono::milliseconds(2000));
        if (bReady) {
            // Later probes may still be on their way; let them land and drop them.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            TakeAll(*pLink);
            return pLink;
        }
    }
    ADD_FAILURE() << "the link never received on loopback";
    return nullptr;
}

bool WaitUntil(const std::function<bool()>& fnCondition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (fnCondition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::vector<Bytes> TakeAll(CUDPInstrumentInterface& link) {
    std::vector<Bytes> listDatagrams;
    Bytes buffer(MAX_DATAGRAM_SIZE);
    std::uint32_t dwLength = 0;
    while (link.TakeDatagram(&dwLength, buffer.data())) {
        listDatagrams.emplace_back(buffer.begin(), buffer.begin() + dwLength);
    }
    return listDatagrams;
}

void CCountingNotifyTarget::PostDatagramNotification() {
    {
        std::lock_guard lock(m_mutex);
        m_setThreads.insert(std::this_thread::get_id());
    }
    ++m_nCount;
}

std::set<std::thread::id> CCountingNotifyTarget::Threads() const {
    std::lock_guard lock(m_mutex);
    return m_setThreads;
}

CLinkLogCapture::CLinkLogCapture() {
    {
        std::lock_guard lock(g_logMutex);
        g_listLogLines.clear();
    }
    SetLinkLogHandler(&KeepLogLine);
}

CLinkLogCapture::~CLinkLogCapture() {
    SetLinkLogHandler(nullptr);
}

std::vector<std::string> CLinkLogCapture::Lines(ELinkLogLevel nLevel) const {
    std::lock_guard lock(g_logMutex);
    std::vector<std::string> listLines;
    for (const SLogLine& line : g_listLogLines) {
        if (line.nLevel == nLevel) {
            listLines.push_back(line.strLine);
        }
    }
    return listLines;
}

std::vector<std::chrono::steady_clock::time_point>
CLinkLogCapture::TimesOf(ELinkLogLevel nLevel, const std::string& strPart) const {
    std::lock_guard lock(g_logMutex);
    std::vector<std::chrono::steady_clock::time_point> listTimes;
    for (const SLogLine& line : g_listLogLines) {
        if (line.nLevel == nLevel && line.strLine.find(strPart) != std::string::npos) {
            listTimes.push_back(line.when);
        }
    }
    return listTimes;
}
