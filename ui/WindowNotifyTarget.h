// Turns the link's announcement, made on its socket thread, into a WM_INSTRUMENT_DATAGRAM posted
// to a window. Lives as long as the process, so the link may keep it after the window has gone.
#pragma once

#include "link/DatagramNotifyTarget.h"
#include "platform/window/WindowHandle.h"

class CWindowNotifyTarget final : public CDatagramNotifyTarget {
public:
    // The one target for this window; never freed before the process ends.
    static CDatagramNotifyTarget* ForWindow(HWND hWnd);

    void PostDatagramNotification() override;

private:
    explicit CWindowNotifyTarget(HWND hWnd) : m_hWnd(hWnd) {}
    const HWND m_hWnd;
};
