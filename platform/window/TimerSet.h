// Repeating timers by id, on QtCore alone: the window layer's SetTimer and KillTimer, and the
// timers of tavikctl's session. Each is a precise timer (the periods of the exchanges do not
// allow the 5 % of Qt's coarse ones); a start of a running id restarts its period, and every
// event calls the handler with the id until the timer is stopped.
#pragma once

#include <QTimer>
#include <functional>
#include <map>
#include <memory>

class CTimerSet {
public:
    // Timers run at least every 10 ms, as the platform the program was written for allows.
    static constexpr unsigned MINIMUM_PERIOD_MS = 10;

    explicit CTimerSet(std::function<void(unsigned nTimerId)> fnOnTimer);
    ~CTimerSet();
    CTimerSet(const CTimerSet&) = delete;
    CTimerSet& operator=(const CTimerSet&) = delete;

    // Starts the timer of this id, or restarts the period of a running one; false for id 0.
    bool Start(unsigned nTimerId, unsigned nPeriodMs);
    // False when it was not running. The timer is kept, not deleted: this may run inside its own
    // event.
    bool Stop(unsigned nTimerId);
    bool IsRunning(unsigned nTimerId) const;
    void StopAll();

private:
    std::function<void(unsigned)> m_fnOnTimer;
    std::map<unsigned, std::unique_ptr<QTimer>> m_mapTimers;
};
