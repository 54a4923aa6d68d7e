#include "platform/TimedMutex.h"

void CTimedMutex::lock() {
    std::unique_lock lock(m_mutex);
    m_condition.wait(lock, [this] { return !m_bLocked; });
    m_bLocked = true;
}

bool CTimedMutex::try_lock() {
    std::lock_guard lock(m_mutex);
    if (m_bLocked) {
        return false;
    }
    m_bLocked = true;
    return true;
}

bool CTimedMutex::try_lock_until(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    if (!m_condition.wait_until(lock, deadline, [this] { return !m_bLocked; })) {
        return false;
    }
    m_bLocked = true;
    return true;
}

void CTimedMutex::unlock() {
    {
        std::lock_guard lock(m_mutex);
        m_bLocked = false;
    }
    m_condition.notify_one();
}
