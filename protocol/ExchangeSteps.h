// What the exchanges ask of whoever drives them: a request to send (to the link's Send, after
// setting its destination to dwDestination and its source to its local address) and window
// timers to start or stop. The exchanges own no socket and no timer.
#pragma once

#include <cstdint>
#include <vector>

struct SRequest {
    std::uint32_t dwDestination = 0;
    std::vector<std::uint8_t> payload;
};

// A repeating timer of the driver's window: started (restarting a running one's period) or
// stopped.
struct STimerAction {
    unsigned nTimerId = 0;
    unsigned nPeriodMs = 0; // when started
    bool bStart = false;
};
