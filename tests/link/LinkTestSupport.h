// What the link tests share: a link on loopback with its own ports, a notification counter and a
// capture of the link's log lines.
#pragma once

#include "LoopbackPeer.h"
#include "link/DatagramNotifyTarget.h"
#include "link/LinkLog.h"
#include "link/UDPInstrumentInterface.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

// A link bound to a free port of its own, local address 127.0.0.1, broadcast 127.255.255.255,
// sending to the peer's port (or nPeerPort when given); returned once it is seen to receive.
std::unique_ptr<CUDPInstrumentInterface>
StartLoopbackLink(CLoopbackPeer& peer, std::optional<std::uint16_t> nPeerPort = std::nullopt);

// Polls until the condition holds or the time is up; answers the condition.
bool WaitUntil(const std::function<bool()>& fnCondition, std::chrono::milliseconds timeout);

// Every whole datagram the link holds now, oldest first.
std::vector<Bytes> TakeAll(CUDPInstrumentInterface& link);

// Counts announcements and notes the threads they came from.
class CCountingNotifyTarget final : public CDatagramNotifyTarget {
public:
    void PostDatagramNotification() override;
    int Count() const { return m_nCount.load(); }
    std::set<std::thread::id> Threads() const;

private:
    std::atomic<int> m_nCount{0};
    mutable std::mutex m_mutex;
    std::set<std::thread::id> m_setThreads;
};

// Installs a handler that keeps every log line while it lives.
class CLinkLogCapture {
public:
    CLinkLogCapture();
    ~CLinkLogCapture();
    std::vector<std::string> Lines(ELinkLogLevel nLevel) const;
    // When each line of this level holding strPart was logged, oldest first.
    std::vector<std::chrono::steady_clock::time_point> TimesOf(ELinkLogLevel nLevel,
                                                               const std::string& strPart) const;
};
