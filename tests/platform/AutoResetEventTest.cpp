#include "platform/AutoResetEvent.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

} // namespace

TEST(AutoResetEvent, OneSetReleasesOneWaitAndClearsItself) {
    CAutoResetEvent event;
    EXPECT_FALSE(event.Wait(0));
    event.Set();
    event.Set(); // still one
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.Wait(0));

    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0));
}

TEST(AutoResetEvent, WaitEndsWhenAnotherThreadSetsOrAfterItsTime) {
    CAutoResetEvent event;
    auto start = Clock::now();
    EXPECT_FALSE(event.Wait(100));
    EXPECT_GE(MsSince(start), 95);

    std::thread setter([&] {
        std::this_thread::sleep_for(50ms);
        event.Set();
    });
    start = Clock::now();
    EXPECT_TRUE(event.Wait(5000));
    EXPECT_LT(MsSince(start), 4000);
    setter.join();
    EXPECT_FALSE(event.Wait(0));
}

TEST(AutoResetEvent, WaitOnTwoAnswersWhichAndClearsOnlyThatOne) {
    CAutoResetEvent stop;
    CAutoResetEvent request;
    EXPECT_EQ(CAutoResetEvent::WaitForEither(stop, request, 0), CAutoResetEvent::WAIT_TIMEOUT);

    request.Set();
    EXPECT_EQ(CAutoResetEvent::WaitForEither(stop, request, 0), CAutoResetEvent::WAIT_SECOND);
    EXPECT_FALSE(request.Wait(0));

    // Both set: the first wins and the second stays set for the next wait.
    request.Set();
    stop.Set();
    EXPECT_EQ(CAutoResetEvent::WaitForEither(stop, request, 0), CAutoResetEvent::WAIT_FIRST);
    EXPECT_EQ(CAutoResetEvent::WaitForEither(stop, request, 0), CAutoResetEvent::WAIT_SECOND);
    EXPECT_EQ(CAutoResetEvent::WaitForEither(stop, request, 0), CAutoResetEvent::WAIT_TIMEOUT);
}

TEST(AutoResetEvent, WaitOnTwoWakesForEitherFromAnotherThreadAndTimesOut) {
    CAutoResetEvent stop;
    CAutoResetEvent request;
    auto start = Clock::now();
    EXPECT_EQ(CAutoResetEvent::WaitForEither(stop, request, 100), CAutoResetEvent::WAIT_TIMEOUT);
    EXPECT_GE(MsSince(start), 95);

    for (CAutoResetEvent* pEvent : {&request, &stop}) {
        std::thread setter([pEvent] {
            std::this_thread::sleep_for(50ms);
            pEvent->Set();
        });
        start = Clock::now();
        const CAutoResetEvent::EWaitResult nResult =
            CAutoResetEvent::WaitForEither(stop, request, 5000);
        EXPECT_LT(MsSince(start), 4000);
        setter.join();
        EXPECT_EQ(nResult,
                  pEvent == &stop ? CAutoResetEvent::WAIT_FIRST : CAutoResetEvent::WAIT_SECOND);
    }
}

TEST(AutoResetEvent, NoSetIsLostBetweenAPairOfThreads) {
    // One side sets, the other consumes with both kinds of wait; every set is seen exactly once.
    CAutoResetEvent stop;
    CAutoResetEvent request;
    CAutoResetEvent done;
    constexpr int nRounds = 2000;
    std::thread worker([&] {
        for (;;) {
            const auto nResult = CAutoResetEvent::WaitForEither(stop, request, 1000);
            if (nResult == CAutoResetEvent::WAIT_FIRST) {
                return;
            }
            if (nResult == CAutoResetEvent::WAIT_SECOND) {
                done.Set();
            }
        }
    });
    int nConfirmed = 0;
    for (int i = 0; i < nRounds; ++i) {
        request.Set();
        nConfirmed += done.Wait(2000) ? 1 : 0;
    }
    stop.Set();
    worker.join();
    EXPECT_EQ(nConfirmed, nRounds);
}
