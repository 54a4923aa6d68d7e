// An event that releases one waiter and clears itself, with bounded waits, also on two events at
// once.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class CAutoResetEvent {
public:
    // What a wait on two events answers.
    enum EWaitResult { WAIT_FIRST, WAIT_SECOND, WAIT_TIMEOUT };

    CAutoResetEvent() = default;
    CAutoResetEvent(const CAutoResetEvent&) = delete;
    CAutoResetEvent& operator=(const CAutoResetEvent&) = delete;

    // Sets the event; it stays set until one wait consumes it.
    void Set();
    // Clears the event without waiting.
    void Reset();
    // True when the event was set within dwTimeoutMs; the wait clears it.
    bool Wait(std::uint32_t dwTimeoutMs);
    // Waits for whichever event is set first and clears only that one. When both are set, the
    // first one wins.
    static EWaitResult WaitForEither(CAutoResetEvent& first, CAutoResetEvent& second,
                                     std::uint32_t dwTimeoutMs);

private:
    // A wait on two events: each event wakes it when set.
    struct SWaiter {
        std::mutex mutex;
        std::condition_variable condition;
        bool bWoken = false;
    };

    bool TryConsume();
    void AddWaiter(SWaiter* pWaiter);
    void RemoveWaiter(SWaiter* pWaiter);

    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_bSet = false;
    std::vector<SWaiter*> m_listWaiters;
};
