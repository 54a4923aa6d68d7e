#include "cli/QueuedNotifyTarget.h"

#include <QMetaObject>
#include <utility>

CQueuedNotifyTarget::CQueuedNotifyTarget(QObject* pContext, std::function<void()> fnOnDatagrams)
    : m_pContext(pContext), m_fnOnDatagrams(std::move(fnOnDatagrams)) {}

void CQueuedNotifyTarget::PostDatagramNotification() {
    if (m_bPosted.exchange(true)) {
        return; // a call is on its way and will take this datagram too
    }
    QMetaObject::invokeMethod(
        m_pContext,
        [this] {
            // Cleared before the datagrams are taken: one appended from now on posts again.
            m_bPosted.store(false);
            m_fnOnDatagrams();
        },
        Qt::QueuedConnection);
}
