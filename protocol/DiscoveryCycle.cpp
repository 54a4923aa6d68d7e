#include "protocol/DiscoveryCycle.h"

#include "link/Messages.h"

namespace {

STimerAction StartTimer(unsigned nTimerId, unsigned nPeriodMs) {
    return {nTimerId, nPeriodMs, true};
}

STimerAction StopTimer(unsigned nTimerId) {
    return {nTimerId, 0, false};
}

} // namespace

CDiscoveryCycle::CDiscoveryCycle(std::uint32_t dwBroadcastAddress)
    : m_dwBroadcastAddress(dwBroadcastAddress) {}

SDiscoveryStep CDiscoveryCycle::Open() {
    // The first cycle starts with the list and the count as constructed.
    SDiscoveryStep step;
    step.listTimers = {
        StartTimer(ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT, COLLECTION_PERIOD_MS),
        StartTimer(ID_INSTRUMENT_DISCOVERY_DWELL_TIMER_EVENT, DWELL_PERIOD_MS),
        StartTimer(ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT, REQUEST_PERIOD_MS),
    };
    m_bCollectionTimer = m_bDwellTimer = m_bRequestTimer = true;
    return step;
}

SDiscoveryStep CDiscoveryCycle::OnCollectionTimer() {
    SDiscoveryStep step;
    if (m_bCollectionTimer) {
        step.listTimers.push_back(StopTimer(ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT));
        m_bCollectionTimer = false;
    }
    if (m_bRequestTimer) {
        step.listTimers.push_back(StopTimer(ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT));
        m_bRequestTimer = false;
    }
    m_listDisplayed.CopyFrom(m_listCollected);
    step.bDisplayedChanged = true;
    return step;
}

SDiscoveryStep CDiscoveryCycle::OnDwellTimer() {
    return StartDiscoveryCycle();
}

SDiscoveryStep CDiscoveryCycle::OnRequestTimer() {
    SDiscoveryStep step;
    const std::uint32_t nRequest = m_nRequestCount++;
    if (nRequest >= DISCOVERY_REQUESTS_PER_CYCLE) {
        return step; // the timer runs on until the collection ends
    }
    // A request that does not go out is neither reported nor repeated: the cycle sends others.
    const auto abPayload = BuildDiscoveryRequest();
    step.request = SRequest{m_dwBroadcastAddress, {abPayload.begin(), abPayload.end()}};
    return step;
}

SDiscoveryStep CDiscoveryCycle::OnTimer(unsigned nTimerId) {
    switch (nTimerId) {
    case ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT:
        return OnCollectionTimer();
    case ID_INSTRUMENT_DISCOVERY_DWELL_TIMER_EVENT:
        return OnDwellTimer();
    case ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT:
        return OnRequestTimer();
    default:
        return {};
    }
}

SDiscoveryStep CDiscoveryCycle::Refresh() {
    if (IsCollecting()) {
        return {};
    }
    return StartDiscoveryCycle();
}

SDiscoveryStep CDiscoveryCycle::StartDiscoveryCycle() {
    m_listCollected.Clear();
    SDiscoveryStep step;
    // Starting a running timer restarts its period: a dwell event inside a collection started
    // directly begins that collection afresh.
    step.listTimers.push_back(
        StartTimer(ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT, COLLECTION_PERIOD_MS));
    m_bCollectionTimer = true;
    m_nRequestCount = 0;
    step.listTimers.push_back(
        StartTimer(ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT, REQUEST_PERIOD_MS));
    m_bRequestTimer = true;
    return step;
}

bool CDiscoveryCycle::OnReply(std::span<const std::uint8_t> payload) {
    const auto description = DiscoveryReplyDescription(payload);
    if (!description) {
        return false;
    }
    // Merged whatever the phase: the next cycle start empties the collected list, so a reply
    // during the dwell never reaches the displayed list.
    m_listCollected.MergeDiscovered(CMolvarInstrument::FromDescription(*description));
    return true;
}

SDiscoveryStep CDiscoveryCycle::Close() {
    SDiscoveryStep step;
    if (m_bCollectionTimer) {
        step.listTimers.push_back(StopTimer(ID_INSTRUMENT_DISCOVERY_COLLECTION_TIMER_EVENT));
    }
    if (m_bDwellTimer) {
        step.listTimers.push_back(StopTimer(ID_INSTRUMENT_DISCOVERY_DWELL_TIMER_EVENT));
    }
    if (m_bRequestTimer) {
        step.listTimers.push_back(StopTimer(ID_INSTRUMENT_DISCOVERY_REQUEST_TIMER_EVENT));
    }
    m_bCollectionTimer = m_bDwellTimer = m_bRequestTimer = false;
    return step;
}

bool CDiscoveryCycle::HasInstrumentNotInUse() const {
    std::uint32_t nInUse = 0;
    for (const CMolvarInstrument& instrument : m_listDisplayed) {
        if (instrument.m_bInUse == 1) {
            ++nInUse;
        }
    }
    return nInUse < m_listDisplayed.GetCount();
}
