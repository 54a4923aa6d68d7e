// A window message as a Qt event; the message number travels inside it.
#pragma once

#include <QEvent>
#include <cstdint>

class CWindowMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();

    CWindowMessageEvent(unsigned nMessage, std::uintptr_t wParam, std::intptr_t lParam);

    unsigned m_nMessage;
    std::uintptr_t m_wParam;
    std::intptr_t m_lParam;
};
