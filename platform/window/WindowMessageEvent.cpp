#include "platform/window/WindowMessageEvent.h"

QEvent::Type CWindowMessageEvent::EventType() {
    static const auto nType = static_cast<QEvent::Type>(QEvent::registerEventType());
    return nType;
}

CWindowMessageEvent::CWindowMessageEvent(unsigned nMessage, std::uintptr_t wParam,
                                         std::intptr_t lParam)
    : QEvent(EventType()), m_nMessage(nMessage), m_wParam(wParam), m_lParam(lParam) {}
