// Verification, release and repair of the configured instrument: the main connection window's
// three exchanges, one at a time, matched to their replies by message code.
//
// Driven by the main connection window (and the command line): it starts an exchange, sends
// the request each step carries and arms the step's timer (RESPONSE_TIMER_PERIOD_MS, repeating);
// at that timer's event it stops it and calls OnTimeout; for each routed reply of code 3, 4 or 5
// it calls OnReply and stops the timer only when the step says so. Every call that may send
// takes the configured instrument as it is at that moment.
#pragma once

#include "protocol/ExchangeSteps.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The configured instrument and this computer, as a request of these exchanges needs them.
struct SConnectionTarget {
    std::u16string_view strInstrumentName;
    std::u16string_view strLocalHostName;
    std::uint32_t dwInstrumentAddress = 0; // verification and release go here
    std::uint32_t dwBroadcastAddress = 0;  // the repair goes here
    bool bConfigured = true;               // a verification of nothing configured sends nothing
};

enum class EConnectionEvent : std::uint8_t {
    None,               // nothing to do: no exchange waits, or the datagram is no reply to read
    Sent,               // send the request and arm the timer (a start or a repetition)
    Ready,              // VerifyReply status 0: this computer holds the claim
    NotClaimed,         // VerifyReply other status: see bOwnerReported and the owner fields
    VerificationFailed, // no reply after the last attempt: "Not ready", with its message
    Released,           // ReleaseReply, any status (nStatus): forget the configuration
    ReleaseUnanswered,  // no reply after the last attempt: forget the configuration, say so
    Repaired,           // RepairReply status 0: dwAddress is the configured address now
    RepairRefused,      // RepairReply other status: the wait ends, nothing else changes
    RepairFailed,       // no reply after the last attempt: its message, the state unchanged
};

// Attempt counting as a start asks it: from zero, or on from what the last exchange left (the
// release asked for by the claim selection window).
enum class EAttemptCount : std::uint8_t { FromZero, Kept };

struct SConnectionStep {
    EConnectionEvent nEvent = EConnectionEvent::None;
    // The reply timer is to be stopped (a reply that ends the wait). A time-out's driver has
    // stopped its timer already.
    bool bStopTimer = false;
    // Sent: what goes out, and the timer to arm with RESPONSE_TIMER_PERIOD_MS.
    SRequest request;
    unsigned nTimerId = 0;
    // Released: the reply's status.
    std::uint8_t nStatus = 0;
    // Repaired: the new address. NotClaimed: the owner address, 0 when no owner is reported.
    std::uint32_t dwAddress = 0;
    // NotClaimed with a claimed flag of exactly 1: the owner's host name as the instrument holds
    // it (8-bit, up to its NUL within the field). Otherwise the shown owner name stays.
    bool bOwnerReported = false;
    std::string strOwnerHostName;
};

class CConnectionExchange {
public:
    static constexpr unsigned ID_RELEASE_RESPONSE_TIMER_EVENT = 1;
    static constexpr unsigned ID_REPAIR_RESPONSE_TIMER_EVENT = 2;
    static constexpr unsigned ID_VERIFY_RESPONSE_TIMER_EVENT = 3;
    static constexpr unsigned RESPONSE_TIMER_PERIOD_MS = 515;
    // The counter grows at each send and each time-out; above this after a time-out, the
    // exchange gives up. From zero that is two requests.
    static constexpr std::uint32_t MAX_ATTEMPT_COUNT = 3;
    // m_nPendingRequest when no exchange has run or the last one gave up.
    static constexpr std::uint8_t NO_PENDING_REQUEST = 255;

    // Each answers Sent, or None while a reply is awaited (and, for a verification, when
    // nothing is configured). A count from zero is set even when nothing is sent.
    SConnectionStep StartVerification(const SConnectionTarget& target, EAttemptCount nCount);
    SConnectionStep StartRelease(const SConnectionTarget& target, EAttemptCount nCount);
    SConnectionStep StartRepair(const SConnectionTarget& target, EAttemptCount nCount);

    // The reply timer's event: a repetition (Sent), a give-up, or None when nothing waits.
    SConnectionStep OnTimeout(const SConnectionTarget& target);
    // A routed datagram's payload. The reply to the request that waits, at its exact length,
    // ends the wait; anything else (another code, another length, any reply while nothing
    // waits) changes nothing (None, the timer runs on).
    SConnectionStep OnReply(std::span<const std::uint8_t> payload);

    bool IsWaitingForReply() const { return m_bWaiting; }
    std::uint8_t GetPendingRequest() const { return m_nPendingRequest; }
    std::uint32_t GetReleaseAttempts() const { return m_nReleaseAttempts; }
    std::uint32_t GetRepairAttempts() const { return m_nRepairAttempts; }
    std::uint32_t GetVerifyAttempts() const { return m_nVerifyAttempts; }

private:
    SConnectionStep Start(std::uint8_t nCode, const SConnectionTarget& target,
                          std::uint32_t dwDestination, unsigned nTimerId, std::uint32_t& nAttempts);

    std::uint8_t m_nPendingRequest = NO_PENDING_REQUEST;
    std::uint32_t m_nReleaseAttempts = 0;
    std::uint32_t m_nRepairAttempts = 0;
    std::uint32_t m_nVerifyAttempts = 0;
    bool m_bWaiting = false;
};
