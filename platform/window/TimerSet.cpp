#include "platform/window/TimerSet.h"

#include <algorithm>
#include <climits>
#include <utility>

CTimerSet::CTimerSet(std::function<void(unsigned)> fnOnTimer) : m_fnOnTimer(std::move(fnOnTimer)) {}

CTimerSet::~CTimerSet() = default;

bool CTimerSet::Start(unsigned nTimerId, unsigned nPeriodMs) {
    if (nTimerId == 0) {
        return false;
    }
    std::unique_ptr<QTimer>& pTimer = m_mapTimers[nTimerId];
    if (!pTimer) {
        pTimer = std::make_unique<QTimer>();
        pTimer->setTimerType(Qt::PreciseTimer);
        QObject::connect(pTimer.get(), &QTimer::timeout, pTimer.get(),
                         [this, nTimerId] { m_fnOnTimer(nTimerId); });
    }
    pTimer->start(static_cast<int>(std::clamp(nPeriodMs, MINIMUM_PERIOD_MS, unsigned{INT_MAX})));
    return true;
}

bool CTimerSet::Stop(unsigned nTimerId) {
    const auto it = m_mapTimers.find(nTimerId);
    if (it == m_mapTimers.end() || !it->second->isActive()) {
        return false;
    }
    it->second->stop();
    return true;
}

bool CTimerSet::IsRunning(unsigned nTimerId) const {
    const auto it = m_mapTimers.find(nTimerId);
    return it != m_mapTimers.end() && it->second->isActive();
}

void CTimerSet::StopAll() {
    for (const auto& [nTimerId, pTimer] : m_mapTimers) {
        pTimer->stop();
    }
}
