// A lock whose waits are bounded on the steady clock. It stands in for std::timed_mutex, whose
// timed waits (pthread_mutex_clocklock) ThreadSanitizer cannot follow in this toolchain. The
// lower-case members make it usable with std::unique_lock and std::lock_guard.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class CTimedMutex {
public:
    CTimedMutex() = default;
    CTimedMutex(const CTimedMutex&) = delete;
    CTimedMutex& operator=(const CTimedMutex&) = delete;

    void lock();
    bool try_lock();
    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& timeout) {
        return try_lock_until(std::chrono::steady_clock::now() +
                              std::chrono::ceil<std::chrono::steady_clock::duration>(timeout));
    }
    bool try_lock_until(std::chrono::steady_clock::time_point deadline);
    void unlock();

private:
    std::mutex m_mutex;
    std::condition_variable m_condition;
    bool m_bLocked = false;
};
