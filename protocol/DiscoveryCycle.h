// The discovery cycle of a selection window: three DiscoveryRequests to the broadcast address
// 185 ms apart, the replies collected until 1015 ms after the cycle started, then shown as a
// whole; a new cycle every 5015 ms after the opening, or at once on a refresh while none
// collects.
//
// Driven by the claim and rename selection windows (and the command line) with three repeating
// timers of their own, the ids and periods below: Open once, then each timer's event to its
// handler, each routed DiscoveryReply to OnReply, Refresh for a new look, Close at the end. Each
// step lists, in order, the timers to start or stop, the request to send, and whether the
// displayed list was replaced (then the view is shown again from GetDisplayed).
#pragma once

#include "model/InstrumentList.h"
#include "protocol/ExchangeSteps.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

struct SDiscoveryStep {
    std::vector<STimerAction> listTimers;
    std::optional<SRequest> request;
    bool bDisplayedChanged = false;
};

class CDiscoveryCycle {
public:
    static constexpr unsigned ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT = 4;
    static constexpr unsigned ID_INSTRUMENT_DISCOVERY_DWELL_TIMER_EVENT = 5;
    static constexpr unsigned ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT = 6;
    static constexpr unsigned COLLECTION_PERIOD_MS = 1015;
    static constexpr unsigned DWELL_PERIOD_MS = 5015;
    static constexpr unsigned REQUEST_PERIOD_MS = 185;
    // Discovery requests sent in one collection.
    static constexpr std::uint32_t DISCOVERY_REQUESTS_PER_CYCLE = 3;

    explicit CDiscoveryCycle(std::uint32_t dwBroadcastAddress);

    // The window opens: the first cycle begins; collection, dwell and request timers start.
    SDiscoveryStep Open();
    // Timer events. The collection's end stops the collection and request timers and shows
    // what was collected; the dwell starts a cycle; the request timer sends on its first three
    // events of a cycle and runs on, sending nothing, until the collection ends.
    SDiscoveryStep OnCollectionTimer();
    SDiscoveryStep OnDwellTimer();
    SDiscoveryStep OnRequestTimer();
    // By the timer id; an id that is none of the three gives an empty step.
    SDiscoveryStep OnTimer(unsigned nTimerId);
    // A new cycle unless one is collecting (the refresh message, a closed claim or rename
    // window). The dwell timer keeps its phase.
    SDiscoveryStep Refresh();
    // A cycle from now whatever the phase (the dwell event's steps): the collected list emptied,
    // the collection and request timers started afresh.
    SDiscoveryStep StartDiscoveryCycle();
    // A routed datagram's payload: a DiscoveryReply of exactly 203 bytes is merged into the
    // collected list, whatever the phase; true when it was.
    bool OnReply(std::span<const std::uint8_t> payload);
    // The window closes: every running timer stops.
    SDiscoveryStep Close();

    bool IsCollecting() const { return m_bCollectionTimer || m_bRequestTimer; }
    std::uint32_t GetRequestCount() const { return m_nRequestCount; }
    const CInstrumentList& GetCollected() const { return m_listCollected; }
    const CInstrumentList& GetDisplayed() const { return m_listDisplayed; }
    // The action buttons' rule: at least one displayed instrument is not in use (flag not 1).
    bool HasInstrumentNotInUse() const;

private:
    std::uint32_t m_dwBroadcastAddress;
    CInstrumentList m_listCollected;
    CInstrumentList m_listDisplayed;
    std::uint32_t m_nRequestCount = 0;
    bool m_bCollectionTimer = false;
    bool m_bDwellTimer = false;
    bool m_bRequestTimer = false;
};
