#include "cli/CliDiscovery.h"

#include "cli/CliOutput.h"
#include "cli/ExitStatus.h"
#include "cli/TavikctlSession.h"
#include "protocol/DatagramRouter.h"

#include <utility>

CCliDiscovery::CCliDiscovery(std::function<void(const CInstrumentList&)> fnOnReply,
                             std::function<void(const CInstrumentList&)> fnOnCollectionEnd,
                             std::function<void(const QString&)> fnOnSendFailed)
    : m_fnOnReply(std::move(fnOnReply)), m_fnOnCollectionEnd(std::move(fnOnCollectionEnd)),
      m_fnOnSendFailed(std::move(fnOnSendFailed)),
      m_receiver([this] { return IsRunning(); },
                 [this](const SDatagramView& datagram) { OnReply(datagram); }) {}

void CCliDiscovery::Start(CTavikctlSession& session,
                          std::vector<std::uint32_t> listDirectAddresses) {
    m_pSession = &session;
    m_listDirectAddresses = std::move(listDirectAddresses);
    session.Router().Register(MSG_DISCOVERY_REPLY, m_receiver, "discovery");
    m_pCycle = std::make_unique<CDiscoveryCycle>(session.BroadcastAddress());
    Apply(m_pCycle->Open());
}

void CCliDiscovery::Stop() {
    if (m_pCycle) {
        Apply(m_pCycle->Close());
        m_pCycle.reset();
    }
}

bool CCliDiscovery::OnTimer(unsigned nTimerId) {
    if (!m_pCycle || (nTimerId != CDiscoveryCycle::ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT &&
                      nTimerId != CDiscoveryCycle::ID_INSTRUMENT_DISCOVERY_DWELL_TIMER_EVENT &&
                      nTimerId != CDiscoveryCycle::ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT)) {
        return false;
    }
    Apply(m_pCycle->OnTimer(nTimerId));
    return true;
}

void CCliDiscovery::Apply(const SDiscoveryStep& step) {
    for (const STimerAction& timer : step.listTimers) {
        if (timer.bStart) {
            m_pSession->Timers().Start(timer.nTimerId, timer.nPeriodMs);
        } else {
            m_pSession->Timers().Stop(timer.nTimerId);
        }
    }
    if (step.request) {
        if (!Send(*step.request)) {
            return;
        }
        // The same request to each address that no broadcast reaches. A reply routed before a
        // send may have ended the discovery.
        for (const std::uint32_t dwAddress : m_listDirectAddresses) {
            if (m_pSession->IsFinished() || !m_pCycle) {
                return;
            }
            if (!Send({dwAddress, step.request->payload})) {
                return;
            }
        }
    }
    if (step.bDisplayedChanged && m_pCycle) {
        m_fnOnCollectionEnd(m_pCycle->GetDisplayed());
    }
}

bool CCliDiscovery::Send(const SRequest& request) {
    if (m_pSession->Send(request)) {
        return true;
    }
    const QString strWhy =
        QStringLiteral("the discovery request to %1 could not be sent: %2")
            .arg(CCliOutput::Dotted(request.dwDestination), m_pSession->SendFailure());
    Stop();
    if (m_fnOnSendFailed) {
        m_fnOnSendFailed(strWhy);
    } else {
        m_pSession->Output().Error(strWhy);
        m_pSession->Finish(EXIT_NO_LINK);
    }
    return false;
}

void CCliDiscovery::OnReply(const SDatagramView& datagram) {
    if (m_pCycle->OnReply(datagram.payload)) {
        m_fnOnReply(m_pCycle->GetCollected());
    }
}
