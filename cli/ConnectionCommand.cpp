#include "cli/ConnectionCommand.h"

#include "cli/TavikctlSession.h"
#include "protocol/DatagramRouter.h"

#include <algorithm>
#include <iterator>

namespace {

// The reply timers of the three exchanges.
constexpr unsigned RESPONSE_TIMERS[] = {CConnectionExchange::ID_RELEASE_RESPONSE_TIMER_EVENT,
                                        CConnectionExchange::ID_REPAIR_RESPONSE_TIMER_EVENT,
                                        CConnectionExchange::ID_VERIFY_RESPONSE_TIMER_EVENT};

unsigned ResponseTimerOf(std::uint8_t nPendingRequest) {
    switch (nPendingRequest) {
    case MSG_RELEASE:
        return CConnectionExchange::ID_RELEASE_RESPONSE_TIMER_EVENT;
    case MSG_REPAIR:
        return CConnectionExchange::ID_REPAIR_RESPONSE_TIMER_EVENT;
    case MSG_VERIFY:
        return CConnectionExchange::ID_VERIFY_RESPONSE_TIMER_EVENT;
    default:
        return 0;
    }
}

} // namespace

CConnectionCommand::CConnectionCommand()
    : m_receiver([this] { return m_exchange.IsWaitingForReply(); },
                 [this](const SDatagramView& datagram) { OnReply(datagram); }) {}

void CConnectionCommand::StartVerification() {
    Begin(&CConnectionExchange::StartVerification);
}

void CConnectionCommand::StartRelease() {
    Begin(&CConnectionExchange::StartRelease);
}

void CConnectionCommand::StartRepair() {
    Begin(&CConnectionExchange::StartRepair);
}

void CConnectionCommand::Begin(StartStep pfnStart) {
    if (!m_bRegistered) {
        // At the first start, once the session has set up its router.
        m_bRegistered = true;
        for (const std::uint8_t nCode : {MSG_RELEASE, MSG_REPAIR, MSG_VERIFY}) {
            Session().Router().Register(nCode, m_receiver, "connection");
        }
    }
    Apply((m_exchange.*pfnStart)(Target(), EAttemptCount::FromZero));
}

void CConnectionCommand::OnTimer(unsigned nTimerId) {
    if (std::find(std::begin(RESPONSE_TIMERS), std::end(RESPONSE_TIMERS), nTimerId) ==
        std::end(RESPONSE_TIMERS)) {
        return;
    }
    Session().Timers().Stop(nTimerId);
    // Only the timer of the exchange that waits times it out: a verification's timer left over
    // is no release's time-out.
    if (m_exchange.IsWaitingForReply() &&
        nTimerId == ResponseTimerOf(m_exchange.GetPendingRequest())) {
        Apply(m_exchange.OnTimeout(Target()));
    }
}

SConnectionTarget CConnectionCommand::Target() {
    const SConfiguration& configuration = Session().Configuration();
    m_strTargetName = configuration.strInstrumentName.toStdU16String();
    SConnectionTarget target;
    target.strInstrumentName = m_strTargetName;
    target.strLocalHostName = Session().LocalHostName();
    target.dwInstrumentAddress = configuration.dwInstrumentIPAddress;
    target.dwBroadcastAddress = Session().BroadcastAddress();
    target.bConfigured = !m_strTargetName.empty();
    return target;
}

void CConnectionCommand::OnReply(const SDatagramView& datagram) {
    const SConnectionStep step = m_exchange.OnReply(datagram.payload);
    // Only the reply that ended the verification describes the instrument: a VerifyReply that
    // comes later, or to nothing that waits, is a stray.
    if (step.nEvent == EConnectionEvent::Ready || step.nEvent == EConnectionEvent::NotClaimed) {
        if (const std::optional<VerifyReply> reply = ReadVerifyReply(datagram.payload)) {
            m_verified = CMolvarInstrument::FromDescription(reply->description);
        }
    }
    Apply(step);
}

void CConnectionCommand::Apply(const SConnectionStep& step) {
    if (step.bStopTimer) {
        for (const unsigned nTimerId : RESPONSE_TIMERS) {
            Session().Timers().Stop(nTimerId);
        }
    }
    switch (step.nEvent) {
    case EConnectionEvent::None:
        break;
    case EConnectionEvent::Sent:
        Session().Send(step.request);
        Session().Timers().Start(step.nTimerId, CConnectionExchange::RESPONSE_TIMER_PERIOD_MS);
        break;
    default:
        OnOutcome(step);
        break;
    }
}
