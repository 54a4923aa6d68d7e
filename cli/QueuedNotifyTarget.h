// The link's announcements turned into one call on the event loop of the thread that made this
// object. Called on the socket thread, it only posts an event (Qt's event queue orders the
// post and the call), and posts once until the call has run, since one call takes every
// datagram waiting.
#pragma once

#include "link/DatagramNotifyTarget.h"

#include <QEvent>
#include <QObject>
#include <atomic>
#include <functional>

class CQueuedNotifyTarget final : public QObject, public CDatagramNotifyTarget {
public:
    explicit CQueuedNotifyTarget(std::function<void()> fnOnDatagrams);
    ~CQueuedNotifyTarget() override = default;

    void PostDatagramNotification() override;

protected:
    bool event(QEvent* pEvent) override;

private:
    std::function<void()> m_fnOnDatagrams;
    std::atomic<bool> m_bPosted{false};
};
