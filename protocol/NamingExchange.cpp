#include "protocol/NamingExchange.h"

#include "protocol/OutcomeTexts.h"

const SNamingKind CLAIM_NAMING_EXCHANGE = {
    MSG_CLAIM,
    CNamingExchange::ID_CLAIM_RESPONSE_TIMER_EVENT,
    CNamingExchange::CLAIM_RESPONSE_TIMER_PERIOD_MS,
    TEXT_CLAIM_NO_NAME,
    TEXT_CLAIM_NO_RESPONSE,
    TEXT_CLAIM_REFUSED,
    TEXT_CLAIM_GRANTED,
};

const SNamingKind RENAME_NAMING_EXCHANGE = {
    MSG_RENAME,
    CNamingExchange::ID_RENAME_RESPONSE_TIMER_EVENT,
    CNamingExchange::RENAME_RESPONSE_TIMER_PERIOD_MS,
    TEXT_RENAME_NO_NAME,
    TEXT_RENAME_NO_RESPONSE,
    TEXT_RENAME_REFUSED,
    TEXT_RENAME_GRANTED,
};

CNamingExchange::CNamingExchange(const SNamingKind& kind, std::uint32_t dwInstrumentAddress,
                                 std::u16string_view strLocalHostName)
    : m_kind(kind), m_dwInstrumentAddress(dwInstrumentAddress),
      m_strLocalHostName(strLocalHostName) {}

SNamingStep CNamingExchange::Send(std::u16string_view strName) {
    SNamingStep step;
    if (m_bWaiting) {
        return step; // a request already waits for its reply
    }
    if (strName.empty()) {
        step.nEvent = ENamingEvent::NoName;
        return step;
    }
    const auto abPayload = BuildNamedRequest(m_kind.nCode, strName, m_strLocalHostName);
    // A request that did not go out is handled like one that got no reply.
    m_bWaiting = true;
    step.nEvent = ENamingEvent::Sent;
    step.request.dwDestination = m_dwInstrumentAddress;
    step.request.payload.assign(abPayload.begin(), abPayload.end());
    return step;
}

SNamingStep CNamingExchange::OnTimeout(std::u16string_view strName) {
    if (!m_bWaiting) {
        return {};
    }
    m_bWaiting = false;
    if (++m_nTimeouts <= MAX_REQUEST_RETRIES) {
        return Send(strName);
    }
    SNamingStep step;
    step.nEvent = ENamingEvent::NoResponse;
    return step;
}

SNamingStep CNamingExchange::OnReply(std::span<const std::uint8_t> payload) {
    SNamingStep step;
    if (!m_bWaiting) {
        return step;
    }
    const std::optional<std::uint8_t> nStatus = ReadStatusReply(payload, m_kind.nCode);
    if (!nStatus) {
        return step; // as if it had not come: the attempts go on
    }
    m_bWaiting = false;
    step.bStopTimer = true;
    step.nStatus = *nStatus;
    step.nEvent = *nStatus == STATUS_OK ? ENamingEvent::Granted : ENamingEvent::Refused;
    return step;
}
