#include "cli/QueuedNotifyTarget.h"

#include <QCoreApplication>
#include <utility>

namespace {

const QEvent::Type DATAGRAMS_WAITING_EVENT = static_cast<QEvent::Type>(QEvent::registerEventType());

} // namespace

CQueuedNotifyTarget::CQueuedNotifyTarget(std::function<void()> fnOnDatagrams)
    : m_fnOnDatagrams(std::move(fnOnDatagrams)) {}

void CQueuedNotifyTarget::PostDatagramNotification() {
    if (m_bPosted.exchange(true)) {
        return; // an event is on its way and its call will take this datagram too
    }
    QCoreApplication::postEvent(this, new QEvent(DATAGRAMS_WAITING_EVENT));
}

bool CQueuedNotifyTarget::event(QEvent* pEvent) {
    if (pEvent->type() != DATAGRAMS_WAITING_EVENT) {
        return QObject::event(pEvent);
    }
    // Cleared before the datagrams are taken: one appended from now on posts again.
    m_bPosted.store(false);
    m_fnOnDatagrams();
    return true;
}
