#include "platform/AutoResetEvent.h"

#include <algorithm>
#include <chrono>

void CAutoResetEvent::Set() {
    std::lock_guard lock(m_mutex);
    m_bSet = true;
    m_condition.notify_one();
    // The event's lock is taken before a waiter's, never the other way round.
    for (SWaiter* pWaiter : m_listWaiters) {
        std::lock_guard waiterLock(pWaiter->mutex);
        pWaiter->bWoken = true;
        pWaiter->condition.notify_one();
    }
}

void CAutoResetEvent::Reset() {
    std::lock_guard lock(m_mutex);
    m_bSet = false;
}

bool CAutoResetEvent::Wait(std::uint32_t dwTimeoutMs) {
    std::unique_lock lock(m_mutex);
    if (!m_condition.wait_for(lock, std::chrono::milliseconds(dwTimeoutMs),
                              [this] { return m_bSet; })) {
        return false;
    }
    m_bSet = false;
    return true;
}

bool CAutoResetEvent::TryConsume() {
    std::lock_guard lock(m_mutex);
    const bool bWasSet = m_bSet;
    m_bSet = false;
    return bWasSet;
}

void CAutoResetEvent::AddWaiter(SWaiter* pWaiter) {
    std::lock_guard lock(m_mutex);
    m_listWaiters.push_back(pWaiter);
}

void CAutoResetEvent::RemoveWaiter(SWaiter* pWaiter) {
    std::lock_guard lock(m_mutex);
    m_listWaiters.erase(std::remove(m_listWaiters.begin(), m_listWaiters.end(), pWaiter),
                        m_listWaiters.end());
}

CAutoResetEvent::EWaitResult CAutoResetEvent::WaitForEither(CAutoResetEvent& first,
                                                            CAutoResetEvent& second,
                                                            std::uint32_t dwTimeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(dwTimeoutMs);
    SWaiter waiter;
    first.AddWaiter(&waiter);
    second.AddWaiter(&waiter);
    EWaitResult nResult = WAIT_TIMEOUT;
    for (;;) {
        // Checked in order, so the first event wins when both are set.
        if (first.TryConsume()) {
            nResult = WAIT_FIRST;
            break;
        }
        if (second.TryConsume()) {
            nResult = WAIT_SECOND;
            break;
        }
        std::unique_lock lock(waiter.mutex);
        if (!waiter.condition.wait_until(lock, deadline, [&waiter] { return waiter.bWoken; })) {
            break;
        }
        waiter.bWoken = false;
    }
    first.RemoveWaiter(&waiter);
    second.RemoveWaiter(&waiter);
    return nResult;
}
