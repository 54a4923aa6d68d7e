#include "ui/WindowNotifyTarget.h"

#include <map>
#include <mutex>

CDatagramNotifyTarget* CWindowNotifyTarget::ForWindow(HWND hWnd) {
    if (hWnd == 0) {
        return nullptr;
    }
    // Kept to the end of the process: the link may announce after the window has gone, and the
    // posting then finds no window and drops the message.
    static auto* pMutex = new std::mutex;
    static auto* pTargets = new std::map<HWND, CWindowNotifyTarget*>;
    const std::lock_guard lock(*pMutex);
    CWindowNotifyTarget*& pTarget = (*pTargets)[hWnd];
    if (pTarget == nullptr) {
        pTarget = new CWindowNotifyTarget(hWnd);
    }
    return pTarget;
}

void CWindowNotifyTarget::PostDatagramNotification() {
    PostWindowMessage(m_hWnd, WM_INSTRUMENT_DATAGRAM);
}
