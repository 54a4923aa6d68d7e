#include "protocol/ConnectionState.h"

#include "protocol/OutcomeTexts.h"

const char* ConnectionStateName(std::uint8_t nState) {
    switch (nState) {
    case CONNECTION_VERIFYING:
        return "CONNECTION_VERIFYING";
    case CONNECTION_NOT_CONFIGURED:
        return "CONNECTION_NOT_CONFIGURED";
    case CONNECTION_READY:
        return "CONNECTION_READY";
    case CONNECTION_NOT_READY:
        return "CONNECTION_NOT_READY";
    case CONNECTION_NOT_CLAIMED:
        return "CONNECTION_NOT_CLAIMED";
    default:
        return "unknown connection state";
    }
}

EConnectionState InitialConnectionState(bool bConfigured) {
    return bConfigured ? CONNECTION_VERIFYING : CONNECTION_NOT_CONFIGURED;
}

EConnectionState ConnectionStateAfterSelection(EConnectionState nState) {
    return nState == CONNECTION_NOT_CONFIGURED ? CONNECTION_NOT_CONFIGURED : CONNECTION_VERIFYING;
}

std::optional<EConnectionState> ConnectionStateAfter(const SConnectionStep& step) {
    switch (step.nEvent) {
    case EConnectionEvent::Ready:
    case EConnectionEvent::Repaired:
        return CONNECTION_READY;
    case EConnectionEvent::NotClaimed:
        return CONNECTION_NOT_CLAIMED;
    case EConnectionEvent::VerificationFailed:
        return CONNECTION_NOT_READY;
    case EConnectionEvent::Released:
    case EConnectionEvent::ReleaseUnanswered:
        return CONNECTION_NOT_CONFIGURED;
    case EConnectionEvent::None:
    case EConnectionEvent::Sent:
    case EConnectionEvent::RepairRefused:
    case EConnectionEvent::RepairFailed:
        break;
    }
    return std::nullopt;
}

std::optional<EConnectionState> ConnectionStateAfter(const SNamingStep& step) {
    if (step.nEvent == ENamingEvent::Granted) {
        return CONNECTION_READY;
    }
    return std::nullopt;
}

std::optional<std::u16string> ConnectionStatusText(std::uint8_t nState,
                                                   std::u16string_view strOwnerHostName,
                                                   std::uint32_t dwOwnerAddress) {
    switch (nState) {
    case CONNECTION_VERIFYING:
        return std::u16string(TEXT_VERIFYING);
    case CONNECTION_NOT_CONFIGURED:
        return std::u16string(TEXT_NOT_CONFIGURED);
    case CONNECTION_READY:
        return std::u16string(TEXT_READY);
    case CONNECTION_NOT_READY:
        return std::u16string(TEXT_NOT_READY);
    case CONNECTION_NOT_CLAIMED:
        return ClaimOwnerText(strOwnerHostName, dwOwnerAddress);
    default:
        return std::nullopt;
    }
}
