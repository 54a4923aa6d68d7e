#include "platform/TimedMutex.h"

#include <gtest/gtest.h>
#include <thread>

using namespace std::chrono_literals;

TEST(TimedMutex, BoundedWaitFailsWhileHeldAndSucceedsOnceLetGo) {
    CTimedMutex mutex;
    std::unique_lock held(mutex);
    std::thread other([&] {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(mutex.try_lock());
        EXPECT_FALSE(mutex.try_lock_for(100ms));
        EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);
    });
    other.join();

    std::thread waiter([&] {
        std::unique_lock lock(mutex, 5000ms);
        EXPECT_TRUE(lock.owns_lock());
    });
    std::this_thread::sleep_for(50ms);
    held.unlock();
    waiter.join();
    EXPECT_TRUE(mutex.try_lock());
    mutex.unlock();
}

TEST(TimedMutex, KeepsACounterConsistentUnderContention) {
    CTimedMutex mutex;
    int nCount = 0;
    auto fnWork = [&] {
        for (int i = 0; i < 20000; ++i) {
            std::unique_lock lock(mutex, 1000ms);
            ASSERT_TRUE(lock.owns_lock());
            ++nCount;
        }
    };
    std::thread first(fnWork);
    std::thread second(fnWork);
    first.join();
    second.join();
    EXPECT_EQ(nCount, 40000);
}
