// The claim or the rename of one instrument: a named request to its address, sent again after
// each of three time-outs, and the status reply (0 granted, anything else refused).
//
// Driven by the claim window or the rename window (and the command line): Send when the user
// asks, then the request each step carries goes out and the step's timer is armed (the kind's
// id and period, repeating); at that timer's event the driver stops it and calls OnTimeout with
// the name as it is then; each routed reply of the kind's code goes to OnReply, and the driver
// stops its timer only when the step says so.
#pragma once

#include "link/Messages.h"
#include "protocol/ExchangeSteps.h"

#include <cstdint>
#include <span>
#include <string_view>

// What tells the two exchanges apart.
struct SNamingKind {
    EMessageCode nCode; // of the request and its reply
    unsigned nTimerId;
    unsigned nTimerPeriodMs;
    std::u16string_view strNoNameText;
    std::u16string_view strNoResponseText;
    std::u16string_view strRefusedText;
    std::u16string_view strGrantedText;
};
extern const SNamingKind CLAIM_NAMING_EXCHANGE;  // ID_CLAIM_RESPONSE_TIMER_EVENT 7, 485 ms
extern const SNamingKind RENAME_NAMING_EXCHANGE; // ID_RENAME_RESPONSE_TIMER_EVENT 8, 535 ms

enum class ENamingEvent : std::uint8_t {
    None,       // nothing to do: a request already waits, none waits, or no reply to read
    NoName,     // no name has passed the checks yet: the kind's strNoNameText, nothing sent
    Sent,       // send the request and arm the kind's timer
    Granted,    // status 0: the instrument becomes the configured one (strGrantedText)
    Refused,    // any other status (strRefusedText); nStatus holds it
    NoResponse, // the fourth time-out (strNoResponseText)
};

struct SNamingStep {
    ENamingEvent nEvent = ENamingEvent::None;
    bool bStopTimer = false; // a reply ended the wait
    SRequest request;        // Sent
    std::uint8_t nStatus = 0;
};

class CNamingExchange {
public:
    static constexpr unsigned ID_CLAIM_RESPONSE_TIMER_EVENT = 7;
    static constexpr unsigned CLAIM_RESPONSE_TIMER_PERIOD_MS = 485;
    static constexpr unsigned ID_RENAME_RESPONSE_TIMER_EVENT = 8;
    static constexpr unsigned RENAME_RESPONSE_TIMER_PERIOD_MS = 535;
    // Time-outs after which the request goes out again: the first request and three more.
    static constexpr std::uint32_t MAX_REQUEST_RETRIES = 3;

    CNamingExchange(const SNamingKind& kind, std::uint32_t dwInstrumentAddress,
                    std::u16string_view strLocalHostName);

    // The action button: the request with this name (the last one that passed the checks).
    SNamingStep Send(std::u16string_view strName);
    // The timer's event: the request again with the name as it is now, or NoResponse.
    SNamingStep OnTimeout(std::u16string_view strName);
    // A routed datagram's payload: only the kind's status reply of exactly 2 bytes, while a
    // request waits, ends the wait; anything else changes nothing and the timer runs on.
    SNamingStep OnReply(std::span<const std::uint8_t> payload);

    const SNamingKind& GetKind() const { return m_kind; }
    bool IsWaitingForReply() const { return m_bWaiting; }
    std::uint32_t GetTimeouts() const { return m_nTimeouts; }

private:
    const SNamingKind& m_kind;
    std::uint32_t m_dwInstrumentAddress;
    std::u16string m_strLocalHostName;
    std::uint32_t m_nTimeouts = 0; // never set back
    bool m_bWaiting = false;
};
