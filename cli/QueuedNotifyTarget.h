// The link's announcements turned into one queued call on the event loop's thread. Called on
// the socket thread: it only posts, and posts once until the call has run, since one call takes
// every datagram waiting.
#pragma once

#include "link/DatagramNotifyTarget.h"

#include <QObject>
#include <atomic>
#include <functional>

class CQueuedNotifyTarget final : public CDatagramNotifyTarget {
public:
    // fnOnDatagrams runs on pContext's thread.
    CQueuedNotifyTarget(QObject* pContext, std::function<void()> fnOnDatagrams);
    ~CQueuedNotifyTarget() = default;

    void PostDatagramNotification() override;

private:
    QObject* m_pContext;
    std::function<void()> m_fnOnDatagrams;
    std::atomic<bool> m_bPosted{false};
};
