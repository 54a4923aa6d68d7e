// What the link announces each received chunk to. The window layer turns the announcement
// into a posted WM_INSTRUMENT_DATAGRAM; it is called on the link's socket thread.
#pragma once

// The window message number of the announcement (WM_APP + 0x3FF).
constexpr unsigned WM_INSTRUMENT_DATAGRAM = 0x8000 + 0x3FF;

class CDatagramNotifyTarget {
public:
    // Called on the socket thread once per appended chunk; must only post, never block.
    virtual void PostDatagramNotification() = 0;

protected:
    ~CDatagramNotifyTarget() = default;
};
