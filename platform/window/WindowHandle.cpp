#include "platform/window/WindowHandle.h"

#include "platform/window/WindowMessageEvent.h"

#include <QCoreApplication>
#include <QObject>
#include <mutex>
#include <unordered_map>

namespace {

struct SWindowRegistry {
    std::mutex mutex;
    std::unordered_map<HWND, QObject*> mapWindows;
    HWND hNext = 1;
};

// Never destroyed: the link's socket thread may still post while the process ends.
SWindowRegistry& Registry() {
    static auto* pRegistry = new SWindowRegistry;
    return *pRegistry;
}

} // namespace

HWND RegisterWindow(QObject* pWindow) {
    if (pWindow == nullptr) {
        return 0;
    }
    SWindowRegistry& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    const HWND hWnd = registry.hNext++;
    registry.mapWindows.emplace(hWnd, pWindow);
    return hWnd;
}

void UnregisterWindow(HWND hWnd) {
    SWindowRegistry& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    const auto it = registry.mapWindows.find(hWnd);
    if (it == registry.mapWindows.end()) {
        return;
    }
    // Under the lock, so that no message can be posted between the two steps.
    QCoreApplication::removePostedEvents(it->second, CWindowMessageEvent::EventType());
    registry.mapWindows.erase(it);
}

bool PostWindowMessage(HWND hWnd, unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam) {
    SWindowRegistry& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    const auto it = registry.mapWindows.find(hWnd);
    if (it == registry.mapWindows.end()) {
        return false;
    }
    QCoreApplication::postEvent(it->second, new CWindowMessageEvent(nMessage, wParam, lParam));
    return true;
}

void AcquirePostedWindowMessages() {
    // Messages are built and posted under this lock; taking it once here suffices.
    const std::lock_guard lock(Registry().mutex);
}
