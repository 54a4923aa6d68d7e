// The link's announcements from its socket thread become calls on the event loop's thread,
// one call for any number of announcements made before it runs.
#include "cli/QueuedNotifyTarget.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

bool ProcessEventsUntil(const std::function<bool()>& fnDone, int nTimeoutMs = 5000) {
    QElapsedTimer elapsed;
    elapsed.start();
    while (!fnDone() && elapsed.elapsed() < nTimeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return fnDone();
}

} // namespace

TEST(QueuedNotifyTarget, AnnouncementsFromAnotherThreadRunOnceOnTheLoopThenAgain) {
    int nCalls = 0;
    Qt::HANDLE pCallThread = nullptr;
    CQueuedNotifyTarget target([&] {
        ++nCalls;
        pCallThread = QThread::currentThreadId();
    });
    std::thread socketThread([&] {
        for (int i = 0; i < 100; ++i) {
            target.PostDatagramNotification();
        }
    });
    socketThread.join();
    ASSERT_TRUE(ProcessEventsUntil([&] { return nCalls > 0; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(nCalls, 1); // all hundred before the call ran: one call takes them all
    EXPECT_EQ(pCallThread, QThread::currentThreadId());

    // Once it has run, the next announcement posts again.
    std::thread later([&] { target.PostDatagramNotification(); });
    later.join();
    EXPECT_TRUE(ProcessEventsUntil([&] { return nCalls == 2; }));
}
