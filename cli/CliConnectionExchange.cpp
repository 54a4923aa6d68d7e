#include "cli/CliConnectionExchange.h"

#include "cli/TavikctlSession.h"
#include "protocol/DatagramRouter.h"

#include <utility>

CCliConnectionExchange::CCliConnectionExchange(
    std::function<void(const SConnectionStep&)> fnOnOutcome)
    : m_fnOnOutcome(std::move(fnOnOutcome)),
      m_receiver([this] { return m_exchange.IsWaitingForReply(); },
                 [this](const DatagramView& datagram) { OnReply(datagram); }) {}

void CCliConnectionExchange::Attach(CTavikctlSession& session) {
    m_pSession = &session;
    for (const std::uint8_t nCode : {MSG_RELEASE, MSG_REPAIR, MSG_VERIFY}) {
        session.Router().Register(nCode, m_receiver, "connection");
    }
}

void CCliConnectionExchange::StartVerification() {
    Apply(m_exchange.StartVerification(Target(), EAttemptCount::FromZero));
}

void CCliConnectionExchange::StartRelease() {
    Apply(m_exchange.StartRelease(Target(), EAttemptCount::FromZero));
}

void CCliConnectionExchange::StartRepair() {
    Apply(m_exchange.StartRepair(Target(), EAttemptCount::FromZero));
}

bool CCliConnectionExchange::OnTimer(unsigned nTimerId) {
    if (nTimerId != CConnectionExchange::ID_RELEASE_RESPONSE_TIMER_EVENT &&
        nTimerId != CConnectionExchange::ID_REPAIR_RESPONSE_TIMER_EVENT &&
        nTimerId != CConnectionExchange::ID_VERIFY_RESPONSE_TIMER_EVENT) {
        return false;
    }
    m_pSession->Timers().Stop(nTimerId);
    Apply(m_exchange.OnTimeout(Target()));
    return true;
}

SConnectionTarget CCliConnectionExchange::Target() {
    const SConfiguration& configuration = m_pSession->Configuration();
    m_strTargetName = configuration.strInstrumentName.toStdU16String();
    SConnectionTarget target;
    target.strInstrumentName = m_strTargetName;
    target.strLocalHostName = m_pSession->LocalHostName();
    target.dwInstrumentAddress = configuration.dwInstrumentIPAddress;
    target.dwBroadcastAddress = m_pSession->BroadcastAddress();
    target.bConfigured = !m_strTargetName.empty();
    return target;
}

void CCliConnectionExchange::OnReply(const DatagramView& datagram) {
    if (const std::optional<VerifyReply> reply = ReadVerifyReply(datagram.payload)) {
        m_verified = CMolvarInstrument::FromDescription(reply->description);
    }
    Apply(m_exchange.OnReply(datagram.payload));
}

void CCliConnectionExchange::Apply(const SConnectionStep& step) {
    if (step.bStopTimer) {
        for (const unsigned nTimerId : {CConnectionExchange::ID_RELEASE_RESPONSE_TIMER_EVENT,
                                        CConnectionExchange::ID_REPAIR_RESPONSE_TIMER_EVENT,
                                        CConnectionExchange::ID_VERIFY_RESPONSE_TIMER_EVENT}) {
            m_pSession->Timers().Stop(nTimerId);
        }
    }
    switch (step.nEvent) {
    case EConnectionEvent::None:
        break;
    case EConnectionEvent::Sent:
        m_pSession->Send(step.request);
        m_pSession->Timers().Start(step.nTimerId, CConnectionExchange::RESPONSE_TIMER_PERIOD_MS);
        break;
    default:
        m_fnOnOutcome(step);
        break;
    }
}
