// The discovery cycle as tavikctl's commands run it: the selection windows' cycle (three
// broadcasts 185 ms apart, collected until 1015 ms, again every 5015 ms) on the session's timers,
// each request also sent to the addresses no broadcast reaches, and the replies taken from the
// session's router while the cycle runs.
#pragma once

#include "cli/ReplyCallback.h"
#include "model/InstrumentList.h"
#include "protocol/DiscoveryCycle.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CTavikctlSession;

class CCliDiscovery {
public:
    // fnOnReply: after each reply merged, with the collected list; fnOnCollectionEnd: at each
    // collection's end, with the list it shows. Either may stop the discovery, which ends the
    // list: what is wanted of it is copied first. fnOnSendFailed: a request could not be sent
    // (the discovery has stopped), with why; without it the command ends with status 5 and that
    // error, since a discovery that cannot send finds nothing whatever answers.
    CCliDiscovery(std::function<void(const CInstrumentList&)> fnOnReply,
                  std::function<void(const CInstrumentList&)> fnOnCollectionEnd,
                  std::function<void(const QString&)> fnOnSendFailed = {});

    // Registers for discovery replies and opens the cycle.
    void Start(CTavikctlSession& session, std::vector<std::uint32_t> listDirectAddresses);
    // Every timer of the cycle stopped; replies reach it no more.
    void Stop();
    bool IsRunning() const { return m_pCycle != nullptr; }
    // The session's timer event, if it is one of the cycle's: true when it was.
    bool OnTimer(unsigned nTimerId);

private:
    void Apply(const SDiscoveryStep& step);
    // False, the discovery stopped and the failure told, when the request did not go out.
    bool Send(const SRequest& request);
    void OnReply(const SDatagramView& datagram);

    std::function<void(const CInstrumentList&)> m_fnOnReply;
    std::function<void(const CInstrumentList&)> m_fnOnCollectionEnd;
    std::function<void(const QString&)> m_fnOnSendFailed;
    CTavikctlSession* m_pSession = nullptr;
    std::vector<std::uint32_t> m_listDirectAddresses;
    std::unique_ptr<CDiscoveryCycle> m_pCycle;
    CReplyCallback m_receiver;
};
