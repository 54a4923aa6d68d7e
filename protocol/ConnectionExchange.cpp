#include "protocol/ConnectionExchange.h"

#include "link/Messages.h"

SConnectionStep CConnectionExchange::StartVerification(const SConnectionTarget& target,
                                                       EAttemptCount nCount) {
    if (nCount == EAttemptCount::FromZero) {
        m_nVerifyAttempts = 0;
    }
    if (!target.bConfigured) {
        return {};
    }
    return Start(MSG_VERIFY, target, target.dwInstrumentAddress, ID_VERIFY_RESPONSE_TIMER_EVENT,
                 m_nVerifyAttempts);
}

SConnectionStep CConnectionExchange::StartRelease(const SConnectionTarget& target,
                                                  EAttemptCount nCount) {
    if (nCount == EAttemptCount::FromZero) {
        m_nReleaseAttempts = 0;
    }
    return Start(MSG_RELEASE, target, target.dwInstrumentAddress, ID_RELEASE_RESPONSE_TIMER_EVENT,
                 m_nReleaseAttempts);
}

SConnectionStep CConnectionExchange::StartRepair(const SConnectionTarget& target,
                                                 EAttemptCount nCount) {
    if (nCount == EAttemptCount::FromZero) {
        m_nRepairAttempts = 0;
    }
    return Start(MSG_REPAIR, target, target.dwBroadcastAddress, ID_REPAIR_RESPONSE_TIMER_EVENT,
                 m_nRepairAttempts);
}

SConnectionStep CConnectionExchange::Start(std::uint8_t nCode, const SConnectionTarget& target,
                                           std::uint32_t dwDestination, unsigned nTimerId,
                                           std::uint32_t& nAttempts) {
    if (m_bWaiting) {
        return {}; // one exchange at a time: a reply is still awaited
    }
    const auto abPayload = BuildNamedRequest(static_cast<EMessageCode>(nCode),
                                             target.strInstrumentName, target.strLocalHostName);
    m_nPendingRequest = nCode;
    // A request that fails to go out counts all the same: the exchange runs on to its time-out.
    ++nAttempts;
    m_bWaiting = true;

    SConnectionStep step;
    step.nEvent = EConnectionEvent::Sent;
    step.request.dwDestination = dwDestination;
    step.request.payload.assign(abPayload.begin(), abPayload.end());
    step.nTimerId = nTimerId;
    return step;
}

SConnectionStep CConnectionExchange::OnTimeout(const SConnectionTarget& target) {
    if (!m_bWaiting) {
        return {};
    }
    m_bWaiting = false;
    SConnectionStep step;
    switch (m_nPendingRequest) {
    case MSG_RELEASE:
        if (++m_nReleaseAttempts > MAX_ATTEMPT_COUNT) {
            m_nPendingRequest = NO_PENDING_REQUEST;
            m_nReleaseAttempts = 0;
            step.nEvent = EConnectionEvent::ReleaseUnanswered;
            return step;
        }
        return StartRelease(target, EAttemptCount::Kept);
    case MSG_REPAIR:
        if (++m_nRepairAttempts > MAX_ATTEMPT_COUNT) {
            m_nPendingRequest = NO_PENDING_REQUEST;
            m_nRepairAttempts = 0;
            step.nEvent = EConnectionEvent::RepairFailed;
            return step;
        }
        return StartRepair(target, EAttemptCount::Kept);
    case MSG_VERIFY:
        if (++m_nVerifyAttempts > MAX_ATTEMPT_COUNT) {
            m_nPendingRequest = NO_PENDING_REQUEST;
            m_nVerifyAttempts = 0;
            step.nEvent = EConnectionEvent::VerificationFailed;
            return step;
        }
        return StartVerification(target, EAttemptCount::Kept);
    default:
        return step;
    }
}

SConnectionStep CConnectionExchange::OnReply(std::span<const std::uint8_t> payload) {
    SConnectionStep step;
    // Only the reply to the request that waits: a release or repair reply from anyone on the
    // segment during a verification would otherwise forget or move the configuration.
    if (!m_bWaiting || payload.empty() || payload[0] != m_nPendingRequest) {
        return step;
    }
    // Each reply is read only at its exact length; any other datagram is as if it had not
    // come, so one stray datagram cannot end the wait with nothing done.
    switch (payload[0]) {
    case MSG_RELEASE: {
        const std::optional<std::uint8_t> nStatus = ReadStatusReply(payload, MSG_RELEASE);
        if (!nStatus) {
            return step;
        }
        step.nEvent = EConnectionEvent::Released;
        step.nStatus = *nStatus;
        break;
    }
    case MSG_REPAIR: {
        const std::optional<RepairReply> reply = ReadRepairReply(payload);
        if (!reply) {
            return step;
        }
        if (IsRepairDone(reply->nStatus)) {
            step.nEvent = EConnectionEvent::Repaired;
            step.dwAddress = reply->dwAddress;
        } else {
            step.nEvent = EConnectionEvent::RepairRefused;
        }
        step.nStatus = reply->nStatus;
        break;
    }
    case MSG_VERIFY: {
        const std::optional<VerifyReply> reply = ReadVerifyReply(payload);
        if (!reply) {
            return step;
        }
        step.nStatus = reply->nStatus;
        if (IsClaimHeldByClient(reply->nStatus)) {
            step.nEvent = EConnectionEvent::Ready;
            break;
        }
        step.nEvent = EConnectionEvent::NotClaimed;
        const SInstrumentDescriptionFields description =
            ReadInstrumentDescription(reply->description);
        if (IsOwnerReported(description.bClaimed)) {
            step.bOwnerReported = true;
            step.strOwnerHostName = description.strOwnerHostName;
            step.dwAddress = description.dwOwnerAddress;
        }
        break;
    }
    default:
        return step;
    }
    // The first reply decides; the pending code and the counters keep their values.
    m_bWaiting = false;
    step.bStopTimer = true;
    return step;
}
