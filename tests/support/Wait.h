// Waiting in window tests without fixed sleeps: events keep flowing while waiting. Use these,
// not QTRY_* or QCOMPARE, which report to QtTest rather than to GoogleTest.
//
//   ASSERT_TRUE(WaitFor([&] { return dlg.IsWaitingForReply(); }));
//   ProcessEventsFor(std::chrono::milliseconds(200));   // e.g. to show nothing else happens
#pragma once

#include <QTest>
#include <chrono>
#include <functional>

// True as soon as fnDone() holds; false when it still does not after the timeout.
inline bool WaitFor(const std::function<bool()>& fnDone,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    return QTest::qWaitFor(fnDone, static_cast<int>(timeout.count()));
}

// Runs the event loop for this long (timers fire, posted messages arrive).
inline void ProcessEventsFor(std::chrono::milliseconds duration) {
    QTest::qWait(static_cast<int>(duration.count()));
}
