// A signal that one thread raises and another waits for in poll() beside a socket: an eventfd,
// readable from the first Wake() until Clear(). Raising it again before Clear() changes nothing.
#pragma once

class CWakeSignal {
public:
    // Throws std::system_error when no descriptor can be had.
    CWakeSignal();
    ~CWakeSignal();
    CWakeSignal(const CWakeSignal&) = delete;
    CWakeSignal& operator=(const CWakeSignal&) = delete;

    void Wake();
    void Clear();
    int Handle() const { return m_hDescriptor; }

private:
    int m_hDescriptor = -1;
};
